#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>
#include <QtGlobal>

class QIODevice;

// INI files that the program did not write reach QSettings only through
// here. The settings reader turns values written as "@Variant(...)" and its
// kin into arbitrary objects (a crafted one crashes the program), and it
// parses a whole file however large it is.

// More than any real package head or setting file needs.
constexpr qint64 MaxIniBytes = 64 * 1024;

enum class IniRefusal {
    None,
    CannotRead,
    TooLarge,         // more than MaxIniBytes before the end line
    SerialisedValue,  // a value the settings reader would decode as an object
};

struct UntrustedIni {
    QByteArray text;  // empty unless accepted
    IniRefusal refusal = IniRefusal::None;
};

// Reads `file` in text mode up to the line `endLine` (not included) or its
// end, at most MaxIniBytes, and accepts the text only when no value in it
// could be taken for a serialised object.
UntrustedIni readUntrustedIni(QIODevice &file, const QByteArray &endLine = QByteArray());
UntrustedIni readUntrustedIni(const QString &path, const QByteArray &endLine = QByteArray());

// Whether `text` holds an "@" that could begin a value or a list entry, or a
// numeric escape that could write one.
bool holdsSerialisedValue(const QByteArray &text);

// The keys of `group` in accepted INI text, read by QSettings in INI format;
// `codec` as for QSettings::setIniCodec, none for the default.
QVariantMap iniGroup(const QByteArray &text, const QString &group, const char *codec = nullptr);
