#include "firmware/packagecatalogue.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QByteArray identityGroup(const QByteArray &id, const QByteArray &hw, const QByteArray &bl)
{
    return "[Device]\r\nID=" + id + "\r\nHW=" + hw + "\r\nBL=" + bl + "\r\nFW=1.0\r\n";
}

}  // namespace

class TestPackageCatalogue : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder;

    void writeFile(const QString &name, const QByteArray &content)
    {
        QFile file(folder->filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), qint64(content.size()));
    }

    QStringList listedNames(quint8 id, quint8 hw, quint8 bl) const
    {
        QStringList names;
        for (const FirmwarePackage &package : buildCatalogue(folder->path(), id, hw, bl))
            names << QFileInfo(package.path).fileName();
        return names;
    }

private slots:
    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
    }

    void listsByDescendingCaseSensitiveName()
    {
        const QByteArray fitting = identityGroup("1", "2", "3");
        for (const char *name : {"a.upd", "b.upd", "B.upd", "X.UPD", ".hidden.upd", "notes.txt"})
            writeFile(name, fitting);
        QVERIFY(QDir(folder->path()).mkdir("folder.upd"));

        QCOMPARE(listedNames(1, 2, 3), (QStringList{"b.upd", "a.upd", "X.UPD", "B.upd"}));
        const QVector<FirmwarePackage> catalogue = buildCatalogue(folder->path(), 1, 2, 3);
        QCOMPARE(catalogue.first().path, folder->path() + "/b.upd");
    }

    void missingFolderListsNothing() { QVERIFY(buildCatalogue(folder->filePath("absent"), 0, 0, 0).isEmpty()); }

    void filtersOnIdentity_data()
    {
        QTest::addColumn<QByteArray>("package");
        QTest::addColumn<int>("deviceId");
        QTest::addColumn<int>("hwVersion");
        QTest::addColumn<int>("blVersion");
        QTest::addColumn<bool>("listed");

        QTest::newRow("all equal") << identityGroup("1", "2", "3") << 1 << 2 << 3 << true;
        QTest::newRow("other ID") << identityGroup("1", "2", "3") << 4 << 2 << 3 << false;
        QTest::newRow("other HW") << identityGroup("1", "2", "3") << 1 << 4 << 3 << false;
        QTest::newRow("other BL") << identityGroup("1", "2", "3") << 1 << 2 << 4 << false;
        QTest::newRow("ID 257 is not ID 1") << identityGroup("257", "2", "3") << 1 << 2 << 3 << false;
        QTest::newRow("HW 258 is not HW 2") << identityGroup("1", "258", "3") << 1 << 2 << 3 << false;
        QTest::newRow("ID 255") << identityGroup("255", "2", "3") << 255 << 2 << 3 << true;
        QTest::newRow("non-numeric ID is 0") << identityGroup("abc", "2", "3") << 0 << 2 << 3 << true;
        QTest::newRow("non-numeric ID is not 1") << identityGroup("abc", "2", "3") << 1 << 2 << 3 << false;
        QTest::newRow("hexadecimal ID is not decimal") << identityGroup("0x15", "2", "3") << 21 << 2 << 3 << false;
        QTest::newRow("missing ID is 0") << QByteArray("[Device]\nHW=2\nBL=3\n") << 0 << 2 << 3 << true;
        QTest::newRow("missing ID is not 1") << QByteArray("[Device]\nHW=2\nBL=3\n") << 1 << 2 << 3 << false;
        QTest::newRow("keys of another group") << QByteArray("[Other]\nID=1\nHW=2\nBL=3\n") << 1 << 2 << 3 << false;
        QTest::newRow("no group fits all-zero device") << QByteArray("just text\n") << 0 << 0 << 0 << true;
        QTest::newRow("LF line ends") << QByteArray("[Device]\nID=9\nHW=8\nBL=7\n") << 9 << 8 << 7 << true;
    }

    void filtersOnIdentity()
    {
        QFETCH(QByteArray, package);
        QFETCH(int, deviceId);
        QFETCH(int, hwVersion);
        QFETCH(int, blVersion);
        QFETCH(bool, listed);

        writeFile("p.upd", package + "\r\n[Firmware]\r\n0011223344556677abc\r\n");
        QCOMPARE(listedNames(quint8(deviceId), quint8(hwVersion), quint8(blVersion)).size(), listed ? 1 : 0);
    }

    // Only the part before the data part is read, and its values only as
    // texts: nothing in a package becomes an object.
    void readsPackageHeadsAsTexts_data()
    {
        QTest::addColumn<QByteArray>("package");
        QTest::addColumn<int>("deviceId");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<QString>("header");
        QTest::addColumn<bool>("skipped");  // with a debug line

        const QByteArray fitting = identityGroup("7", "1", "1");
        const QByteArray data = "\r\n[Firmware]\r\n0011223344556677abc\r\n";
        // A serialised unsigned number 7, out of reach of a check for "@" after a blank.
        const QByteArray hiddenSeven =
            "[Device]\nID=\\q@Variant(" + QByteArray("\0\0\0\x03\0\0\0\x07", 8) + ")\nHW=1\nBL=1\n";
        QTest::newRow("plain") << fitting + data << 7 << true << "" << false;
        QTest::newRow("serialised ID is no number")
            << "[Device]\nID=@Variant(\\0\\0\\0\\x3\\0\\0\\0\\a)\nHW=1\nBL=1\n" + data << 0 << true << "" << false;
        QTest::newRow("serialised ID behind a dropped escape, not 7")
            << hiddenSeven + data << 7 << false << "" << false;
        QTest::newRow("serialised ID behind a dropped escape, 0") << hiddenSeven + data << 0 << true << "" << false;
        QTest::newRow("serialised notes left out")
            << fitting + "Header=\"@ByteArray(x)\"\r\n" + data << 7 << true << "" << false;
        QTest::newRow("mail address in the notes")
            << fitting + "Header=help@example.com\r\n" + data << 7 << true << "help@example.com" << false;
        QTest::newRow("data part not looked at") << fitting + data + "@Variant(x)\r\n[Device]\r\nID=9\r\n"
                                                 << 7 << true << "" << false;
        QTest::newRow("INI part too large")
            << fitting + "Description=" + QByteArray(70000, 'x') + data << 7 << false << "" << true;
        QTest::newRow("large data part") << fitting + data + QByteArray("0011223344556677abc\r\n").repeated(50000) << 7
                                         << true << "" << false;
    }

    void readsPackageHeadsAsTexts()
    {
        QFETCH(QByteArray, package);
        QFETCH(int, deviceId);
        QFETCH(bool, listed);
        QFETCH(QString, header);
        QFETCH(bool, skipped);

        writeFile("p.upd", package);
        if (skipped)
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Firmware package skipped: .*/p\\.upd - "));
        const QVector<FirmwarePackage> catalogue = buildCatalogue(folder->path(), quint8(deviceId), 1, 1);
        QCOMPARE(catalogue.size(), listed ? 1 : 0);
        if (listed)
            QCOMPARE(catalogue.first().header, header);
    }

    // The package that stopped the fuzzer and crashed the window: its "ID"
    // is no number, so it fits only a device that is all zeros.
    void packageThatCrashedTheSettingsReader()
    {
        QFile crash(
            testsupport::sourcePath("tests/fuzz/corpus/package/device-id-behind-a-dropped-escape-is-an-object.upd"));
        QVERIFY(crash.open(QIODevice::ReadOnly));
        writeFile("crash.upd", crash.readAll());
        QCOMPARE(listedNames(0, 0, 0), QStringList{"crash.upd"});
        QVERIFY(listedNames(21, 2, 3).isEmpty());
        const FirmwarePackage package = buildCatalogue(folder->path(), 0, 0, 0).first();
        QVERIFY(package.version.isEmpty() && package.header.isEmpty() && package.description.isEmpty());
    }

    void readsTextsInWindows1251()
    {
        const QString notes = QString::fromUtf8("Fixed start-up, faster ramp / Исправлен запуск, быстрее разгон");
        QByteArray content = "[Device]\r\nID=7\r\nHW=1\r\nBL=1\r\nFW=2.6\r\nHeader=Release 2.6\r\n"
                             "Description=\"";
        // The notes in Windows-1251.
        content += "Fixed start-up, faster ramp / \xc8\xf1\xef\xf0\xe0\xe2\xeb\xe5\xed \xe7\xe0\xef\xf3\xf1\xea, "
                   "\xe1\xfb\xf1\xf2\xf0\xe5\xe5 \xf0\xe0\xe7\xe3\xee\xed";
        content += "\"\r\n\r\n[Firmware]\r\n";
        writeFile("notes.upd", content);
        writeFile("bare.upd", "[Device]\r\nID=7\r\nHW=1\r\nBL=1\r\n");

        const QVector<FirmwarePackage> catalogue = buildCatalogue(folder->path(), 7, 1, 1);
        QCOMPARE(catalogue.size(), 2);
        const FirmwarePackage &withNotes = catalogue.at(0);
        QCOMPARE(withNotes.path, folder->path() + "/notes.upd");
        QCOMPARE(withNotes.version, QString("2.6"));
        QCOMPARE(withNotes.header, QString("Release 2.6"));
        QCOMPARE(withNotes.description, notes);

        const FirmwarePackage &bare = catalogue.at(1);
        QVERIFY(bare.version.isEmpty());
        QVERIFY(bare.header.isEmpty());
        QVERIFY(bare.description.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPackageCatalogue)
#include "tst_packagecatalogue.moc"
