#include "cli.h"

#include "clioptions.h"
#include "deviceconnection.h"
#include "helptext.h"
#include "report.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

ExitStatus runDeviceCommand(const CliOptions &options, DeviceConnection &connection, Report &report,
                            const Terminal &terminal)
{
    const QString &command = options.command;
    // The lists and the outcome a script reads are there however the command ends.
    if (command == "ports")
        report.list("ports");
    else if (command == "flash")
        commands::tellFlashed(report, false);
    else if (command != "info")
        report.list("parameters");
    if (command == "ports")
        return commands::ports(connection, report);
    const QString argument = options.arguments.value(0);
    SettingsFile file;
    if (command == "load" || command == "diff")
        if (std::optional<Failure> failure = commands::readSettings(argument, &file))
            return report.fail(*failure);
    QByteArray package;
    if (command == "flash")
        if (std::optional<Failure> failure = commands::readPackage(argument, &package))
            return report.fail(*failure);
    if (std::optional<Failure> failure = connection.connect())
        return report.fail(*failure);
    if (command == "info")
        return commands::info(connection, report);
    if (command == "read")
        return commands::read(connection, report, options.arguments);
    if (command == "save")
        return commands::save(connection, report, argument);
    if (command == "load")
        return commands::load(connection, report, argument, file, options.dryRun, options.force);
    if (command == "diff")
        return commands::diff(connection, report, argument, file, options.all);
    if (command == "set")
        return commands::set(connection, report, options.arguments);
    return commands::flash(connection, report, terminal, argument, package, options.yes, options.keepSettings);
}

}  // namespace

int runCli(const QStringList &arguments, QTextStream &out, QTextStream &err, const Terminal &terminal)
{
    const ParsedOptions parsed = parseOptions(arguments);
    const CliOptions &options = parsed.options;
    Report report(out, err, options.json);
    report.setQuiet(options.quiet);
    report.setVerbose(options.verbose);
    if (parsed.ok() && options.help) {
        out << (options.command.isEmpty() ? helptext::full() : helptext::command(options.command));
        return report.finish(ExitStatus::Done);
    }
    if (parsed.ok() && options.version) {
        // "program version", the line packagers and manual page tools expect.
        const QString version = QCoreApplication::applicationVersion();
        if (options.json)
            report.field("version", version, QString());
        else
            out << QCoreApplication::applicationName() << ' ' << version << '\n';
        return report.finish(ExitStatus::Done);
    }
    if (!parsed.ok())
        return report.finish(report.fail({ExitStatus::BadUsage, parsed.error}));
    if (options.parameterNames && options.command.isEmpty())
        return int(commands::parameterNames(out, options.description));
    if (options.command == "check")
        return report.finish(commands::check(report, options.arguments, options.strict));
    DeviceConnection connection(options, err);
    connection.showProgress(terminal.errorsOnTerminal && !options.quiet);
    return report.finish(runDeviceCommand(options, connection, report, terminal));
}
