#include "firmware/firmwareimage.h"
#include "firmware/packagecatalogue.h"

#include <QFile>
#include <QtTest>

#include <algorithm>

Q_DECLARE_METATYPE(Dialect)

// The packages shipped in examples/firmwares/ must be what the example
// devices accept: two newer releases listed for each, one other model hidden.
class TestSamplePackages : public QObject
{
    Q_OBJECT

private:
    QString folder;

private slots:
    void initTestCase()
    {
        const QByteArray root = qgetenv("KOVA_SOURCE_DIR");
        QVERIFY2(!root.isEmpty(), "KOVA_SOURCE_DIR is not set");
        folder = QString::fromLocal8Bit(root) + "/examples/firmwares";
    }

    void fitTheExampleDevices_data()
    {
        QTest::addColumn<Dialect>("dialect");
        QTest::addColumn<int>("deviceId");
        QTest::addColumn<int>("hwVersion");
        QTest::addColumn<int>("blVersion");
        QTest::addColumn<quint32>("pageSize");
        QTest::addColumn<int>("pageCount");
        QTest::addColumn<QStringList>("versions");

        QTest::newRow("Vorn") << Dialect::Vorn << 21 << 2 << 3 << 256u << 32 << QStringList{"4.14", "4.13"};
        QTest::newRow("Kelpa") << Dialect::Kelpa << 7 << 1 << 1 << 64u << 16 << QStringList{"2.7", "2.6"};
        QTest::newRow("Ulma") << Dialect::Ulma << 12 << 1 << 1 << 128u << 16 << QStringList{"2.0", "1.9"};
    }

    void fitTheExampleDevices()
    {
        QFETCH(Dialect, dialect);
        QFETCH(int, deviceId);
        QFETCH(int, hwVersion);
        QFETCH(int, blVersion);
        QFETCH(quint32, pageSize);
        QFETCH(int, pageCount);
        QFETCH(QStringList, versions);

        const QVector<FirmwarePackage> catalogue =
            buildCatalogue(folder, quint8(deviceId), quint8(hwVersion), quint8(blVersion));
        QStringList listed;
        for (const FirmwarePackage &package : catalogue)
            listed << package.version;
        QCOMPARE(listed, versions);

        for (const FirmwarePackage &package : catalogue) {
            QVERIFY(!package.header.isEmpty());
            QVERIFY2(std::any_of(package.description.cbegin(), package.description.cend(),
                                 [](QChar c) { return c.script() == QChar::Script_Cyrillic; }),
                     qPrintable(package.description));
            QVERIFY2(package.description.contains(", "), qPrintable(package.description));

            QFile file(package.path);
            QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
            const ImageReading reading = readFirmwareImage(file, dialect);
            QVERIFY(reading.lineSums);  // the reader holds every line to its sum
            const QByteArray &image = reading.image;
            QCOMPARE(image.size(), qsizetype(pageSize) * pageCount);
            QVERIFY(imageFits(image.size(), pageSize, quint8(pageCount)));
        }
    }

    void everyPackageHoldsAWholeImage_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Dialect>("dialect");
        QTest::addColumn<int>("imageLength");

        QTest::newRow("Vorn, other hardware") << "vorn-hw3-5.0.upd" << Dialect::Vorn << 32 * 256;
        QTest::newRow("Kelpa, other model") << "kelpa-id8-3.0.upd" << Dialect::Kelpa << 16 * 64;
        QTest::newRow("Ulma, other hardware") << "ulma-hw2-2.1.upd" << Dialect::Ulma << 16 * 128;
    }

    // The hidden packages are listed for no example device, but still parse.
    void everyPackageHoldsAWholeImage()
    {
        QFETCH(QString, name);
        QFETCH(Dialect, dialect);
        QFETCH(int, imageLength);

        QFile file(folder + "/" + name);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE(readFirmwareImage(file, dialect).image.size(), imageLength);
    }
};

QTEST_GUILESS_MAIN(TestSamplePackages)
#include "tst_samplepackages.moc"
