#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>
#include <QtGlobal>

class QIODevice;

// INI files that the program did not write (firmware packages, a "kova.ini"
// edited by hand) are read here, and only as texts: a bounded read, then
// the quoting and escapes of the INI files the toolkit writes, and nothing
// that turns a value into an object.

// More than any real package head or setting file needs.
constexpr qint64 MaxIniBytes = 64 * 1024;

enum class IniRefusal {
    None,
    CannotRead,
    TooLarge,  // more than MaxIniBytes before the end line
};

struct UntrustedIni {
    QByteArray text;  // empty unless accepted
    IniRefusal refusal = IniRefusal::None;
};

// Reads the bytes of `file` up to the line `endLine` (not included; it ends
// in LF or CR LF) or its end, at most MaxIniBytes.
UntrustedIni readUntrustedIni(QIODevice &file, const QByteArray &endLine = QByteArray());
UntrustedIni readUntrustedIni(const QString &path, const QByteArray &endLine = QByteArray());

// How the bytes of a value that are not escapes are decoded. A file that
// begins with the UTF-8 byte order mark is read as UTF-8 unless it is
// Windows-1251 text.
enum class IniEncoding { Latin1, Windows1251 };

// The texts of the keys of `group` (case-sensitive, as is each key; a group
// may appear more than once, and a later key wins). Values follow the INI
// rules: surrounding blanks are dropped, double quotes keep them and commas,
// backslash escapes (\n, \x41, \101, ...) and line continuations are read,
// and ";" begins a comment. A value that is no single text (unquoted commas
// make a list, a leading "@" a serialised object) is left out, as if it were
// missing; "@@" stands for a leading "@".
QMap<QString, QString> iniGroup(const QByteArray &text, const QString &group, IniEncoding encoding);

// Where a key of `group` is given, each time it is, in file order: for an
// author who must be told the line.
struct IniKeyLine {
    QString key;
    qint64 line = 0;  // from 1
};
QVector<IniKeyLine> iniKeyLines(const QByteArray &text, const QString &group);

// `text` with `key` of `group` set to `value`: the key's last line in the
// group is replaced, or a line is added to the group, or the group is added
// at the end. Every other byte stays as it was.
QByteArray withIniValue(const QByteArray &text, const QString &group, const QString &key, const QString &value);

// Windows-1251 bytes as text; bytes below 0x80 are ASCII.
QString fromWindows1251(const QByteArray &bytes);
