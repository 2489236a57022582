#include "link/untrustedini.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryFile>

namespace {

// Where the settings reader may start a value or a list entry: after the
// key's "=", blanks, quotes, commas and backslash escapes.
bool beginsEntry(const QByteArray &value, int at)
{
    return at == 0 || QByteArray(" \t\r\v\f\",\\=").contains(value.at(at - 1));
}

bool isNumericEscape(const QByteArray &value, int at)
{
    if (value.at(at) != '\\' || at + 1 >= value.size())
        return false;
    const char next = value.at(at + 1);
    return next == 'x' || next == 'X' || (next >= '0' && next <= '7');
}

}  // namespace

bool holdsSerialisedValue(const QByteArray &text)
{
    for (const QByteArray &line : text.split('\n')) {
        // A line without "=" may continue the value of the line before it.
        const QByteArray value = line.mid(line.indexOf('=') + 1);
        for (int at = 0; at < value.size(); ++at) {
            if ((value.at(at) == '@' && beginsEntry(value, at)) || isNumericEscape(value, at))
                return true;
        }
    }
    return false;
}

UntrustedIni readUntrustedIni(QIODevice &file, const QByteArray &endLine)
{
    UntrustedIni ini;
    if (!file.isReadable()) {
        ini.refusal = IniRefusal::CannotRead;
        return ini;
    }
    file.setTextModeEnabled(true);
    const QByteArray endOfPart = endLine + '\n';
    // One bounded read: line by line, each line would cost a buffer of the
    // whole bound. Text mode drops carriage returns, so read until enough.
    const int wanted = int(MaxIniBytes) + endOfPart.size() + 1;
    QByteArray head;
    while (head.size() < wanted && !file.atEnd()) {
        const QByteArray more = file.read(wanted - head.size());
        if (more.isEmpty())
            break;
        head += more;
    }
    // The end line counts only as a whole line: at the start or after a line end.
    int partEnd = head.size();
    if (!endLine.isEmpty()) {
        if (head.startsWith(endOfPart))
            partEnd = 0;
        else if (const int found = head.indexOf('\n' + endOfPart); found >= 0)
            partEnd = found + 1;
    }
    if (partEnd > MaxIniBytes) {
        ini.refusal = IniRefusal::TooLarge;
        return ini;
    }
    const QByteArray text = head.left(partEnd);
    if (holdsSerialisedValue(text)) {
        ini.refusal = IniRefusal::SerialisedValue;
        return ini;
    }
    ini.text = text;
    return ini;
}

UntrustedIni readUntrustedIni(const QString &path, const QByteArray &endLine)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {QByteArray(), IniRefusal::CannotRead};
    return readUntrustedIni(file, endLine);
}

// QSettings reads only files; the checked text goes through one of its own.
QVariantMap iniGroup(const QByteArray &text, const QString &group, const char *codec)
{
    QVariantMap values;
    QTemporaryFile copy;
    if (!copy.open() || copy.write(text) != text.size() || !copy.flush())
        return values;
    QSettings settings(copy.fileName(), QSettings::IniFormat);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    if (codec)
        settings.setIniCodec(codec);
#else
    Q_UNUSED(codec)  // Qt 6 reads INI text as UTF-8 only
#endif
    settings.beginGroup(group);
    for (const QString &key : settings.childKeys())
        values.insert(key, settings.value(key));
    return values;
}
