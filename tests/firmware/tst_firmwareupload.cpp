#include "firmware/firmwareimage.h"
#include "firmware/firmwareupload.h"
#include "link/exchange.h"

#include "simulateddevice.h"
#include "support/firmwarepackage.h"

#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(DialectSetting)
Q_DECLARE_METATYPE(SimProtocol)
Q_DECLARE_METATYPE(ImageProblem)

namespace QTest {
template<>
char *toString(const UploadOutcome &outcome)
{
    static const char *const names[] = {"Done", "CannotOpen", "Refused", "BlockFailed",
                                        "Stopped", "PortClosed", "Damaged"};
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
    SerialExchange exchange{port};

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
    };

    std::unique_ptr<QTemporaryDir> folder;
    Trace trace;
    int stopAfterQuestions = -1;  // negative: never

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
        return hooks;
    }

    // A package for `dialect` whose data part holds `image`.
    QString writePackage(DialectSetting dialect, const QByteArray &image)
    {
        const QString path = folder->filePath("package.upd");
        const testsupport::PackageIdentity identity{7, 1, 1, "1.0"};
        if (!testsupport::writePackage(path, identity, image, lineRecordDigits(dialectOf(dialect))))
            return {};
        return path;
    }

    UploadOutcome upload(SerialExchange &exchange, DialectSetting dialect, const QString &path,
                         quint32 pageSize, quint8 pageCount)
    {
        FirmwareUpload upload(exchange, dialect, hooks());
        return upload.run(path, pageSize, pageCount);
    }

private slots:
    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
        trace = Trace();
        stopAfterQuestions = -1;
    }

    // Paths that end before anything is sent: a port that is not even open
    // serves.
    void missingPackageSendsNothing()
    {
        QSerialPort closedPort;
        SerialExchange exchange(closedPort);
        QCOMPARE(upload(exchange, Kelpa, folder->filePath("absent.upd"), 64, 1), UploadOutcome::CannotOpen);
        QCOMPARE(trace.cellZeroReads, 0);
        QVERIFY(trace.statuses.isEmpty());
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
        const QString path = writePackage(UlmaFast, patternImage(imageLength));
        QVERIFY(!path.isEmpty());
        QCOMPARE(upload(bench.exchange, UlmaFast, path, pageSize, quint8(pageCount)), UploadOutcome::Refused);
        QCOMPARE(trace.cellZeroReads, 1);
        QVERIFY(bench.device.rawReceived().isEmpty());
        QVERIFY(trace.statuses.isEmpty());
        QVERIFY(trace.progress.isEmpty());
    }

    // Package lines 1 to 7 are the heading; block data starts on line 8, each
    // line Ulma's record digits and a four-digit trailer.
    void refusesDamagedPackage_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("at");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<ImageProblem>("problem");

        QTest::newRow("letter O for a digit in line 9") << 9 << 0 << QByteArray("O") << ImageProblem::NotHexadecimal;
        QTest::newRow("short trailer in line 8") << 8 << -1 << QByteArray() << ImageProblem::ShortLine;
    }

    void refusesDamagedPackage()
    {
        QFETCH(int, line);
        QFETCH(int, at);
        QFETCH(QByteArray, to);
        QFETCH(ImageProblem, problem);

        Bench bench(SimProtocol::UlmaFast, UlmaFast, 128);
        const QString path = writePackage(UlmaFast, patternImage(2 * 128));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QList<QByteArray> lines = file.readAll().split('\n');
        QVERIFY(lines.size() > line);
        const int digits = lineRecordDigits(Dialect::Ulma);
        QCOMPARE(lines[line - 1].size(), digits + 4 + 1);
        // A negative position counts back from the trailer's last digit.
        lines[line - 1].replace(at < 0 ? digits + 4 + at : at, 1, to);
        file.resize(0);
        file.write(lines.join('\n'));
        file.close();

        FirmwareUpload upload(bench.exchange, UlmaFast, hooks());
        QCOMPARE(upload.run(path, 128, 2), UploadOutcome::Damaged);
        QCOMPARE(int(upload.damage().problem), int(problem));
        QCOMPARE(upload.damage().line, qint64(line));
        QCOMPARE(trace.cellZeroReads, 0);
        QVERIFY(bench.device.rawReceived().isEmpty());
    }

    void stopBeforeTheFirstBlockSendsNothing()
    {
        QSerialPort closedPort;
        SerialExchange exchange(closedPort);
        stopAfterQuestions = 0;
        const QString path = writePackage(Vorn, patternImage(64));
        QCOMPARE(upload(exchange, Vorn, path, 64, 1), UploadOutcome::Stopped);
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
        const QString path = writePackage(dialect, image);
        if (ulma)
            QTest::ignoreMessage(QtDebugMsg, "Ulma");

        QCOMPARE(upload(bench.exchange, dialect, path, quint32(blockSize), 3), UploadOutcome::Done);

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
        const QString path = writePackage(UlmaFast, patternImage(128));
        stopAfterQuestions = 0;
        QTest::ignoreMessage(QtDebugMsg, "Ulma");
        QCOMPARE(upload(bench.exchange, UlmaFast, path, 128, 1), UploadOutcome::Stopped);
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
        const QString path = writePackage(dialect, image);
        if (dialectOf(dialect) == Dialect::Ulma)
            QTest::ignoreMessage(QtDebugMsg, "Ulma");
        if (kelpa) {
            for (int attempt = 0; attempt < 5; ++attempt)
                QTest::ignoreMessage(QtDebugMsg, "error");
        }

        QCOMPARE(upload(bench.exchange, dialect, path, quint32(blockSize), 4), UploadOutcome::BlockFailed);

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
        QCOMPARE(upload(bench.exchange, Vorn, writePackage(Vorn, image), 64, 2), UploadOutcome::Done);
        QCOMPARE(bench.device.receivedBlocks(), blocksOf(image, 64, 2));
        QCOMPARE(trace.progress, (QList<uint>{0, 1}));
    }

    void stopsBetweenAttempts()
    {
        Bench bench(SimProtocol::Vorn, Vorn, 64);
        bench.device.neverAcknowledgeBlock(0);
        stopAfterQuestions = 2;
        const QString path = writePackage(Vorn, patternImage(2 * 64));
        QCOMPARE(upload(bench.exchange, Vorn, path, 64, 2), UploadOutcome::Stopped);
        QCOMPARE(bench.device.receivedBlocks().size(), 2);
        QCOMPARE(trace.statuses, repeated({"green", "dark_green"}, 2));
    }
};

QTEST_GUILESS_MAIN(TestFirmwareUpload)
#include "tst_firmwareupload.moc"
