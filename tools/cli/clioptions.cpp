#include "clioptions.h"

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

const QVector<CommandInfo> &commandTable()
{
    static const QVector<CommandInfo> table{
        {"ports", "", "every serial port with its echo test; for a port that does not open, why", 0, 0, {}},
        {"info", "",
         "dialect and rate, device name, identifier, hardware revision, bootloader and firmware version, "
         "description file, block size and count",
         0, 0, {}},
        {"read", "[NAME...]",
         "every parameter: name, shown value, raw value, cells, and whether a dependency disables it; with "
         "names, only those parameters, reading only their cells and the cells of the parameters that "
         "enable them",
         0, -1, {}},
        {"save", "FILE",
         "the device's settings into FILE (JSON), written whole or not at all; - (or /dev/stdout) writes "
         "them to standard output and the report to standard error",
         1, 1, {}},
        {"load", "FILE",
         "writes the settings of FILE (- reads standard input) that differ from the device, each read back "
         "and listed as it is confirmed; refuses a file of another device, leaves out (refused) a value "
         "that the description does not allow",
         1, 1, {"dry-run", "force"}},
        {"diff", "FILE",
         "the device against FILE (- reads standard input): the parameters that differ, and those only one "
         "side has, judged as load would (a file load refuses is reported so) or, under another firmware, "
         "by name and shown value as flash --keep-settings restores",
         1, 1, {"all"}},
        {"set", "NAME=VALUE...",
         "sets parameters by name and shown value (list entry, number in the shown unit, on/off)", 1, -1, {}},
        {"flash", "PACKAGE",
         "uploads a firmware package (.upd) after the firmware page's checks, with a progress bar on a "
         "terminal and progress lines otherwise, then identifies the device again and prints its new "
         "firmware version; the file is read once, and the bytes checked and confirmed are the bytes sent. "
         "Right before the first block the device's identity is read again: another device gets nothing. A "
         "device that still reports another version than the package's \"FW\" afterwards is a failed upload. "
         "A file that cannot be read or is no firmware package is refused before the port is opened. Before "
         "the first block the device's settings are saved to a file in the backup folder (see Files), which "
         "it names; load --force FILE restores them",
         1, 1, {"yes", "keep-settings"}},
        {"check", "FILE...",
         "without a device: checks description files (.dsc) and firmware packages (.upd) and prints "
         "FILE:LINE: message for each problem (- reads standard input). A package is read in the dialect "
         "its first data line is long enough for and held against the description entries it fits, among "
         "the FILEs and beside them: how many blocks it has for each. Exit status 0 when nothing is wrong, "
         "2 otherwise; with --json a list",
         1, -1, {}},
        {"help", "[COMMAND]", "this text, or the use of one command", 0, 1, {}},
    };
    return table;
}

const QVector<OptionInfo> &commonOptions()
{
    static const QVector<OptionInfo> options{
        {"p", "port", "NAME",
         "the serial port, as kova.ini names it (ttyUSB0) or as a device path (/dev/ttyUSB0); default: "
         "KOVA_PORT, then the port the window remembers in kova.ini, then the echo scan (the last port that "
         "echoes)"},
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
    };
    return options;
}

const CommandInfo *findCommand(const QString &name)
{
    for (const CommandInfo &command : commandTable())
        if (command.name == name)
            return &command;
    return nullptr;
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
    // Asked by the bash completion; no user needs it.
    parser.addOption(QCommandLineOption("parameter-names"));
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
    options.dryRun = parser.isSet("dry-run");
    options.force = parser.isSet("force");
    options.all = parser.isSet("all");
    options.yes = parser.isSet("yes");
    options.keepSettings = parser.isSet("keep-settings");
    options.arguments = parser.positionalArguments();
    if (!options.arguments.isEmpty())
        options.command = options.arguments.takeFirst();
    // "help COMMAND" is "COMMAND --help".
    if (options.command == "help" && options.arguments.size() <= 1) {
        options.help = true;
        options.command = options.arguments.value(0);
        options.arguments.clear();
    }
    if (options.command.isEmpty() && (options.help || options.version || options.parameterNames))
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
