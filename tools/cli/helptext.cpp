#include "helptext.h"

#include "clioptions.h"
#include "commandtable.h"

#include <QStringList>
#include <QVector>

namespace helptext {

namespace {

// A term and what it means: a file, a variable, an exit status.
struct Entry {
    QString term;
    QString text;
};

struct Example {
    QString commandLine;
    QString text;
};

const QString Summary =
    QStringLiteral("save, load, compare, set and flash a speed controller from a terminal, and check description files "
                   "and firmware packages");

const QStringList Description{
    QStringLiteral("Configures the speed controller behind the USB-to-serial cable from a terminal, over the "
                   "same link, descriptions and firmware packages as the window, and checks description files "
                   "and firmware packages without a device."),
    QStringLiteral("Options may stand before or after the command; -- ends them, so that an argument after it "
                   "may begin with a dash. Short options may be joined: -qy is -q -y."),
    QStringLiteral("A settings file is JSON: \"format\" \"kova-settings\", \"version\" 1, the \"device\" (name, "
                   "id, hardware, bootloader, firmware version) and for every parameter its name, cells, raw "
                   "value, shown value and whether the description allows that value (\"allowed\"; a file "
                   "without it counts as allowed). Parameters of one name are told apart by their cells. A "
                   "value the description does not allow is shown as its raw value and why (\"200 % (raw 200, "
                   "out of the range 1 to 25)\"), and load and flash --keep-settings never write it."),
    QStringLiteral("The dialects are tried in the window's order: Vorn, Kelpa, Ulma at 19000 and at 4800 baud. "
                   "On a terminal, read, save, load and diff show how many cells have been read, and flash "
                   "shows a bar of its blocks; on a pipe they show nothing of it. Ctrl+C, SIGTERM and SIGHUP "
                   "stop between two exchanges, and at flash's prompt before anything is sent. During an upload "
                   "the first Ctrl+C only warns, a second one stops between blocks and leaves the controller "
                   "with partly written firmware; SIGTERM and SIGHUP wait until the upload has ended."),
};

// The manual page's section on batch.
const QStringList ProductionLine{
    QStringLiteral("batch prepares controller after controller on one cable: the package and the settings file "
                   "are read and checked once, the question is asked once (not with -y), and then for each "
                   "controller that comes onto the cable: identify it, refuse it when the package or the file "
                   "does not fit it, back up its settings, flash it, load the file and compare. It prints one "
                   "line per controller, asks for it to be disconnected, and waits until only the cable's echo "
                   "comes back before it waits for the next one, so a controller left on the cable is never "
                   "flashed twice. Ctrl+C while it waits ends the batch with its counts (Units, OK, Failed, "
                   "Refused) and the log's path; during a controller the rules of flash hold, the controller is "
                   "recorded as failed, and the batch ends with the signal's status."),
    QStringLiteral("The log is JSON Lines, only ever appended to: one record per controller, written whole when "
                   "the controller is done, so that batches on several cables may share one file. Every record "
                   "has the keys unit, started and ended (ISO 8601 with the offset), port, adapter (the USB "
                   "serial number of the adapter, or null), device, id, hw, bl, firmware_before, firmware_after "
                   "(null when not flashed), package and package_sha256 (null without --flash), settings, "
                   "backup, result (ok, failed or refused) and reason (the sentence of the failure or refusal, "
                   "empty when ok). With --json the same records come at the end as the list \"records\"."),
};
const Example ProductionLineExample{
    "kova-cli -p ttyUSB0 batch --flash firmwares/vorn-4.13.upd --settings kestrel-4.13.json --count 50",
    "Flashes 4.13 onto fifty controllers one after another and loads kestrel-4.13.json (saved from a "
    "controller running 4.13) onto each; kova-batch-YYYYMMDD.jsonl keeps a record of each."};

const QVector<Entry> Environment{
    {"KOVA_PORT", "the port to use when --port is not given, in any form --port takes, before the one kova.ini "
                  "names"},
};

const QVector<Entry> Files{
    {"kova.ini", "the port the window remembers: beside the program or, when the program's folder cannot be written, "
                 "~/.config/kova/kova.ini"},
    {"tellur.dsc", "the description of the controllers, in the current folder, with further *.dsc files in firmwares/ "
                   "beside the program; when there is no tellur.dsc, the same in ~/.local/share/kova/, then in the "
                   "installed shared data folder (/usr/share/kova/ for the package)"},
    {"~/.local/share/kova/backups/",
     "the settings each flash and each firmware update in the window saves before its first block, one file "
     "per update named after the device and the time (Vorn-Kestrel-80-20261207-094512.json); kept after the "
     "update, whatever its outcome; backups lists them, restore puts them back"},
    {"kova-batch-YYYYMMDD.jsonl",
     "batch's record of each controller, in the current folder, named after the day the batch started; "
     "--log names another"},
    {"firmwares/*.upd",
     "firmware packages, beside the program; flash takes the package it is given, check also reads the "
     "packages beside each description it checks and in its firmwares/ folder"},
};

const QVector<Entry> ExitStatuses{
    {"0", "done (diff: no difference; check: no problem)"},
    {"1", "diff found differences; flash or batch was not confirmed"},
    {"2", "bad usage or a bad file; check found a problem"},
    {"3", "no cable or port; batch: the cable went away and did not come back"},
    {"4", "no device answered"},
    {"5", "no description, or a file for another device; restore found no backup of the controller; batch: "
          "a controller was refused and none failed"},
    {"6", "a write, read-back or upload failed; batch: a controller failed"},
    {"7", "load, restore or flash --keep-settings left a saved setting unrestored (its lines say why)"},
    {"129", "stopped by SIGHUP"},
    {"130", "stopped by Ctrl+C"},
    {"143", "stopped by SIGTERM"},
};
const QString ExitStatusNote = QStringLiteral("Every failure also prints one sentence on standard error.");

const QVector<Example> Examples{
    {"kova-cli info", "Finds the cable and the controller and tells what it is."},
    {"kova-cli save kestrel.json", "Keeps the controller's settings in a file."},
    {"kova-cli diff kestrel.json", "Lists what the controller holds differently from the file (exit status 1)."},
    {"kova-cli load -n kestrel.json", "Tells what a load would change, without writing."},
    {"kova-cli -p ttyUSB1 load kestrel.json", "Writes what differs on the controller behind ttyUSB1."},
    {"kova-cli read \"Start power\" Governor", "Reads two parameters only."},
    {"kova-cli set \"Start power=12\" Governor=On", "Sets two parameters by their shown values."},
    {"kova-cli save - | ssh bench2 kova-cli load -", "Copies the settings to the controller on another bench."},
    {"kova-cli flash -y firmwares/vorn-4.13.upd", "Installs a package without asking."},
    {"kova-cli flash --keep-settings firmwares/vorn-4.14.upd",
     "Installs a package and puts the settings back that the new firmware still has."},
    {"kova-cli restore", "Puts back the settings that the last firmware update of the controller saved."},
    {"kova-cli check tellur.dsc firmwares/*.dsc firmwares/*.upd",
     "Checks descriptions and packages before they reach a bench."},
};

constexpr int Width = 80;
constexpr int TermColumn = 24;
constexpr int StatusColumn = 8;

QString optionTerm(const OptionInfo &option)
{
    QString term = option.shortName.isEmpty() ? QStringLiteral("    ") : QString("-%1, ").arg(option.shortName);
    term += "--" + option.longName;
    if (!option.valueName.isEmpty())
        term += ' ' + option.valueName;
    return term;
}

QString commandTerm(const CommandInfo &command)
{
    return command.arguments.isEmpty() ? command.name : command.name + ' ' + command.arguments;
}

QStringList wrapped(const QString &text, int width)
{
    QStringList lines;
    QString line;
    for (const QString &word : text.split(' ', Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
            lines << line;
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

QString paragraph(const QString &text)
{
    return wrapped(text, Width).join('\n') + '\n';
}

// "  term                  text", the text wrapped in its column; a long
// term stands on a line of its own.
QString tableRow(const QString &term, const QString &text, int indent, int column = TermColumn)
{
    const QString lead = QString(indent, ' ') + term;
    const QStringList lines = wrapped(text, Width - column);
    QString row;
    int first = 0;
    if (lead.size() + 2 <= column && !lines.isEmpty()) {
        row = lead.leftJustified(column) + lines.first() + '\n';
        first = 1;
    } else {
        row = lead + '\n';
    }
    for (int i = first; i < lines.size(); ++i)
        row += QString(column, ' ') + lines.at(i) + '\n';
    return row;
}

QString commandRows(const CommandInfo &command)
{
    QString rows = tableRow(commandTerm(command), command.text, 2);
    for (const QString &name : command.options)
        if (const OptionInfo *option = findOption(name))
            rows += tableRow(optionTerm(*option), option->text, 6);
    return rows;
}

QString entryRows(const QVector<Entry> &entries, int column = TermColumn)
{
    QString rows;
    for (const Entry &entry : entries)
        rows += tableRow(entry.term, entry.text, 2, column);
    return rows;
}

// ---- roff

QString roffText(QString text)
{
    text.replace('\\', QLatin1String("\\e"));
    text.replace('-', QLatin1String("\\-"));
    if (text.startsWith('.') || text.startsWith('\''))
        text.prepend(QLatin1String("\\&"));
    return text;
}

QString roffOptionTerm(const OptionInfo &option)
{
    QString term = option.shortName.isEmpty() ? QString() : QString("\\fB\\-%1\\fR, ").arg(option.shortName);
    term += "\\fB" + roffText("--" + option.longName) + "\\fR";
    if (!option.valueName.isEmpty())
        term += " \\fI" + option.valueName + "\\fR";
    return term;
}

QString roffTagged(const QString &term, const QString &text)
{
    return ".TP\n" + term + '\n' + roffText(text) + '\n';
}

QString roffEntries(const QVector<Entry> &entries, bool bold)
{
    QString roff;
    for (const Entry &entry : entries)
        roff += roffTagged((bold ? "\\fB" : "\\fI") + roffText(entry.term) + "\\fR", entry.text);
    return roff;
}

// ---- bash

// What the completion does at an argument of such a command.
QString completionCall(ArgumentCompletion completion)
{
    switch (completion) {
    case ArgumentCompletion::Nothing: break;
    case ArgumentCompletion::Commands:
        return QStringLiteral("mapfile -t COMPREPLY < <(compgen -W \"$_kova_cli_commands\" -- \"$cur\")");
    case ArgumentCompletion::ParameterNames: return QStringLiteral("_kova_cli_parameters \"\"");
    case ArgumentCompletion::Assignments: return QStringLiteral("_kova_cli_assignments");
    case ArgumentCompletion::SettingsFiles: return QStringLiteral("_kova_cli_files json");
    case ArgumentCompletion::Packages: return QStringLiteral("_kova_cli_files upd");
    case ArgumentCompletion::DescriptionsAndPackages: return QStringLiteral("_kova_cli_files dsc upd");
    }
    return QString();
}

QString caseBranch(const QStringList &patterns, const QString &body)
{
    return QString("        %1) %2 ;;").arg(patterns.join(" | "), body);
}

}  // namespace

QString full()
{
    QString text = QStringLiteral("Usage: kova-cli [options] COMMAND [arguments]\n"
                                  "       kova-cli help COMMAND\n\n");
    text += paragraph(Description.first()) + '\n';
    text += QStringLiteral("Commands:\n");
    for (const CommandInfo &command : commandTable())
        text += commandRows(command);
    text += QStringLiteral("\nOptions:\n");
    for (const OptionInfo &option : commonOptions())
        text += tableRow(optionTerm(option), option.text, 2);
    for (int i = 1; i < Description.size(); ++i)
        text += '\n' + paragraph(Description.at(i));
    text += QStringLiteral("\nEnvironment:\n") + entryRows(Environment);
    text += QStringLiteral("\nFiles:\n") + entryRows(Files);
    text += QStringLiteral("\nExit status:\n") + entryRows(ExitStatuses, StatusColumn) + ExitStatusNote + '\n';
    return text;
}

QString command(const QString &name)
{
    const CommandInfo *command = findCommand(name);
    if (!command)
        return QString();
    QString text = QString("Usage: kova-cli [options] %1\n\n").arg(commandTerm(*command));
    text += paragraph(command->text.left(1).toUpper() + command->text.mid(1) + '.');
    if (!command->options.isEmpty()) {
        text += QStringLiteral("\nOptions of %1:\n").arg(command->name);
        for (const QString &option : command->options)
            text += tableRow(optionTerm(*findOption(option)), findOption(option)->text, 2);
    }
    text += '\n'
            + paragraph(QStringLiteral("The options of every command (--port, --json, --quiet, ...) are in "
                                       "kova-cli --help."));
    return text;
}

QString manualPage(const QString &version)
{
    QString roff = QString(".TH KOVA-CLI 1 \"\" \"KOVA II %1\" \"User Commands\"\n").arg(version);
    roff += ".SH NAME\nkova\\-cli \\- " + roffText(Summary) + '\n';
    roff += ".SH SYNOPSIS\n.B kova\\-cli\n[\\fIoptions\\fR] \\fICOMMAND\\fR [\\fIarguments\\fR]\n.br\n"
            ".B kova\\-cli help\n\\fICOMMAND\\fR\n";
    roff += ".SH DESCRIPTION\n";
    for (const QString &text : Description)
        roff += roffText(text) + "\n.PP\n";
    roff.chop(4);
    roff += ".SH COMMANDS\n";
    for (const CommandInfo &command : commandTable()) {
        roff +=
            roffTagged("\\fB" + command.name + "\\fR"
                           + (command.arguments.isEmpty() ? QString() : " \\fI" + roffText(command.arguments) + "\\fR"),
                       command.text);
        if (command.options.isEmpty())
            continue;
        roff += ".RS\n";
        for (const QString &name : command.options)
            roff += roffTagged(roffOptionTerm(*findOption(name)), findOption(name)->text);
        roff += ".RE\n";
    }
    roff += ".SH OPTIONS\n";
    for (const OptionInfo &option : commonOptions())
        roff += roffTagged(roffOptionTerm(option), option.text);
    roff += roffTagged("\\fB\\-\\-\\fR", "ends the options");
    roff += ".SH \"PRODUCTION LINE\"\n";
    for (const QString &text : ProductionLine)
        roff += roffText(text) + "\n.PP\n";
    roff += roffTagged("\\fB" + roffText(ProductionLineExample.commandLine) + "\\fR", ProductionLineExample.text);
    roff += ".SH \"EXIT STATUS\"\n" + roffEntries(ExitStatuses, true) + ".PP\n" + roffText(ExitStatusNote) + '\n';
    roff += ".SH ENVIRONMENT\n" + roffEntries(Environment, true);
    roff += ".SH FILES\n" + roffEntries(Files, false);
    roff += ".SH EXAMPLES\n";
    for (const Example &example : Examples)
        roff += roffTagged("\\fB" + roffText(example.commandLine) + "\\fR", example.text);
    roff += ".SH \"SEE ALSO\"\n.BR kova (1),\n.BR kova\\-simulator (1)\n";
    return roff;
}

QString completionScript(QString script)
{
    QStringList names;
    QStringList optionBranches;
    for (const CommandInfo &command : commandTable()) {
        names << command.name;
        QStringList words;
        for (const QString &name : command.options) {
            const OptionInfo *option = findOption(name);
            if (!option->shortName.isEmpty())
                words << "-" + option->shortName;
            words << "--" + option->longName;
        }
        if (!words.isEmpty())
            optionBranches << caseBranch({command.name}, QString("echo \"%1\"").arg(words.join(' ')));
    }
    QStringList argumentBranches;
    for (const ArgumentCompletion completion :
         {ArgumentCompletion::Commands, ArgumentCompletion::ParameterNames, ArgumentCompletion::Assignments,
          ArgumentCompletion::SettingsFiles, ArgumentCompletion::Packages,
          ArgumentCompletion::DescriptionsAndPackages}) {
        // Before the command, the commands are what can come.
        QStringList patterns = completion == ArgumentCompletion::Commands ? QStringList("\"\"") : QStringList();
        for (const CommandInfo &command : commandTable())
            if (command.completion == completion)
                patterns << command.name;
        if (!patterns.isEmpty())
            argumentBranches << caseBranch(patterns, completionCall(completion));
    }
    script.replace(QLatin1String("@COMMANDS@"), names.join(' '));
    script.replace(QLatin1String("@COMMAND_OPTIONS@"), optionBranches.join('\n'));
    script.replace(QLatin1String("@COMMAND_ARGUMENTS@"), argumentBranches.join('\n'));
    return script;
}

}  // namespace helptext
