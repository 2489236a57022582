#include "firmware/firmwarepackage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(PackageProblem)
Q_DECLARE_METATYPE(ImageProblem)

namespace {

// A Kelpa package for identifier 7, hardware 1, bootloader 1, whose data
// lines start on line 7 and carry their sums.
QByteArray kelpaPackage(const QByteArray &dataLines, const QByteArray &version = "2.7")
{
    return "[Device]\r\nID=7\r\nHW=1\r\nBL=1\r\nFW=" + version + "\r\n[Firmware]\r\n" + dataLines;
}

// 00 11 .. 77 sum to 01DC, 88 99 .. FF to 061C.
const QByteArray TwoLines = "0011223344556677"
                            "01DC\r\n"
                            "8899AABBCCDDEEFF"
                            "061C\r\n";
const QByteArray TwoLinesImage = QByteArray::fromHex("00112233445566778899AABBCCDDEEFF");

}  // namespace

class TestFirmwarePackage : public QObject
{
    Q_OBJECT

private slots:
    void checksInOrder_data()
    {
        QTest::addColumn<QByteArray>("package");
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<int>("pageCount");
        QTest::addColumn<PackageProblem>("problem");
        QTest::addColumn<ImageProblem>("damage");
        QTest::addColumn<int>("line");

        const ImageProblem sound = ImageProblem::None;
        QTest::newRow("usable, one block") << kelpaPackage(TwoLines) << 16 << 1 << PackageProblem::None << sound << 0;
        QTest::newRow("usable, two blocks") << kelpaPackage(TwoLines) << 8 << 2 << PackageProblem::None << sound << 0;
        QTest::newRow("head beyond any real one")
            << QByteArray("[Device]\nID=7\nHW=1\nBL=1\n" + QByteArray(100000, ';') + "\n[Firmware]\n" + TwoLines) << 16
            << 1 << PackageProblem::UnusableHead << sound << 0;
        QTest::newRow("another hardware") << QByteArray("[Device]\nID=7\nHW=2\nBL=1\n[Firmware]\n" + TwoLines) << 16
                                          << 1 << PackageProblem::OtherDevice << sound << 0;
        // A device that does not fit is told before a damage it would not see.
        QTest::newRow("another device, damaged") << QByteArray("[Device]\nID=8\nHW=1\nBL=1\n[Firmware]\n0011\n") << 16
                                                 << 1 << PackageProblem::OtherDevice << sound << 0;
        QTest::newRow("CR inside a record")
            << kelpaPackage("0011223344556677"
                            "01DC\r\n"
                            "8899AABB\rCDDEEFF"
                            "061C\r\n")
            << 16 << 1 << PackageProblem::Damaged << ImageProblem::StrayCarriageReturn << 8;
        QTest::newRow("wrong line sum") << kelpaPackage("0011223344556677"
                                                        "01DC\r\n"
                                                        "8899AABBCCDDEEFE"
                                                        "061C\r\n")
                                        << 16 << 1 << PackageProblem::Damaged << ImageProblem::WrongLineSum << 8;
        QTest::newRow("image of two blocks for a device of three")
            << kelpaPackage(TwoLines) << 8 << 3 << PackageProblem::WrongGeometry << sound << 0;
        QTest::newRow("no block size") << kelpaPackage(TwoLines) << 0 << 1 << PackageProblem::WrongGeometry << sound
                                       << 0;
    }

    void checksInOrder()
    {
        QFETCH(QByteArray, package);
        QFETCH(int, pageSize);
        QFETCH(int, pageCount);
        QFETCH(PackageProblem, problem);
        QFETCH(ImageProblem, damage);
        QFETCH(int, line);

        const PackageTarget target{7, 1, 1, quint32(pageSize), quint8(pageCount)};
        const CheckedPackage checked = checkPackage(package, Dialect::Kelpa, target);
        QCOMPARE(int(checked.problem), int(problem));
        QCOMPARE(checked.usable(), problem == PackageProblem::None);
        QCOMPARE(int(checked.damage.problem), int(damage));
        QCOMPARE(checked.damage.line, qint64(line));
        if (problem == PackageProblem::None || problem == PackageProblem::WrongGeometry)
            QCOMPARE(checked.image, TwoLinesImage);
    }

    void readsTheFileOnce()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath("p.upd");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray content = kelpaPackage(TwoLines);
        QCOMPARE(file.write(content), qint64(content.size()));
        file.close();

        const PackageFile read = readPackageFile(path);
        QVERIFY(read.ok());
        QCOMPARE(read.bytes, content);  // as bytes: every CR kept

        const PackageFile missing = readPackageFile(folder.filePath("absent.upd"));
        QCOMPARE(int(missing.problem), int(PackageProblem::CannotRead));
        QVERIFY(!missing.error.isEmpty());
        QVERIFY(missing.bytes.isEmpty());
    }

    // The bound holds for the read itself, not only for the size the file reports.
    void refusesAFileAboveTheBound()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath("huge.upd");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(MaxPackageBytes + 1));  // sparse: no 64 MiB written
        file.close();
        const PackageFile huge = readPackageFile(path);
        QCOMPARE(int(huge.problem), int(PackageProblem::TooLarge));
        QVERIFY(huge.bytes.isEmpty());

        // A device is no file at all, endless or not: refused before a byte is read.
        QVERIFY(QFile::exists("/dev/zero"));
        const PackageFile device = readPackageFile("/dev/zero");
        QCOMPARE(int(device.problem), int(PackageProblem::CannotRead));
        QCOMPARE(device.error, QString("Not a regular file"));
    }

    void versions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isVersion");
        QTest::addColumn<QList<int>>("device");  // major, minor, build
        QTest::addColumn<bool>("matches");

        QTest::newRow("major.minor") << "4.14" << true << QList<int>{4, 14, 0} << true;
        QTest::newRow("any build") << "4.14" << true << QList<int>{4, 14, 7} << true;
        QTest::newRow("old version") << "4.14" << true << QList<int>{4, 12, 7} << false;
        QTest::newRow("other major") << "5.14" << true << QList<int>{4, 14, 0} << false;
        QTest::newRow("build given") << "4.13.2" << true << QList<int>{4, 13, 2} << true;
        QTest::newRow("other build") << "4.13.2" << true << QList<int>{4, 13, 0} << false;
        QTest::newRow("leading zero") << "4.014" << true << QList<int>{4, 14, 0} << true;
        QTest::newRow("minor is a number, not a fraction") << "4.1" << true << QList<int>{4, 10, 0} << false;
        QTest::newRow("blanks around") << " 2.0 " << true << QList<int>{2, 0, 0} << true;
        QTest::newRow("above a byte") << "300.1" << true << QList<int>{44, 1, 0} << false;
        QTest::newRow("a word") << "beta" << false << QList<int>{0, 0, 0} << false;
        QTest::newRow("one number") << "4" << false << QList<int>{4, 0, 0} << false;
        QTest::newRow("four numbers") << "1.2.3.4" << false << QList<int>{1, 2, 3} << false;
        QTest::newRow("with a letter") << "4.14b" << false << QList<int>{4, 14, 0} << false;
        QTest::newRow("empty") << "" << false << QList<int>{0, 0, 0} << false;
        QTest::newRow("other digits") << QString::fromUtf8("\xd9\xa4.1") << false << QList<int>{4, 1, 0} << false;
    }

    void versions()
    {
        QFETCH(QString, text);
        QFETCH(bool, isVersion);
        QFETCH(QList<int>, device);
        QFETCH(bool, matches);
        const std::optional<FirmwareVersion> version = parseFirmwareVersion(text);
        QCOMPARE(version.has_value(), isVersion);
        if (version)
            QCOMPARE(version->matches(quint8(device[0]), quint8(device[1]), quint8(device[2])), matches);
    }
};

QTEST_GUILESS_MAIN(TestFirmwarePackage)
#include "tst_firmwarepackage.moc"
