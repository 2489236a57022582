// The blocking session against the simulated device, on the core alone (no
// GUI module is linked): what each operation reports, as values.
#include "device/deviceimage.h"
#include "device/devicesession.h"
#include "simulateddevice.h"
#include "support/exampledevice.h"
#include "support/firmwarepackage.h"
#include "support/linesettingwatch.h"

#include <QSerialPort>
#include <QtTest>

#include <functional>

namespace {

struct Bench {
    SimulatedDevice sim;
    QSerialPort port;
    DeviceSession session{port};
    DeviceImage image;
    bool stop = false;
};

// The identity a package was checked against.
const DeviceIdentity Kestrel{21, 2, 3, 4, 12, 7};

// Prepares the device and the image, then runs one operation and returns its
// outcome as a number.
using Operation = std::function<int(Bench &)>;

}  // namespace

Q_DECLARE_METATYPE(SimProtocol)
Q_DECLARE_METATYPE(DialectSetting)
Q_DECLARE_METATYPE(Operation)

class DeviceSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void operationsPerDialect_data()
    {
        QTest::addColumn<SimProtocol>("protocol");
        QTest::addColumn<DialectSetting>("dialect");
        QTest::newRow("Vorn") << SimProtocol::Vorn << Vorn;
        QTest::newRow("Kelpa") << SimProtocol::Kelpa << Kelpa;
        QTest::newRow("Ulma 19000") << SimProtocol::UlmaFast << UlmaFast;
        QTest::newRow("Ulma 4800") << SimProtocol::UlmaSlow << UlmaSlow;
    }

    void operationsPerDialect()
    {
        QFETCH(SimProtocol, protocol);
        QFETCH(DialectSetting, dialect);
        Bench bench;
        bench.sim.attachDevice(protocol);
        bench.sim.setIdentity(21, 2, 3, 4, 12, 5);
        bench.sim.setCells({{7, 70}, {9, 90}});
        QByteArray sent;
        bench.session.setTrace([&](TraceDirection direction, const QByteArray &bytes, qint64) {
            if (direction == TraceDirection::Sent)
                sent += bytes;
        });

        QVERIFY(bench.session.echoTest(bench.sim.portPath()).echoed);
        QCOMPARE(bench.session.open(bench.sim.portPath()), OpenOutcome::Opened);
        QCOMPARE(bench.session.ping(dialect), Answered);
        QCOMPARE(bench.session.dialect(), dialect);
        DeviceIdentity identity;
        QCOMPARE(bench.session.identify(identity), LinkOutcome::Done);
        const bool vorn = dialect == Vorn;
        const DeviceIdentity expected{21, quint8(vorn ? 2 : 1), quint8(vorn ? 3 : 1), 4, 12, quint8(vorn ? 5 : 0)};
        QVERIFY(identity == expected);

        bench.image.cells[7].used = 1;
        bench.image.cells[9].used = 1;
        QCOMPARE(bench.session.readUsedCells(bench.image).outcome, LinkOutcome::Done);
        QCOMPARE(bench.image.cells[9].value.load(), quint8(90));
        QCOMPARE(bench.session.writeValue(bench.image, 0x1234, 20, 21), WriteOutcome::Confirmed);
        QCOMPARE(bench.image.cells[21].value.load(), quint8(0x12));
        QCOMPARE(bench.sim.cell(20), quint8(0x34));
        QCOMPARE(sent.toHex(' '), bench.sim.rawReceived().toHex(' '));
    }

    // A device may take any time within the reply wait. Every reply but a
    // ping's (pings are answered within their pause) comes at 90 % of the
    // shortest reply wait of the dialect's cell commands after the echo,
    // whole or in pieces: every value read is still the device's own, and a
    // write and an upload go through.
    // The idle window pings in one dialect for hours: a rate set again is two
    // rate changes on a USB adapter before every ping.
    void pingSetsTheRateOnlyWhenItChanges_data() { operationsPerDialect_data(); }

    void pingSetsTheRateOnlyWhenItChanges()
    {
        QFETCH(SimProtocol, protocol);
        QFETCH(DialectSetting, dialect);
        Bench bench;
        bench.sim.attachDevice(protocol);
        QCOMPARE(bench.session.open(bench.sim.portPath()), OpenOutcome::Opened);
        linesettingwatch::watch(bench.port.handle());
        QCOMPARE(bench.session.ping(dialect), Answered);
        QVERIFY(linesettingwatch::writes() > 0);
        QCOMPARE(bench.port.baudRate(), baudRateOf(dialect));

        linesettingwatch::watch(bench.port.handle());
        for (int ping = 0; ping < 3; ++ping)
            QCOMPARE(bench.session.ping(dialect), Answered);
        QCOMPARE(linesettingwatch::writes(), 0);

        QCOMPARE(bench.session.ping(nextDialect(dialect)), EchoOnly);
        QVERIFY(linesettingwatch::writes() > 0);
    }

    void lateRepliesAreWaitedFor_data()
    {
        QTest::addColumn<SimProtocol>("protocol");
        QTest::addColumn<DialectSetting>("dialect");
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("lateMs");
        QTest::addColumn<int>("chunks");
        QTest::newRow("Vorn") << SimProtocol::Vorn << Vorn << "vorn" << 90 << 1;
        QTest::newRow("Kelpa, in pieces") << SimProtocol::Kelpa << Kelpa << "kelpa" << 900 << 3;
        QTest::newRow("Ulma 19000, in pieces") << SimProtocol::UlmaFast << UlmaFast << "ulma" << 90 << 3;
        QTest::newRow("Ulma 4800") << SimProtocol::UlmaSlow << UlmaSlow << "ulma" << 90 << 1;
    }

    void lateRepliesAreWaitedFor()
    {
        QFETCH(SimProtocol, protocol);
        QFETCH(DialectSetting, dialect);
        QFETCH(QString, device);
        QFETCH(int, lateMs);
        QFETCH(int, chunks);
        Bench bench;
        const QMap<int, quint8> cells = testsupport::exampleCells(device);
        QVERIFY(!cells.isEmpty());
        bench.sim.setCells(cells);
        bench.sim.attachDevice(protocol);
        bench.sim.setBlockSize(64);
        bench.sim.setLateReplies(lateMs, chunks);
        QCOMPARE(bench.session.open(bench.sim.portPath()), OpenOutcome::Opened);
        QCOMPARE(bench.session.ping(dialect), Answered);

        DeviceIdentity identity;
        QCOMPARE(bench.session.identify(identity), LinkOutcome::Done);
        const bool vorn = dialect == Vorn;
        QCOMPARE(identity.deviceId, bench.sim.cell(vorn ? 200 : 64));
        QCOMPARE(identity.fwMajor, bench.sim.cell(vorn ? 205 : 65));
        QCOMPARE(identity.fwMinor, bench.sim.cell(vorn ? 206 : 66));
        if (vorn) {
            QCOMPARE(identity.hwVersion, bench.sim.cell(202));
            QCOMPARE(identity.blVersion, bench.sim.cell(203));
        }
        for (auto cell = cells.cbegin(); cell != cells.cend(); ++cell)
            bench.image.cells[cell.key()].used = 1;
        QCOMPARE(bench.session.readUsedCells(bench.image).outcome, LinkOutcome::Done);
        for (auto cell = cells.cbegin(); cell != cells.cend(); ++cell)
            QCOMPARE(bench.image.cells[cell.key()].value.load(), bench.sim.cell(cell.key()));

        QCOMPARE(bench.session.writeValue(bench.image, 0x1234, 20, 21), WriteOutcome::Confirmed);
        QCOMPARE(bench.sim.cell(20), quint8(0x34));
        QCOMPARE(bench.sim.cell(21), quint8(0x12));

        const QByteArray image = testsupport::patternImage(128);
        QCOMPARE(bench.session.uploadImage(image, 64, 2, identity, {}, {}), UploadOutcome::Done);
        const QList<QByteArray> blocks{image.left(64), image.mid(64)};
        QCOMPARE(bench.sim.receivedBlocks(), dialect == Kelpa ? blocks + blocks : blocks);
    }

    void outcomes_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<bool>("sendsNothing");

        const auto closed = [](Bench &bench) {
            bench.session.close();
            bench.sim.clearRawReceived();
        };
        QTest::newRow("open: no such port")
            << Operation([](Bench &bench) { return int(bench.session.open("/dev/pts/kova-missing")); })
            << int(OpenOutcome::NotFound) << true;
        QTest::newRow("read of all cells: a dead cell") << Operation([](Bench &bench) {
            bench.sim.failCell(9);
            bench.image.cells[3].used = bench.image.cells[9].used = bench.image.cells[12].used = 1;
            const CellsReadResult result = bench.session.readUsedCells(bench.image);
            return result.failedCell == 9 ? int(result.outcome) : -1;
        }) << int(LinkOutcome::NoReply) << false;
        QTest::newRow("write: device keeps its own value") << Operation([](Bench &bench) {
            bench.sim.setCellLimits(40, 0, 100);
            return int(bench.session.writeValue(bench.image, 200, 40, 0));
        }) << int(WriteOutcome::DeviceDiffers) << false;
        QTest::newRow("write: unanswered, nothing to read back") << Operation([](Bench &bench) {
            bench.sim.failCell(41);
            return int(bench.session.writeValue(bench.image, 6, 41, 0));
        }) << int(WriteOutcome::Unverified) << false;
        QTest::newRow("write: replies lost, read back") << Operation([](Bench &bench) {
            bench.sim.dropReplies(5);
            return int(bench.session.writeValue(bench.image, 6, 41, 0));
        }) << int(WriteOutcome::WriteFailed) << false;
        QTest::newRow("write: asked to stop") << Operation([](Bench &bench) {
            bench.stop = true;
            return int(bench.session.writeValue(bench.image, 6, 41, 0));
        }) << int(WriteOutcome::Stopped) << true;
        QTest::newRow("ping: port closed") << Operation([closed](Bench &bench) {
            closed(bench);
            return int(bench.session.ping(Kelpa));
        }) << int(Silent) << true;
        QTest::newRow("identify: port closed") << Operation([closed](Bench &bench) {
            closed(bench);
            DeviceIdentity identity;
            return int(bench.session.identify(identity));
        }) << int(LinkOutcome::PortClosed) << true;
        QTest::newRow("write: port closed") << Operation([closed](Bench &bench) {
            closed(bench);
            return int(bench.session.writeValue(bench.image, 0x0102, 20, 21));
        }) << int(WriteOutcome::PortClosed) << true;
        QTest::newRow("upload: port closed") << Operation([closed](Bench &bench) {
            closed(bench);
            return int(bench.session.uploadImage(QByteArray(64, 'x'), 64, 1, Kestrel, {}, {}));
        }) << int(UploadOutcome::PortClosed) << true;
        // The identity is read again right before the first block.
        QTest::newRow("upload: the device confirmed") << Operation([](Bench &bench) {
            bench.sim.setIdentity(21, 2, 3, 4, 12, 7);
            bench.sim.setBlockSize(64);
            DeviceIdentity found;
            const UploadOutcome outcome =
                bench.session.uploadImage(QByteArray(64, 'x'), 64, 1, Kestrel, {}, {}, &found);
            return found == Kestrel && bench.sim.receivedBlocks().size() == 1 ? int(outcome) : -1;
        }) << int(UploadOutcome::Done) << false;
        QTest::newRow("upload: another device behind the cable") << Operation([](Bench &bench) {
            bench.sim.setIdentity(22, 2, 3, 4, 12, 7);
            bench.sim.setBlockSize(64);
            DeviceIdentity found;
            const UploadOutcome outcome =
                bench.session.uploadImage(QByteArray(64, 'x'), 64, 1, Kestrel, {}, {}, &found);
            const bool nothingSent = bench.sim.receivedBlocks().isEmpty() && !bench.sim.rawReceived().contains("UMF");
            return found.deviceId == 22 && nothingSent ? int(outcome) : -1;
        }) << int(UploadOutcome::DeviceChanged) << false;
        QTest::newRow("upload: same model, other firmware") << Operation([](Bench &bench) {
            bench.sim.setIdentity(21, 2, 3, 4, 13, 0);
            bench.sim.setBlockSize(64);
            const UploadOutcome outcome = bench.session.uploadImage(QByteArray(64, 'x'), 64, 1, Kestrel, {}, {});
            return bench.sim.receivedBlocks().isEmpty() ? int(outcome) : -1;
        }) << int(UploadOutcome::DeviceChanged) << false;
        QTest::newRow("upload: identity unanswered") << Operation([](Bench &bench) {
            bench.sim.setIdentity(21, 2, 3, 4, 12, 7);
            bench.sim.failCell(202);
            bench.sim.setBlockSize(64);
            const UploadOutcome outcome = bench.session.uploadImage(QByteArray(64, 'x'), 64, 1, Kestrel, {}, {});
            return bench.sim.receivedBlocks().isEmpty() ? int(outcome) : -1;
        }) << int(UploadOutcome::DeviceSilent) << false;
    }

    // Every row runs on a Vorn device that answered its ping.
    void outcomes()
    {
        QFETCH(Operation, operation);
        QFETCH(int, outcome);
        QFETCH(bool, sendsNothing);
        Bench bench;
        bench.sim.attachDevice(SimProtocol::Vorn);
        bench.session.setStopCheck([&bench] { return bench.stop; });
        QCOMPARE(bench.session.open(bench.sim.portPath()), OpenOutcome::Opened);
        QCOMPARE(bench.session.ping(Vorn), Answered);
        bench.sim.clearRawReceived();

        testsupport::WarningCatcher catcher;
        QCOMPARE(operation(bench), outcome);
        QCOMPARE(catcher.warnings(), QStringList());
        QCOMPARE(bench.sim.rawReceived().isEmpty(), sendsNothing);
    }
};

QTEST_GUILESS_MAIN(DeviceSessionTest)
#include "tst_devicesession.moc"
