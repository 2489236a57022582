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

        const QByteArray none;
        const QByteArray longName = "name=\"" + QByteArray(300, 'K') + "\"";
        QByteArray manyEntries;
        for (int i = 0; i < 1001; ++i)
            manyEntries += "<Value string=\"Normal\"/>";
        const QByteArray startPower = R"(<Parameter type="range" name="Start power" cell="12" min="1" max="25" step="1" decimals="0" suffix=" %"/>)";
        QByteArray manyParameters;
        for (int i = 0; i < 513; ++i)
            manyParameters += startPower;

        QTest::newRow("refused by the reader") << Vorn << QByteArray("name=\"Vorn Kestrel 80\"") << longName << 0
                                               << none << 4 << "the reader refuses the whole file: attribute value too long";
        QTest::newRow("malformed XML") << Vorn << QByteArray("</Descriptions>") << QByteArray("</Description>") << 0
                                       << none << 162 << "not well-formed XML";
        QTest::newRow("unknown type") << Vorn << QByteArray("type=\"range\" name=\"Start power\"")
                                      << QByteArray("type=\"rnage\" name=\"Start power\"") << 0 << none << 17
                                      << "type \"rnage\" builds nothing";
        QTest::newRow("cell without slot") << Vorn << QByteArray("cell=\"12\"") << QByteArray("cell=\"300\"") << 0
                                           << none << 17 << "\"Start power\" names a cell outside 0 to 254";
        QTest::newRow("too many entries") << Vorn << QByteArray("<Value string=\"Normal\"/>") << manyEntries << 0
                                          << none << 5 << "list \"Motor direction\" has more than 1000 entries";
        QTest::newRow("too many parameters") << Vorn << startPower << manyParameters << 0 << none << 17
                                             << "beyond the 512th";
        QTest::newRow("list ends early") << Vorn << QByteArray("suffix=\" %\"/>") << QByteArray("suffix=\" %\"> </Parameter>")
                                         << 0 << none << 18 << "\"Brake\" gets no row: its device's parameter list ended at line 17 (</Parameter>)";
        QTest::newRow("shared cell") << Vorn << QByteArray("name=\"Brake\" cell=\"13\"")
                                     << QByteArray("name=\"Brake\" cell=\"12\"") << 0 << none << 18
                                     << "\"Brake\" writes cell 12, which \"Start power\" (line 17) writes too";
        QTest::newRow("two parameters of one name") << Vorn << QByteArray("name=\"Throttle high end\"")
                                                    << QByteArray("name=\"Throttle low end\"") << 0 << none << 52
                                                    << "\"Throttle low end\" has the name of the one at line 51";
        QTest::newRow("high cell is low cell") << Vorn << QByteArray("hcell=\"20\"") << QByteArray("hcell=\"19\"") << 0
                                               << none << 48 << "\"Governor head speed\" has its high byte in its low byte's cell 19";
        QTest::newRow("range beyond its cell") << Vorn << QByteArray("max=\"25\"") << QByteArray("max=\"300\"") << 0
                                               << none << 17 << "\"Start power\": 300 is stored as raw 300, beyond 0 to 255";
        QTest::newRow("range off its scale") << Vorn << QByteArray("min=\"1000\" max=\"1300\"")
                                             << QByteArray("min=\"1001\" max=\"1300\"") << 0 << none << 51
                                             << "\"Throttle low end\": 1001 is stored as raw 0, which reads back as 1000";
        QTest::newRow("list beyond its cell") << Vorn << QByteArray("offset=\"1\" scale=\"8\"")
                                              << QByteArray("offset=\"1\" scale=\"80\"") << 0 << none << 38
                                              << "entry 3 (\"32 kHz\") is stored as raw 320, beyond 0 to 255";
        QTest::newRow("dependency without source") << Vorn << QByteArray("depcell=\"13\"") << QByteArray("depcell=\"99\"")
                                                   << 0 << none << 24 << "\"Brake strength\" depends on cell 99, which no list or range";
        QTest::newRow("entry never used") << Vorn << QByteArray("fwm=\"13\"") << QByteArray("fwm=\"12\"") << 0 << none
                                          << 57 << "firmware 4.12) is never used: the entry at line 4 has the same identity";
        QTest::newRow("block count beyond a byte") << Vorn << QByteArray("fwnp=\"32\"") << QByteArray("fwnp=\"300\"") << 0
                                                   << none << 4 << "fwnp 300 is kept in one byte, as 44 blocks";
        QTest::newRow("no block size, packages beside") << Vorn << QByteArray(" fwps=\"256\"") << QByteArray() << 0
                                                        << Package << 4 << "has no fwps, but packages for it lie beside it";

        QTest::newRow("package head too large") << Package << QByteArray("BL=3") << "BL=3\n;" + QByteArray(70000, 'x')
                                                << 0 << none << 5 << "larger than 64 KiB";
        QTest::newRow("no Device group") << Package << QByteArray("[Device]") << QByteArray("[Devise]") << 0 << none
                                         << 1 << "no [Device] group with keys: not a firmware package";
        QTest::newRow("no data part") << Package << QByteArray("[Firmware]") << QByteArray("[Firmware] ") << 0 << none
                                      << 1 << "no line [Firmware]: not a firmware package";
        QTest::newRow("not hexadecimal") << Package << QByteArray("5601313536AB") << QByteArray("5601313536XB") << 0
                                         << none << 10 << "is not a hexadecimal digit";
        QTest::newRow("short line") << Package << QByteArray("\n9F54999355CD3685") << QByteArray("\n9F54999355CD3685\n")
                                    << 0 << none << 11 << "shorter than the line record of 128 digits";
        QTest::newRow("stray carriage return") << Package << QByteArray("5601313536AB") << QByteArray("5601313536\rAB")
                                               << 0 << none << 10 << "carriage return that is not right before its line feed";
        QTest::newRow("wrong line sum") << Package << QByteArray("\n9F54999355CD3685") << QByteArray("\n9F54999355CD3686")
                                        << 0 << none << 11 << "does not begin with the sum of the line record's bytes";
        QTest::newRow("no data lines") << Package << QByteArray("ID=21") << QByteArray("ID=21") << 9 << none << 9
                                       << "the data part holds no data line";
        QTest::newRow("blocks do not fit") << Package << QByteArray("ID=21") << QByteArray("ID=21") << 136 << Vorn << 9
                                           << "its image of 8128 bytes (Vorn lines) is not 32 blocks of 256 bytes";
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
        QTemporaryDir folder;
        const QString copy = folder.filePath(QFileInfo(example).fileName());
        const QByteArray bytes = damaged(exampleBytes(example), from, to, keepLines);
        QVERIFY(!bytes.isEmpty());
        QVERIFY(writeFile(copy, bytes));
        if (!companion.isEmpty())
            QVERIFY(writeFile(folder.filePath(QFileInfo(companion).fileName()), exampleBytes(companion)));

        const Run run = check({copy});
        QCOMPARE(run.status, 2);
        const QString expected = QString("%1:%2: ").arg(copy).arg(line);
        bool found = false;
        for (const QString &reported : run.out.split('\n'))
            found |= reported.startsWith(expected) && !reported.contains(": note: ") && reported.contains(message);
        QVERIFY2(found, qPrintable(run.out));
        QCOMPARE(run.err.count('\n'), 1);

        // Without the damage the same file passes.
        QVERIFY(writeFile(copy, exampleBytes(example)));
        QCOMPARE(check({copy}).status, 0);
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

    void unreadableFileIsAProblem()
    {
        const Run run = check({"/nonexistent/tellur.dsc"});
        QCOMPARE(run.status, 2);
        QVERIFY2(run.out.startsWith("/nonexistent/tellur.dsc: cannot be read: "), qPrintable(run.out));
    }
};

QTEST_GUILESS_MAIN(CliCheckTest)
#include "tst_clicheck.moc"
