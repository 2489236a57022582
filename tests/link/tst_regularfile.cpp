// Files that users name or place are opened without waiting, and only when
// they are regular files.
#include "link/regularfile.h"
#include "support/bytes.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestRegularFile : public QObject
{
    Q_OBJECT

private slots:
    void opensOnlyRegularFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error");  // empty: opens
        QTest::newRow("regular file") << "file"
                                      << "";
        QTest::newRow("link to a regular file") << "link to file"
                                                << "";
        QTest::newRow("FIFO") << "fifo"
                              << "Not a regular file";
        QTest::newRow("link to a FIFO") << "link to fifo"
                                        << "Not a regular file";
        QTest::newRow("device") << "device"
                                << "Not a regular file";
        QTest::newRow("folder") << "folder"
                                << "Is a directory";
        QTest::newRow("missing") << "missing"
                                 << "No such file or directory";
    }

    void opensOnlyRegularFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QString, error);
        QTemporaryDir folder;
        const QString file = folder.filePath("file");
        const QString fifo = folder.filePath("fifo");
        QVERIFY(testsupport::writeFile(file, "[PORT]\nName=ttyUSB0\n"));
        QVERIFY(testsupport::makeFifo(fifo));
        QVERIFY(QFile::link(file, folder.filePath("link to file")));
        QVERIFY(QFile::link(fifo, folder.filePath("link to fifo")));
        QVERIFY(QDir(folder.path()).mkdir("folder"));
        const QString path = kind == "device" ? QStringLiteral("/dev/null") : folder.filePath(kind);

        QFile opened(path);
        QString said;
        QCOMPARE(openRegularFile(opened, &said), error.isEmpty());
        QCOMPARE(said, error);
        QCOMPARE(opened.isOpen(), error.isEmpty());
        if (error.isEmpty())
            QCOMPARE(opened.readAll(), QByteArray("[PORT]\nName=ttyUSB0\n"));
    }
};

QTEST_GUILESS_MAIN(TestRegularFile)
#include "tst_regularfile.moc"
