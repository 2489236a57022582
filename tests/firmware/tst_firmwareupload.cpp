#include "firmware/firmwareimage.h"
#include "firmware/firmwareupload.h"
#include "link/exchange.h"
#include "link/serialline.h"

#include "simulateddevice.h"
#include "support/firmwarepackage.h"

#include <QSerialPort>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(DialectSetting)
Q_DECLARE_METATYPE(SimProtocol)
Q_DECLARE_METATYPE(UploadOutcome)

namespace QTest {
template <>
char *toString(const UploadOutcome &outcome)
{
    static const char *const names[] = {"Done",       "Refused",       "BlockFailed", "Stopped",
                                        "PortClosed", "DeviceChanged", "DeviceSilent"};
    return qstrdup(names[int(outcome)]);
}
}  // namespace QTest

namespace {

using testsupport::patternImage;

QList<QByteArray> blocksOf(const QByteArray &image, int blockSize, int count)
{
    QList<QByteArray> blocks;
    for (int i = 0; i < count; ++i)
        blocks << image.mid(i * blockSize, blockSize);
    return blocks;
}

bool alternates(const QStringList &colors)
{
    for (int i = 0; i < colors.size(); ++i) {
        if (colors.at(i) != "green" && colors.at(i) != "dark_green")
            return false;
        if (i > 0 && colors.at(i) == colors.at(i - 1))
            return false;
    }
    return true;
}

QStringList repeated(const QStringList &colors, int times)
{
    QStringList all;
    for (int i = 0; i < times; ++i)
        all += colors;
    return all;
}

// The cable and device on a pseudo terminal, with the port opened as the
// link opens it.
struct Bench {
    SimulatedDevice device;
    QSerialPort port;
    SerialExchange exchange{port, serialLineHooks(port)};

    Bench(SimProtocol protocol, DialectSetting setting, int blockSize)
    {
        device.attachDevice(protocol);
        device.setBlockSize(blockSize);
        port.setPortName(device.portPath());
        if (port.open(QIODevice::ReadWrite))
            port.setBaudRate(baudRateOf(setting));
    }
};

}  // namespace

class TestFirmwareUpload : public QObject
{
    Q_OBJECT

private:
    struct Trace {
        QStringList statuses;
        QList<uint> progress;
        int cellZeroReads = 0;
        int stopQuestions = 0;
        int deviceConfirmations = 0;
        int sentBeforeConfirmation = -1;  // bytes the device had received when asked
    };

    Trace trace;
    int stopAfterQuestions = -1;  // negative: never
    UploadOutcome deviceAnswer = UploadOutcome::Done;
    const SimulatedDevice *watched = nullptr;

    UploadHooks hooks()
    {
        UploadHooks hooks;
        hooks.status = [this](const QString &color) { trace.statuses << color; };
        hooks.progress = [this](uint block) { trace.progress << block; };
        hooks.readCellZero = [this] { ++trace.cellZeroReads; };
        hooks.stopRequested = [this] {
            ++trace.stopQuestions;
            return stopAfterQuestions >= 0 && trace.stopQuestions > stopAfterQuestions;
        };
        hooks.confirmDevice = [this] {
            ++trace.deviceConfirmations;
            if (watched)
                trace.sentBeforeConfirmation = watched->rawReceived().size();
            return deviceAnswer;
        };
        return hooks;
    }

    UploadOutcome upload(SerialExchange &exchange, DialectSetting dialect, const QByteArray &image, quint32 pageSize,
                         quint8 pageCount)
    {
        FirmwareUpload upload(exchange, dialect, hooks());
        return upload.run(image, pageSize, pageCount);
    }

private slots:
    void init()
    {
        trace = Trace();
        stopAfterQuestions = -1;
        deviceAnswer = UploadOutcome::Done;
        watched = nullptr;
    }

    void refusesWrongGeometry_data()
    {
        QTest::addColumn<int>("imageLength");
        QTest::addColumn<quint32>("pageSize");
        QTest::addColumn<int>("pageCount");

        QTest::newRow("one block short") << 7 * 128 + 112 << 128u << 8;
        QTest::newRow("one block over") << 9 * 128 << 128u << 8;
        QTest::newRow("block size 0") << 64 << 0u << 1;
        QTest::newRow("block size 0, no blocks") << 0 << 0u << 0;
        QTest::newRow("block size above the limit") << 0 << 100000u << 0;
        QTest::newRow("no blocks") << 0 << 128u << 0;
        QTest::newRow("no blocks, a tail only") << 96 << 128u << 0;
    }

    // Nothing reaches the device, not even Ulma's bootloader entry; only
    // cell 0 has been read.
    void refusesWrongGeometry()
    {
        QFETCH(int, imageLength);
        QFETCH(quint32, pageSize);
        QFETCH(int, pageCount);

        Bench bench(SimProtocol::UlmaFast, UlmaFast, 128);
        QCOMPARE(upload(bench.exchange, UlmaFast, patternImage(imageLength), pageSize, quint8(pageCount)),
                 UploadOutcome::Refused);
        QCOMPARE(trace.cellZeroReads, 1);
        QCOMPARE(trace.deviceConfirmations, 0);
        QVERIFY(bench.device.rawReceived().isEmpty());
        QVERIFY(trace.statuses.isEmpty());
        QVERIFY(trace.progress.isEmpty());
    }

    // Whatever the device turned out to be, nothing irreversible went out:
    // not even Ulma's bootloader entry.
    void deviceAskedBeforeTheFirstBlock_data()
    {
        QTest::addColumn<SimProtocol>("protocol");
        QTest::addColumn<DialectSetting>("dialect");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<UploadOutcome>("answer");

        const QList<UploadOutcome> answers{UploadOutcome::DeviceChanged, UploadOutcome::DeviceSilent,
                                           UploadOutcome::PortClosed, UploadOutcome::Stopped};
        for (const UploadOutcome answer : answers) {
            const char *name = QTest::toString(answer);
            QTest::addRow("Vorn, %s", name) << SimProtocol::Vorn << Vorn << 64 << answer;
            QTest::addRow("Kelpa, %s", name) << SimProtocol::Kelpa << Kelpa << 64 << answer;
            QTest::addRow("Ulma, %s", name) << SimProtocol::UlmaFast << UlmaFast << 128 << answer;
            delete[] name;
        }
    }

    void deviceAskedBeforeTheFirstBlock()
    {
        QFETCH(SimProtocol, protocol);
        QFETCH(DialectSetting, dialect);
        QFETCH(int, blockSize);
        QFETCH(UploadOutcome, answer);

        Bench bench(protocol, dialect, blockSize);
        deviceAnswer = answer;
        QCOMPARE(upload(bench.exchange, dialect, patternImage(2 * blockSize), quint32(blockSize), 2), answer);
        QCOMPARE(trace.cellZeroReads, 1);
        QCOMPARE(trace.deviceConfirmations, 1);
        QVERIFY(bench.device.receivedBlocks().isEmpty());
        QCOMPARE(bench.device.bootloaderEntries(), 0);
        QVERIFY(!bench.device.rawReceived().contains(QByteArray::fromHex("4D75706496")));
        QVERIFY(trace.statuses.isEmpty());
        QVERIFY(trace.progress.isEmpty());
    }

    void stopBeforeTheFirstBlockSendsNothing()
    {
        QSerialPort closedPort;
        SerialExchange exchange(closedPort, serialLineHooks(closedPort));
        stopAfterQuestions = 0;
        QCOMPARE(upload(exchange, Vorn, patternImage(64), 64, 1), UploadOutcome::Stopped);
        QCOMPARE(trace.cellZeroReads, 1);
        QVERIFY(trace.statuses.isEmpty());
    }

    void uploadsEveryBlock_data()
    {
        QTest::addColumn<SimProtocol>("protocol");
        QTest::addColumn<DialectSetting>("dialect");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<bool>("pacedWire");

        QTest::newRow("Vorn") << SimProtocol::Vorn << Vorn << 64 << false;
        QTest::newRow("Kelpa") << SimProtocol::Kelpa << Kelpa << 64 << false;
        QTest::newRow("Ulma fast") << SimProtocol::UlmaFast << UlmaFast << 128 << false;
        QTest::newRow("Ulma slow, paced wire") << SimProtocol::UlmaSlow << UlmaSlow << 128 << true;
        QTest::newRow("Kelpa, paced wire") << SimProtocol::Kelpa << Kelpa << 64 << true;
    }

    void uploadsEveryBlock()
    {
        QFETCH(SimProtocol, protocol);
        QFETCH(DialectSetting, dialect);
        QFETCH(int, blockSize);
        QFETCH(bool, pacedWire);
        const bool kelpa = dialect == Kelpa;
        const bool ulma = dialectOf(dialect) == Dialect::Ulma;

        Bench bench(protocol, dialect, blockSize);
        QVERIFY(bench.port.isOpen());
        bench.device.setWireTiming(pacedWire);
        // A tail shorter than a block (here one line, where a block has more) is never sent.
        const int lineBytes = lineRecordDigits(dialectOf(dialect)) / 2;
        const QByteArray image = patternImage(3 * blockSize + (blockSize > lineBytes ? lineBytes : 0));
        if (ulma)
            QTest::ignoreMessage(QtDebugMsg, "Ulma");
        watched = &bench.device;

        QCOMPARE(upload(bench.exchange, dialect, image, quint32(blockSize), 3), UploadOutcome::Done);
        // Asked once, before anything went out (the read of cell 0 is the owner's hook).
        QCOMPARE(trace.deviceConfirmations, 1);
        QCOMPARE(trace.sentBeforeConfirmation, 0);

        const QList<QByteArray> blocks = blocksOf(image, blockSize, 3);
        QCOMPARE(bench.device.receivedBlocks(), kelpa ? blocks + blocks : blocks);
        QCOMPARE(trace.progress, kelpa ? (QList<uint>{0, 1, 2, 0, 1, 2}) : (QList<uint>{0, 1, 2}));
        QCOMPARE(bench.device.bootloaderEntries(), ulma ? 1 : 0);
        QCOMPARE(trace.cellZeroReads, 1);
        if (kelpa) {
            QCOMPARE(trace.statuses.size(), 6);
            QVERIFY2(alternates(trace.statuses), qPrintable(trace.statuses.join(' ')));
        } else {
            QCOMPARE(trace.statuses, repeated({"green", "dark_green"}, 3));
        }
    }

    // The entry is asked again only while something answers, and its outcome
    // is not judged: the blocks follow (here the owner stops before the first).
    void bootloaderEntryAttempts_data()
    {
        QTest::addColumn<bool>("deviceAttached");
        QTest::addColumn<bool>("garbled");
        QTest::addColumn<int>("requestsSent");

        QTest::newRow("accepted at once") << true << false << 1;
        QTest::newRow("echo only") << false << false << 1;
        QTest::newRow("garbled answers") << true << true << 5;
    }

    void bootloaderEntryAttempts()
    {
        QFETCH(bool, deviceAttached);
        QFETCH(bool, garbled);
        QFETCH(int, requestsSent);

        Bench bench(SimProtocol::UlmaFast, UlmaFast, 128);
        if (!deviceAttached)
            bench.device.detachDevice();
        bench.device.setGarbleReplies(garbled);
        stopAfterQuestions = 0;
        QTest::ignoreMessage(QtDebugMsg, "Ulma");
        QCOMPARE(upload(bench.exchange, UlmaFast, patternImage(128), 128, 1), UploadOutcome::Stopped);
        const QByteArray entry = QByteArray::fromHex("4D75706496");
        QCOMPARE(bench.device.rawReceived().count(entry), requestsSent);
        QCOMPARE(bench.device.bootloaderEntries(), deviceAttached ? requestsSent : 0);
        QVERIFY(bench.device.receivedBlocks().isEmpty());
        QVERIFY(trace.statuses.isEmpty());
    }

    void unacknowledgedBlockStopsTheUpload_data()
    {
        QTest::addColumn<SimProtocol>("protocol");
        QTest::addColumn<DialectSetting>("dialect");
        QTest::addColumn<int>("blockSize");

        QTest::newRow("Vorn") << SimProtocol::Vorn << Vorn << 64;
        QTest::newRow("Kelpa") << SimProtocol::Kelpa << Kelpa << 64;
        QTest::newRow("Ulma") << SimProtocol::UlmaFast << UlmaFast << 128;
    }

    void unacknowledgedBlockStopsTheUpload()
    {
        QFETCH(SimProtocol, protocol);
        QFETCH(DialectSetting, dialect);
        QFETCH(int, blockSize);
        const bool kelpa = dialect == Kelpa;

        Bench bench(protocol, dialect, blockSize);
        bench.device.neverAcknowledgeBlock(2);
        const QByteArray image = patternImage(4 * blockSize);
        if (dialectOf(dialect) == Dialect::Ulma)
            QTest::ignoreMessage(QtDebugMsg, "Ulma");
        if (kelpa) {
            for (int attempt = 0; attempt < 5; ++attempt)
                QTest::ignoreMessage(QtDebugMsg, "error");
        }

        QCOMPARE(upload(bench.exchange, dialect, image, quint32(blockSize), 4), UploadOutcome::BlockFailed);

        const QList<QByteArray> blocks = blocksOf(image, blockSize, 4);
        QList<QByteArray> sent = blocks.mid(0, 2);
        for (int attempt = 0; attempt < 5; ++attempt)
            sent << blocks.at(2);
        QCOMPARE(bench.device.receivedBlocks(), sent);
        QCOMPARE(trace.progress, (QList<uint>{0, 1}));
        if (kelpa)
            QVERIFY2(alternates(trace.statuses), qPrintable(trace.statuses.join(' ')));
        else
            QCOMPARE(trace.statuses, repeated({"green", "dark_green"}, 7));
    }

    void acknowledgementInPiecesWithExtraBytes()
    {
        Bench bench(SimProtocol::Vorn, Vorn, 64);
        bench.device.setAckInPieces(true);
        bench.device.setAckExtraBytes(3);
        const QByteArray image = patternImage(2 * 64);
        QCOMPARE(upload(bench.exchange, Vorn, image, 64, 2), UploadOutcome::Done);
        QCOMPARE(bench.device.receivedBlocks(), blocksOf(image, 64, 2));
        QCOMPARE(trace.progress, (QList<uint>{0, 1}));
    }

    void stopsBetweenAttempts()
    {
        Bench bench(SimProtocol::Vorn, Vorn, 64);
        bench.device.neverAcknowledgeBlock(0);
        stopAfterQuestions = 2;
        QCOMPARE(upload(bench.exchange, Vorn, patternImage(2 * 64), 64, 2), UploadOutcome::Stopped);
        QCOMPARE(bench.device.receivedBlocks().size(), 2);
        QCOMPARE(trace.statuses, repeated({"green", "dark_green"}, 2));
    }
};

QTEST_GUILESS_MAIN(TestFirmwareUpload)
#include "tst_firmwareupload.moc"
