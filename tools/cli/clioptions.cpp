#include "clioptions.h"

#include <QCoreApplication>
#include <QMap>

namespace {

struct CommandShape {
    int leastArguments;
    int mostArguments;  // -1: any number
    QStringList flags;  // options only this command takes
};

const QMap<QString, CommandShape> &commands()
{
    static const QMap<QString, CommandShape> shapes{
        {"ports", {0, 0, {}}},
        {"info", {0, 0, {}}},
        {"read", {0, 0, {}}},
        {"save", {1, 1, {}}},
        {"load", {1, 1, {"--dry-run", "--force"}}},
        {"diff", {1, 1, {}}},
        {"set", {1, -1, {}}},
        {"flash", {1, 1, {"--yes"}}},
    };
    return shapes;
}

QString checkShape(const CliOptions &options, const QStringList &flags)
{
    const CommandShape shape = commands().value(options.command);
    for (const QString &flag : flags)
        if (!shape.flags.contains(flag))
            return QString("%1 does not belong to the command %2.").arg(flag, options.command);
    const int count = options.arguments.size();
    if (count < shape.leastArguments || (shape.mostArguments >= 0 && count > shape.mostArguments))
        return QString("Wrong number of arguments for %1; see kova-cli --help.").arg(options.command);
    if (options.command == "set")
        for (const QString &assignment : options.arguments)
            if (assignment.indexOf('=') <= 0)
                return QString("\"%1\" is not NAME=VALUE.").arg(assignment);
    return QString();
}

}  // namespace

ParsedOptions parseOptions(const QStringList &arguments)
{
    ParsedOptions parsed;
    CliOptions &options = parsed.options;
    QStringList commandFlags;
    for (int i = 0; i < arguments.size(); ++i) {
        QString argument = arguments.at(i);
        QString value;
        const bool takesValue = argument == "--port" || argument == "--description";
        if (takesValue) {
            if (++i >= arguments.size()) {
                parsed.error = QString("%1 needs a value.").arg(argument);
                return parsed;
            }
            value = arguments.at(i);
        } else if (argument.startsWith("--port=") || argument.startsWith("--description=")) {
            value = argument.mid(argument.indexOf('=') + 1);
            argument = argument.left(argument.indexOf('='));
        }
        if (argument == "--port")
            options.port = value;
        else if (argument == "--description")
            options.description = value;
        else if (argument == "--trace")
            options.trace = true;
        else if (argument == "--json")
            options.json = true;
        else if (argument == "--help" || argument == "-h")
            options.help = true;
        else if (argument == "--version")
            options.version = true;
        else if (argument == "--dry-run" || argument == "--force" || argument == "--yes") {
            commandFlags << argument;
            options.dryRun |= argument == "--dry-run";
            options.force |= argument == "--force";
            options.yes |= argument == "--yes";
        } else if (argument.startsWith("-") && argument != "-") {
            parsed.error = QString("Unknown option %1.").arg(argument);
            return parsed;
        } else if (options.command.isEmpty())
            options.command = argument;
        else
            options.arguments << argument;
    }
    if (options.help || options.version)
        return parsed;
    if (options.command.isEmpty())
        parsed.error = QString("No command given; see kova-cli --help.");
    else if (!commands().contains(options.command))
        parsed.error = QString("Unknown command %1; see kova-cli --help.").arg(options.command);
    else
        parsed.error = checkShape(options, commandFlags);
    return parsed;
}

QString helpText()
{
    return QStringLiteral(
        "Usage: kova-cli [options] COMMAND [arguments]\n"
        "\n"
        "Configures the speed controller behind the USB-to-serial cable from a terminal,\n"
        "over the same link, descriptions and firmware packages as the window.\n"
        "\n"
        "Commands:\n"
        "  ports               every serial port with its echo test; for a port that does\n"
        "                      not open, why\n"
        "  info                dialect and rate, device name, identifier, hardware\n"
        "                      revision, bootloader and firmware version, block size/count\n"
        "  read                every parameter: name, shown value, raw value, cells, and\n"
        "                      whether a dependency disables it\n"
        "  save FILE           the device's settings into FILE (JSON)\n"
        "  load FILE           writes the settings of FILE that differ from the device,\n"
        "                      each read back; refuses a file of another device\n"
        "      --dry-run       only tells what would change\n"
        "      --force         also takes a file made under another firmware version\n"
        "  diff FILE           the device against FILE, parameter by parameter\n"
        "  set NAME=VALUE ...  sets parameters by name and shown value (list entry,\n"
        "                      number in the shown unit, on/off)\n"
        "  flash PACKAGE       uploads a firmware package (.upd) after the firmware\n"
        "                      page's checks, with a progress bar on a terminal and\n"
        "                      progress lines otherwise, then identifies the device\n"
        "                      again and prints its new firmware version; the file is\n"
        "                      read once, and the bytes checked and confirmed are the\n"
        "                      bytes sent. Right before the first block the device's\n"
        "                      identity is read again: another device gets nothing.\n"
        "                      A device that still reports another version than the\n"
        "                      package's \"FW\" afterwards is a failed upload\n"
        "      --yes           no confirmation prompt\n"
        "\n"
        "A settings file is JSON: \"format\" \"kova-settings\", \"version\" 1, the\n"
        "\"device\" (name, id, hardware, bootloader, firmware version) and for every\n"
        "parameter its name, cells, raw value and shown value. It is written whole\n"
        "or not at all.\n"
        "\n"
        "The dialects are tried in the window's order: Vorn, Kelpa, Ulma at 19000 and\n"
        "at 4800 baud. Ctrl+C, SIGTERM and SIGHUP stop between two exchanges, and at\n"
        "flash's prompt before anything is sent. During an upload the first Ctrl+C\n"
        "only warns, a second one stops between blocks and leaves the controller with\n"
        "partly written firmware; SIGTERM and SIGHUP wait until the upload has ended.\n"
        "\n"
        "Options:\n"
        "  --port NAME         the port, as kova.ini names it (ttyUSB0) or a device path\n"
        "                      (/dev/ttyUSB0); default: the port the window remembers in\n"
        "                      kova.ini, beside the program or, when the program's\n"
        "                      folder cannot be written, ~/.config/kova/kova.ini; else\n"
        "                      the echo scan (the last port that echoes)\n"
        "  --description FILE  the device description to use; default: tellur.dsc in the\n"
        "                      current folder, then the *.dsc files in firmwares/ beside\n"
        "                      the program; when there is no tellur.dsc, the same in\n"
        "                      ~/.local/share/kova/, then in the installed shared data\n"
        "                      folder (/usr/share/kova/ for the package)\n"
        "  --trace             every frame sent and received, in hex with milliseconds,\n"
        "                      on standard error\n"
        "  --json              one JSON document on standard output instead of text\n"
        "  --help              this text\n"
        "  --version           the program's version\n"
        "\n"
        "Exit status:\n"
        "  0    done (diff: no difference)\n"
        "  1    diff found differences; flash was not confirmed\n"
        "  2    bad usage or a bad file\n"
        "  3    no cable or port\n"
        "  4    no device answered\n"
        "  5    no description, or a file for another device\n"
        "  6    a write, read-back or upload failed\n"
        "  129  stopped by SIGHUP\n"
        "  130  stopped by Ctrl+C\n"
        "  143  stopped by SIGTERM\n"
        "Every failure also prints one sentence on standard error.\n");
}
