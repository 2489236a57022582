#include "clioptions.h"

#include "commandtable.h"

#include <QCommandLineParser>

namespace {

QString checkShape(const CliOptions &options, const QStringList &flags)
{
    const CommandInfo *command = findCommand(options.command);
    for (const QString &flag : flags)
        if (!command->options.contains(flag))
            return QString("--%1 does not belong to the command %2.").arg(flag, options.command);
    const int count = options.arguments.size();
    if (count < command->leastArguments || (command->mostArguments >= 0 && count > command->mostArguments))
        return QString("Wrong number of arguments for %1; see kova-cli help %1.").arg(options.command);
    if (options.command == "set")
        for (const QString &assignment : options.arguments)
            if (assignment.indexOf('=') <= 0)
                return QString("\"%1\" is not NAME=VALUE.").arg(assignment);
    return QString();
}

QCommandLineOption parserOption(const OptionInfo &info)
{
    QStringList names{info.longName};
    if (!info.shortName.isEmpty())
        names.prepend(info.shortName);
    return QCommandLineOption(names, info.text, info.valueName);
}

QString unknownOptionText(const QString &name)
{
    return QString("Unknown option %1%2.").arg(name.size() == 1 ? "-" : "--", name);
}

}  // namespace

const QVector<OptionInfo> &commonOptions()
{
    static const QVector<OptionInfo> options{
        {"p", "port", "NAME",
         "the serial port, as kova.ini names it (ttyUSB0), as a device path or a link to one (/dev/ttyUSB0, "
         "/dev/serial/by-id/...), or as serial:NUMBER, the adapter with that USB serial number wherever it is "
         "plugged in (kova-cli ports shows it); default: KOVA_PORT, then the port the window remembers in "
         "kova.ini, then the echo scan (the last port that echoes)"},
        {"d", "description", "FILE", "the device description to use; default: the window's lookup (see Files)"},
        {"q", "quiet", "",
         "nothing on standard output but the --json document, and no progress; failures still on standard "
         "error"},
        {"v", "verbose", "",
         "what it tries, on standard error: where the port and the description came from, each dialect "
         "pinged"},
        {"", "trace", "", "every frame sent and received, in hex with milliseconds, on standard error"},
        {"", "json", "", "one JSON document on standard output instead of text"},
        {"h", "help", "", "this text; with a command, that command's use"},
        {"", "version", "", "the program's version"},
    };
    return options;
}

const QVector<OptionInfo> &commandOptions()
{
    static const QVector<OptionInfo> options{
        {"n", "dry-run", "", "only tells what would change"},
        {"", "force", "", "also takes a file made under another firmware version"},
        {"", "all", "", "also lists the parameters that are equal"},
        {"y", "yes", "", "no confirmation prompt"},
        {"", "keep-settings", "",
         "after the upload, loads the settings saved before it into the new firmware's description, by name "
         "and shown value; lists each one it no longer has or refuses, and then exits 7"},
        {"", "strict", "", "warnings count as problems, as in the exit status"},
        {"", "flash", "PACKAGE", "the firmware package each controller gets"},
        {"", "settings", "FILE", "the settings file each controller gets, loaded and then compared"},
        {"", "count", "N", "ends after N controllers; default: at Ctrl+C while waiting"},
        {"", "log", "FILE",
         "the record of each controller, JSON Lines, appended to; default: kova-batch-YYYYMMDD.jsonl in the "
         "current folder, named at the start"},
        {"", "stop-on-failure", "", "ends at the first controller that fails"},
    };
    return options;
}

const OptionInfo *findOption(const QString &longName)
{
    for (const QVector<OptionInfo> *list : {&commonOptions(), &commandOptions()})
        for (const OptionInfo &option : *list)
            if (option.longName == longName)
                return &option;
    return nullptr;
}

ParsedOptions parseOptions(const QStringList &arguments)
{
    ParsedOptions parsed;
    CliOptions &options = parsed.options;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    for (const QVector<OptionInfo> *list : {&commonOptions(), &commandOptions()})
        for (const OptionInfo &option : *list)
            parser.addOption(parserOption(option));
    // Asked by the bash completion; no user needs them.
    parser.addOption(QCommandLineOption("parameter-names"));
    parser.addOption(QCommandLineOption("list-entries", QString(), "PARAMETER"));
    parser.addOption(QCommandLineOption("port-names"));
    if (!parser.parse(QStringList("kova-cli") + arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        parsed.error = unknown.isEmpty() ? parser.errorText() : unknownOptionText(unknown.first());
        return parsed;
    }
    options.port = parser.value("port");
    options.description = parser.value("description");
    options.trace = parser.isSet("trace");
    options.json = parser.isSet("json");
    options.quiet = parser.isSet("quiet");
    options.verbose = parser.isSet("verbose");
    options.help = parser.isSet("help");
    options.version = parser.isSet("version");
    options.parameterNames = parser.isSet("parameter-names");
    options.listEntriesOf = parser.value("list-entries");
    options.portNames = parser.isSet("port-names");
    options.dryRun = parser.isSet("dry-run");
    options.force = parser.isSet("force");
    options.strict = parser.isSet("strict");
    options.all = parser.isSet("all");
    options.yes = parser.isSet("yes");
    options.keepSettings = parser.isSet("keep-settings");
    options.flashPackage = parser.value("flash");
    options.settingsFile = parser.value("settings");
    options.logFile = parser.value("log");
    options.stopOnFailure = parser.isSet("stop-on-failure");
    if (parser.isSet("count")) {
        bool number = false;
        options.count = parser.value("count").toInt(&number);
        if (!number || options.count < 1) {
            parsed.error =
                QString("--count takes a number of controllers above 0, not \"%1\".").arg(parser.value("count"));
            return parsed;
        }
    }
    options.arguments = parser.positionalArguments();
    if (!options.arguments.isEmpty())
        options.command = options.arguments.takeFirst();
    // "help COMMAND" is "COMMAND --help".
    if (options.command == "help" && options.arguments.size() <= 1) {
        options.help = true;
        options.command = options.arguments.value(0);
        options.arguments.clear();
    }
    if (options.command.isEmpty() && (options.help || options.version || options.asksForCompletion()))
        return parsed;
    if (options.command.isEmpty())
        parsed.error = QString("No command given; see kova-cli --help.");
    else if (!findCommand(options.command))
        parsed.error = QString("Unknown command %1; see kova-cli --help.").arg(options.command);
    else if (!options.help && !options.version) {
        QStringList flags;
        for (const OptionInfo &option : commandOptions())
            if (parser.isSet(option.longName))
                flags << option.longName;
        parsed.error = checkShape(options, flags);
    }
    return parsed;
}
