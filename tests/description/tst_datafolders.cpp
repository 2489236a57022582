// Where the program keeps "kova.ini" and finds descriptions and packages:
// its own places first, then the user's and the shared data folder.
#include "description/datafolders.h"
#include "link/portsettingfile.h"

#include <QtTest>

class DataFoldersTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir root;

    // Lays out "program", "user" and "shared" with the given files.
    void createFiles(const QStringList &files)
    {
        QDir(root.path()).removeRecursively();
        QVERIFY(QDir().mkpath(root.path()));
        for (const QString &file : files) {
            QVERIFY(QDir(root.path()).mkpath(QFileInfo(file).path()));
            QFile created(root.filePath(file));
            QVERIFY(created.open(QIODevice::WriteOnly));
        }
    }

    QString at(const QString &relative) const { return root.filePath(relative); }

private slots:
    void fallbacksFollowTheProgramsPlaces()
    {
        const QString user = qEnvironmentVariable("XDG_DATA_HOME") + "/kova";
        const QString shared = QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/kova");
        QCOMPARE(datafolders::fallbackFolders(), (QStringList{user, shared}));
        const QVector<datafolders::DescriptionPlace> places = datafolders::descriptionPlaces();
        QCOMPARE(places.size(), 3);
        QCOMPARE(places.at(0).primaryFile, QString("tellur.dsc"));
        QCOMPARE(places.at(0).folder, QCoreApplication::applicationDirPath() + "/firmwares");
        QCOMPARE(places.at(2).primaryFile, shared + "/tellur.dsc");
        QCOMPARE(datafolders::packageFolders().at(1), user + "/firmwares");
    }

    void descriptionPlace_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("chosen");

        QTest::newRow("program's place first") << QStringList{"program/tellur.dsc", "user/tellur.dsc"} << "program";
        QTest::newRow("user's before shared") << QStringList{"user/tellur.dsc", "shared/tellur.dsc"} << "user";
        QTest::newRow("only shared") << QStringList{"shared/tellur.dsc"} << "shared";
        QTest::newRow("further files need a primary one")
            << QStringList{"program/firmwares/a.dsc", "user/firmwares/b.dsc", "shared/tellur.dsc"} << "shared";
        QTest::newRow("none: the program's, as always") << QStringList{"user/firmwares/b.dsc"} << "program";
    }

    void descriptionPlace()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, chosen);
        createFiles(files);
        QVector<datafolders::DescriptionPlace> places;
        for (const char *folder : {"program", "user", "shared"})
            places.append({at(folder + QString("/tellur.dsc")), at(folder + QString("/firmwares"))});
        QCOMPARE(datafolders::firstDescriptionPlace(places).folder, at(chosen + "/firmwares"));
    }

    void packageFolder_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("chosen");

        QTest::newRow("program's first") << QStringList{"program/a.upd", "user/b.upd"} << "program";
        QTest::newRow("letter case ignored") << QStringList{"program/A.UPD", "user/b.upd"} << "program";
        QTest::newRow("other files do not count") << QStringList{"program/a.dsc", "user/b.upd"} << "user";
        QTest::newRow("only shared") << QStringList{"shared/c.upd"} << "shared";
        QTest::newRow("none: the program's") << QStringList{"user/notes.txt"} << "program";
    }

    void packageFolder()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, chosen);
        createFiles(files);
        QCOMPARE(datafolders::firstPackageFolder({at("program"), at("user"), at("shared")}), at(chosen));
    }

    void portSettingFile_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("existsBeside");
        QTest::addColumn<QString>("chosen");

        QTest::newRow("writable folder") << true << false << "program/kova.ini";
        QTest::newRow("read-only folder with the file") << false << true << "program/kova.ini";
        QTest::newRow("read-only folder without it") << false << false << "config/kova.ini";
    }

    void portSettingFile()
    {
        QFETCH(bool, writable);
        QFETCH(bool, existsBeside);
        QFETCH(QString, chosen);
        createFiles(existsBeside ? QStringList{"program/kova.ini"} : QStringList{});
        QCOMPARE(choosePortSettingFile(at("program/kova.ini"), writable, at("config/kova.ini")), at(chosen));
    }
};

QTEST_GUILESS_MAIN(DataFoldersTest)
#include "tst_datafolders.moc"
