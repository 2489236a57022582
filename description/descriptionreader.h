#pragma once

#include "description/devicedescription.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>

// Parses the XML of a description file into device descriptions. Unknown
// elements, malformed XML and numbers that do not read are tolerated as the
// window always did: the parameters read up to the trouble are kept.
namespace descriptionreader {

// Bounds against hostile files; a real device has at most 255 cells, and a
// list entry per value of two bytes would be absurd.
constexpr int MaxParameters = 512;  // two for every cell
constexpr int MaxListEntries = 1000;
// A double holds no more digits than these; a range shows no more decimals.
constexpr uint MaxDecimals = 15;
// A range's min, max and step are bounded to this magnitude.
constexpr double MaxShownNumber = 1e15;

// Bounds on the bytes, checked before parsing: the XML parser's work grows
// with the square of a tag's attributes, and widgets with long texts are slow
// to build. Real descriptions stay far below them (a few KiB, tags of under
// 300 bytes with at most 15 attributes).
constexpr qint64 MaxFileBytes = 1024 * 1024;
constexpr int MaxTagBytes = 4096;  // a start or end tag, attributes included
constexpr int MaxAttributes = 32;  // per element
constexpr int MaxAttributeValueBytes = 256;
constexpr int MaxTextBytes = 64 * 1024;  // one run of text, comment or CDATA
constexpr int MaxDepth = 64;  // elements open at once

enum class ContentRefusal {
    None,
    TooLarge,
    TagTooLong,
    TooManyAttributes,
    AttributeTooLong,
    TextTooLong,
    TooDeep,
    Declaration,  // a document type or entity declaration
    UnsupportedEncoding,  // one in which the bytes above do not tell the markup
};

// Where the XML parser gave up on a document; line 0: it did not.
struct SyntaxError {
    qint64 line = 0;
    QString message;
};

// One linear pass over the bytes; `where`, when given, receives the offset
// of the refused markup.
ContentRefusal checkContent(const QByteArray &content, int *where = nullptr);
const char *refusalName(ContentRefusal refusal);

// What the reader refused, passed over or left out, with the line of the
// file where it happened: the window only logs these, an author needs them.
struct ReadNote {
    enum Kind {
        Refused,  // `refusal`: nothing of the file is read
        MalformedXml,  // `text` is the parser's error; nothing after it is read
        UnknownType,  // a parameter of the type `text` builds nothing
        CellWithoutSlot,  // the parameter `text` names a cell outside the cell image
        TooManyParameters,  // the parameter `text` and those after it are left out
        TooManyEntries,  // the list `text` keeps only MaxListEntries entries
        OutsideList,  // the parameter `text` lies after the end of its device's list,
        // which ended at `listEnd` on the element `element`
        // What an author most likely did not mean, noted only when every
        // device entry is read. `element` is the one the note is about and
        // `owner` the "name" of its parameter or device entry.
        MissingAttribute,  // `attribute` is absent (or an empty text): it reads as 0 or empty
        NotAWholeNumber,  // `attribute` is `text`, which reads as 0
        NotANumber,  // `attribute` is `text`, which reads as 0
        UnknownAttribute,  // `attribute` means nothing to the reader
        UnusedAttribute,  // `attribute` means nothing to a parameter of the type `text`
        UnknownElement,  // `element` inside a device entry means nothing to the reader
        MisplacedValue,  // a "Value" that is no entry of a list parameter
        ScaleZero,  // "scale" 0, taken as 1
        DecimalsCut,  // "decimals" `text`, shown as MaxDecimals
    };
    Kind kind = Refused;
    qint64 line = 0;
    ContentRefusal refusal = ContentRefusal::None;
    QString text;
    qint64 listEnd = 0;
    QString element;
    QString attribute;
    QString owner;
    // MalformedXml: the first byte the file's encoding has no character for,
    // when that is where the parser stopped (`line` is then the byte's)...
    int badByte = -1;
    qint64 badByteColumn = 0;  // from 1, counted in bytes
    QString encoding;  // as declared; empty: none, so UTF-8
    // ... or the innermost element that was still open there.
    QString openElement;
    qint64 openedAt = 0;
};

// Every "ESC" element in document order or, with `wanted`, only the first
// one whose identity matches it. Content beyond the bounds above is not
// parsed: nothing is returned and `refusal` says why. `notes`, when given,
// receives what was refused or left out.
QVector<DeviceDescription> read(const QByteArray &content,
                                const std::optional<DescriptionIdentity> &wanted = std::nullopt,
                                ContentRefusal *refusal = nullptr, QVector<ReadNote> *notes = nullptr);

}  // namespace descriptionreader
