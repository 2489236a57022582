#include "cli.h"

#include "clioptions.h"
#include "commandtable.h"
#include "report.h"

#include <QCoreApplication>
#include <QTextStream>

int runCli(const QStringList &arguments, QTextStream &out, QTextStream &err, const Terminal &terminal)
{
    const ParsedOptions parsed = parseOptions(arguments);
    const CliOptions &options = parsed.options;
    Report report(out, err, options.json);
    report.setQuiet(options.quiet);
    const Invocation invocation{options, report, out, err, terminal};
    if (parsed.ok() && options.help)
        return report.finish(findCommand(QStringLiteral("help"))->run(invocation));
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
    if (!options.listEntriesOf.isEmpty() && options.command.isEmpty())
        return int(commands::listEntries(out, options.description, options.listEntriesOf));
    if (options.portNames && options.command.isEmpty())
        return int(commands::portNames(out));
    // The parser has refused a name that is no command.
    return report.finish(findCommand(options.command)->run(invocation));
}
