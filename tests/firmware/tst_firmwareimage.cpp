#include "firmware/firmwareimage.h"

#include <QBuffer>
#include <QtTest>

Q_DECLARE_METATYPE(Dialect)
Q_DECLARE_METATYPE(ImageProblem)

namespace {

// Four lines: the first data line is line 5 of the file.
const QByteArray Heading = "[Device]\nID=7\n\n[Firmware]\n";

ImageReading readImage(const QByteArray &package, Dialect dialect)
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
        QCOMPARE(readImage(Heading + longEnough, dialect).image, QByteArray(digits / 2, '\x5A'));
        QCOMPARE(int(readImage(Heading + tooShort, dialect).problem), int(ImageProblem::ShortLine));
    }

    void readsDataLines_data()
    {
        QTest::addColumn<QByteArray>("package");
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<ImageProblem>("problem");
        QTest::addColumn<int>("line");

        const QByteArray bytes = QByteArray::fromHex("0011223344556677");
        const QByteArray twoLines = QByteArray::fromHex("00112233445566778899aabbccddeeff");
        const ImageProblem none = ImageProblem::None;
        QTest::newRow("one line") << Heading + "0011223344556677abc\n" << bytes << none << 0;
        QTest::newRow("trailer is not read") << Heading + "0011223344556677FFFFFFFF\n" << bytes << none << 0;
        QTest::newRow("lines joined in order")
            << Heading + "0011223344556677abc\n8899aabbccddeeffabc\n" << twoLines << none << 0;
        QTest::newRow("only empty lines skipped")
            << Heading + "\n0011223344556677abc\r\n\n8899AABBCCDDEEFFabc\n\n" << twoLines << none << 0;
        QTest::newRow("last line without line end, long enough")
            << Heading + "0011223344556677abcd" << bytes << none << 0;
        QTest::newRow("no data part")
            << QByteArray("[Device]\nID=7\n0011223344556677abc\n") << QByteArray() << none << 0;
        QTest::newRow("heading with a trailing blank")
            << QByteArray("[Firmware] \n0011223344556677abc\n") << QByteArray() << none << 0;
        QTest::newRow("heading in other case")
            << QByteArray("[firmware]\n0011223344556677abc\n") << QByteArray() << none << 0;
        QTest::newRow("heading at the end") << QByteArray("[Device]\n[Firmware]") << QByteArray() << none << 0;
        QTest::newRow("data lines before the heading are not read")
            << "8899aabbccddeeffabc\n" + Heading + "0011223344556677abc\n" << bytes << none << 0;

        // Damaged lines refuse the package, naming the line of the file.
        const ImageProblem shortLine = ImageProblem::ShortLine;
        const ImageProblem notHex = ImageProblem::NotHexadecimal;
        QTest::newRow("trailer only two characters")
            << Heading + "0011223344556677ab\n" << QByteArray() << shortLine << 5;
        QTest::newRow("CR LF counts as one character")
            << Heading + "0011223344556677ab\r\n" << QByteArray() << shortLine << 5;
        QTest::newRow("last line without line end, too short")
            << Heading + "0011223344556677abc" << QByteArray() << shortLine << 5;
        QTest::newRow("short line amid the data")
            << Heading + "0011223344556677abc\n00112233\n8899AABBCCDDEEFFabc\n" << QByteArray() << shortLine << 6;
        QTest::newRow("line of blanks") << Heading + "0011223344556677abc\n    \n" << QByteArray() << shortLine << 6;
        QTest::newRow("letter O for a zero")
            << Heading + "0011223344556677abc\r\n8899aabbccddeefOabc\r\n" << QByteArray() << notHex << 6;
        QTest::newRow("blanks and dashes in the record")
            << Heading + "00 11 22 33-44zzabc\n" << QByteArray() << notHex << 5;
        QTest::newRow("damage after empty lines")
            << Heading + "\n\n0011223344556677abc\n001122334455667gabc\n" << QByteArray() << notHex << 8;
    }

    void readsDataLines()
    {
        QFETCH(QByteArray, package);
        QFETCH(QByteArray, image);
        QFETCH(ImageProblem, problem);
        QFETCH(int, line);
        const ImageReading reading = readImage(package, Dialect::Kelpa);
        QCOMPARE(reading.image, image);
        QCOMPARE(int(reading.problem), int(problem));
        QCOMPARE(reading.line, qint64(line));
    }

    void crLfReadsAsLf()
    {
        const QByteArray lf = Heading
                              + "00112233445566778899aabbccddeeffabcd\n"
                                "FFEEDDCCBBAA99887766554433221100abcd\n"
                                "\n";
        QByteArray crLf = lf;
        crLf.replace("\n", "\r\n");

        const QByteArray image = readImage(lf, Dialect::Ulma).image;
        QCOMPARE(image.size(), 32);
        QCOMPARE(readImage(crLf, Dialect::Ulma).image, image);
    }

    void refusesOversizedPackage()
    {
        OversizedPackage package;
        package.setData(Heading + "0011223344556677abc\n");
        package.open(QIODevice::ReadOnly);

        package.claimedSize = MaxPackageBytes + 1;
        const ImageReading refused = readFirmwareImage(package, Dialect::Kelpa);
        QVERIFY(refused.image.isEmpty());
        QCOMPARE(int(refused.problem), int(ImageProblem::TooLarge));
        package.seek(0);
        package.claimedSize = MaxPackageBytes;
        QCOMPARE(readFirmwareImage(package, Dialect::Kelpa).image.size(), 8);
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
        QTest::newRow("no blocks expected, empty") << qint64(0) << 64u << 0 << false;
        QTest::newRow("no blocks expected, tail only") << qint64(63) << 64u << 0 << false;
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
