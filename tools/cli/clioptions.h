#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

struct CliOptions {
    QString port;  // empty: KOVA_PORT, the window's kova.ini, else the echo scan
    QString description;  // empty: the window's lookup
    bool trace = false;
    bool json = false;
    bool quiet = false;  // only failures on standard error, no progress
    bool verbose = false;  // what was tried, on standard error
    bool help = false;  // with a command: that command's use
    bool version = false;
    // For the shell's completion: no command, no device.
    bool parameterNames = false;
    QString listEntriesOf;  // the parameter whose list entries are asked for
    bool portNames = false;
    QString command;
    QStringList arguments;  // what follows the command, options taken out
    bool dryRun = false;  // load, restore
    bool force = false;  // load
    bool all = false;  // diff
    bool yes = false;  // flash
    bool keepSettings = false;  // flash
    bool strict = false;  // check
    QString flashPackage;  // batch
    QString settingsFile;  // batch
    int count = 0;  // batch; 0: no end but Ctrl+C
    QString logFile;  // batch; empty: the day's file in the current folder
    bool stopOnFailure = false;  // batch

    bool asksForCompletion() const { return parameterNames || !listEntriesOf.isEmpty() || portNames; }
};

struct ParsedOptions {
    CliOptions options;
    QString error;  // one sentence; empty when the arguments are fine

    bool ok() const { return error.isEmpty(); }
};

// `arguments` without the program's own name.
ParsedOptions parseOptions(const QStringList &arguments);

// One option as --help and the manual page show it.
struct OptionInfo {
    QString shortName;  // empty: none
    QString longName;
    QString valueName;  // empty: a flag
    QString text;
};

// The options every command takes, then those of single commands.
const QVector<OptionInfo> &commonOptions();
const QVector<OptionInfo> &commandOptions();
const OptionInfo *findOption(const QString &longName);
