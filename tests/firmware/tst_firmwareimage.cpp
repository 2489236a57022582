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
        QTest::newRow("lines joined in order") << Heading + "0011223344556677abc\n8899aabbccddeeffabc\n"
                                               << twoLines << none << 0;
        QTest::newRow("only empty lines skipped") << Heading + "\n0011223344556677abc\r\n\n8899AABBCCDDEEFFabc\n\n"
                                                  << twoLines << none << 0;
        QTest::newRow("last line without line end, long enough")
            << Heading + "0011223344556677abcd" << bytes << none << 0;
        QTest::newRow("no data part") << QByteArray("[Device]\nID=7\n0011223344556677abc\n") << QByteArray() << none
                                      << 0;
        QTest::newRow("heading with a trailing blank")
            << QByteArray("[Firmware] \n0011223344556677abc\n") << QByteArray() << none << 0;
        QTest::newRow("heading in other case")
            << QByteArray("[firmware]\n0011223344556677abc\n") << QByteArray() << none << 0;
        QTest::newRow("heading at the end") << QByteArray("[Device]\n[Firmware]") << QByteArray() << none << 0;
        QTest::newRow("data lines before the heading are not read")
            << "8899aabbccddeeffabc\n" + Heading + "0011223344556677abc\n"
            << bytes << none << 0;

        // Damaged lines refuse the package, naming the line of the file.
        const ImageProblem shortLine = ImageProblem::ShortLine;
        const ImageProblem notHex = ImageProblem::NotHexadecimal;
        QTest::newRow("trailer only two characters") << Heading + "0011223344556677ab\n"
                                                     << QByteArray() << shortLine << 5;
        QTest::newRow("CR LF counts as one character") << Heading + "0011223344556677ab\r\n"
                                                       << QByteArray() << shortLine << 5;
        QTest::newRow("last line without line end, too short")
            << Heading + "0011223344556677abc" << QByteArray() << shortLine << 5;
        QTest::newRow("short line amid the data") << Heading + "0011223344556677abc\n00112233\n8899AABBCCDDEEFFabc\n"
                                                  << QByteArray() << shortLine << 6;
        QTest::newRow("line of blanks") << Heading + "0011223344556677abc\n    \n" << QByteArray() << shortLine << 6;
        QTest::newRow("letter O for a zero") << Heading + "0011223344556677abc\r\n8899aabbccddeefOabc\r\n"
                                             << QByteArray() << notHex << 6;
        QTest::newRow("blanks and dashes in the record") << Heading + "00 11 22 33-44zzabc\n"
                                                         << QByteArray() << notHex << 5;
        QTest::newRow("damage after empty lines") << Heading + "\n\n0011223344556677abc\n001122334455667gabc\n"
                                                  << QByteArray() << notHex << 8;

        // A CR counts only directly before its LF; dropping any other one
        // would move every later digit.
        const ImageProblem strayCr = ImageProblem::StrayCarriageReturn;
        QTest::newRow("CR in place of a digit") << Heading + "0011223344556677abc\r\n8899aabbcc\reeffabc\r\n"
                                                << QByteArray() << strayCr << 6;
        QTest::newRow("lone CR as a line end") << Heading + "0011223344556677abc\r8899aabbccddeeffabc\r\n"
                                               << QByteArray() << strayCr << 5;
        QTest::newRow("CR in the trailer") << Heading + "0011223344556677a\rbc\n" << QByteArray() << strayCr << 5;
        QTest::newRow("CR before CR LF") << Heading + "0011223344556677abc\r\r\n" << QByteArray() << strayCr << 5;
        QTest::newRow("last line ending in a lone CR")
            << Heading + "0011223344556677abcd\r" << QByteArray() << strayCr << 5;
        QTest::newRow("line of a lone CR") << Heading + "0011223344556677abc\n\r\n\r" << QByteArray() << strayCr << 7;
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

    // 00 11 .. 77 sum to 01DC, 88 99 .. FF to 061C.
    void lineSums_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("lineSums");
        QTest::addColumn<ImageProblem>("problem");
        QTest::addColumn<int>("line");

        const ImageProblem none = ImageProblem::None;
        const ImageProblem wrongSum = ImageProblem::WrongLineSum;
        QTest::newRow("every line carries its sum") << QByteArray("0011223344556677"
                                                                  "01DC\r\n"
                                                                  "8899aabbccddeeff"
                                                                  "061c\r\n")
                                                    << true << none << 0;
        QTest::newRow("sum followed by more") << QByteArray("0011223344556677"
                                                            "01DC;x\n"
                                                            "8899aabbccddeeff"
                                                            "061Cxyz\n")
                                              << true << none << 0;
        QTest::newRow("empty lines between") << QByteArray("\n0011223344556677"
                                                           "01DC\n\n"
                                                           "8899aabbccddeeff"
                                                           "061C\n")
                                             << true << none << 0;
        QTest::newRow("a wrong sum") << QByteArray("0011223344556677"
                                                   "01DC\r\n"
                                                   "8899aabbccddeeff"
                                                   "061D\r\n")
                                     << true << wrongSum << 6;
        QTest::newRow("one digit of a record changed") << QByteArray("0011223344556677"
                                                                     "01DC\n"
                                                                     "8899aabbccddeeef"
                                                                     "061C\n")
                                                       << true << wrongSum << 6;
        QTest::newRow("a line without its sum") << QByteArray("0011223344556677"
                                                              "01DC\n"
                                                              "8899aabbccddeeff"
                                                              "abc\n")
                                                << true << wrongSum << 6;
        QTest::newRow("a sum with a letter in it, last line without line end") << QByteArray("0011223344556677"
                                                                                             "01DC\n"
                                                                                             "8899aabbccddeeff"
                                                                                             "061x")
                                                                               << true << wrongSum << 6;
        // Packages from elsewhere may carry anything there; only the first
        // data line tells whether the trailers are sums.
        QTest::newRow("first trailer is no sum") << QByteArray("0011223344556677"
                                                               "abcd\n"
                                                               "8899aabbccddeeff"
                                                               "0000\n")
                                                 << false << none << 0;
        QTest::newRow("first trailer is another number") << QByteArray("0011223344556677"
                                                                       "01DD\n"
                                                                       "8899aabbccddeeff"
                                                                       "061C\n")
                                                         << false << none << 0;
    }

    void lineSums()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, lineSums);
        QFETCH(ImageProblem, problem);
        QFETCH(int, line);
        const ImageReading reading = readImage(Heading + data, Dialect::Kelpa);
        QCOMPARE(int(reading.problem), int(problem));
        QCOMPARE(reading.line, qint64(line));
        if (problem == ImageProblem::None) {
            QCOMPARE(reading.lineSums, lineSums);
            QCOMPARE(reading.image, QByteArray::fromHex("00112233445566778899aabbccddeeff"));
        } else {
            QVERIFY(reading.image.isEmpty());
        }
    }

    // Text mode, asked for by whoever opened the file, would drop the CR.
    void readsBytesWhateverTheOpenMode()
    {
        QBuffer buffer;
        buffer.setData(Heading + "00112233\r4556677abc\n");
        QVERIFY(buffer.open(QIODevice::ReadOnly | QIODevice::Text));
        const ImageReading reading = readFirmwareImage(buffer, Dialect::Kelpa);
        QCOMPARE(int(reading.problem), int(ImageProblem::StrayCarriageReturn));
        QCOMPARE(reading.line, qint64(5));
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
