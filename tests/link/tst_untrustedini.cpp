// INI files the program did not write: the bounded read, values read as
// texts only, and the port setting written without touching the rest.
#include "link/portsettingfile.h"
#include "link/untrustedini.h"
#include "support/bytes.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QTextCodec>
#endif
#endif

Q_DECLARE_METATYPE(IniRefusal)

namespace {

// What a serialised byte array "ttyS" looks like in a settings file.
const QByteArray ByteArrayObject = QByteArray("@Variant(\0\0\0\x0c\0\0\0\x04ttyS)", 22);

using testsupport::readFile;
using testsupport::writeFile;

}  // namespace

class TestUntrustedIni : public QObject
{
    Q_OBJECT

private slots:
    void readsValuesAsTexts_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("windows1251");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("text");  // empty: no text

        const QByteArray head = "[Device]\r\n";
        const QStringList none;
        QTest::newRow("plain") << head + "ID=7\r\n" << true << "ID" << QStringList{"7"};
        QTest::newRow("blanks around key and value") << head + "  ID \t=  7 \t\r\n" << true << "ID" << QStringList{"7"};
        QTest::newRow("quotes keep blanks and commas") << head + "Header=\" 2.6, beta \"\r\n"
                                                       << true << "Header" << QStringList{" 2.6, beta "};
        QTest::newRow("unquoted commas make a list") << head + "Description=Fixed start-up, faster ramp\r\n"
                                                     << true << "Description" << none;
        QTest::newRow("comment after the value") << head + "FW=2.6 ; beta\r\n" << true << "FW" << QStringList{"2.6"};
        QTest::newRow("comment line") << head + ";ID=1\r\n" << true << "ID" << none;
        QTest::newRow("named escapes") << head + "Header=a\\tb\\\\c\\\"d\\?\r\n"
                                       << true << "Header" << QStringList{"a\tb\\c\"d?"};
        QTest::newRow("hexadecimal escapes") << head + "Header=\\x41\\x440z\r\n"
                                             << true << "Header" << QStringList{"A" + QString(QChar(0x440)) + "z"};
        QTest::newRow("octal escapes") << head + "Header=\\101\\0\r\n"
                                       << true << "Header" << QStringList{"A" + QString(QChar(0))};
        QTest::newRow("escaped blank at the end stays") << head + "Header=a\\x20\r\n"
                                                        << true << "Header" << QStringList{"a "};
        QTest::newRow("unknown escape dropped") << head + "ID=\\q7\r\n" << true << "ID" << QStringList{"7"};
        QTest::newRow("line continued") << head + "ID=1\\\r\n2\r\n" << true << "ID" << QStringList{"12"};
        QTest::newRow("quoted across lines") << head + "Description=\"one\r\ntwo\"\r\n"
                                             << true << "Description" << QStringList{"one\ntwo"};
        QTest::newRow("serialised object") << head + "ID=@Variant(\\0\\0\\0\\x3\\0\\0\\0\\a)\r\n"
                                           << true << "ID" << none;
        QTest::newRow("object behind a dropped escape") << head + "ID=\\q" + ByteArrayObject << true << "ID" << none;
        QTest::newRow("object in a list") << head + "ID=1, @Invalid()\r\n" << true << "ID" << none;
        QTest::newRow("doubled at sign") << head + "Header=@@home\r\n" << true << "Header" << QStringList{"@home"};
        QTest::newRow("mail address") << head + "Description=help@example.com\r\n"
                                      << true << "Description" << QStringList{"help@example.com"};
        QTest::newRow("later key wins, groups join")
            << QByteArray("[Device]\nID=1\nHW=4\n[Other]\nID=5\n[Device]\nID=2\n") << true << "ID" << QStringList{"2"};
        QTest::newRow("earlier key of a joined group")
            << QByteArray("[Device]\nID=1\nHW=4\n[Other]\nID=5\n[Device]\nID=2\n") << true << "HW" << QStringList{"4"};
        QTest::newRow("later list hides the text") << QByteArray("[Device]\nID=1\nID=1,2\n") << true << "ID" << none;
        QTest::newRow("group names are case-sensitive") << QByteArray("[device]\nID=1\n") << true << "ID" << none;
        QTest::newRow("group name trimmed and unescaped")
            << QByteArray("[ Dev%69ce ]\nID=3\n") << true << "ID" << QStringList{"3"};
        QTest::newRow("keys are case-sensitive") << head + "id=1\r\n" << true << "ID" << none;
        QTest::newRow("key unescaped") << head + "%49D=4\r\n" << true << "ID" << QStringList{"4"};
        QTest::newRow("keys before the first group") << QByteArray("ID=1\n[Device]\n") << true << "ID" << none;
        QTest::newRow("Windows-1251 text") << head + "Header=\xcf\xf0\xe8\xe2\xe5\xf2 \x88\xb9\r\n"
                                           << true << "Header" << QStringList{QString::fromUtf8("Привет €№")};
        QTest::newRow("upper half of Windows-1251")
            << head + "Header=\x80\x98\xa8\xc0\xff\r\n"
            << true << "Header" << QStringList{QString::fromUtf8("Ђ\xc2\x98ЁАя")};
        QTest::newRow("escapes are code points, not Windows-1251")
            << head + "Header=\\xe0\r\n"
            << true << "Header" << QStringList{QString(QChar(0xE0))};
        QTest::newRow("byte order mark before Windows-1251")
            << QByteArray("\xEF\xBB\xBF[Device]\nHeader=\xd0\xb0\n") << true << "Header"
            << QStringList{QString::fromUtf8("Р°")};
        QTest::newRow("Latin-1 setting file")
            << QByteArray("[Device]\nName=\xe9\n") << false << "Name" << QStringList{QString::fromUtf8("é")};
        QTest::newRow("UTF-8 setting file with its mark") << QByteArray("\xEF\xBB\xBF[Device]\nName=\xc3\xa9\n")
                                                          << false << "Name" << QStringList{QString::fromUtf8("é")};
    }

    void readsValuesAsTexts()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, windows1251);
        QFETCH(QString, key);
        QFETCH(QStringList, text);

        const QMap<QString, QString> group =
            iniGroup(file, "Device", windows1251 ? IniEncoding::Windows1251 : IniEncoding::Latin1);
        QCOMPARE(group.contains(key) ? QStringList{group.value(key)} : QStringList(), text);
    }

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    void windows1251AsTheToolkitDecodesIt()
    {
        QByteArray everyByte;
        for (int byte = 0; byte < 256; ++byte)
            everyByte += char(byte);
        QCOMPARE(fromWindows1251(everyByte), QTextCodec::codecForName("Windows-1251")->toUnicode(everyByte));
    }
#endif

    void readsBoundedPart_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<IniRefusal>("refusal");
        QTest::addColumn<QByteArray>("text");

        const QByteArray head = "[Device]\r\nID=7\r\n";
        const QByteArray longValue = "Description=" + QByteArray(MaxIniBytes, 'x') + "\n";
        const QByteArray fullHead = QByteArray(MaxIniBytes - 1, ';') + '\n';
        QTest::newRow("whole file") << head << IniRefusal::None << head;
        QTest::newRow("up to the end line")
            << head + "[Firmware]\r\n@Variant(x)\r\n" + longValue << IniRefusal::None << head;
        QTest::newRow("end line after LF")
            << QByteArray("ID=7\n[Firmware]\nx\n") << IniRefusal::None << QByteArray("ID=7\n");
        QTest::newRow("end line must be whole") << head + "[Firmware] \nID=8\n"
                                                << IniRefusal::None << head + "[Firmware] \nID=8\n";
        QTest::newRow("end line needs its line end") << head + "[Firmware]" << IniRefusal::None << head + "[Firmware]";
        QTest::newRow("end line at the bound")
            << fullHead + "[Firmware]\r\n" + longValue << IniRefusal::None << fullHead;
        QTest::newRow("too large before the end line") << head + longValue + "[Firmware]\n"
                                                       << IniRefusal::TooLarge << QByteArray();
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
        QVERIFY(readUntrustedIni(QString("/nonexistent/kova.ini")).refusal == IniRefusal::CannotRead);
    }

    // "kova.ini" may have been edited by hand, or be no file at all.
    void portNameFromTheSettingFile_data()
    {
        QTest::addColumn<QByteArray>("file");  // "|": a FIFO, which nobody writes to
        QTest::addColumn<QString>("name");

        QTest::newRow("as the program writes it") << QByteArray("[PORT]\nName=/dev/ttyUSB0\n") << "/dev/ttyUSB0";
        QTest::newRow("quoted, with a comment") << QByteArray("[PORT]\r\nName = \"ttyUSB0\" ; cable\r\n") << "ttyUSB0";
        QTest::newRow("no key") << QByteArray("[PORT]\n") << "";
        QTest::newRow("serialised value") << QByteArray("[PORT]\nName=@Variant(\\0\\0\\0\\x7f)\n") << "";
        QTest::newRow("object behind a dropped escape") << "[PORT]\nName=\\q" + ByteArrayObject + "\n"
                                                        << "";
        QTest::newRow("object in another group") << "[Window]\nState=" + ByteArrayObject + "\n[PORT]\nName=ttyUSB0\n"
                                                 << "ttyUSB0";
        QTest::newRow("a FIFO") << QByteArray("|") << "";
    }

    void portNameFromTheSettingFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        QTemporaryDir folder;
        QVERIFY(file == "|" ? testsupport::makeFifo(folder.filePath("kova.ini"))
                            : writeFile(folder.filePath("kova.ini"), file));
        QCOMPARE(readPortName(folder.filePath("kova.ini")), name);
    }

    // Only the port's line changes; what else the file holds stays as it was.
    void writesOnlyThePortName_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("after");

        const QString usb = "ttyUSB0";
        QTest::newRow("no file yet") << QByteArray() << usb << QByteArray("[PORT]\nName=ttyUSB0\n");
        QTest::newRow("as the program writes it")
            << QByteArray("[PORT]\nName=/dev/pts/3\n") << usb << QByteArray("[PORT]\nName=ttyUSB0\n");
        QTest::newRow("the rest untouched") << "; notes\r\n[Window]\r\nState=" + ByteArrayObject
                                                   + "\r\n\r\n[PORT]\r\n  Name = old ; was ttyS0\r\n"
                                                     "Baud=19200\r\n[Other]\r\nName=x\r\n"
                                            << usb
                                            << "; notes\r\n[Window]\r\nState=" + ByteArrayObject
                                                   + "\r\n\r\n[PORT]\r\n  Name=ttyUSB0; was ttyS0\r\n"
                                                     "Baud=19200\r\n[Other]\r\nName=x\r\n";
        QTest::newRow("group without the key") << QByteArray("[PORT]\r\nBaud=1\r\n[Other]\r\nx=1\r\n") << usb
                                               << QByteArray("[PORT]\r\nName=ttyUSB0\r\nBaud=1\r\n[Other]\r\nx=1\r\n");
        QTest::newRow("group heading with a comment")
            << QByteArray("[PORT] ; cable\nBaud=1\n") << usb << QByteArray("[PORT] ; cable\nName=ttyUSB0\nBaud=1\n");
        QTest::newRow("key in both groups of that name")
            << QByteArray("[PORT]\nName=a\n[Other]\n[PORT]\nName=b\n") << usb
            << QByteArray("[PORT]\nName=a\n[Other]\n[PORT]\nName=ttyUSB0\n");
        QTest::newRow("no group, no final line end")
            << QByteArray("[Other]\nx=1") << usb << QByteArray("[Other]\nx=1\n[PORT]\nName=ttyUSB0\n");
        QTest::newRow("last line a comment")
            << QByteArray("[Other]\n; end") << usb << QByteArray("[Other]\n; end\n[PORT]\nName=ttyUSB0\n");
        QTest::newRow("last value in open quotes")
            << QByteArray("[Other]\nx=\"a") << usb << QByteArray("[Other]\nx=\"a\"\n[PORT]\nName=ttyUSB0\n");
        QTest::newRow("last value ends in a backslash")
            << QByteArray("[Other]\nx=a\\") << usb << QByteArray("[Other]\nx=a\\\n\n[PORT]\nName=ttyUSB0\n");
        QTest::newRow("name with quotes, blanks and escapes")
            << QByteArray() << QString::fromUtf8(" a,b\"\\é") << QByteArray("[PORT]\nName=\" a,b\\\"\\\\\\xe9\"\n");
        QTest::newRow("name with a leading at sign") << QByteArray() << "@x" << QByteArray("[PORT]\nName=@@x\n");
        QTest::newRow("hexadecimal digit after an escape")
            << QByteArray() << QString::fromUtf8("é1") << QByteArray("[PORT]\nName=\\xe9\\x31\n");
    }

    void writesOnlyThePortName()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, name);
        QFETCH(QByteArray, after);

        const QByteArray written = withIniValue(before, "PORT", "Name", name);
        QCOMPARE(written, after);
        QCOMPARE(iniGroup(written, "PORT", IniEncoding::Latin1).value("Name"), name);
    }

    void writesTheSettingFile()
    {
        QTemporaryDir folder;
        const QString inNewFolder = folder.filePath("config/kova/kova.ini");
        QVERIFY(writePortName(inNewFolder, "ttyUSB1"));
        QCOMPARE(readFile(inNewFolder), QByteArray("[PORT]\nName=ttyUSB1\n"));
        QCOMPARE(readPortName(inNewFolder), QString("ttyUSB1"));

        // Not a setting file: left as it is.
        const QString large = folder.filePath("large.ini");
        const QByteArray content = "[Notes]\nText=" + QByteArray(MaxIniBytes, 'x') + "\n";
        QVERIFY(writeFile(large, content));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Port setting file not written: "));
        QVERIFY(!writePortName(large, "ttyUSB1"));
        QCOMPARE(readFile(large), content);
    }
};

QTEST_GUILESS_MAIN(TestUntrustedIni)
#include "tst_untrustedini.moc"
