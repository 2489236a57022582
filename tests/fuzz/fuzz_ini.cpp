// Any bytes as the head of a firmware package and as "kova.ini": the reader
// takes texts only, within its bound, and setting the port name reads back
// while every other group keeps its keys and values. (The file itself costs
// a synchronised write per run; the link's tests cover it.)
#include "fuzz/fuzzsupport.h"
#include "link/untrustedini.h"

#include <QBuffer>
#include <QRegularExpression>

namespace {

void expect(bool condition)
{
    if (!condition)
        abort();
}

// The groups the input seems to name, as far as a quick look tells.
QStringList groupsNamed(const QByteArray &bytes)
{
    QStringList groups{QString(), QStringLiteral("Device")};
    static const QRegularExpression heading(QStringLiteral("\\[([^\\]\\r\\n]*)\\]"));
    auto match = heading.globalMatch(QString::fromLatin1(bytes));
    while (match.hasNext() && groups.size() < 8)
        groups << match.next().captured(1).trimmed();
    return groups;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = fuzzsupport::bytesOf(data, size);
    QBuffer buffer(&bytes);
    expect(buffer.open(QIODevice::ReadOnly));
    const UntrustedIni head = readUntrustedIni(buffer, "[Firmware]");
    expect(head.text.size() <= MaxIniBytes && bytes.startsWith(head.text));
    iniGroup(head.text, QStringLiteral("Device"), IniEncoding::Windows1251);

    if (bytes.size() > MaxIniBytes)
        return 0;
    static const QString names[] = {QStringLiteral("ttyUSB0"), QStringLiteral("/dev/pts/3"), QString(),
                                    QStringLiteral(" @a,b;c=\"\\\t "),
                                    QString::fromUtf8("\xc3\xa9"
                                                      "1")};
    const QString name = names[size % (sizeof names / sizeof *names)];
    const QByteArray written = withIniValue(bytes, QStringLiteral("PORT"), QStringLiteral("Name"), name);
    QMap<QString, QString> port = iniGroup(written, QStringLiteral("PORT"), IniEncoding::Latin1);
    expect(port.contains(QStringLiteral("Name")) && port.take(QStringLiteral("Name")) == name);
    QMap<QString, QString> portBefore = iniGroup(bytes, QStringLiteral("PORT"), IniEncoding::Latin1);
    portBefore.remove(QStringLiteral("Name"));
    expect(port == portBefore);
    for (const QString &group : groupsNamed(bytes)) {
        if (group != QLatin1String("PORT"))
            expect(iniGroup(written, group, IniEncoding::Windows1251)
                   == iniGroup(bytes, group, IniEncoding::Windows1251));
    }
    return 0;
}
