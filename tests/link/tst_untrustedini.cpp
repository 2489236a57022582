#include "link/portsettingfile.h"
#include "link/untrustedini.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(IniRefusal)

class TestUntrustedIni : public QObject
{
    Q_OBJECT

private slots:
    void findsSerialisedValues_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("serialised");

        QTest::newRow("plain keys") << QByteArray("[Device]\nID=7\nFW=2.6\n") << false;
        QTest::newRow("mail address") << QByteArray("Description=write to help@example.com\n") << false;
        QTest::newRow("at sign in a key") << QByteArray("we@ther=1\n") << false;
        QTest::newRow("octal-looking text") << QByteArray("Header=C:/fw/0755 \\\\n\n") << false;
        QTest::newRow("variant") << QByteArray("ID=@Variant(\\0\\0\\0\\x3\\0\\0\\0\\0\\a)\n") << true;
        QTest::newRow("byte array") << QByteArray("FW=@ByteArray(x)\n") << true;
        QTest::newRow("after blanks") << QByteArray("FW=  @Rect(1 2 3 4)\n") << true;
        QTest::newRow("quoted") << QByteArray("Header=\"@Variant(x)\"\n") << true;
        QTest::newRow("list entry") << QByteArray("Description=fine, @Invalid()\n") << true;
        QTest::newRow("continued line") << QByteArray("ID=\\\n@Variant(x)\n") << true;
        QTest::newRow("escaped at sign") << QByteArray("ID=\\@Variant(x)\n") << true;
        QTest::newRow("hexadecimal escape") << QByteArray("ID=\\x40Variant(x)\n") << true;
        QTest::newRow("octal escape") << QByteArray("ID=\\100Variant(x)\n") << true;
    }

    void findsSerialisedValues()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, serialised);
        QCOMPARE(holdsSerialisedValue(text), serialised);
    }

    void readsBoundedPart_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<IniRefusal>("refusal");
        QTest::addColumn<QByteArray>("text");

        const QByteArray head = "[Device]\r\nID=7\r\n";
        const QByteArray longValue = "Description=" + QByteArray(MaxIniBytes, 'x') + "\n";
        QTest::newRow("whole file") << head << IniRefusal::None << QByteArray("[Device]\nID=7\n");
        QTest::newRow("up to the end line")
            << head + "[Firmware]\r\n@Variant(x)\r\n" + longValue << IniRefusal::None
            << QByteArray("[Device]\nID=7\n");
        QTest::newRow("end line must be whole")
            << head + "[Firmware] \nID=@Variant(x)\n" << IniRefusal::SerialisedValue << QByteArray();
        QTest::newRow("too large before the end line")
            << head + longValue + "[Firmware]\n" << IniRefusal::TooLarge << QByteArray();
        QTest::newRow("one endless line") << longValue + longValue << IniRefusal::TooLarge << QByteArray();
    }

    void readsBoundedPart()
    {
        QFETCH(QByteArray, file);
        QFETCH(IniRefusal, refusal);
        QFETCH(QByteArray, text);

        QBuffer buffer(&file);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const UntrustedIni ini = readUntrustedIni(buffer, "[Firmware]");
        QCOMPARE(int(ini.refusal), int(refusal));
        QCOMPARE(ini.text, text);
    }

    void groupAsTheSettingsReaderSeesIt()
    {
        const QVariantMap group =
            iniGroup("[PORT]\nName=\"ttyUSB0\"\n[Other]\nName=x\n", "PORT");
        QCOMPARE(group, (QVariantMap{{"Name", "ttyUSB0"}}));
        QVERIFY(readUntrustedIni(QString("/nonexistent/kova.ini")).refusal == IniRefusal::CannotRead);
    }

    // "kova.ini" may have been edited by hand.
    void portNameFromTheSettingFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");

        QTest::newRow("as the program writes it") << QByteArray("[PORT]\nName=/dev/ttyUSB0\n") << "/dev/ttyUSB0";
        QTest::newRow("no key") << QByteArray("[PORT]\n") << "";
        QTest::newRow("serialised value") << QByteArray("[PORT]\nName=@Variant(\\0\\0\\0\\x7f)\n") << "";
    }

    void portNameFromTheSettingFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        QTemporaryDir folder;
        QFile ini(folder.filePath("kova.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write(file) == file.size());
        ini.close();
        QCOMPARE(readPortName(ini.fileName()), name);
    }
};

QTEST_GUILESS_MAIN(TestUntrustedIni)
#include "tst_untrustedini.moc"
