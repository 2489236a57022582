#pragma once

#include <QString>
#include <QStringList>

struct CliOptions {
    QString port;         // empty: the window's kova.ini, else the echo scan
    QString description;  // empty: the window's lookup
    bool trace = false;
    bool json = false;
    bool help = false;
    bool version = false;
    QString command;
    QStringList arguments;  // what follows the command, options taken out
    bool dryRun = false;    // load
    bool force = false;     // load
    bool yes = false;       // flash
};

struct ParsedOptions {
    CliOptions options;
    QString error;  // one sentence; empty when the arguments are fine

    bool ok() const { return error.isEmpty(); }
};

// `arguments` without the program's own name.
ParsedOptions parseOptions(const QStringList &arguments);

QString helpText();
