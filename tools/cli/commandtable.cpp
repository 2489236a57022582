#include "commandtable.h"

#include "batchcommand.h"
#include "clioptions.h"
#include "deviceconnection.h"
#include "helptext.h"
#include "report.h"

#include "settings/settingsfile.h"

#include <QTextStream>

namespace {

// Runs `command` on the port the options name, unconnected; progress shows
// on a terminal only.
template <typename Command>
ExitStatus onPort(const Invocation &run, Command command)
{
    DeviceConnection connection(run.options, run.err);
    connection.showProgress(run.terminal.errorsOnTerminal && !run.options.quiet);
    return command(connection);
}

template <typename Command>
ExitStatus onDevice(const Invocation &run, Command command)
{
    return onPort(run, [&](DeviceConnection &connection) {
        if (std::optional<Failure> failure = connection.connect())
            return run.report.fail(*failure);
        return command(connection);
    });
}

// The lists and the outcome a script reads are there however the command
// ends: each command names its own before anything can fail.

ExitStatus runPorts(const Invocation &run)
{
    run.report.list("ports");
    return onPort(run, [&](DeviceConnection &connection) { return commands::ports(connection, run.report); });
}

ExitStatus runInfo(const Invocation &run)
{
    return onDevice(run, [&](DeviceConnection &connection) { return commands::info(connection, run.report); });
}

ExitStatus runRead(const Invocation &run)
{
    run.report.list("parameters");
    return onDevice(run, [&](DeviceConnection &connection) {
        return commands::read(connection, run.report, run.options.arguments);
    });
}

ExitStatus runSave(const Invocation &run)
{
    run.report.list("parameters");
    return onDevice(run, [&](DeviceConnection &connection) {
        return commands::save(connection, run.report, run.options.arguments.value(0));
    });
}

// The settings file is read, and may be refused, before the port opens.
template <typename Command>
ExitStatus withSettingsFile(const Invocation &run, Command command)
{
    run.report.list("parameters");
    const QString path = run.options.arguments.value(0);
    SettingsFile file;
    if (std::optional<Failure> failure = commands::readSettings(path, &file))
        return run.report.fail(*failure);
    return onDevice(run, [&](DeviceConnection &connection) { return command(connection, path, file); });
}

ExitStatus runLoad(const Invocation &run)
{
    return withSettingsFile(run, [&](DeviceConnection &connection, const QString &path, const SettingsFile &file) {
        return commands::load(connection, run.report, path, file, run.options.dryRun, run.options.force);
    });
}

ExitStatus runDiff(const Invocation &run)
{
    return withSettingsFile(run, [&](DeviceConnection &connection, const QString &path, const SettingsFile &file) {
        return commands::diff(connection, run.report, path, file, run.options.all);
    });
}

ExitStatus runSet(const Invocation &run)
{
    run.report.list("parameters");
    return onDevice(run, [&](DeviceConnection &connection) {
        return commands::set(connection, run.report, run.options.arguments);
    });
}

ExitStatus runFlash(const Invocation &run)
{
    commands::tellFlashed(run.report, false);
    const QString path = run.options.arguments.value(0);
    QByteArray package;
    if (std::optional<Failure> failure = commands::readPackage(path, &package))
        return run.report.fail(*failure);
    return onDevice(run, [&](DeviceConnection &connection) {
        return commands::flash(connection, run.report, run.terminal, path, package, run.options.yes,
                               run.options.keepSettings);
    });
}

ExitStatus runBatch(const Invocation &run)
{
    run.report.list("records");
    commands::BatchJob job;
    BatchLog log;
    if (std::optional<Failure> failure = commands::prepareBatch(run.options, &job, &log))
        return run.report.fail(*failure);
    return onPort(run, [&](DeviceConnection &connection) {
        return commands::batch(connection, run.report, run.terminal, job, log);
    });
}

ExitStatus runBackups(const Invocation &run)
{
    return commands::backups(run.report);
}

ExitStatus runRestore(const Invocation &run)
{
    if (!run.options.arguments.isEmpty())
        return withSettingsFile(run, [&](DeviceConnection &connection, const QString &path, const SettingsFile &file) {
            return commands::restore(connection, run.report, path, file, run.options.dryRun);
        });
    run.report.list("parameters");
    return onDevice(run, [&](DeviceConnection &connection) {
        return commands::restoreNewest(connection, run.report, run.options.dryRun);
    });
}

ExitStatus runCheck(const Invocation &run)
{
    return commands::check(run.report, run.options.arguments, run.options.strict);
}

// Also --help, with or without a command: the parser has made `help
// COMMAND` into COMMAND with --help.
ExitStatus runHelp(const Invocation &run)
{
    const QString &command = run.options.command;
    run.out << (command.isEmpty() ? helptext::full() : helptext::command(command));
    return ExitStatus::Done;
}

}  // namespace

const QVector<CommandInfo> &commandTable()
{
    static const QVector<CommandInfo> table{
        {"ports",
         "",
         "every serial port with its echo test and what the system knows of its USB adapter (ids, manufacturer, "
         "product, serial number); for a port that does not open, why",
         0,
         0,
         {},
         ArgumentCompletion::Nothing,
         &runPorts},
        {"info",
         "",
         "dialect and rate, device name, identifier, hardware revision, bootloader and firmware version, "
         "description file, block size and count",
         0,
         0,
         {},
         ArgumentCompletion::Nothing,
         &runInfo},
        {"read",
         "[NAME...]",
         "every parameter: name, shown value, raw value, cells, and whether a dependency disables it; with "
         "names, only those parameters, reading only their cells and the cells of the parameters that "
         "enable them",
         0,
         -1,
         {},
         ArgumentCompletion::ParameterNames,
         &runRead},
        {"save",
         "FILE",
         "the device's settings into FILE (JSON), written whole or not at all; - (or /dev/stdout) writes "
         "them to standard output and the report to standard error",
         1,
         1,
         {},
         ArgumentCompletion::SettingsFiles,
         &runSave},
        {"load",
         "FILE",
         "writes the settings of FILE (- reads standard input) that differ from the device, each read back "
         "and listed as it is confirmed; refuses a file of another device, leaves out (refused) a value "
         "that the description does not allow",
         1,
         1,
         {"dry-run", "force"},
         ArgumentCompletion::SettingsFiles,
         &runLoad},
        {"diff",
         "FILE",
         "the device against FILE (- reads standard input): the parameters that differ, and those only one "
         "side has, judged as load would (a file load refuses is reported so) or, under another firmware, "
         "by name and shown value as flash --keep-settings restores",
         1,
         1,
         {"all"},
         ArgumentCompletion::SettingsFiles,
         &runDiff},
        {"set",
         "NAME=VALUE...",
         "sets parameters by name and shown value (list entry, number in the shown unit, on/off)",
         1,
         -1,
         {},
         ArgumentCompletion::Assignments,
         &runSet},
        {"flash",
         "PACKAGE",
         "uploads a firmware package (.upd) after the firmware page's checks, with a progress bar on a "
         "terminal and progress lines otherwise, then identifies the device again and prints its new "
         "firmware version; the file is read once, and the bytes checked and confirmed are the bytes sent. "
         "Right before the first block the device's identity is read again: another device gets nothing. A "
         "device that still reports another version than the package's \"FW\" afterwards is a failed upload. "
         "A file that cannot be read or is no firmware package is refused before the port is opened. Before "
         "the first block the device's settings are saved to a file in the backup folder (see Files), which "
         "it names; load --force FILE restores them",
         1,
         1,
         {"yes", "keep-settings"},
         ArgumentCompletion::Packages,
         &runFlash},
        {"batch",
         "",
         "a production line: controller after controller on one cable gets the package of --flash and the "
         "settings of --settings (at least one of them), both read and checked once before the port opens. "
         "Each controller is identified; one that the package or the file does not fit is refused and gets "
         "nothing; else its settings are backed up, it is flashed with every check of flash, the file is "
         "loaded with load's rules and compared with diff's (any difference left is a failure). Then one line "
         "and one record in the log, and the batch waits until the controller has left before it waits for "
         "the next: a controller left on the cable is never flashed twice. Ends after --count controllers, "
         "at Ctrl+C while it waits, or with --stop-on-failure at the first failure; exits 0 when every "
         "controller ended ok, 6 when any failed, 5 when some were refused and none failed, 3 when the cable "
         "went away and did not come back",
         0,
         0,
         {"flash", "settings", "count", "log", "stop-on-failure", "yes"},
         ArgumentCompletion::Nothing,
         &runBatch},
        {"backups",
         "",
         "without a device: the settings backups that flash and the window's firmware updates leave in the "
         "backup folder (see Files), newest first: controller, firmware, time and file",
         0,
         0,
         {},
         ArgumentCompletion::Nothing,
         &runBackups},
        {"restore",
         "[FILE]",
         "puts back the newest backup of the connected controller (the same name, identifier and hardware "
         "revision, under any firmware), or FILE (- reads standard input), by name and shown value as flash "
         "--keep-settings does after an update: each parameter is restored, equal, disabled, dropped or "
         "refused, with the reason; exits 7 when a saved setting is not restored, 5 when there is no backup",
         0,
         1,
         {"dry-run"},
         ArgumentCompletion::SettingsFiles,
         &runRestore},
        {"check",
         "FILE...",
         "without a device: checks description files (.dsc) and firmware packages (.upd) and prints "
         "FILE:LINE: message for each problem (- reads standard input). A package is read in the dialect "
         "its first data line is long enough for and held against the description entries it fits, among "
         "the FILEs and beside them: how many blocks it has for each. Exit status 0 when nothing is wrong, "
         "2 otherwise; warnings say what is likely a slip but works as written. With --json a list",
         1,
         -1,
         {"strict"},
         ArgumentCompletion::DescriptionsAndPackages,
         &runCheck},
        {"help", "[COMMAND]", "this text, or the use of one command", 0, 1, {}, ArgumentCompletion::Commands, &runHelp},
    };
    return table;
}

const CommandInfo *findCommand(const QString &name)
{
    for (const CommandInfo &command : commandTable())
        if (command.name == name)
            return &command;
    return nullptr;
}
