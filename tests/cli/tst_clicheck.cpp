// kova-cli check: the example files pass, and a damaged copy of one of them
// is reported with its line for every fault a description or a package can
// have.
#include "cli.h"
#include "support/bytes.h"
#include "support/testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run check(const QStringList &arguments)
{
    Run run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = runCli(QStringList{"check"} + arguments, out, err, Terminal());
    return run;
}

QByteArray exampleBytes(const QString &name)
{
    return testsupport::readFile(testsupport::sourcePath("examples/" + name));
}

using testsupport::writeFile;

// `bytes` with the first `from` replaced by `to`, cut after `keepLines`
// lines when that is above 0.
QByteArray damaged(QByteArray bytes, const QByteArray &from, const QByteArray &to, int keepLines)
{
    const int at = bytes.indexOf(from);
    if (at < 0)
        return QByteArray();
    bytes.replace(at, from.size(), to);
    if (keepLines > 0) {
        int end = -1;
        for (int line = 0; line < keepLines && end + 1 < bytes.size(); ++line)
            end = bytes.indexOf('\n', end + 1);
        bytes.truncate(end + 1);
    }
    return bytes;
}

QStringList exampleFiles()
{
    QStringList files;
    for (const char *folder : {"descriptions", "firmwares"}) {
        QDir dir(testsupport::sourcePath(QString("examples/") + folder));
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
            files << dir.filePath(name);
    }
    return files;
}

const QByteArray Vorn = "descriptions/vorn.dsc";
const QByteArray Package = "firmwares/vorn-4.13.upd";

}  // namespace

class CliCheckTest : public QObject
{
    Q_OBJECT

private slots:
    void examplesPass()
    {
        const QStringList files = exampleFiles();
        QVERIFY(files.size() >= 12);
        const Run run = check(files);
        QVERIFY2(run.status == 0, qPrintable(run.out + run.err));
        QVERIFY(run.err.isEmpty());
        // Each package that fits an example description says how many blocks it has for it.
        QVERIFY2(run.out.contains(QRegularExpression("vorn-4\\.13\\.upd:9: note: fits \"Vorn Kestrel 80\" firmware "
                                                     "4\\.12 \\(.*vorn\\.dsc:4\\): 32 blocks of 256 bytes")),
                 qPrintable(run.out));
        QVERIFY(run.out.contains("kelpa-id8-3.0.upd:1: note: fits none"));
    }

    // One damaged copy per fault: the copy alone (with the companion beside
    // it, when the fault is between the two) is reported at its line.
    void damagedCopyIsReported_data()
    {
        QTest::addColumn<QByteArray>("example");
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<int>("keepLines");
        QTest::addColumn<QByteArray>("companion");  // an example copied beside it
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("warning");  // a problem only with --strict

        const QByteArray none;
        const QByteArray longName = "name=\"" + QByteArray(300, 'K') + "\"";
        QByteArray manyEntries;
        for (int i = 0; i < 1001; ++i)
            manyEntries += "<Value string=\"Normal\"/>";
        const QByteArray startPower =
            R"(<Parameter type="range" name="Start power" cell="12" min="1" max="25" step="1" decimals="0" suffix=" %"/>)";
        QByteArray manyParameters;
        for (int i = 0; i < 513; ++i)
            manyParameters += startPower;

        QTest::newRow("refused by the reader")
            << Vorn << QByteArray("name=\"Vorn Kestrel 80\"") << longName << 0 << none << 4
            << "the reader refuses the whole file: attribute value too long" << false;
        QTest::newRow("malformed XML") << Vorn << QByteArray("</Descriptions>") << QByteArray("</Description>") << 0
                                       << none << 3
                                       << "<Descriptions> begun here is not closed: at line 162 the XML parser stops"
                                       << false;
        QTest::newRow("unknown type") << Vorn << QByteArray("type=\"range\" name=\"Start power\"")
                                      << QByteArray("type=\"rnage\" name=\"Start power\"") << 0 << none << 17
                                      << "type \"rnage\" builds nothing" << false;
        QTest::newRow("cell without slot") << Vorn << QByteArray("cell=\"12\"") << QByteArray("cell=\"300\"") << 0
                                           << none << 17 << "\"Start power\" names a cell outside 0 to 254" << false;
        QTest::newRow("too many entries")
            << Vorn << QByteArray("<Value string=\"Normal\"/>") << manyEntries << 0 << none << 5
            << "list \"Motor direction\" has more than 1000 entries" << false;
        QTest::newRow("too many parameters")
            << Vorn << startPower << manyParameters << 0 << none << 17 << "beyond the 512th" << false;
        QTest::newRow("list ends early")
            << Vorn << QByteArray("suffix=\" %\"/>") << QByteArray("suffix=\" %\"> </Parameter>") << 0 << none << 18
            << "\"Brake\" gets no row: its device's parameter list ended at line 17 (</Parameter>)" << false;
        QTest::newRow("shared cell") << Vorn << QByteArray("name=\"Brake\" cell=\"13\"")
                                     << QByteArray("name=\"Brake\" cell=\"12\"") << 0 << none << 18
                                     << "\"Brake\" writes cell 12, which \"Start power\" (line 17) writes too" << false;
        QTest::newRow("two parameters of one name")
            << Vorn << QByteArray("name=\"Throttle high end\"") << QByteArray("name=\"Throttle low end\"") << 0 << none
            << 52 << "\"Throttle low end\" has the name of the one at line 51" << false;
        QTest::newRow("high cell is low cell")
            << Vorn << QByteArray("hcell=\"20\"") << QByteArray("hcell=\"19\"") << 0 << none << 48
            << "\"Governor head speed\" has its high byte in its low byte's cell 19" << false;
        QTest::newRow("range beyond its cell")
            << Vorn << QByteArray("max=\"25\"") << QByteArray("max=\"300\"") << 0 << none << 17
            << "\"Start power\": 300 is stored as raw 300, beyond 0 to 255" << false;
        QTest::newRow("range off its scale")
            << Vorn << QByteArray("min=\"1000\" max=\"1300\"") << QByteArray("min=\"1001\" max=\"1300\"") << 0 << none
            << 51 << "\"Throttle low end\": 1001 is stored as raw 0, which reads back as 1000" << false;
        QTest::newRow("list beyond its cell")
            << Vorn << QByteArray("offset=\"1\" scale=\"8\"") << QByteArray("offset=\"1\" scale=\"80\"") << 0 << none
            << 38 << "entry 3 (\"32 kHz\") is stored as raw 320, beyond 0 to 255" << false;
        QTest::newRow("dependency without source")
            << Vorn << QByteArray("depcell=\"13\"") << QByteArray("depcell=\"99\"") << 0 << none << 24
            << "\"Brake strength\" depends on cell 99, which no list or range" << false;
        QTest::newRow("entry never used")
            << Vorn << QByteArray("fwm=\"13\"") << QByteArray("fwm=\"12\"") << 0 << none << 57
            << "firmware 4.12) is never used: the entry at line 4 has the same identity" << false;
        QTest::newRow("block count beyond a byte")
            << Vorn << QByteArray("fwnp=\"32\"") << QByteArray("fwnp=\"300\"") << 0 << none << 4
            << "fwnp 300 is kept in one byte, as 44 blocks" << false;
        QTest::newRow("no block size, packages beside")
            << Vorn << QByteArray(" fwps=\"256\"") << QByteArray() << 0 << Package << 4
            << "has no fwps, but packages for it lie beside it" << false;

        QTest::newRow("package head too large") << Package << QByteArray("BL=3") << "BL=3\n;" + QByteArray(70000, 'x')
                                                << 0 << none << 5 << "larger than 64 KiB" << false;
        QTest::newRow("no Device group") << Package << QByteArray("[Device]") << QByteArray("[Devise]") << 0 << none
                                         << 1 << "no [Device] group with keys: not a firmware package" << false;
        QTest::newRow("no data part") << Package << QByteArray("[Firmware]") << QByteArray("[Firmware] ") << 0 << none
                                      << 9 << "\"[Firmware] \" is not the line [Firmware] (it has blanks" << false;
        QTest::newRow("not hexadecimal") << Package << QByteArray("5601313536AB") << QByteArray("5601313536XB") << 0
                                         << none << 10 << "is not a hexadecimal digit" << false;
        QTest::newRow("short line") << Package << QByteArray("\n15567F3390F3FB8C") << QByteArray("\n15567F3390F3FB8C\n")
                                    << 0 << none << 11 << "shorter than the line record of 128 digits" << false;
        QTest::newRow("stray carriage return")
            << Package << QByteArray("5601313536AB") << QByteArray("5601313536\rAB") << 0 << none << 10
            << "carriage return that is not right before its line feed" << false;
        QTest::newRow("wrong line sum") << Package << QByteArray("\n15567F3390F3FB8C")
                                        << QByteArray("\n15567F3390F3FB8D") << 0 << none << 11
                                        << "does not begin with the sum of the line record's bytes" << false;
        QTest::newRow("no data lines") << Package << QByteArray("ID=21") << QByteArray("ID=21") << 9 << none << 9
                                       << "the data part holds no data line" << false;
        QTest::newRow("blocks do not fit")
            << Package << QByteArray("ID=21") << QByteArray("ID=21") << 136 << Vorn << 9
            << "its image of 8128 bytes (Vorn lines) is not 32 blocks of 256 bytes" << false;
        // What the reader takes as 0, empty or otherwise than written.
        const auto slip = [&none](const char *name, const QByteArray &from, const QByteArray &to, int line,
                                  const QString &message, bool warning = false) {
            QTest::newRow(name) << Vorn << from << to << 0 << none << line << message << warning;
        };
        slip("misspelt cell", "cell=\"12\"", "cel=\"12\"", 17, "\"Start power\" has no cell: reads and writes cell 0");
        slip("misspelt attribute", "cell=\"12\"", "cel=\"12\"", 17, "attribute \"cel\" (\"cell\"?) means nothing here");
        slip("unknown attribute", "suffix=\" %\"/>", "unit=\" %\"/>", 17, "attribute \"unit\" means nothing here");
        slip("entry without string", "<Value string=\"Off\"/>", "<Value strng=\"Off\"/>", 19,
             "an entry of list \"Brake\" has no string: the entry is an empty text");
        slip("unknown element", "<Parameter type=\"check\"", "<Parmeter type=\"check\"", 54,
             "<Parmeter> (\"Parameter\"?) means nothing inside a device entry");
        slip("min above max", "min=\"1\" max=\"25\"", "min=\"30\" max=\"25\"", 17,
             "\"Start power\": min 30 is above max 25: the control holds 30 only");
        slip("range without bounds", "min=\"1\" max=\"25\"", "", 17,
             "\"Start power\" has no max: its highest value is 0");
        slip("list without entries", "<Value string=\"Normal\"/>\n      <Value string=\"Reversed\"/>", "", 5,
             "list \"Motor direction\" has no entries");
        slip("scale 0", "offset=\"14\" scale=\"2\"", "offset=\"14\" scale=\"0\"", 31,
             "\"Cut-off threshold\": scale 0 is taken as 1");
        slip("decimals beyond a double", "decimals=\"0\" suffix=\" %\"", "decimals=\"40\" suffix=\" %\"", 17,
             "\"Start power\": decimals 40 are shown as 15");
        slip("parameter without name", "name=\"Start power\" ", "", 17,
             "a parameter has no name: its row has no label");
        slip("identifier not a number", "<ESC id=\"21\"", "<ESC id=\"2l\"", 4,
             "id \"2l\" is not a whole number: the entry fits only a device that reports identifier 0");
        slip("entry without hw", " hw=\"2\" fw=\"4\" fwm=\"12\"", " fw=\"4\" fwm=\"12\"", 4,
             "device entry \"Vorn Kestrel 80\" has no hw");
        slip("depval of no entry", "depcell=\"13\" depval=\"1\"", "depcell=\"13\" depval=\"5\"", 24,
             "\"Brake strength\" follows \"Brake\" (line 18) at entry 5, but it has 3 entries: it is never enabled");
        slip("step 0", "step=\"1\" decimals=\"0\" suffix=\" %\"", "step=\"0\" decimals=\"0\" suffix=\" %\"", 17,
             "\"Start power\" has step 0");
        slip("decimal comma", "min=\"1\" max=\"25\"", "min=\"1,5\" max=\"25\"", 17,
             "min \"1,5\" is not a number (the decimal separator is \".\"): its lowest value is 0");
        slip("fraction for an integer", "cell=\"12\"", "cell=\"12.5\"", 17,
             "cell \"12.5\" is not a whole number: reads and writes cell 0");
        slip("equal entries", "<Value string=\"Reversed\"/>", "<Value string=\"Normal\"/>", 5,
             "entry 1 (\"Normal\") has the text of entry 0");
        slip("depends on itself", "cell=\"14\" depcell=\"13\"", "cell=\"14\" depcell=\"14\"", 24,
             "\"Brake strength\" depends on its own cell 14");
        slip("check with entries", "name=\"Startup beeps\" cell=\"25\"/>",
             "name=\"Startup beeps\" cell=\"25\"><Value string=\"x\"/></Parameter>", 54,
             "a <Value> in \"Startup beeps\", which is no list parameter");
        slip("attribute of another type", "offset=\"1\" scale=\"8\"", "offset=\"1\" scale=\"8\" min=\"2\"", 38,
             "\"PWM frequency\": a parameter of type \"list\" has no use for min", true);
        QTest::newRow("no device entry") << Vorn << QByteArray("<Descriptions>") << QByteArray("<Descriptions/>") << 3
                                         << none << 0 << "holds no device entry (<ESC>)" << false;
        slip("encoding", "name=\"Brake\"", "name=\"Br\xE0ke\"", 18,
             "byte 0xE0 (byte 36 of the line) is no UTF-8 character: the file is read as UTF-8 (as declared); if it "
             "is in another encoding, say so in its first line, as in <?xml version=\"1.0\" "
             "encoding=\"windows-1251\"?>");
        slip("missing end tag", "\xC2\xB0\"/>\n    </Parameter>\n    <Parameter type=\"range\"",
             "\xC2\xB0\"/>\n    <Parameter type=\"range\"", 9,
             "<Parameter> begun here is not closed: at line 54 the XML parser stops");

        const auto packageSlip = [&none](const char *name, const QByteArray &from, const QByteArray &to, int line,
                                         const QString &message, bool warning = false,
                                         const QByteArray &companion = QByteArray()) {
            QTest::newRow(name) << Package << from << to << 0 << companion << line << message << warning;
        };
        packageSlip("package ID not a number", "ID=21", "ID=2l", 2, "ID=2l is not a whole number: it reads as 0");
        packageSlip("package without HW", "HW=2\r\n", "", 1, "the [Device] group has no HW: it reads as 0");
        packageSlip("package ID twice", "BL=3", "BL=3\r\nID=22", 5,
                    "ID is given again (first at line 2): this one counts");
        packageSlip("package without FW", "FW=4.13\r\n", "", 1, "the [Device] group has no FW");
        packageSlip("package FW no version", "FW=4.13", "FW=4.13beta", 5,
                    "FW=4.13beta is no version (major.minor or major.minor.build): flash cannot check the version",
                    true);
        packageSlip("package for other hardware", "HW=2", "HW=3", 3,
                    "it is for hardware 3, but the description entries for identifier 21 beside it are for hardware 2",
                    true, Vorn);
    }

    void damagedCopyIsReported()
    {
        QFETCH(QByteArray, example);
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(int, keepLines);
        QFETCH(QByteArray, companion);
        QFETCH(int, line);
        QFETCH(QString, message);
        QFETCH(bool, warning);
        QTemporaryDir folder;
        const QString copy = folder.filePath(QFileInfo(example).fileName());
        const QByteArray bytes = damaged(exampleBytes(example), from, to, keepLines);
        QVERIFY(!bytes.isEmpty());
        QVERIFY(writeFile(copy, bytes));
        if (!companion.isEmpty())
            QVERIFY(writeFile(folder.filePath(QFileInfo(companion).fileName()), exampleBytes(companion)));

        const QStringList strict = warning ? QStringList{"--strict"} : QStringList();
        if (warning)
            QCOMPARE(check({copy}).status, 0);
        const Run run = check(strict + QStringList{copy});
        QCOMPARE(run.status, 2);
        const QString expected =
            line > 0 ? QString("%1:%2: %3").arg(copy).arg(line).arg(warning ? "warning: " : "") : copy + ": ";
        bool found = false;
        for (const QString &reported : run.out.split('\n'))
            found |= reported.startsWith(expected) && !reported.contains(": note: ") && reported.contains(message);
        QVERIFY2(found, qPrintable(run.out));
        QCOMPARE(run.err.count('\n'), 1);

        // Without the damage the same file passes.
        QVERIFY(writeFile(copy, exampleBytes(example)));
        QCOMPARE(check(strict + QStringList{copy}).status, 0);
    }

    void jsonListsTheProblems()
    {
        QTemporaryDir folder;
        const QString copy = folder.filePath("vorn.dsc");
        QVERIFY(writeFile(copy, damaged(exampleBytes(Vorn), "cell=\"12\"", "cell=\"300\"", 0)));
        const Run run = check({"--json", copy, testsupport::sourcePath("examples/" + Package)});
        QCOMPARE(run.status, 2);
        const QJsonObject document = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(document.value("status").toInt(), 2);
        QCOMPARE(document.value("files").toInt(), 2);
        const QJsonArray problems = document.value("problems").toArray();
        QCOMPARE(problems.size(), 1);
        QCOMPARE(problems.at(0).toObject().value("file").toString(), copy);
        QCOMPARE(problems.at(0).toObject().value("line").toInt(), 17);
        QVERIFY(problems.at(0).toObject().value("message").toString().contains("\"Start power\""));
        QVERIFY(!document.value("notes").toArray().isEmpty());
        // A list key is there when its list is empty.
        QVERIFY(document.value("warnings").isArray());
        QVERIFY(document.value("warnings").toArray().isEmpty());
    }

    void standardInput()
    {
        QProcess program;
        program.start(KOVA_CLI_PROGRAM, {"check", "-"});
        QVERIFY(program.waitForStarted(testsupport::ConditionWaitMs));
        program.write(damaged(exampleBytes(Vorn), "cell=\"12\"", "cell=\"300\"", 0));
        program.closeWriteChannel();
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 2);
        QVERIFY(program.readAllStandardOutput().startsWith("<stdin>:17: parameter \"Start power\" names a cell"));
    }

    // Each file costs what it holds: four small files and their neighbours
    // fit in an address space of 300 MB (they need less than half of it).
    void smallFilesNeedLittleMemory()
    {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        QSKIP("a sanitizer reserves more address space than the limit");
#endif
        QTemporaryDir folder;
        QStringList files;
        for (const char *name : {"vorn.dsc", "kelpa.dsc", "ulma.dsc"}) {
            files << folder.filePath(name);
            QVERIFY(writeFile(files.last(), exampleBytes(QString("descriptions/") + name)));
        }
        files << folder.filePath("vorn-4.13.upd");
        QVERIFY(writeFile(files.last(), exampleBytes(Package)));
        QProcess program;
        program.start("/bin/sh",
                      QStringList{"-c", "ulimit -v 300000 && exec \"$0\" check \"$@\"", KOVA_CLI_PROGRAM} + files);
        QVERIFY(program.waitForFinished(testsupport::ConditionWaitMs));
        QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0,
                 program.readAllStandardOutput() + program.readAllStandardError());
    }

    // A FIFO is refused at once: reading it would wait for a writer.
    void unreadableFileIsAProblem_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("said");
        QTest::newRow("missing") << "missing"
                                 << ": cannot be read: No such file or directory";
        QTest::newRow("FIFO") << "fifo"
                              << ": cannot be read: Not a regular file";
    }

    void unreadableFileIsAProblem()
    {
        QFETCH(QString, kind);
        QFETCH(QString, said);
        QTemporaryDir folder;
        const QString path = folder.filePath("tellur.dsc");
        if (kind == "fifo")
            QVERIFY(testsupport::makeFifo(path));
        const Run run = check({path});
        QCOMPARE(run.status, 2);
        QVERIFY2(run.out.startsWith(path + said), qPrintable(run.out));
    }
};

QTEST_GUILESS_MAIN(CliCheckTest)
#include "tst_clicheck.moc"
