#include "description/valuecodec.h"

#include <QTest>

#include <cmath>
#include <limits>

using valuecodec::Conversion;

Q_DECLARE_METATYPE(Conversion)

class TestValueCodec : public QObject
{
    Q_OBJECT

private slots:
    void encodesRange_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<Conversion>("conversion");
        QTest::addColumn<uint>("raw");

        QTest::newRow("scale 10") << 12.3 << Conversion{0, 10, 0} << 123u;
        QTest::newRow("two bytes") << 1000.0 << Conversion{0, 1, 0} << 1000u;
        QTest::newRow("offset 40 at -40") << -40.0 << Conversion{40, 1, 0} << 0u;
        QTest::newRow("offset 40 at 85") << 85.0 << Conversion{40, 1, 0} << 125u;
        QTest::newRow("half rounds up") << 2.5 << Conversion{0, 1, 0} << 3u;
        QTest::newRow("just below half rounds down") << 2.49 << Conversion{0, 1, 0} << 2u;
        QTest::newRow("shift after scaling") << 3.0 << Conversion{1, 2, 5} << 13u;
        QTest::newRow("sum -1.2 plus half truncates to 0, not floor") << -1.2 << Conversion{0, 1, 0} << 0u;
        QTest::newRow("negative keeps two's complement") << -2.0 << Conversion{0, 1, 0} << 0xFFFFFFFFu;
        QTest::newRow("-300 in 32 bits") << -300.5 << Conversion{0, 1, 0} << quint32(-300);
        QTest::newRow("bits above 32 dropped") << 4294967296.0 + 7 << Conversion{0, 1, 0} << 7u;
        QTest::newRow("beyond 64 bits saturates")
            << 1e300 << Conversion{0, 1, 0} << quint32(std::numeric_limits<qint64>::max());
        QTest::newRow("NaN gives 0") << std::nan("") << Conversion{0, 1, 0} << 0u;
    }

    void encodesRange()
    {
        QFETCH(double, value);
        QFETCH(Conversion, conversion);
        QFETCH(uint, raw);
        QCOMPARE(valuecodec::encodeRange(value, conversion), raw);
    }

    void encodesList_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<Conversion>("conversion");
        QTest::addColumn<uint>("raw");

        QTest::newRow("plain") << 2 << Conversion{0, 1, 0} << 2u;
        QTest::newRow("offset 1") << 0 << Conversion{1, 1, 0} << 1u;
        QTest::newRow("scale 8, offset 1") << 2 << Conversion{1, 8, 0} << 24u;
        QTest::newRow("no half added") << 1 << Conversion{0, 1.9, 0} << 1u;
        QTest::newRow("shift") << 1 << Conversion{0, 10, 5} << 15u;
        QTest::newRow("fraction toward zero") << 0 << Conversion{0, 1, -0.9} << 0u;
        QTest::newRow("no selection") << -1 << Conversion{0, 1, 0} << 0xFFFFFFFFu;
    }

    void encodesList()
    {
        QFETCH(int, index);
        QFETCH(Conversion, conversion);
        QFETCH(uint, raw);
        QCOMPARE(valuecodec::encodeList(index, conversion), raw);
    }

    void splitsIntoCellBytes_data()
    {
        QTest::addColumn<uint>("raw");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");

        QTest::newRow("one byte") << 123u << 123 << 0;
        QTest::newRow("1000") << 1000u << 232 << 3;
        QTest::newRow("70000 loses bit 16") << 70000u << 112 << 17;
        QTest::newRow("-1") << 0xFFFFFFFFu << 255 << 255;
    }

    void splitsIntoCellBytes()
    {
        QFETCH(uint, raw);
        QFETCH(int, low);
        QFETCH(int, high);
        QCOMPARE(int(valuecodec::lowByte(raw)), low);
        QCOMPARE(int(valuecodec::highByte(raw)), high);
    }

    void decodesRange_data()
    {
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::addColumn<Conversion>("conversion");
        QTest::addColumn<double>("value");

        QTest::newRow("scale 10") << 123 << 0 << Conversion{0, 10, 0} << 12.3;
        QTest::newRow("two bytes") << 232 << 3 << Conversion{0, 1, 0} << 1000.0;
        QTest::newRow("offset 40 at 0") << 0 << 0 << Conversion{40, 1, 0} << -40.0;
        QTest::newRow("offset 40 at 125") << 125 << 0 << Conversion{40, 1, 0} << 85.0;
        QTest::newRow("shift first, then scale, then offset") << 13 << 0 << Conversion{1, 2, 5} << 3.0;
        QTest::newRow("largest raw") << 255 << 255 << Conversion{0, 1, 0} << 65535.0;
    }

    void decodesRange()
    {
        QFETCH(int, low);
        QFETCH(int, high);
        QFETCH(Conversion, conversion);
        QFETCH(double, value);
        const quint32 raw = valuecodec::rawFromCells(quint8(low), quint8(high));
        QCOMPARE(valuecodec::decodeRange(raw, conversion), value);
    }

    void decodesList_data()
    {
        QTest::addColumn<uint>("raw");
        QTest::addColumn<Conversion>("conversion");
        QTest::addColumn<int>("index");

        QTest::newRow("offset 1") << 3u << Conversion{1, 1, 0} << 2;
        QTest::newRow("scale 2 truncates") << 3u << Conversion{0, 2, 0} << 1;
        QTest::newRow("scale 8, offset 1") << 24u << Conversion{1, 8, 0} << 2;
        QTest::newRow("below the first entry toward zero") << 0u << Conversion{0.5, 1, 0} << 0;
        QTest::newRow("negative index") << 0u << Conversion{2, 1, 0} << -2;
        QTest::newRow("beyond 32 bits saturates")
            << 65535u << Conversion{0, 1e-9, 0} << std::numeric_limits<int>::max();
    }

    void decodesList()
    {
        QFETCH(uint, raw);
        QFETCH(Conversion, conversion);
        QFETCH(int, index);
        QCOMPARE(valuecodec::decodeList(raw, conversion), index);
    }

    void effectiveScale()
    {
        QCOMPARE(valuecodec::effectiveScale(0.0), 1.0);
        QCOMPARE(valuecodec::effectiveScale(-0.0), 1.0);
        QCOMPARE(valuecodec::effectiveScale(0.25), 0.25);
        QCOMPARE(valuecodec::effectiveScale(-2.0), -2.0);
    }
};

QTEST_MAIN(TestValueCodec)
#include "tst_valuecodec.moc"
