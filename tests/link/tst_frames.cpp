#include "link/checksums.h"
#include "link/frames.h"

#include "support/bytes.h"

#include <QtTest>

namespace {

using testsupport::hex;

}  // namespace

Q_DECLARE_METATYPE(Dialect)

class FramesTest : public QObject
{
    Q_OBJECT

private slots:
    void checksumCheckValues()
    {
        const QByteArray digits("123456789");
        QCOMPARE(crc32(digits), 0xCBF43926u);
        QCOMPARE(crc16(digits), quint16(0x4B37));
        QCOMPARE(crc32(QByteArray("MST")), 0x7A935CFBu);
        QCOMPARE(crc32(QByteArray("MO")), 0xE26D7FB6u);
        QCOMPARE(additiveChecksum(QByteArray("MSET")), quint8(0x39));
        QCOMPARE(additiveChecksum(QByteArray("Mset")), quint8(0x99));
        QCOMPARE(additiveChecksum(QByteArray("MO")), quint8(0x9C));
        QCOMPARE(crc32(QByteArray()), 0u);
        QCOMPARE(crc16(QByteArray()), quint16(0xFFFF));
    }

    void requests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray vornRead200 = QByteArray("MR") + char(0xC8);
        QByteArray vornRead200Frame = "U" + vornRead200;
        const quint32 crc = crc32(vornRead200);
        for (int i = 0; i < 4; ++i)
            vornRead200Frame.append(char((crc >> (8 * i)) & 0xFF));

        QTest::newRow("ping Vorn") << frames::pingRequest(Dialect::Vorn) << hex("554D5354FB5C937A");
        QTest::newRow("ping Kelpa") << frames::pingRequest(Dialect::Kelpa) << hex("554D53455439");
        QTest::newRow("ping Ulma") << frames::pingRequest(Dialect::Ulma) << hex("4D73657499");
        QTest::newRow("read Vorn 200") << frames::readRequest(Dialect::Vorn, 200) << vornRead200Frame;
        // "U" is not covered: 4D+52+40+30 = 0x10F
        QTest::newRow("read Kelpa 64") << frames::readRequest(Dialect::Kelpa, 64) << hex("554D5240300F");
        // the cell number twice, and the sum wraps: 4D+72+C8+C8 = 0x24F
        QTest::newRow("read Ulma 200") << frames::readRequest(Dialect::Ulma, 200) << hex("4D72C8C84F");
        QTest::newRow("read Ulma 0") << frames::readRequest(Dialect::Ulma, 0) << hex("4D7200 00BF");
        // 4D+57+0A+FF = 0x1AD
        QTest::newRow("write Kelpa 10=255") << frames::writeRequest(Dialect::Kelpa, 10, 255) << hex("554D570AFFAD");
        // 4D+77+05+07 = 0xD0
        QTest::newRow("write Ulma 5=7") << frames::writeRequest(Dialect::Ulma, 5, 7) << hex("4D770507D0");
    }

    void requests()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, expected);
        QCOMPARE(request.toHex(' '), expected.toHex(' '));
    }

    void vornWriteCarriesCrcOverCommandCellAndValue()
    {
        const QByteArray frame = frames::writeRequest(Dialect::Vorn, 17, 0x80);
        QCOMPARE(frame.size(), 9);
        QCOMPARE(frame.left(5), QByteArray("UMW") + char(17) + char(0x80));
        const quint32 crc = crc32(frame.mid(1, 4));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(quint8(frame.at(5 + i)), quint8((crc >> (8 * i)) & 0xFF));
    }

    void cellReplies_data()
    {
        QTest::addColumn<Dialect>("dialect");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("offset");
        QTest::addColumn<bool>("valid");
        QByteArray vorn = QByteArray("MZ");
        const quint32 crc = crc32(vorn);
        for (int i = 0; i < 4; ++i)
            vorn.append(char((crc >> (8 * i)) & 0xFF));
        const QByteArray echo(8, 'e');

        QTest::newRow("vorn good") << Dialect::Vorn << echo + vorn << 8 << true;
        QTest::newRow("vorn bad crc") << Dialect::Vorn << echo + vorn.left(5) + char(vorn.at(5) ^ 1) << 8 << false;
        QTest::newRow("vorn short") << Dialect::Vorn << echo + vorn.left(5) << 8 << false;
        QTest::newRow("vorn longer is fine") << Dialect::Vorn << echo + vorn + "xx" << 8 << true;
        QTest::newRow("kelpa good") << Dialect::Kelpa << QByteArray(6, 'e') + hex("4D0350") << 6 << true;
        QTest::newRow("kelpa wrong sum") << Dialect::Kelpa << QByteArray(6, 'e') + hex("4D0351") << 6 << false;
        QTest::newRow("kelpa no M") << Dialect::Kelpa << QByteArray(6, 'e') + hex("4E034F") << 6 << false;
        QTest::newRow("ulma wrapping sum") << Dialect::Ulma << QByteArray(5, 'e') + hex("4DFF4C") << 5 << true;
        QTest::newRow("ulma empty") << Dialect::Ulma << QByteArray() << 5 << false;
    }

    void cellReplies()
    {
        QFETCH(Dialect, dialect);
        QFETCH(QByteArray, received);
        QFETCH(int, offset);
        QFETCH(bool, valid);
        QCOMPARE(frames::cellReplyValid(dialect, received, offset), valid);
    }

    void pingClassification_data()
    {
        QTest::addColumn<Dialect>("dialect");
        QTest::addColumn<bool>("sawData");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("result");
        const QByteArray vornPing = hex("554D5354FB5C937A");
        const QByteArray kelpaPing = hex("554D53455439");
        const QByteArray ulmaPing = hex("4D73657499");

        QTest::newRow("nothing") << Dialect::Vorn << false << QByteArray() << int(Silent);
        QTest::newRow("echo only") << Dialect::Vorn << true << vornPing << int(EchoOnly);
        QTest::newRow("vorn answered") << Dialect::Vorn << true << vornPing + hex("4D4FB67F6DE2") << int(Answered);
        QTest::newRow("vorn bad crc") << Dialect::Vorn << true << vornPing + hex("4D4FB67F6DE3") << int(Garbled);
        QTest::newRow("kelpa answered") << Dialect::Kelpa << true << kelpaPing + hex("4D4F9C") << int(Answered);
        QTest::newRow("kelpa wrong last byte") << Dialect::Kelpa << true << kelpaPing + hex("4D4F9D") << int(Garbled);
        QTest::newRow("kelpa not MO") << Dialect::Kelpa << true << kelpaPing + hex("4D509D") << int(Garbled);
        QTest::newRow("ulma answered") << Dialect::Ulma << true << ulmaPing + hex("4D4F9C") << int(Answered);
        QTest::newRow("ulma partial") << Dialect::Ulma << true << ulmaPing + hex("4D4F") << int(EchoOnly);
    }

    void pingClassification()
    {
        QFETCH(Dialect, dialect);
        QFETCH(bool, sawData);
        QFETCH(QByteArray, line);
        QFETCH(int, result);
        const int requestLength = frames::pingRequest(dialect).size();
        QCOMPARE(int(frames::classifyPing(dialect, sawData, line, requestLength)), result);
    }

    void fixedRequestsAndRepliesHoldNoLineFeed()
    {
        // a 0x0A would end the ping's line read early
        for (Dialect dialect : {Dialect::Vorn, Dialect::Kelpa, Dialect::Ulma})
            QVERIFY(!frames::pingRequest(dialect).contains('\n'));
        QVERIFY(!hex("4D4FB67F6DE2").contains('\n'));
    }

    void dialectCycle()
    {
        QCOMPARE(nextDialect(Vorn), Kelpa);
        QCOMPARE(nextDialect(Kelpa), UlmaFast);
        QCOMPARE(nextDialect(UlmaFast), UlmaSlow);
        QCOMPARE(nextDialect(UlmaSlow), Vorn);
        QCOMPARE(baudRateOf(UlmaFast), 19000);
        QCOMPARE(baudRateOf(UlmaSlow), 4800);
        QCOMPARE(baudRateOf(Kelpa), 9600);
        QCOMPARE(baudRateOf(Vorn), 115200);
    }
};

QTEST_GUILESS_MAIN(FramesTest)
#include "tst_frames.moc"
