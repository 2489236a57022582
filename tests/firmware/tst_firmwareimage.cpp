#include "firmware/firmwareimage.h"

#include <QBuffer>
#include <QtTest>

Q_DECLARE_METATYPE(Dialect)

namespace {

const QByteArray Heading = "[Device]\nID=7\n\n[Firmware]\n";

QByteArray readImage(const QByteArray &package, Dialect dialect)
{
    QBuffer buffer;
    buffer.setData(package);
    buffer.open(QIODevice::ReadOnly);
    return readFirmwareImage(buffer, dialect);
}

// Claims a size beyond the package limit whatever it holds.
class OversizedPackage : public QBuffer
{
public:
    qint64 claimedSize = 0;
    qint64 size() const override { return claimedSize; }
};

}  // namespace

class TestFirmwareImage : public QObject
{
    Q_OBJECT

private slots:
    void recordAndTrailerPerDialect_data()
    {
        QTest::addColumn<Dialect>("dialect");
        QTest::addColumn<int>("digits");
        QTest::addColumn<int>("trailer");
        QTest::newRow("Kelpa") << Dialect::Kelpa << 16 << 4;
        QTest::newRow("Ulma") << Dialect::Ulma << 32 << 5;
        QTest::newRow("Vorn") << Dialect::Vorn << 128 << 4;
    }

    void recordAndTrailerPerDialect()
    {
        QFETCH(Dialect, dialect);
        QFETCH(int, digits);
        QFETCH(int, trailer);
        QCOMPARE(lineRecordDigits(dialect), digits);
        QCOMPARE(lineTrailerLength(dialect), trailer);

        // A line exactly as long as it must be counts; one character less does not.
        const QByteArray record = QByteArray("5A").repeated(digits / 2);
        const QByteArray longEnough = record + QByteArray(trailer - 1, '#') + "\n";
        const QByteArray tooShort = record + QByteArray(trailer - 2, '#') + "\n";
        QCOMPARE(readImage(Heading + longEnough, dialect), QByteArray(digits / 2, '\x5A'));
        QCOMPARE(readImage(Heading + tooShort, dialect), QByteArray());
    }

    void readsDataLines_data()
    {
        QTest::addColumn<QByteArray>("package");
        QTest::addColumn<QByteArray>("image");

        const QByteArray bytes = QByteArray::fromHex("0011223344556677");
        QTest::newRow("one line") << Heading + "0011223344556677abc\n" << bytes;
        QTest::newRow("trailer only two characters") << Heading + "0011223344556677ab\n" << QByteArray();
        QTest::newRow("CR LF counts as one character")
            << Heading + "0011223344556677ab\r\n" << QByteArray();
        QTest::newRow("trailer is not read") << Heading + "0011223344556677FFFFFFFF\n" << bytes;
        QTest::newRow("lines joined in order")
            << Heading + "0011223344556677abc\n8899aabbccddeeffabc\n"
            << QByteArray::fromHex("00112233445566778899aabbccddeeff");
        QTest::newRow("empty and short lines skipped")
            << Heading + "\n0011223344556677abc\n\n00112233\n8899AABBCCDDEEFFabc\n\n"
            << QByteArray::fromHex("00112233445566778899aabbccddeeff");
        QTest::newRow("last line without line end, long enough")
            << Heading + "0011223344556677abcd" << bytes;
        QTest::newRow("last line without line end, too short")
            << Heading + "0011223344556677abc" << QByteArray();
        QTest::newRow("non-hex characters skipped")
            << Heading + "00 11 22 33-44zzabc\n" << QByteArray::fromHex("0011223344");
        QTest::newRow("no data part") << QByteArray("[Device]\nID=7\n0011223344556677abc\n") << QByteArray();
        QTest::newRow("heading with a trailing blank")
            << QByteArray("[Firmware] \n0011223344556677abc\n") << QByteArray();
        QTest::newRow("heading in other case")
            << QByteArray("[firmware]\n0011223344556677abc\n") << QByteArray();
        QTest::newRow("heading at the end") << QByteArray("[Device]\n[Firmware]") << QByteArray();
        QTest::newRow("data lines before the heading are not read")
            << "8899aabbccddeeffabc\n" + Heading + "0011223344556677abc\n" << bytes;
    }

    void readsDataLines()
    {
        QFETCH(QByteArray, package);
        QFETCH(QByteArray, image);
        QCOMPARE(readImage(package, Dialect::Kelpa), image);
    }

    void crLfReadsAsLf()
    {
        const QByteArray lf = Heading
                              + "00112233445566778899aabbccddeeffabcd\n"
                                "FFEEDDCCBBAA99887766554433221100abcd\n"
                                "0123456789abcdef0123456789ABCDEFab\n";
        QByteArray crLf = lf;
        crLf.replace("\n", "\r\n");

        const QByteArray image = readImage(lf, Dialect::Ulma);
        QCOMPARE(image.size(), 32);
        QCOMPARE(readImage(crLf, Dialect::Ulma), image);
    }

    void refusesOversizedPackage()
    {
        OversizedPackage package;
        package.setData(Heading + "0011223344556677abc\n");
        package.open(QIODevice::ReadOnly);

        package.claimedSize = MaxPackageBytes + 1;
        QVERIFY(readFirmwareImage(package, Dialect::Kelpa).isEmpty());
        package.seek(0);
        package.claimedSize = MaxPackageBytes;
        QCOMPARE(readFirmwareImage(package, Dialect::Kelpa).size(), 8);
    }

    void imageFitsWholeBlocks_data()
    {
        QTest::addColumn<qint64>("length");
        QTest::addColumn<quint32>("pageSize");
        QTest::addColumn<int>("pageCount");
        QTest::addColumn<bool>("fits");

        QTest::newRow("exact") << qint64(8 * 64) << 64u << 8 << true;
        QTest::newRow("with a tail of 10") << qint64(8 * 64 + 10) << 64u << 8 << true;
        QTest::newRow("with the longest tail") << qint64(8 * 64 + 63) << 64u << 8 << true;
        QTest::newRow("one block short") << qint64(7 * 64 + 63) << 64u << 8 << false;
        QTest::newRow("one block over") << qint64(9 * 64) << 64u << 8 << false;
        QTest::newRow("no blocks expected, empty") << qint64(0) << 64u << 0 << true;
        QTest::newRow("no blocks expected, tail only") << qint64(63) << 64u << 0 << true;
        QTest::newRow("255 blocks") << qint64(255 * 256) << 256u << 255 << true;
        QTest::newRow("block size 0") << qint64(0) << 0u << 0 << false;
        QTest::newRow("block size 0, some bytes") << qint64(100) << 0u << 8 << false;
        QTest::newRow("largest block size") << qint64(2 * 65536) << 65536u << 2 << true;
        QTest::newRow("block size above the limit") << qint64(2 * 65537) << 65537u << 2 << false;
        QTest::newRow("huge block size") << qint64(0) << 0xFFFFFFFFu << 0 << false;
        QTest::newRow("negative length") << qint64(-1) << 64u << 0 << false;
    }

    void imageFitsWholeBlocks()
    {
        QFETCH(qint64, length);
        QFETCH(quint32, pageSize);
        QFETCH(int, pageCount);
        QFETCH(bool, fits);
        QCOMPARE(imageFits(qsizetype(length), pageSize, quint8(pageCount)), fits);
    }
};

QTEST_GUILESS_MAIN(TestFirmwareImage)
#include "tst_firmwareimage.moc"
