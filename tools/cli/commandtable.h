#pragma once

#include "commands.h"

#include <QString>
#include <QStringList>
#include <QVector>

struct CliOptions;
class QTextStream;
class Report;

// One run of a command: what it was given and where it tells.
struct Invocation {
    const CliOptions &options;
    Report &report;
    QTextStream &out;
    QTextStream &err;
    const Terminal &terminal;
};

// What the shell's completion offers for a command's arguments.
enum class ArgumentCompletion {
    Nothing,
    Commands,
    ParameterNames,
    Assignments,  // parameter names with "=", then that parameter's list entries
    SettingsFiles,
    Packages,
    DescriptionsAndPackages,
};

// A command as the parser, the dispatch, the help and the completion know it.
struct CommandInfo {
    QString name;
    QString arguments;  // as the synopsis shows them
    QString text;
    int leastArguments = 0;
    int mostArguments = 0;  // -1: any number
    QStringList options;  // long names of the options only this command takes
    ArgumentCompletion completion = ArgumentCompletion::Nothing;
    ExitStatus (*run)(const Invocation &invocation) = nullptr;
};

// Every command in the order the help lists them.
const QVector<CommandInfo> &commandTable();
// Null for a name that is no command.
const CommandInfo *findCommand(const QString &name);
