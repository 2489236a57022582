#include "description/descriptionreader.h"

#include "description/valuecodec.h"
#include "link/cells.h"

#include <QDebug>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>

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
    return hasCellSlot(parameter.cell)
           && (!parameter.usesHighCell() || hasCellSlot(parameter.hcell));
}

// Walks the tokens of one document. Where the parameter list and a list's
// entries end follows the window's long-standing reading, token by token.
class Parser
{
public:
    Parser(const QByteArray &content, QVector<ReadNote> *notes) : xml(content), notes(notes) {}

    QVector<DeviceDescription> read(const std::optional<DescriptionIdentity> &wanted)
    {
        QVector<DeviceDescription> devices;
        xml.readNext();
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
            xml.readNext();
        }
        if (xml.hasError())
            note(ReadNote::MalformedXml, xml.errorString());
        return devices;
    }

private:
    bool isStart(const char *name) const
    {
        return xml.isStartElement() && xml.name() == QLatin1String(name);
    }

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
        forever {
            if (isStart("Parameter") && !readParameter(parameters)) {
                listEnd = -1;  // the bound's own note says the rest is left out
                return;
            }
            xml.readNext();
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
            qDebug() << "Description has more than" << MaxParameters
                     << "parameters, the rest are left out";
            note(ReadNote::TooManyParameters, parameter.name);
            return false;
        }
        // A list consumes up to its end tag; a range or check reads exactly
        // one token, the end tag of its empty element.
        if (parameter.kind == ParameterKind::List)
            parameter.entries = readListEntries(parameter.name, parameter.line);
        else
            xml.readNext();
        if (!cellsHaveSlots(parameter)) {
            qDebug() << "Parameter" << parameter.name << "skipped: cell" << parameter.cell
                     << "or hcell" << parameter.hcell << "outside 0 to" << CellCount - 1;
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
        forever {
            xml.readNext();
            if (xml.atEnd() || xml.name() == QLatin1String("Parameter"))
                return entries;
            if (!isStart("Value"))
                continue;
            if (entries.size() < MaxListEntries) {
                entries.append(text(xml.attributes(), QLatin1String("string")));
            } else if (!overflowReported) {
                qDebug() << "List has more than" << MaxListEntries
                         << "entries, the rest are left out";
                note(ReadNote::TooManyEntries, listName).line = listLine;
                overflowReported = true;
            }
        }
    }

    QXmlStreamReader xml;
    QVector<ReadNote> *notes;
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
        static const QRegularExpression declaration(
            QStringLiteral("^(?:\\xEF\\xBB\\xBF)?\\s*<\\?xml[^>]*?encoding\\s*=\\s*[\"']([^\"']*)[\"']"));
        static const QRegularExpression supported(
            QStringLiteral("^(utf-8|us-ascii|ascii|iso-8859-\\d{1,2}|latin-?\\d|windows-125\\d"
                           "|cp125\\d|koi8-[ru]|ibm866|cp866)$"),
            QRegularExpression::CaseInsensitiveOption);
        const QString head = QString::fromLatin1(bytes.left(MaxTagBytes));
        const QRegularExpressionMatch match = declaration.match(head);
        return !match.hasMatch() || supported.match(match.captured(1)).hasMatch();
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

QVector<DeviceDescription> read(const QByteArray &content,
                                const std::optional<DescriptionIdentity> &wanted,
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
