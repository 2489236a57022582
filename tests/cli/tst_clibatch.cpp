// kova-cli batch as a process against a line of simulated controllers on a
// pseudo-terminal: what each unit gets, its record, the exit statuses, and
// two batches on two cables sharing one log.
#include "controllerline.h"
#include "simulateddevice.h"
#include "support/exampledevice.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

#include <sys/types.h>

namespace {

// Longer than the batch takes to see that a controller has gone, so that
// each unit meets a cable with nothing behind it first.
constexpr int GapMs = 1500;
constexpr int BatchWaitMs = 120000;

const QStringList RecordKeys{
    "unit",   "started", "ended",           "port",           "adapter", "device",         "id",
    "hw",     "bl",      "firmware_before", "firmware_after", "package", "package_sha256", "settings",
    "backup", "result",  "reason"};

// The Vorn example controller with another identity.
LineUnit vornUnit(quint8 id, quint8 fwMinor, quint8 fwBuild, int leavesAfterPings = 3)
{
    LineUnit unit;
    unit.protocol = SimProtocol::Vorn;
    unit.identity = {id, 2, 3, 4, fwMinor, fwBuild};
    // The example's own identity cells (200 up) would override the unit's.
    const QMap<int, quint8> cells = testsupport::exampleCells("vorn");
    for (auto cell = cells.begin(); cell != cells.end() && cell.key() < 200; ++cell)
        unit.cells.insert(cell.key(), cell.value());
    unit.leavesAfterPings = leavesAfterPings;
    return unit;
}

// One cable with a line of controllers behind it.
struct Cable {
    SimulatedDevice device;
    std::unique_ptr<ControllerLine> line;

    explicit Cable(const QList<LineUnit> &units)
    {
        device.setBlockSize(256);
        line = std::make_unique<ControllerLine>(device, units, GapMs);
    }
};

// kova-cli as its own process: batch waits on the cable while the line plays here.
struct Batch {
    QProcess process;
    QString out;
    QString err;

    bool start(const Cable &cable, const QStringList &arguments)
    {
        process.setProgram(KOVA_CLI_PROGRAM);
        process.setArguments(
            QStringList{"-p", cable.device.portPath(), "-d", testsupport::exampleDescription("vorn"), "batch"}
            + arguments);
        process.start();
        return process.waitForStarted(testsupport::ConditionWaitMs);
    }
    // The exit status, or -1 when it did not end by itself.
    int finish()
    {
        const bool ended = process.waitForFinished(BatchWaitMs) && process.exitStatus() == QProcess::NormalExit;
        out += QString::fromUtf8(process.readAllStandardOutput());
        err += QString::fromUtf8(process.readAllStandardError());
        return ended ? process.exitCode() : -1;
    }
    bool waitForOutput(const QString &text)
    {
        return QTest::qWaitFor(
            [&] {
                out += QString::fromUtf8(process.readAllStandardOutput());
                return out.contains(text);
            },
            testsupport::ConditionWaitMs);
    }
};

QList<QByteArray> logLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Whether `line` is one JSON object with exactly the record's keys, in their order.
bool isWholeRecord(const QByteArray &line)
{
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject() || document.object().keys().size() != RecordKeys.size())
        return false;
    int at = -1;
    for (const QString &key : RecordKeys) {
        const int found = line.indexOf("\"" + key.toUtf8() + "\":");
        if (found <= at)
            return false;
        at = found;
    }
    return true;
}

QString sha256Of(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex()
                                          : QString();
}

}  // namespace

Q_DECLARE_METATYPE(LineUnit)

class CliBatchTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;
    QString package = testsupport::examplePackage("vorn-4.13.upd");
    QString settings;  // made under 4.13, with two values the example controller holds otherwise

    QString logPath(const QString &name = QStringLiteral("batch.jsonl")) const { return folder.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        settings = folder.filePath("kestrel-4.13.json");
        SimulatedDevice template413;
        template413.setCells(testsupport::exampleCells("vorn"));
        template413.attachDevice(SimProtocol::Vorn);
        template413.setIdentity(21, 2, 3, 4, 13, 0);
        template413.setCell(12, 12);  // Start power: 12 %, the example's is 8 %
        template413.setCell(25, 0);  // Startup beeps off
        QProcess save;
        save.start(KOVA_CLI_PROGRAM,
                   {"-p", template413.portPath(), "-d", testsupport::exampleDescription("vorn"), "save", settings});
        QVERIFY(save.waitForFinished(testsupport::ConditionWaitMs));
        QCOMPARE(save.exitCode(), 0);
        QVERIFY(QFile::exists(settings));
    }

    // Four controllers, each its own: one that stays a while, one under
    // another firmware, one of another identifier and one with a stuck cell.
    void aLineOfFourUnits()
    {
        LineUnit stuck = vornUnit(21, 12, 7);
        stuck.stuckCells.insert(12, 8);
        Cable cable({vornUnit(21, 12, 7, 12), vornUnit(21, 14, 0), vornUnit(9, 12, 7), stuck});
        Batch batch;
        QFile::remove(logPath());
        QVERIFY(batch.start(
            cable, {"--flash", package, "--settings", settings, "--count", "4", "--log", logPath(), "-y", "--json"}));
        QCOMPARE(batch.finish(), 6);
        const QJsonObject document = QJsonDocument::fromJson(batch.out.toUtf8()).object();
        QCOMPARE(document.value("units").toInt(), 4);
        QCOMPARE(document.value("ok").toInt(), 2);
        QCOMPARE(document.value("failed").toInt(), 1);
        QCOMPARE(document.value("refused").toInt(), 1);
        QCOMPARE(document.value("log").toString(), logPath());

        const QList<QByteArray> lines = logLines(logPath());
        QCOMPARE(lines.size(), 4);
        const QJsonArray records = document.value("records").toArray();
        QCOMPARE(records.size(), 4);
        struct Expected {
            const char *result;
            int id;
            const char *before;
            const char *after;  // null: not flashed
            bool backedUp;
            int blocks;  // the package's 32, once
        };
        const Expected expected[] = {
            {"ok", 21, "4.12.7", "4.13.0", true, 32},
            {"ok", 21, "4.14.0", "4.13.0", true, 32},
            {"refused", 9, "4.12.7", nullptr, false, 0},
            {"failed", 21, "4.12.7", "4.13.0", true, 32},
        };
        const QString portName = cable.device.portPath().mid(QStringLiteral("/dev/").size());
        for (int unit = 0; unit < 4; ++unit) {
            const Expected &want = expected[unit];
            QVERIFY2(isWholeRecord(lines.at(unit)), lines.at(unit).constData());
            const QJsonObject record = QJsonDocument::fromJson(lines.at(unit)).object();
            QCOMPARE(records.at(unit).toObject(), record);
            QCOMPARE(record.value("unit").toInt(), unit + 1);
            QCOMPARE(record.value("result").toString(), QString(want.result));
            QCOMPARE(record.value("reason").toString().isEmpty(), unit < 2);
            QCOMPARE(record.value("id").toInt(), want.id);
            QCOMPARE(record.value("firmware_before").toString(), QString(want.before));
            QCOMPARE(record.value("firmware_after").isNull(), want.after == nullptr);
            QCOMPARE(record.value("firmware_after").toString(), QString(want.after));
            QCOMPARE(record.value("backup").isNull(), !want.backedUp);
            QCOMPARE(QFile::exists(record.value("backup").toString()), want.backedUp);
            QCOMPARE(record.value("port").toString(), portName);
            QVERIFY(record.value("adapter").isNull());
            QCOMPARE(record.value("package").toString(), package);
            QCOMPARE(record.value("package_sha256").toString(), sha256Of(package));
            QCOMPARE(record.value("settings").toString(), settings);
            QVERIFY(record.value("started").toString() <= record.value("ended").toString());
            QVERIFY2(QDateTime::fromString(record.value("ended").toString(), Qt::ISODate).isValid(),
                     qPrintable(record.value("ended").toString()));
            // The first one was pinged while it stayed, and not flashed again.
            QCOMPARE(cable.line->blocksReceived(unit), want.blocks);
        }
        QVERIFY(records.at(2).toObject().value("device").isNull());
        QVERIFY2(records.at(3).toObject().value("reason").toString().contains("Start power"),
                 qPrintable(records.at(3).toObject().value("reason").toString()));
    }

    void exitStatus_data()
    {
        QTest::addColumn<QList<LineUnit>>("units");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("records");
        const QStringList flash{"--flash", package, "-y"};
        QTest::newRow("every unit ok") << QList<LineUnit>{vornUnit(21, 12, 7)} << flash + QStringList{"--count", "1"}
                                       << 0 << 1;
        QTest::newRow("refused, none failed") << QList<LineUnit>{vornUnit(21, 12, 7), vornUnit(9, 12, 7)}
                                              << flash + QStringList{"--count", "2"} << 5 << 2;
        QTest::newRow("the settings alone") << QList<LineUnit>{vornUnit(21, 13, 0)}
                                            << QStringList{"--settings", settings, "-y", "--count", "1"} << 0 << 1;
        QTest::newRow("neither package nor settings") << QList<LineUnit>{} << QStringList{"-y"} << 2 << 0;
        QTest::newRow("settings of another firmware than the package")
            << QList<LineUnit>{}
            << QStringList{"--flash", testsupport::examplePackage("vorn-4.14.upd"), "--settings", settings, "-y"} << 2
            << 0;
        QTest::newRow("no package") << QList<LineUnit>{} << QStringList{"--flash", folder.filePath("none.upd"), "-y"}
                                    << 2 << 0;
        QTest::newRow("a log that cannot be written")
            << QList<LineUnit>{} << flash + QStringList{"--log", folder.filePath("no/such/folder/log.jsonl")} << 2 << 0;
        QTest::newRow("--count 0") << QList<LineUnit>{} << flash + QStringList{"--count", "0"} << 2 << 0;
    }

    void exitStatus()
    {
        QFETCH(QList<LineUnit>, units);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(int, records);
        Cable cable(units);
        QFile::remove(logPath());
        Batch batch;
        if (!arguments.contains("--log"))
            arguments << "--log" << logPath();
        QVERIFY(batch.start(cable, arguments));
        QCOMPARE(batch.finish(), status);
        QCOMPARE(logLines(logPath()).size(), records);
        // Bad usage is found before the port opens.
        if (status == 2)
            QVERIFY(cable.device.rawReceived().isEmpty());
    }

    void theCableGoneEndsTheBatch()
    {
        Cable cable({});
        cable.device.setUnplugged(true);
        Batch batch;
        QVERIFY(batch.start(cable, {"--flash", package, "-y", "--log", logPath()}));
        QCOMPARE(batch.finish(), 3);
        QVERIFY2(batch.err.contains("went away and did not come back"), qPrintable(batch.err));
        QVERIFY2(batch.out.contains("Units: 0"), qPrintable(batch.out));
    }

    // Asked once; Ctrl+C while it waits ends it with its counts.
    void ctrlCWhileWaiting()
    {
        Cable cable({vornUnit(21, 12, 7, 1000)});
        Batch batch;
        QFile::remove(logPath());
        QVERIFY(batch.start(cable, {"--flash", package, "--settings", settings, "--log", logPath()}));
        batch.process.write("y\n");
        QVERIFY(batch.waitForOutput("Disconnect the controller."));
        QCOMPARE(::kill(pid_t(batch.process.processId()), SIGINT), 0);
        QCOMPARE(batch.finish(), 0);
        QVERIFY2(batch.err.contains(QString("Flash 4.13 and load %1 onto each controller on %2? [y/N]")
                                        .arg(settings, cable.device.portPath().mid(5))),
                 qPrintable(batch.err));
        QVERIFY2(batch.out.contains("Units: 1\nOK: 1\nFailed: 0\nRefused: 0\nLog: " + logPath()),
                 qPrintable(batch.out));
        QCOMPARE(cable.line->blocksReceived(0), 32);
        QCOMPARE(logLines(logPath()).size(), 1);
    }

    // During a unit flash's rules hold: SIGTERM waits for the upload's end,
    // and the unit is recorded as failed with the reason.
    void sigtermDuringAnUpload()
    {
        Cable cable({vornUnit(21, 12, 7)});
        Batch batch;
        QFile::remove(logPath());
        QVERIFY(batch.start(cable, {"--flash", package, "-y", "--log", logPath()}));
        QVERIFY(QTest::qWaitFor([&] { return cable.line->blocksReceived(0) > 0; }, testsupport::ConditionWaitMs));
        QCOMPARE(::kill(pid_t(batch.process.processId()), SIGTERM), 0);
        QCOMPARE(batch.finish(), 143);
        QCOMPARE(cable.line->blocksReceived(0), 32);
        const QList<QByteArray> lines = logLines(logPath());
        QCOMPARE(lines.size(), 1);
        const QJsonObject record = QJsonDocument::fromJson(lines.first()).object();
        QCOMPARE(record.value("result").toString(), QString("failed"));
        QVERIFY2(record.value("reason").toString().contains("SIGTERM"), lines.first().constData());
    }

    void twoBatchesShareOneLog()
    {
        Cable first({vornUnit(21, 12, 7), vornUnit(21, 14, 0)});
        Cable second({vornUnit(21, 14, 0), vornUnit(21, 12, 7)});
        const QString shared = logPath("shared.jsonl");
        QFile::remove(shared);
        Batch one, two;
        const QStringList arguments{"--flash", package, "--count", "2", "-y", "--log", shared};
        QVERIFY(one.start(first, arguments));
        QVERIFY(two.start(second, arguments));
        QCOMPARE(one.finish(), 0);
        QCOMPARE(two.finish(), 0);
        const QList<QByteArray> lines = logLines(shared);
        QCOMPARE(lines.size(), 4);
        QMap<QString, QList<int>> unitsByPort;
        for (const QByteArray &line : lines) {
            QVERIFY2(isWholeRecord(line), line.constData());
            const QJsonObject record = QJsonDocument::fromJson(line).object();
            unitsByPort[record.value("port").toString()] << record.value("unit").toInt();
        }
        QCOMPARE(unitsByPort.size(), 2);
        for (const QList<int> &units : unitsByPort)
            QCOMPARE(units, (QList<int>{1, 2}));
    }
};

QTEST_GUILESS_MAIN(CliBatchTest)
#include "tst_clibatch.moc"
