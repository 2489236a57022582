#include "description/descriptionreader.h"

#include "description/valuecodec.h"
#include "link/cells.h"

#include <QDebug>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numeric>

namespace descriptionreader {

namespace {

// A number that is absent or does not read as one counts as 0, an absent
// text as the empty text.
int integer(const QXmlStreamAttributes &attributes, QLatin1String name)
{
    bool ok = false;
    const int value = attributes.value(name).toInt(&ok);
    return ok ? value : 0;
}

uint unsignedInteger(const QXmlStreamAttributes &attributes, QLatin1String name)
{
    bool ok = false;
    const uint value = attributes.value(name).toUInt(&ok);
    return ok ? value : 0;
}

// Infinities and NaN count as 0 too: they have no place in a cell value.
double real(const QXmlStreamAttributes &attributes, QLatin1String name)
{
    bool ok = false;
    const double value = attributes.value(name).toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

// A range shows its bounds as text: hundreds of digits take long to lay out.
double boundedNumber(double value)
{
    return std::clamp(value, -MaxShownNumber, MaxShownNumber);
}

QString text(const QXmlStreamAttributes &attributes, QLatin1String name)
{
    return attributes.value(name).toString();
}

ParameterKind kindOf(QStringView type)
{
    if (type == QLatin1String("list"))
        return ParameterKind::List;
    if (type == QLatin1String("range"))
        return ParameterKind::Range;
    if (type == QLatin1String("check"))
        return ParameterKind::Check;
    return ParameterKind::None;
}

ParameterDescription parameterFrom(const QXmlStreamAttributes &attributes)
{
    ParameterDescription p;
    p.kind = kindOf(attributes.value(QLatin1String("type")));
    p.name = text(attributes, QLatin1String("name"));
    p.cell = integer(attributes, QLatin1String("cell"));
    p.hcell = integer(attributes, QLatin1String("hcell"));
    p.hasHighCell = !attributes.value(QLatin1String("hcell")).isEmpty();
    p.depcell = integer(attributes, QLatin1String("depcell"));
    p.depval = integer(attributes, QLatin1String("depval"));
    p.offset = real(attributes, QLatin1String("offset"));
    p.scale = valuecodec::effectiveScale(real(attributes, QLatin1String("scale")));
    p.shift = real(attributes, QLatin1String("shift"));
    p.min = boundedNumber(real(attributes, QLatin1String("min")));
    p.max = boundedNumber(real(attributes, QLatin1String("max")));
    p.step = boundedNumber(real(attributes, QLatin1String("step")));
    p.decimals = std::min(unsignedInteger(attributes, QLatin1String("decimals")), MaxDecimals);
    p.suffix = text(attributes, QLatin1String("suffix"));
    return p;
}

DescriptionIdentity identityFrom(const QXmlStreamAttributes &attributes)
{
    return {integer(attributes, QLatin1String("id")), integer(attributes, QLatin1String("hw")),
            integer(attributes, QLatin1String("fw")), integer(attributes, QLatin1String("fwm"))};
}

bool cellsHaveSlots(const ParameterDescription &parameter)
{
    return hasCellSlot(parameter.cell) && (!parameter.usesHighCell() || hasCellSlot(parameter.hcell));
}

// What each attribute is, as the functions above read it, and where it
// counts. `usedBy` and `neededBy` are sets of parameter kinds; an "ESC" or a
// "Value" counts as every kind.
enum class AttributeKind { Text, Integer, Unsigned, Real };

constexpr int ListKind = 1;
constexpr int RangeKind = 2;
constexpr int CheckKind = 4;
constexpr int AnyKind = ListKind | RangeKind | CheckKind;

struct KnownAttribute {
    const char *name;
    AttributeKind kind;
    int usedBy;
    int neededBy;
};

// The names of every description written so far: docs/compatibility.md
constexpr KnownAttribute DeviceAttributes[] = {
    {"id", AttributeKind::Integer, AnyKind, AnyKind}, {"hw", AttributeKind::Integer, AnyKind, AnyKind},
    {"fw", AttributeKind::Integer, AnyKind, AnyKind}, {"fwm", AttributeKind::Integer, AnyKind, AnyKind},
    {"name", AttributeKind::Text, AnyKind, AnyKind},  {"fwnp", AttributeKind::Unsigned, AnyKind, 0},
    {"fwps", AttributeKind::Unsigned, AnyKind, 0},
};

// "type" is left to the note on a type that builds nothing.
constexpr KnownAttribute ParameterAttributes[] = {
    {"type", AttributeKind::Text, AnyKind, 0},
    {"name", AttributeKind::Text, AnyKind, AnyKind},
    {"cell", AttributeKind::Integer, AnyKind, AnyKind},
    {"hcell", AttributeKind::Integer, ListKind | RangeKind, 0},
    {"depcell", AttributeKind::Integer, AnyKind, 0},
    {"depval", AttributeKind::Integer, AnyKind, 0},
    {"offset", AttributeKind::Real, ListKind | RangeKind, 0},
    {"scale", AttributeKind::Real, ListKind | RangeKind, 0},
    {"shift", AttributeKind::Real, ListKind | RangeKind, 0},
    {"min", AttributeKind::Real, RangeKind, RangeKind},
    {"max", AttributeKind::Real, RangeKind, RangeKind},
    {"step", AttributeKind::Real, RangeKind, 0},
    {"decimals", AttributeKind::Unsigned, RangeKind, 0},
    {"suffix", AttributeKind::Text, RangeKind, 0},
};

constexpr KnownAttribute ValueAttributes[] = {{"string", AttributeKind::Text, AnyKind, AnyKind}};

int kindBit(ParameterKind kind)
{
    switch (kind) {
    case ParameterKind::List: return ListKind;
    case ParameterKind::Range: return RangeKind;
    case ParameterKind::Check: return CheckKind;
    case ParameterKind::None: break;
    }
    return 0;
}

// Whether the text reads as the reader of `kind` reads it.
bool readsAs(const QString &value, AttributeKind kind)
{
    bool ok = true;
    switch (kind) {
    case AttributeKind::Text: break;
    case AttributeKind::Integer: value.toInt(&ok); break;
    case AttributeKind::Unsigned: value.toUInt(&ok); break;
    case AttributeKind::Real: {
        const double number = value.toDouble(&ok);
        ok = ok && std::isfinite(number);
        break;
    }
    }
    return ok;
}

// The one of `names` that `name` is most likely a slip for: at most two
// letters apart, ignoring case. Empty when none is.
template <typename Names, typename NameOf>
QString closestName(const QString &name, const Names &names, NameOf nameOf)
{
    const QString lower = name.toLower();
    QString closest;
    int best = 3;
    for (const auto &candidate : names) {
        const QString known = QLatin1String(nameOf(candidate));
        const QString other = known.toLower();
        // Edit distance, one row at a time.
        QVector<int> row(other.size() + 1);
        std::iota(row.begin(), row.end(), 0);
        for (int i = 1; i <= lower.size(); ++i) {
            int diagonal = row[0];
            row[0] = i;
            for (int j = 1; j <= other.size(); ++j) {
                const int above = row[j];
                row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (lower[i - 1] == other[j - 1] ? 0 : 1)});
                diagonal = above;
            }
        }
        if (row.last() < best && row.last() < known.size()) {
            best = row.last();
            closest = known;
        }
    }
    return closest;
}

// The encoding named by the XML declaration at the start of `bytes`, if it
// names one.
std::optional<QString> declaredEncoding(const QByteArray &bytes)
{
    static const QRegularExpression declaration(
        QStringLiteral("^(?:\\xEF\\xBB\\xBF)?\\s*<\\?xml[^>]*?encoding\\s*=\\s*[\"']([^\"']*)[\"']"));
    const QRegularExpressionMatch match = declaration.match(QString::fromLatin1(bytes.left(MaxTagBytes)));
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1);
}

// The offset of the first byte that does not belong to a UTF-8 character, or -1.
int firstNonUtf8Byte(const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const int size = bytes.size();
    for (int at = 0; at < size;) {
        const uchar lead = data[at];
        const int length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
        if (length == 0 || at + length > size)
            return at;
        // The second byte also rules out overlong forms, surrogates and code points above U+10FFFF.
        const uchar second = length > 1 ? data[at + 1] : 0x80;
        const uchar low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        const uchar high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        if (length > 1 && (second < low || second > high))
            return at;
        for (int i = 2; i < length; ++i)
            if ((data[at + i] & 0xC0) != 0x80)
                return at;
        at += length;
    }
    return -1;
}

// Walks the tokens of one document. Where the parameter list and a list's
// entries end follows the window's long-standing reading, token by token.
class Parser
{
public:
    Parser(const QByteArray &content, QVector<ReadNote> *notes) : bytes(content), xml(content), notes(notes) {}

    QVector<DeviceDescription> read(const std::optional<DescriptionIdentity> &wanted)
    {
        QVector<DeviceDescription> devices;
        // With one wanted entry the reading stops early: notes of authors' slips would be partial.
        authorNotes = notes && !wanted;
        next();
        while (!xml.atEnd()) {
            if (isStart("ESC") && (!wanted || identityFrom(xml.attributes()) == *wanted)) {
                devices.append(readDevice());
                if (wanted)
                    break;
                if (isStart("ESC"))
                    continue;  // a nested description ended the one before
            } else if (!wanted && isStart("Parameter") && listEnd >= 0) {
                ReadNote &outside = note(ReadNote::OutsideList, text(xml.attributes(), QLatin1String("name")));
                outside.listEnd = listEnd;
                outside.element = listEndElement;
            } else if (xml.isEndElement() && xml.name() == QLatin1String("ESC")) {
                listEnd = 0;
            }
            next();
        }
        if (xml.hasError())
            noteMalformed();
        return devices;
    }

private:
    // Every token passes here, so that the notes of each element do not
    // depend on which step of the reading consumed it.
    void next()
    {
        xml.readNext();
        if (xml.isEndElement() && !open.isEmpty()) {
            open.removeLast();
        } else if (xml.isStartElement()) {
            const QXmlStreamAttributes attributes = xml.attributes();
            open.append({xml.name().toString(), xml.lineNumber(), kindOf(attributes.value(QLatin1String("type"))),
                         text(attributes, QLatin1String("name"))});
            if (authorNotes)
                noteSlips(attributes);
        }
    }

    struct OpenElement {
        QString name;
        qint64 line;
        ParameterKind kind;  // of a "Parameter"
        QString owner;
    };

    bool insideDevice() const
    {
        return std::any_of(open.begin(), open.end() - 1,
                           [](const OpenElement &element) { return element.name == QLatin1String("ESC"); });
    }

    // The start tag just read, which is the last open element.
    void noteSlips(const QXmlStreamAttributes &attributes)
    {
        const OpenElement &element = open.last();
        const OpenElement *parent = open.size() > 1 ? &open.at(open.size() - 2) : nullptr;
        if (element.name == QLatin1String("ESC")) {
            noteAttributes(attributes, DeviceAttributes, AnyKind);
        } else if (element.name == QLatin1String("Parameter")) {
            if (element.kind != ParameterKind::None)
                noteAttributes(attributes, ParameterAttributes, kindBit(element.kind));
        } else if (element.name == QLatin1String("Value")) {
            if (parent && parent->name == QLatin1String("Parameter") && parent->kind == ParameterKind::List)
                noteAttributes(attributes, ValueAttributes, AnyKind, parent->owner);
            else
                slip(ReadNote::MisplacedValue, QString(), parent ? parent->owner : QString());
        } else if (insideDevice()) {
            static const char *const elements[] = {"ESC", "Parameter", "Value"};
            slip(ReadNote::UnknownElement, QString(), QString()).text =
                closestName(element.name, elements, [](const char *name) { return name; });
        }
    }

    template <std::size_t N>
    void noteAttributes(const QXmlStreamAttributes &attributes, const KnownAttribute (&known)[N], int kind,
                        const QString &owner = QString())
    {
        const QString who = owner.isNull() ? open.last().owner : owner;
        for (const QXmlStreamAttribute &attribute : attributes) {
            const auto found = std::find_if(std::begin(known), std::end(known), [&attribute](const KnownAttribute &k) {
                return attribute.name() == QLatin1String(k.name);
            });
            if (found == std::end(known))
                slip(ReadNote::UnknownAttribute, attribute.name().toString(), who).text =
                    closestName(attribute.name().toString(), known, [](const KnownAttribute &k) { return k.name; });
            else if (!(found->usedBy & kind))
                slip(ReadNote::UnusedAttribute, attribute.name().toString(), who).text =
                    attributes.value(QLatin1String("type")).toString();
        }
        for (const KnownAttribute &k : known) {
            const QLatin1String name(k.name);
            const QString value = attributes.value(name).toString();
            if (!(k.usedBy & kind))
                continue;
            if (value.isEmpty() && k.kind == AttributeKind::Text) {
                if (k.neededBy & kind)
                    slip(ReadNote::MissingAttribute, name, who);
            } else if (!attributes.hasAttribute(name)) {
                if (k.neededBy & kind)
                    slip(ReadNote::MissingAttribute, name, who);
            } else if (value.isEmpty() && name == QLatin1String("hcell")) {
                continue;  // an empty "hcell" says there is no high byte
            } else if (!readsAs(value, k.kind)) {
                slip(k.kind == AttributeKind::Real ? ReadNote::NotANumber : ReadNote::NotAWholeNumber, name, who).text =
                    value;
            } else if (name == QLatin1String("scale") && value.toDouble() == 0.0) {
                slip(ReadNote::ScaleZero, name, who);
            } else if (name == QLatin1String("decimals") && value.toUInt() > MaxDecimals) {
                slip(ReadNote::DecimalsCut, name, who).text = value;
            }
        }
    }

    ReadNote &slip(ReadNote::Kind kind, const QString &attribute, const QString &owner)
    {
        ReadNote &slipNote = note(kind, QString());
        slipNote.element = open.last().name;
        slipNote.attribute = attribute;
        slipNote.owner = owner;
        return slipNote;
    }

    // Where the parser stopped and, where it can be told, why.
    void noteMalformed()
    {
        ReadNote &malformed = note(ReadNote::MalformedXml, xml.errorString());
        const std::optional<QString> encoding = declaredEncoding(bytes);
        const int bad = !encoding || encoding->compare(QLatin1String("utf-8"), Qt::CaseInsensitive) == 0
                            ? firstNonUtf8Byte(bytes)
                            : -1;
        if (bad >= 0) {
            const int lineStart = bytes.lastIndexOf('\n', bad) + 1;
            malformed.line = std::count(bytes.constData(), bytes.constData() + bad, '\n') + 1;
            malformed.badByte = uchar(bytes.at(bad));
            malformed.badByteColumn = bad - lineStart + 1;
            malformed.encoding = encoding.value_or(QString());
        } else if (!open.isEmpty()) {
            malformed.openElement = open.last().name;
            malformed.openedAt = open.last().line;
        }
    }

    bool isStart(const char *name) const { return xml.isStartElement() && xml.name() == QLatin1String(name); }

    // A note at the reader's line; one that nobody keeps when there is no list.
    ReadNote &note(ReadNote::Kind kind, const QString &text)
    {
        ReadNote readNote;
        readNote.kind = kind;
        readNote.line = xml.lineNumber();
        readNote.text = text;
        if (!notes) {
            ignored = readNote;
            return ignored;
        }
        notes->append(readNote);
        return notes->last();
    }

    DeviceDescription readDevice()
    {
        const QXmlStreamAttributes attributes = xml.attributes();
        DeviceDescription device;
        device.line = xml.lineNumber();
        device.identity = identityFrom(attributes);
        device.name = text(attributes, QLatin1String("name"));
        device.pageCount = unsignedInteger(attributes, QLatin1String("fwnp"));
        device.pageSize = unsignedInteger(attributes, QLatin1String("fwps"));
        readParameters(device.parameters);
        return device;
    }

    // Starts on the "ESC" start tag. The list ends at the first end tag met
    // here (normally the "ESC" end tag; each parameter consumes its own end
    // tag), at a nested "ESC", or where the document ends.
    void readParameters(QVector<ParameterDescription> &parameters)
    {
        listEnd = 0;
        forever
        {
            if (isStart("Parameter") && !readParameter(parameters)) {
                listEnd = -1;  // the bound's own note says the rest is left out
                return;
            }
            next();
            if (xml.isEndElement() && xml.name() != QLatin1String("ESC")) {
                listEnd = xml.lineNumber();
                listEndElement = QString("</%1>").arg(xml.name().toString());
            }
            if (xml.atEnd() || xml.isEndElement() || xml.name() == QLatin1String("ESC"))
                return;
        }
    }

    // False when no further parameter may be read.
    bool readParameter(QVector<ParameterDescription> &parameters)
    {
        ParameterDescription parameter = parameterFrom(xml.attributes());
        parameter.line = xml.lineNumber();
        if (parameter.kind == ParameterKind::None) {
            note(ReadNote::UnknownType, text(xml.attributes(), QLatin1String("type")));
            return true;
        }
        if (parameters.size() >= MaxParameters) {
            qDebug() << "Description has more than" << MaxParameters << "parameters, the rest are left out";
            note(ReadNote::TooManyParameters, parameter.name);
            return false;
        }
        // A list consumes up to its end tag; a range or check reads exactly
        // one token, the end tag of its empty element.
        if (parameter.kind == ParameterKind::List)
            parameter.entries = readListEntries(parameter.name, parameter.line);
        else
            next();
        if (!cellsHaveSlots(parameter)) {
            qDebug() << "Parameter" << parameter.name << "skipped: cell" << parameter.cell << "or hcell"
                     << parameter.hcell << "outside 0 to" << CellCount - 1;
            note(ReadNote::CellWithoutSlot, parameter.name).line = parameter.line;
            return true;
        }
        parameters.append(parameter);
        return true;
    }

    // Reads up to the list's end tag, or whatever next token is named
    // "Parameter", and leaves the reader on it.
    QStringList readListEntries(const QString &listName, qint64 listLine)
    {
        QStringList entries;
        bool overflowReported = false;
        forever
        {
            next();
            if (xml.atEnd() || xml.name() == QLatin1String("Parameter"))
                return entries;
            if (!isStart("Value"))
                continue;
            if (entries.size() < MaxListEntries) {
                entries.append(text(xml.attributes(), QLatin1String("string")));
            } else if (!overflowReported) {
                qDebug() << "List has more than" << MaxListEntries << "entries, the rest are left out";
                note(ReadNote::TooManyEntries, listName).line = listLine;
                overflowReported = true;
            }
        }
    }

    const QByteArray &bytes;
    QXmlStreamReader xml;
    QVector<ReadNote> *notes;
    bool authorNotes = false;
    QVector<OpenElement> open;
    ReadNote ignored;
    // Where the last parameter list ended early, on which end tag; 0 when it
    // ended at its "ESC" end tag, -1 when a bound ended it.
    qint64 listEnd = 0;
    QString listEndElement;
};

// Walks the bytes as the parser will see them: the markup of every encoding
// let through is in ASCII, and no multi-byte character hides an ASCII byte.
class ContentCheck
{
public:
    explicit ContentCheck(const QByteArray &content) : bytes(content) {}

    ContentRefusal run()
    {
        if (bytes.size() > MaxFileBytes)
            return refuse(ContentRefusal::TooLarge, int(MaxFileBytes));
        if (bytes.contains('\0'))
            return refuse(ContentRefusal::UnsupportedEncoding, bytes.indexOf('\0'));
        if (!encodingSupported())
            return refuse(ContentRefusal::UnsupportedEncoding, 0);
        int textStart = 0;
        for (int at = bytes.indexOf('<'); at >= 0; at = bytes.indexOf('<', at)) {
            if (at - textStart > MaxTextBytes)
                return refuse(ContentRefusal::TextTooLong, textStart);
            const int markupStart = at;
            const ContentRefusal refusal = markupAt(at);
            if (refusal != ContentRefusal::None)
                return refuse(refusal, markupStart);
            textStart = at;
        }
        return bytes.size() - textStart > MaxTextBytes ? refuse(ContentRefusal::TextTooLong, textStart)
                                                       : ContentRefusal::None;
    }

    // Where the refused markup or text starts.
    int where = 0;

private:
    ContentRefusal refuse(ContentRefusal refusal, int at)
    {
        where = at;
        return refusal;
    }

    // Moves `at` past the markup that starts there; an unterminated one
    // ends the check and is left for the parser to report.
    ContentRefusal markupAt(int &at)
    {
        if (startsWith(at, "<!--"))
            return skipPast(at, "-->", MaxTextBytes, ContentRefusal::TextTooLong);
        if (startsWith(at, "<![CDATA["))
            return skipPast(at, "]]>", MaxTextBytes, ContentRefusal::TextTooLong);
        if (startsWith(at, "<!"))
            return ContentRefusal::Declaration;
        if (startsWith(at, "<?"))
            return skipPast(at, "?>", MaxTagBytes, ContentRefusal::TagTooLong);
        return tagAt(at);
    }

    ContentRefusal skipPast(int &at, const char *end, int most, ContentRefusal tooLong)
    {
        const int found = bytes.indexOf(end, at);
        const int next = found < 0 ? bytes.size() : found + int(qstrlen(end));
        if (next - at > most)
            return tooLong;
        at = next;
        return ContentRefusal::None;
    }

    ContentRefusal tagAt(int &at)
    {
        const int start = at;
        const bool endTag = at + 1 < bytes.size() && bytes[at + 1] == '/';
        int attributes = 0;
        for (++at; at < bytes.size() && bytes[at] != '>'; ++at) {
            if (at - start > MaxTagBytes)
                return ContentRefusal::TagTooLong;
            const char c = bytes[at];
            if (c == '=' && ++attributes > MaxAttributes)
                return ContentRefusal::TooManyAttributes;
            if (c == '"' || c == '\'') {
                const int close = bytes.indexOf(c, at + 1);
                const int end = close < 0 ? bytes.size() : close;
                if (end - at - 1 > MaxAttributeValueBytes)
                    return ContentRefusal::AttributeTooLong;
                at = end;
            }
        }
        if (at - start > MaxTagBytes)
            return ContentRefusal::TagTooLong;
        if (at >= bytes.size()) {
            at = bytes.size();  // unterminated: left for the parser to report
            return ContentRefusal::None;
        }
        if (endTag)
            --depth;
        else if (bytes[at - 1] != '/' && ++depth > MaxDepth)
            return ContentRefusal::TooDeep;
        ++at;
        return ContentRefusal::None;
    }

    bool startsWith(int at, const char *prefix) const
    {
        // The data ends in a NUL byte, which no prefix matches.
        return qstrncmp(bytes.constData() + at, prefix, qstrlen(prefix)) == 0;
    }

    // UTF-8 and the single-byte encodings that extend ASCII.
    bool encodingSupported() const
    {
        static const QRegularExpression supported(
            QStringLiteral("^(utf-8|us-ascii|ascii|iso-8859-\\d{1,2}|latin-?\\d|windows-125\\d"
                           "|cp125\\d|koi8-[ru]|ibm866|cp866)$"),
            QRegularExpression::CaseInsensitiveOption);
        const std::optional<QString> encoding = declaredEncoding(bytes);
        return !encoding || supported.match(*encoding).hasMatch();
    }

    const QByteArray &bytes;
    int depth = 0;
};

}  // namespace

ContentRefusal checkContent(const QByteArray &content, int *where)
{
    ContentCheck check(content);
    const ContentRefusal refusal = check.run();
    if (where)
        *where = check.where;
    return refusal;
}

const char *refusalName(ContentRefusal refusal)
{
    switch (refusal) {
    case ContentRefusal::None: return "none";
    case ContentRefusal::TooLarge: return "file too large";
    case ContentRefusal::TagTooLong: return "tag too long";
    case ContentRefusal::TooManyAttributes: return "too many attributes";
    case ContentRefusal::AttributeTooLong: return "attribute value too long";
    case ContentRefusal::TextTooLong: return "text too long";
    case ContentRefusal::TooDeep: return "elements nested too deeply";
    case ContentRefusal::Declaration: return "document type or entity declaration";
    case ContentRefusal::UnsupportedEncoding: return "unsupported encoding";
    }
    return "";
}

QVector<DeviceDescription> read(const QByteArray &content, const std::optional<DescriptionIdentity> &wanted,
                                ContentRefusal *refusal, QVector<ReadNote> *notes)
{
    int where = 0;
    const ContentRefusal found = checkContent(content, &where);
    if (refusal)
        *refusal = found;
    if (found != ContentRefusal::None) {
        if (notes) {
            ReadNote refused;
            refused.line = content.left(where).count('\n') + 1;
            refused.refusal = found;
            notes->append(refused);
        }
        return {};
    }
    return Parser(content, notes).read(wanted);
}

}  // namespace descriptionreader
