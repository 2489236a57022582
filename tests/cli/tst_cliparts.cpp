// The parts of kova-cli that need no device: options, help and completion,
// the report, what it says of ports and the progress bar.
#include "clioptions.h"
#include "commandtable.h"
#include "helptext.h"
#include "portwording.h"
#include "progressdisplay.h"
#include "report.h"
#include "support/testsupport.h"

#include "link/portnaming.h"

#include <QJsonDocument>
#include <QProcess>
#include <QtTest>

#include <functional>

using Listing = std::function<QStringList()>;
Q_DECLARE_METATYPE(Listing)

namespace {

// The first capture of `pattern` in each line of `text` between `from` and `to`.
QStringList captured(const QString &text, const QString &from, const QString &to, const QString &pattern)
{
    const int start = text.indexOf(from);
    const int end = text.indexOf(to, start + 1);
    if (start < 0 || end < 0)
        return {"no section " + from};
    QStringList names;
    const QRegularExpression expression(pattern);
    for (const QString &line : text.mid(start, end - start).split('\n')) {
        const QRegularExpressionMatch match = expression.match(line);
        if (match.hasMatch())
            names << match.captured(1);
    }
    return names;
}

// What the installed bash completion offers at the last of `words`, in its order.
QStringList completed(const QStringList &words)
{
    QProcess bash;
    bash.start("bash", QStringList{"-c",
                                   "source \"$1\"; shift; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _kova_cli; "
                                   "printf '%s\\n' \"${COMPREPLY[@]}\"",
                                   "bash", KOVA_CLI_COMPLETION}
                           + words);
    if (!bash.waitForFinished(testsupport::ConditionWaitMs) || bash.exitCode() != 0)
        return {"bash failed: " + QString::fromLocal8Bit(bash.readAllStandardError())};
    return QString::fromLocal8Bit(bash.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

}  // namespace

class CliPartsTest : public QObject
{
    Q_OBJECT

private slots:
    void options_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QStringList>("rest");
        QTest::addColumn<QStringList>("flags");  // long names of the flags that are set

        const QStringList none;
        QTest::newRow("info") << QStringList{"info"} << true << "info"
                              << "" << none << none;
        QTest::newRow("port name") << QStringList{"--port", "ttyUSB0", "read"} << true << "read"
                                   << "ttyUSB0" << none << none;
        QTest::newRow("port by its serial number") << QStringList{"-p", "serial:A1B2C3", "info"} << true << "info"
                                                   << "serial:A1B2C3" << none << none;
        QTest::newRow("completion asks for the ports") << QStringList{"--port-names"} << true << ""
                                                       << "" << none << none;
        QTest::newRow("completion asks for list entries")
            << QStringList{"--list-entries", "Brake", "-d", "a.dsc"} << true << ""
            << "" << none << none;
        QTest::newRow("port path, equals") << QStringList{"--port=/dev/pts/3", "--json", "info"} << true << "info"
                                           << "/dev/pts/3" << none << QStringList{"json"};
        QTest::newRow("load flags") << QStringList{"load", "a.json", "--dry-run", "--force"} << true << "load"
                                    << "" << QStringList{"a.json"} << QStringList{"dry-run", "force"};
        QTest::newRow("set several") << QStringList{"set", "A=1", "B C=on"} << true << "set"
                                     << "" << QStringList{"A=1", "B C=on"} << none;
        QTest::newRow("flash yes") << QStringList{"--yes", "flash", "p.upd"} << true << "flash"
                                   << "" << QStringList{"p.upd"} << QStringList{"yes"};
        QTest::newRow("help alone") << QStringList{"--help"} << true << ""
                                    << "" << none << QStringList{"help"};
        QTest::newRow("short options") << QStringList{"-p", "ttyUSB1", "-d", "a.dsc", "-n", "load", "a.json"} << true
                                       << "load"
                                       << "ttyUSB1" << QStringList{"a.json"} << QStringList{"dry-run"};
        QTest::newRow("short options joined") << QStringList{"-qvy", "flash", "p.upd"} << true << "flash"
                                              << "" << QStringList{"p.upd"} << QStringList{"quiet", "verbose", "yes"};
        QTest::newRow("dash is standard output") << QStringList{"save", "-"} << true << "save"
                                                 << "" << QStringList{"-"} << none;
        QTest::newRow("double dash ends the options")
            << QStringList{"set", "--json", "--", "-x=1", "--all=2"} << true << "set"
            << "" << QStringList{"-x=1", "--all=2"} << QStringList{"json"};
        QTest::newRow("help for a command") << QStringList{"help", "load"} << true << "load"
                                            << "" << none << QStringList{"help"};
        QTest::newRow("command's help") << QStringList{"diff", "-h"} << true << "diff"
                                        << "" << none << QStringList{"help"};
        QTest::newRow("diff all") << QStringList{"diff", "a.json", "--all"} << true << "diff"
                                  << "" << QStringList{"a.json"} << QStringList{"all"};
        QTest::newRow("read names") << QStringList{"read", "Brake", "Start power"} << true << "read"
                                    << "" << QStringList{"Brake", "Start power"} << none;
        QTest::newRow("check") << QStringList{"check", "a.dsc", "-", "b.upd"} << true << "check"
                               << "" << QStringList{"a.dsc", "-", "b.upd"} << none;
        QTest::newRow("flag of another command") << QStringList{"save", "a.json", "--dry-run"} << false << ""
                                                 << "" << none << none;
        QTest::newRow("short flag of another command") << QStringList{"-y", "load", "a.json"} << false << ""
                                                       << "" << none << none;
        QTest::newRow("all for load") << QStringList{"load", "a.json", "--all"} << false << ""
                                      << "" << none << none;
        QTest::newRow("set without =") << QStringList{"set", "A"} << false << ""
                                       << "" << none << none;
        QTest::newRow("set with empty name") << QStringList{"set", "=3"} << false << ""
                                             << "" << none << none;
        QTest::newRow("save without file") << QStringList{"save"} << false << ""
                                           << "" << none << none;
        QTest::newRow("check without file") << QStringList{"check"} << false << ""
                                            << "" << none << none;
        QTest::newRow("info with argument") << QStringList{"info", "x"} << false << ""
                                            << "" << none << none;
        QTest::newRow("unknown option") << QStringList{"--baud", "info"} << false << ""
                                        << "" << none << none;
        QTest::newRow("unknown short option") << QStringList{"-x", "info"} << false << ""
                                              << "" << none << none;
        QTest::newRow("unknown command") << QStringList{"erase"} << false << ""
                                         << "" << none << none;
        QTest::newRow("help for an unknown command") << QStringList{"help", "erase"} << false << ""
                                                     << "" << none << none;
        QTest::newRow("no command") << QStringList{"--json"} << false << ""
                                    << "" << none << none;
        QTest::newRow("port without value") << QStringList{"info", "--port"} << false << ""
                                            << "" << none << none;
    }

    void options()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, ok);
        QFETCH(QString, command);
        QFETCH(QString, port);
        QFETCH(QStringList, rest);
        QFETCH(QStringList, flags);
        const ParsedOptions parsed = parseOptions(arguments);
        QCOMPARE(parsed.ok(), ok);
        QCOMPARE(parsed.error.isEmpty(), parsed.ok());
        if (!ok)
            return;
        const CliOptions &options = parsed.options;
        QCOMPARE(options.command, command);
        QCOMPARE(options.port, port);
        QCOMPARE(options.arguments, rest);
        const std::pair<const char *, bool> set[] = {
            {"dry-run", options.dryRun}, {"force", options.force}, {"all", options.all},         {"yes", options.yes},
            {"json", options.json},      {"quiet", options.quiet}, {"verbose", options.verbose}, {"help", options.help},
        };
        for (const auto &flag : set)
            QVERIFY2(flag.second == flags.contains(flag.first), flag.first);
    }

    // --help, the manual page and the bash completion list the commands of
    // the table, each once, in its order.
    void commandsListedOnce_data()
    {
        QTest::addColumn<Listing>("listing");
        QTest::newRow("--help") << Listing(
            [] { return captured(helptext::full(), "\nCommands:\n", "\nOptions:\n", "^  ([a-z]+)( |$)"); });
        QTest::newRow("manual page") << Listing([] {
            return captured(helptext::manualPage("1.03"), ".SH COMMANDS\n", ".SH OPTIONS\n", "^\\\\fB([a-z]+)\\\\fR");
        });
        QTest::newRow("completion") << Listing([] { return completed({"kova-cli", ""}); });
        QTest::newRow("completion after help") << Listing([] { return completed({"kova-cli", "-q", "help", ""}); });
    }

    void commandsListedOnce()
    {
        QFETCH(Listing, listing);
        QStringList names;
        for (const CommandInfo &command : commandTable())
            names << command.name;
        QCOMPARE(listing(), names);
    }

    // --help, `help COMMAND` and the manual page list each command's own
    // options under the command, and every option of every command.
    void commandOptionsStandUnderTheirCommand_data()
    {
        QTest::addColumn<QString>("command");
        for (const CommandInfo &command : commandTable())
            QTest::newRow(qPrintable(command.name)) << command.name;
    }

    void commandOptionsStandUnderTheirCommand()
    {
        QFETCH(QString, command);
        const CommandInfo *info = findCommand(command);
        QVERIFY(info);
        const QString full = helptext::full();
        const QString manual = helptext::manualPage("1.03");
        const QString own = helptext::command(command);
        QVERIFY(own.startsWith("Usage: kova-cli [options] " + command));
        const int row = full.indexOf(QRegularExpression("\\n  " + command + "[ \\n]"));
        const int nextRow = full.indexOf(QRegularExpression("\\n  [a-z]"), row + 1);
        const int manualRow = manual.indexOf(".TP\n\\fB" + command + "\\fR");
        const int manualNext = manual.indexOf(QRegularExpression("\\.TP\\n\\\\fB[a-z]|\\.SH"), manualRow + 1);
        QVERIFY(row > 0 && nextRow > row);
        QVERIFY(manualRow > 0 && manualNext > manualRow);
        for (const QString &name : info->options) {
            const QString option = "--" + name;
            const QString manualOption = "\\-\\-" + QString(name).replace("-", "\\-");
            const int at = full.indexOf(option, row);
            QVERIFY2(at > row && at < nextRow, qPrintable(option));
            QVERIFY2(own.contains(option), qPrintable(option));
            const int manualAt = manual.indexOf(manualOption, manualRow);
            QVERIFY2(manualAt > manualRow && manualAt < manualNext, qPrintable(option));
        }
    }

    void manualPageHasItsSections()
    {
        const QString manual = helptext::manualPage("1.03");
        QStringList sections;
        for (const QString &line : manual.split('\n'))
            if (line.startsWith(".SH "))
                sections << line.mid(4).remove('"');
        QCOMPARE(sections, QStringList({"NAME", "SYNOPSIS", "DESCRIPTION", "COMMANDS", "OPTIONS", "PRODUCTION LINE",
                                        "EXIT STATUS", "ENVIRONMENT", "FILES", "EXAMPLES", "SEE ALSO"}));
        for (const OptionInfo &option : commonOptions())
            QVERIFY2(manual.contains("\\-\\-" + QString(option.longName).replace("-", "\\-")),
                     qPrintable(option.longName));
        QVERIFY(manual.contains("KOVA_PORT"));
        QVERIFY(manual.contains(".TP\n\\fBkova\\-cli check"));
    }

    // A line of the report is on its stream when it is made, not at the end:
    // a load's lines follow its writes.
    void reportLinesAppearAtOnce()
    {
        QString text;
        QTextStream out(&text);
        QString errors;
        QTextStream err(&errors);
        Report report(out, err, false);
        report.parameter("changed", "Start power", "Start power: 8 % -> 12 %");
        QCOMPARE(text, QString("changed       Start power: 8 % -> 12 %\n"));
        report.setQuiet(true);
        report.parameter("changed", "Governor", "Governor: Off -> On");
        QCOMPARE(text.count('\n'), 1);
        QVERIFY(errors.isEmpty());
    }

    // What ports says of an adapter, in text and JSON; a pseudo-terminal
    // has none of it.
    void usbFacts_data()
    {
        QTest::addColumn<int>("vendorId");  // -1: not known
        QTest::addColumn<int>("productId");
        QTest::addColumn<QStringList>("strings");  // manufacturer, product, serial number
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("json");

        QTest::newRow("everything") << 0x0403 << 0x6001 << QStringList{"FTDI", "FT232R USB UART", "A1B2C3"}
                                    << "0403:6001 FTDI FT232R USB UART, serial A1B2C3"
                                    << QByteArray(R"({"manufacturer":"FTDI","product":"FT232R USB UART",)"
                                                  R"("productId":"6001","serial":"A1B2C3","vendorId":"0403"})");
        QTest::newRow("ids only") << 0x2341 << 0x43 << QStringList{"", "", ""} << "2341:0043"
                                  << QByteArray(R"({"manufacturer":null,"product":null,)"
                                                R"("productId":"0043","serial":null,"vendorId":"2341"})");
        QTest::newRow("serial number only")
            << -1 << -1 << QStringList{"", "", "A1B2C3"} << "serial A1B2C3"
            << QByteArray(R"({"manufacturer":null,"product":null,"productId":null,"serial":"A1B2C3","vendorId":null})");
        QTest::newRow("pseudo-terminal")
            << -1 << -1 << QStringList{"", "", ""} << ""
            << QByteArray(R"({"manufacturer":null,"product":null,"productId":null,"serial":null,"vendorId":null})");
    }

    void usbFacts()
    {
        QFETCH(int, vendorId);
        QFETCH(int, productId);
        QFETCH(QStringList, strings);
        QFETCH(QString, text);
        QFETCH(QByteArray, json);
        UsbFacts usb;
        if (vendorId >= 0)
            usb.vendorId = quint16(vendorId);
        if (productId >= 0)
            usb.productId = quint16(productId);
        usb.manufacturer = strings.at(0);
        usb.product = strings.at(1);
        usb.serialNumber = strings.at(2);
        QCOMPARE(portwording::usbText(usb), text);
        QJsonObject entry;
        portwording::insertUsbFacts(entry, usb);
        QCOMPARE(QJsonDocument(entry).toJson(QJsonDocument::Compact), json);
    }

    void portRefusals_data()
    {
        QTest::addColumn<QStringList>("sharing");  // the ports with the serial number asked for
        QTest::addColumn<QString>("sentence");

        QTest::newRow("no port has it") << QStringList() << "No port has the adapter with serial number A1B2C3.";
        QTest::newRow("two ports") << QStringList{"ttyUSB0", "ttyUSB1"}
                                   << "Ports ttyUSB0 and ttyUSB1 both have serial number A1B2C3: name one by its path.";
        QTest::newRow("three ports") << QStringList{
            "ttyUSB0", "ttyUSB1",
            "ttyACM0"} << "Ports ttyUSB0, ttyUSB1 and ttyACM0 all have serial number A1B2C3: name one by its path.";
    }

    void portRefusals()
    {
        QFETCH(QStringList, sharing);
        QFETCH(QString, sentence);
        const QVector<PortRecord> ports{{"ttyUSB0", "/dev/ttyUSB0", UsbFacts()}};
        QVector<PortRecord> listed;
        for (const QString &name : sharing) {
            PortRecord port{name, "/dev/" + name, UsbFacts()};
            port.usb.serialNumber = "A1B2C3";
            listed << port;
        }
        const PortChoice choice = resolvePortName("serial:A1B2C3", listed + ports);
        QVERIFY(choice.outcome != PortChoice::Outcome::Found);
        const Failure failure = portwording::choiceFailure(choice);
        QCOMPARE(failure.status, ExitStatus::NoPort);
        QCOMPARE(failure.sentence, sentence);
    }

    void progressBar_data()
    {
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("elapsedMs");
        QTest::addColumn<QString>("bar");
        QTest::addColumn<QString>("line");

        QTest::newRow("start") << 0 << 64 << 0 << "[----------]  0/64 blocks   0% 0:00 elapsed -:-- remaining"
                               << "block 0 of 64 (0%), 0:00 elapsed";
        QTest::newRow("quarter") << 16 << 64 << 3000 << "[##--------] 16/64 blocks  25% 0:03 elapsed 0:09 remaining"
                                 << "block 16 of 64 (25%), 0:03 elapsed";
        QTest::newRow("minutes") << 63 << 64 << 125000 << "[#########-] 63/64 blocks  98% 2:05 elapsed 0:01 remaining"
                                 << "block 63 of 64 (98%), 2:05 elapsed";
        QTest::newRow("done") << 32 << 32 << 4800 << "[##########] 32/32 blocks 100% 0:04 elapsed 0:00 remaining"
                              << "block 32 of 32 (100%), 0:04 elapsed";
        QTest::newRow("no blocks") << 0 << 0 << 0 << "[##########] 0/0 blocks 100% 0:00 elapsed -:-- remaining"
                                   << "block 0 of 0 (100%), 0:00 elapsed";
    }

    void progressBar()
    {
        QFETCH(int, done);
        QFETCH(int, total);
        QFETCH(int, elapsedMs);
        QFETCH(QString, bar);
        QFETCH(QString, line);
        QCOMPARE(progressdisplay::bar(done, total, elapsedMs, 10), bar);
        QCOMPARE(progressdisplay::line(done, total, elapsedMs), line);
    }
};

QTEST_GUILESS_MAIN(CliPartsTest)
#include "tst_cliparts.moc"
