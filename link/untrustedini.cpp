#include "link/untrustedini.h"

#include "link/hexdigit.h"
#include "link/regularfile.h"

#include <QFile>

#include <algorithm>

namespace {

// How the bytes of a value are decoded once the file's byte order mark is known.
enum class ValueText { Latin1, Windows1251, Utf8 };

bool isBlankOrLineEnd(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r';
}

bool isLineEnd(char ch)
{
    return ch == '\n' || ch == '\r';
}

// One logical line of the file.
struct IniLine {
    int start = 0;
    int end = 0;  // its line end, the ";" of a comment after it, or the end of the text
    int equals = -1;  // the first "=" outside double quotes
};

// Whether text appended to the file would continue its last line.
struct LastLine {
    bool open = false;  // it runs to the end of the text
    bool inQuotes = false;  // ... inside double quotes
    char escaped = 0;  // ... after a backslash (itself when it is the last byte) or an
        // escaped line end that the next byte may pair with
};

// The next logical line from `pos`: blank lines and lines that begin with
// ";" are skipped; a line end inside double quotes or escaped by a
// backslash does not end the line, and an unquoted ";" does. False when
// only blanks and comments are left.
bool nextLine(const QByteArray &data, int &pos, IniLine &line, LastLine *last = nullptr)
{
    const int size = data.size();
    const char *bytes = data.constData();
    bool inQuotes = false;
    bool closed = true;
    char escapedAtEnd = 0;
    int start = pos;
    while (start < size && isBlankOrLineEnd(bytes[start]))
        ++start;
    line.equals = -1;
    int i = start;
    bool ended = false;
    while (i < size && !ended) {
        closed = false;
        escapedAtEnd = 0;
        const char ch = bytes[i++];
        switch (ch) {
        case '=':
            if (!inQuotes && line.equals < 0)
                line.equals = i - 1;
            break;
        case '\n':
        case '\r':
            if (!inQuotes) {
                --i;
                ended = true;
            }
            break;
        case '\\':
            if (i == size) {
                escapedAtEnd = '\\';
                break;
            }
            if (const char escaped = bytes[i++]; i < size) {
                const char next = bytes[i];
                if ((escaped == '\n' && next == '\r') || (escaped == '\r' && next == '\n'))
                    ++i;
            } else {
                escapedAtEnd = isLineEnd(escaped) ? escaped : 0;
            }
            break;
        case '"': inQuotes = !inQuotes; break;
        case ';':
            if (i == start + 1) {
                while (i < size && !isLineEnd(bytes[i]))
                    ++i;
                closed = i < size;
                while (i < size && isBlankOrLineEnd(bytes[i]))
                    ++i;
                start = i;
            } else if (!inQuotes) {
                --i;
                ended = true;
            }
            break;
        default: break;
        }
    }
    if (last)
        *last = {!closed && !ended, inQuotes, escapedAtEnd};
    pos = i;
    line.start = start;
    line.end = i;
    return i > start;
}

// A key or a group name: "%XX" and "%UXXXX" stand for one character, a
// backslash for a slash.
QString unescapedKey(const QByteArray &key)
{
    QString result;
    int i = 0;
    while (i < key.size()) {
        const uchar ch = uchar(key.at(i));
        if (ch == '\\') {
            result += QLatin1Char('/');
            ++i;
            continue;
        }
        if (ch != '%' || i == key.size() - 1) {
            result += QLatin1Char(char(ch));
            ++i;
            continue;
        }
        int digits = 2;
        int first = i + 1;
        if (key.at(first) == 'U') {
            ++first;
            digits = 4;
        }
        bool ok = false;
        const int code = first + digits <= key.size() ? key.mid(first, digits).toInt(&ok, 16) : 0;
        if (!ok) {
            result += QLatin1Char('%');
            ++i;
            continue;
        }
        result += QChar(code);
        i = first + digits;
    }
    return result;
}

// The name in a "[...]" line; "General" (in any case) names the keys before
// the first group, "%General" a group of that name.
QString groupName(const QByteArray &data, const IniLine &line)
{
    int nameEnd = line.start + 1;
    while (nameEnd < line.end && data.at(nameEnd) != ']')
        ++nameEnd;
    const QByteArray name = data.mid(line.start + 1, nameEnd - line.start - 1).trimmed();
    if (qstricmp(name.constData(), "general") == 0)
        return QString();
    if (qstricmp(name.constData(), "%general") == 0)
        return QString::fromLatin1(name.mid(1));
    return unescapedKey(name);
}

QString keyOf(const QByteArray &data, const IniLine &line)
{
    int keyEnd = line.equals;
    while (keyEnd > line.start && (data.at(keyEnd - 1) == ' ' || data.at(keyEnd - 1) == '\t'))
        --keyEnd;
    return unescapedKey(data.mid(line.start, keyEnd - line.start));
}

// Bytes between escapes; CR LF inside a quoted value reads as LF, as the
// line ends of the file do.
QString decoded(const QByteArray &data, int from, int to, ValueText encoding)
{
    QByteArray bytes = data.mid(from, to - from);
    bytes.replace("\r\n", "\n");
    switch (encoding) {
    case ValueText::Windows1251: return fromWindows1251(bytes);
    case ValueText::Utf8: return QString::fromUtf8(bytes);
    case ValueText::Latin1: break;
    }
    return QString::fromLatin1(bytes);
}

void chopTrailingBlanks(QString &text, int limit)
{
    while (text.size() > limit && (text.endsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char('\t'))))
        text.chop(1);
}

char namedEscape(char code)
{
    switch (code) {
    case 'a': return '\a';
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'v': return '\v';
    case '"':
    case '?':
    case '\'':
    case '\\': return code;
    default: return 0;
    }
}

// The value from `from` to `to` as its entries: one, unless commas outside
// double quotes make a list.
QStringList valueEntries(const QByteArray &data, int from, int to, ValueText encoding)
{
    const char *bytes = data.constData();
    QStringList entries;
    QString entry;
    bool inQuotes = false;
    bool quoted = false;  // the current entry had quotes: its blanks stay
    bool chopAtEnd = true;  // an escape cut short by the end keeps the blanks before it
    int keepUpTo = 0;  // blanks before this length came from escapes or quotes
    int i = from;
    const auto skipBlanks = [&] {
        while (i < to && (bytes[i] == ' ' || bytes[i] == '\t'))
            ++i;
        keepUpTo = entry.size();
    };
    skipBlanks();
    while (i < to) {
        const char ch = bytes[i];
        if (ch == '\\') {
            if (++i == to) {
                chopAtEnd = false;
                break;
            }
            const char code = bytes[i++];
            if (const char named = namedEscape(code)) {
                entry += QLatin1Char(named);
            } else if (code == 'x' || (code >= '0' && code <= '7')) {
                if (code == 'x' && (i == to || hexValue(bytes[i]) < 0)) {
                    chopAtEnd = i < to;
                    keepUpTo = entry.size();
                    if (!chopAtEnd)
                        break;
                    continue;
                }
                const int base = code == 'x' ? 16 : 8;
                // As many digits as follow; the character is the low 16 bits.
                quint32 value = code == 'x' ? 0 : quint32(code - '0');
                for (int digit; i < to && (digit = hexValue(bytes[i])) >= 0 && digit < base; ++i)
                    value = value * quint32(base) + quint32(digit);
                entry += QChar(ushort(value & 0xFFFF));
                if (i == to) {
                    chopAtEnd = false;
                    break;
                }
            } else if (isLineEnd(code)) {
                if (i < to && isLineEnd(bytes[i]) && bytes[i] != code)
                    ++i;
            }
            // Any other escaped character is dropped.
            keepUpTo = entry.size();
        } else if (ch == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipBlanks();
        } else if (ch == ',' && !inQuotes) {
            if (!quoted)
                chopTrailingBlanks(entry, keepUpTo);
            entries << entry;
            entry.clear();
            quoted = false;
            ++i;
            skipBlanks();
        } else {
            int j = i + 1;
            while (j < to && bytes[j] != '\\' && bytes[j] != '"' && bytes[j] != ',')
                ++j;
            entry += decoded(data, i, j, encoding);
            i = j;
        }
    }
    if (chopAtEnd && !quoted)
        chopTrailingBlanks(entry, keepUpTo);
    entries << entry;
    return entries;
}

bool startsWithByteOrderMark(const QByteArray &text)
{
    return text.startsWith("\xEF\xBB\xBF");
}

bool isHexDigit(ushort ch)
{
    return ch < 0x80 && hexValue(char(ch)) >= 0;
}

// A text as a value the reader above gives back unchanged.
QByteArray escapedValue(const QString &value)
{
    QByteArray out;
    bool needsQuotes = false;
    bool escapeNextIfHex = false;  // a hexadecimal digit would lengthen the escape before it
    if (value.startsWith(QLatin1Char('@')))
        out += '@';
    for (const QChar c : value) {
        const ushort ch = c.unicode();
        if (ch == ';' || ch == ',' || ch == '=')
            needsQuotes = true;
        if (escapeNextIfHex && isHexDigit(ch)) {
            out += "\\x" + QByteArray::number(ch, 16);
            continue;
        }
        escapeNextIfHex = false;
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += char(ch);
        } else if (ch < 0x20 || ch >= 0x7F) {
            out += "\\x" + QByteArray::number(ch, 16);
            escapeNextIfHex = true;
        } else {
            out += char(ch);
        }
    }
    if (needsQuotes || out.startsWith(' ') || out.endsWith(' '))
        out = '"' + out + '"';
    return out;
}

// Where the physical line of `line` ends, after its line end (CR LF as one);
// -1 when it runs to the end of the text.
int afterLineEnd(const QByteArray &data, const IniLine &line)
{
    int at = line.end;
    while (at < data.size() && !isLineEnd(data.at(at)))
        ++at;  // a comment after the line
    if (at == data.size())
        return -1;
    if (data.at(at) == '\r' && at + 1 < data.size() && data.at(at + 1) == '\n')
        return at + 2;
    return at + 1;
}

// What goes between the text and a line appended to it, so that the last
// line keeps its value and the new one begins a line of its own.
QByteArray separatorAfter(const QByteArray &data, const QByteArray &lineEnd)
{
    LastLine last;
    int pos = 0;
    IniLine line;
    while (pos < data.size()) {
        if (!nextLine(data, pos, line, &last))
            break;
    }
    if (!last.open)
        return QByteArray();
    // A line end that the escape takes (or pairs with the one it took)
    // continues the value with nothing.
    const char *escapeEnd = last.escaped == '\n' ? "\r" : last.escaped ? "\n" : "";
    return escapeEnd + QByteArray(last.inQuotes ? "\"" : "") + lineEnd;
}

}  // namespace

UntrustedIni readUntrustedIni(QIODevice &file, const QByteArray &endLine)
{
    UntrustedIni ini;
    if (!file.isReadable()) {
        ini.refusal = IniRefusal::CannotRead;
        return ini;
    }
    // One bounded read: the end line may begin at the last byte allowed, with
    // CR LF after it.
    const QByteArray head = readBounded(file, MaxIniBytes + endLine.size() + 1);
    // The end line counts only as a whole line: at the start or after a line
    // feed, and followed by LF or CR LF.
    int partEnd = head.size();
    for (int at = endLine.isEmpty() ? -1 : head.indexOf(endLine); at >= 0; at = head.indexOf(endLine, at + 1)) {
        const QByteArray after = head.mid(at + endLine.size(), 2);
        if ((at == 0 || head.at(at - 1) == '\n') && (after.startsWith('\n') || after == "\r\n")) {
            partEnd = at;
            break;
        }
    }
    if (partEnd > MaxIniBytes) {
        ini.refusal = IniRefusal::TooLarge;
        return ini;
    }
    ini.text = head.left(partEnd);
    return ini;
}

UntrustedIni readUntrustedIni(const QString &path, const QByteArray &endLine)
{
    QFile file(path);
    QString error;
    if (!openRegularFile(file, &error))
        return {QByteArray(), IniRefusal::CannotRead};
    return readUntrustedIni(file, endLine);
}

QMap<QString, QString> iniGroup(const QByteArray &text, const QString &group, IniEncoding encoding)
{
    QMap<QString, QString> values;
    int pos = 0;
    ValueText valueText = encoding == IniEncoding::Windows1251 ? ValueText::Windows1251 : ValueText::Latin1;
    if (startsWithByteOrderMark(text)) {
        pos = 3;
        if (valueText == ValueText::Latin1)
            valueText = ValueText::Utf8;
    }
    QString current;  // the keys before the first group have none
    IniLine line;
    while (nextLine(text, pos, line)) {
        if (text.at(line.start) == '[') {
            current = groupName(text, line);
            continue;
        }
        if (line.equals < 0 || current != group)
            continue;
        const QString key = keyOf(text, line);
        const QStringList entries = valueEntries(text, line.equals + 1, line.end, valueText);
        const QString &value = entries.first();
        if (entries.size() > 1 || (value.startsWith(QLatin1Char('@')) && !value.startsWith(QLatin1String("@@"))))
            values.remove(key);
        else
            values.insert(key, value.startsWith(QLatin1Char('@')) ? value.mid(1) : value);
    }
    return values;
}

QVector<IniKeyLine> iniKeyLines(const QByteArray &text, const QString &group)
{
    QVector<IniKeyLine> keys;
    int pos = startsWithByteOrderMark(text) ? 3 : 0;
    int counted = 0;
    qint64 lineNumber = 1;
    QString current;
    IniLine line;
    while (nextLine(text, pos, line)) {
        lineNumber += std::count(text.constData() + counted, text.constData() + line.start, '\n');
        counted = line.start;
        if (text.at(line.start) == '[')
            current = groupName(text, line);
        else if (line.equals >= 0 && current == group)
            keys.append({keyOf(text, line), lineNumber});
    }
    return keys;
}

QByteArray withIniValue(const QByteArray &text, const QString &group, const QString &key, const QString &value)
{
    const int firstLineFeed = text.indexOf('\n');
    const QByteArray lineEnd = firstLineFeed > 0 && text.at(firstLineFeed - 1) == '\r' ? "\r\n" : "\n";
    const QByteArray keyLine = key.toLatin1() + '=' + escapedValue(value);

    int pos = startsWithByteOrderMark(text) ? 3 : 0;
    QString current;
    IniLine line;
    IniLine lastHeader{-1, -1, -1};
    IniLine lastKey{-1, -1, -1};
    while (nextLine(text, pos, line)) {
        if (text.at(line.start) == '[') {
            current = groupName(text, line);
            if (current == group)
                lastHeader = line;
        } else if (current == group && line.equals >= 0 && keyOf(text, line) == key) {
            lastKey = line;
        }
    }
    QByteArray result = text;
    if (lastKey.start >= 0)
        return result.replace(lastKey.start, lastKey.end - lastKey.start, keyLine);
    if (lastHeader.start >= 0) {
        if (const int at = afterLineEnd(text, lastHeader); at >= 0)
            return result.insert(at, keyLine + lineEnd);
        return result + separatorAfter(text, lineEnd) + keyLine + lineEnd;
    }
    return result + separatorAfter(text, lineEnd) + '[' + group.toLatin1() + ']' + lineEnd + keyLine + lineEnd;
}

QString fromWindows1251(const QByteArray &bytes)
{
    // The characters of the bytes 0x80 to 0xFF; 0x98 has none and stands for itself.
    static const ushort upper[128] = {
        0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
        0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
        0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
        0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
        0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
        0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
        0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
        0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
        0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
        0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
    };
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes) {
        const uchar code = uchar(byte);
        *out++ = QChar(code < 0x80 ? ushort(code) : upper[code - 0x80]);
    }
    return text;
}
