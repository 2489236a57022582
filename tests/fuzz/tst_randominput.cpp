// Random bytes against the pure parsers: whatever arrives on the line or sits
// in a package or setting file, they must neither crash nor read outside
// their input (the sanitizer builds watch for that), and what they accept
// must hold up.
// The seed is fixed so that a failure can be replayed.
#include "firmware/firmwareimage.h"
#include "firmware/uploadframes.h"
#include "link/checksums.h"
#include "link/frames.h"
#include "link/untrustedini.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QtTest>

namespace {

constexpr int Rounds = 20000;
const Dialect AllDialects[] = {Dialect::Vorn, Dialect::Kelpa, Dialect::Ulma};

QByteArray randomBytes(QRandomGenerator &random, int maxLength)
{
    QByteArray bytes(int(random.bounded(maxLength + 1)), '\0');
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

// Lines biased towards what a package holds: hex digits, line ends, and now
// and then the data heading.
QByteArray randomPackage(QRandomGenerator &random)
{
    static const char alphabet[] = "0123456789abcdefABCDEF\r\n\n\n []=xyz";
    QByteArray text;
    if (random.bounded(4) != 0)
        text += "[Device]\nID=1\n[Firmware]\n";
    const int length = int(random.bounded(600));
    for (int i = 0; i < length; ++i)
        text += alphabet[random.bounded(int(sizeof alphabet) - 1)];
    return text;
}

// Lines biased towards the INI syntax: groups, keys, quotes, escapes,
// comments and line ends of every kind.
QByteArray randomIni(QRandomGenerator &random)
{
    static const char *const pieces[] = {"[Device]", "[PORT]", "[Other]", "\n",   "\r\n", "\r",  "Name", "ID",
                                         "=",        " ",      "\"",      "\\",   ",",    ";",   "@",    "x",
                                         "\\x4",     "\\0",    "%4E",     "\xe0", "\\\n", "\\\r"};
    QByteArray text;
    const int length = int(random.bounded(40));
    for (int i = 0; i < length; ++i)
        text += pieces[random.bounded(int(sizeof pieces / sizeof *pieces))];
    return text;
}

}  // namespace

class RandomInputTest : public QObject
{
    Q_OBJECT

private slots:
    void repliesOnTheLine()
    {
        QRandomGenerator random(20261207);
        for (int round = 0; round < Rounds; ++round) {
            const QByteArray received = randomBytes(random, 24);
            const int offset = int(random.bounded(-2, 26));
            for (Dialect dialect : AllDialects) {
                if (frames::cellReplyValid(dialect, received, offset)) {
                    QVERIFY(offset >= 0);
                    QVERIFY(received.size() >= offset + frames::replyLength(dialect));
                    QCOMPARE(received.at(offset), 'M');
                }
                const PingResult ping = frames::classifyPing(dialect, !received.isEmpty(), received, 5);
                if (ping == Answered)
                    QCOMPARE(received.mid(5, 2), QByteArray("MO"));
                if (received.isEmpty())
                    QCOMPARE(ping, Silent);
            }
        }
    }

    void acknowledgementsOnTheLine()
    {
        QRandomGenerator random(7);
        for (int round = 0; round < Rounds; ++round) {
            const QByteArray received = randomBytes(random, 40);
            const int frameLength = int(random.bounded(-1, 40));
            for (Dialect dialect : AllDialects) {
                if (uploadframes::acknowledged(dialect, received, frameLength))
                    QCOMPARE(received.mid(frameLength, uploadframes::acknowledgement(dialect).size()),
                             uploadframes::acknowledgement(dialect));
            }
        }
    }

    void packageFiles()
    {
        QRandomGenerator random(1251);
        for (int round = 0; round < Rounds / 10; ++round) {
            QByteArray text = randomPackage(random);
            for (Dialect dialect : AllDialects) {
                QBuffer file(&text);
                QVERIFY(file.open(QIODevice::ReadOnly));
                const QByteArray image = readFirmwareImage(file, dialect).image;
                // Every image byte comes from two hex digits of a line record.
                QVERIFY(image.size() * 2 <= text.size());
            }
        }
    }

    // Setting the port name reads back and leaves the other groups as they were.
    void iniFiles()
    {
        QRandomGenerator random(1252);
        for (int round = 0; round < Rounds / 10; ++round) {
            const QByteArray text = randomIni(random);
            const QString name = round % 2 ? QStringLiteral("ttyUSB0") : QStringLiteral(" a,\"b\\");
            const QByteArray written = withIniValue(text, "PORT", "Name", name);
            QCOMPARE(iniGroup(written, "PORT", IniEncoding::Latin1).value("Name"), name);
            for (const char *group : {"Device", "Other", ""})
                QCOMPARE(iniGroup(written, group, IniEncoding::Windows1251),
                         iniGroup(text, group, IniEncoding::Windows1251));
        }
    }

    void blockFramesCarryTheirOwnCheck()
    {
        QRandomGenerator random(42);
        for (int round = 0; round < 500; ++round) {
            const QByteArray block = randomBytes(random, 300);
            const QByteArray vorn = uploadframes::blockFrame(Dialect::Vorn, block);
            QCOMPARE(vorn.size(), uploadframes::blockFrameLength(Dialect::Vorn, block.size()));
            const quint32 crc = crc32(vorn.mid(1, block.size() + 2));
            QCOMPARE(quint8(vorn.at(vorn.size() - 4)), quint8(crc & 0xFF));
            const QByteArray ulma = uploadframes::blockFrame(Dialect::Ulma, block);
            const quint16 check = crc16(ulma.left(ulma.size() - 2));
            QCOMPARE(quint8(ulma.at(ulma.size() - 2)), quint8(check >> 8));
            QCOMPARE(quint8(ulma.at(ulma.size() - 1)), quint8(check & 0xFF));
        }
    }
};

QTEST_GUILESS_MAIN(RandomInputTest)
#include "tst_randominput.moc"
