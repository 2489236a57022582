#include "firmware/uploadframes.h"

#include <QtTest>

Q_DECLARE_METATYPE(Dialect)

using namespace uploadframes;

namespace {

QByteArray sequence(int length)
{
    QByteArray bytes;
    for (int i = 0; i < length; ++i)
        bytes.append(char(i));
    return bytes;
}

}  // namespace

class TestUploadFrames : public QObject
{
    Q_OBJECT

private slots:
    void blockFrames_data()
    {
        QTest::addColumn<Dialect>("dialect");
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QByteArray>("frame");

        const QByteArray digits = "123456789";
        // crc16 0x4B37 of the digits, most significant byte first
        QTest::newRow("Kelpa, check over the data only")
            << Dialect::Kelpa << digits << "UMF" + digits + QByteArray::fromHex("4B37");
        // crc16 of "Mf" and the digits is 0x93B6
        QTest::newRow("Ulma, check over head and data")
            << Dialect::Ulma << digits << "Mf" + digits + QByteArray::fromHex("93B6");
        // crc32 of "MF" and the digits is 0xC802BF6B, least significant byte first
        QTest::newRow("Vorn, check after the sync byte")
            << Dialect::Vorn << digits << "UMF" + digits + QByteArray::fromHex("6BBF02C8");
        // crc32 of "MF" and the bytes 00..3F is 0xC211E9FC
        QTest::newRow("Vorn, 64-byte block")
            << Dialect::Vorn << sequence(64) << "UMF" + sequence(64) + QByteArray::fromHex("FCE911C2");
    }

    void blockFrames()
    {
        QFETCH(Dialect, dialect);
        QFETCH(QByteArray, block);
        QFETCH(QByteArray, frame);
        QCOMPARE(blockFrame(dialect, block).toHex(), frame.toHex());
        QCOMPARE(blockFrameLength(dialect, block.size()), frame.size());
    }

    void frameLengthsForA64ByteBlock()
    {
        QCOMPARE(blockFrameLength(Dialect::Kelpa, 64), 69);
        QCOMPARE(blockFrameLength(Dialect::Ulma, 64), 68);
        QCOMPARE(blockFrameLength(Dialect::Vorn, 64), 71);
    }

    void fixedFrames()
    {
        QCOMPARE(bootloaderEntryRequest().toHex(), QByteArray("4d75706496"));
        QCOMPARE(acknowledgement(Dialect::Kelpa).toHex(), QByteArray("4d4f9c"));
        QCOMPARE(acknowledgement(Dialect::Ulma).toHex(), QByteArray("4d4f9c"));
        QCOMPARE(acknowledgement(Dialect::Vorn).toHex(), QByteArray("4d4fb67f6de2"));
    }

    void acknowledgedAtFrameOffset_data()
    {
        QTest::addColumn<Dialect>("dialect");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("frameLength");
        QTest::addColumn<bool>("accepted");

        const QByteArray echo = blockFrame(Dialect::Vorn, sequence(64));
        const QByteArray vornAck = QByteArray::fromHex("4D4FB67F6DE2");
        QTest::newRow("Vorn, exact") << Dialect::Vorn << echo + vornAck << 71 << true;
        QTest::newRow("Vorn, extra bytes ignored") << Dialect::Vorn << echo + vornAck + "junk" << 71 << true;
        QTest::newRow("Vorn, last byte missing") << Dialect::Vorn << echo + vornAck.left(5) << 71 << false;
        QTest::newRow("Vorn, wrong check")
            << Dialect::Vorn << echo + QByteArray::fromHex("4D4FB67F6DE3") << 71 << false;
        QTest::newRow("Vorn, one echo byte lost") << Dialect::Vorn << echo.mid(1) + vornAck + "x" << 71 << false;
        QTest::newRow("Vorn, short ack of the other dialects")
            << Dialect::Vorn << echo + QByteArray::fromHex("4D4F9C000000") << 71 << false;
        QTest::newRow("echo only") << Dialect::Vorn << echo << 71 << false;
        QTest::newRow("nothing") << Dialect::Vorn << QByteArray() << 71 << false;

        const QByteArray kelpaEcho = blockFrame(Dialect::Kelpa, sequence(8));
        const QByteArray shortAck = QByteArray::fromHex("4D4F9C");
        QTest::newRow("Kelpa, exact") << Dialect::Kelpa << kelpaEcho + shortAck << 13 << true;
        QTest::newRow("Kelpa, echo altered") << Dialect::Kelpa << QByteArray(13, '\0') + shortAck << 13 << true;
        QTest::newRow("Kelpa, reply O M") << Dialect::Kelpa << kelpaEcho + QByteArray::fromHex("4F4D9C") << 13 << false;
        QTest::newRow("Ulma, exact") << Dialect::Ulma << QByteArray(12, 'e') + shortAck << 12 << true;
        QTest::newRow("Ulma, extra bytes ignored")
            << Dialect::Ulma << QByteArray(12, 'e') + shortAck + "MO" << 12 << true;
        QTest::newRow("Ulma, ack one byte early")
            << Dialect::Ulma << QByteArray(11, 'e') + shortAck + "x" << 12 << false;
    }

    void acknowledgedAtFrameOffset()
    {
        QFETCH(Dialect, dialect);
        QFETCH(QByteArray, received);
        QFETCH(int, frameLength);
        QFETCH(bool, accepted);
        QCOMPARE(acknowledged(dialect, received, frameLength), accepted);
    }

    void blockExchanges_data()
    {
        QTest::addColumn<Dialect>("dialect");
        QTest::addColumn<int>("pause");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("step");

        // expected bytes: echo of the frame plus the acknowledgement, for 64-byte blocks
        QTest::newRow("Kelpa") << Dialect::Kelpa << 150 << 64 + 8 << 50;
        QTest::newRow("Ulma") << Dialect::Ulma << 130 << 64 + 7 << 500;
        QTest::newRow("Vorn") << Dialect::Vorn << 150 << 64 + 13 << 100;
    }

    void blockExchanges()
    {
        QFETCH(Dialect, dialect);
        QFETCH(int, pause);
        QFETCH(int, expected);
        QFETCH(int, step);

        const ExchangeParams params = blockExchange(dialect, 64);
        QCOMPARE(params.writeWaitMs, 1000);
        QCOMPARE(params.pauseMs, pause);
        QCOMPARE(params.replyWaitMs, 1000);
        QCOMPARE(params.expected, expected);
        QCOMPARE(params.mode, ReadMode::Gathering);
        QCOMPARE(params.stepMs, step);
    }

    void bootloaderEntryExchangeReadsOneLine()
    {
        const ExchangeParams params = bootloaderEntryExchange();
        QCOMPARE(params.writeWaitMs, 1000);
        QCOMPARE(params.pauseMs, 50);
        QCOMPARE(params.replyWaitMs, 1000);
        QCOMPARE(params.expected, 8);
        QCOMPARE(params.mode, ReadMode::Line);
        QCOMPARE(params.lineLimit, 9);
    }
};

QTEST_GUILESS_MAIN(TestUploadFrames)
#include "tst_uploadframes.moc"
