#include "firmware/firmwareimage.h"

#include "link/hexdigit.h"
#include "link/regularfile.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <optional>

int lineRecordDigits(Dialect dialect)
{
    switch (dialect) {
    case Dialect::Kelpa: return 16;
    case Dialect::Ulma: return 32;
    case Dialect::Vorn: break;
    }
    return 128;
}

int lineTrailerLength(Dialect dialect)
{
    return dialect == Dialect::Ulma ? 5 : 4;
}

namespace {

bool isHexDigit(char c)
{
    return hexValue(c) >= 0;
}

// The 16-bit sum of the bytes that a record's digits stand for.
quint16 recordSum(const char *record, const char *end)
{
    quint16 sum = 0;
    for (const char *digit = record; digit + 1 < end; digit += 2)
        sum = quint16(sum + hexValue(digit[0]) * 16 + hexValue(digit[1]));
    return sum;
}

// The four hexadecimal digits a trailer begins with, if it does.
std::optional<quint16> trailerSum(const QByteArray &trailer)
{
    if (trailer.size() < 4 || !std::all_of(trailer.begin(), trailer.begin() + 4, isHexDigit))
        return std::nullopt;
    quint16 value = 0;
    for (int at = 0; at < 4; ++at)
        value = quint16(value * 16 + hexValue(trailer.at(at)));
    return value;
}

// A line of the package, its line end (LF, or CR LF) not included. Lines
// are walked in place: a package may be tens of MiB.
struct LineView {
    const char *begin;
    const char *end;
    bool hasLineEnd;

    int size() const { return int(end - begin); }
    bool equals(const char *text) const { return qstrlen(text) == uint(size()) && std::equal(begin, end, text); }
};

class LineWalker
{
public:
    LineWalker(const QByteArray &text, qint64 from) : at(text.constData() + from), stop(text.constData() + text.size())
    {
    }

    bool next(LineView &line)
    {
        if (at >= stop)
            return false;
        const char *lineFeed = static_cast<const char *>(std::memchr(at, '\n', size_t(stop - at)));
        line.begin = at;
        line.hasLineEnd = lineFeed != nullptr;
        line.end = lineFeed ? lineFeed : stop;
        if (line.hasLineEnd && line.end > line.begin && line.end[-1] == '\r')
            --line.end;
        at = lineFeed ? lineFeed + 1 : stop;
        return true;
    }

    qint64 offset(const QByteArray &text) const { return at - text.constData(); }

private:
    const char *at;
    const char *stop;
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

bool looksLikeHeading(const LineView &line)
{
    const char *begin = line.begin;
    const char *end = line.end;
    while (begin < end && isBlank(*begin))
        ++begin;
    while (end > begin && isBlank(end[-1]))
        --end;
    return end - begin == 10 && qstrnicmp(begin, "[Firmware]", 10) == 0;
}

}  // namespace

// The exact heading only, on purpose: docs/compatibility.md
DataPart findDataPart(const QByteArray &package)
{
    DataPart part;
    LineWalker lines(package, 0);
    LineView line;
    for (qint64 number = 1; lines.next(line); ++number) {
        // The heading counts only with its line end, and a CR only right before it.
        if (line.hasLineEnd && line.equals("[Firmware]")) {
            part.offset = lines.offset(package);
            part.line = number;
            return part;
        }
        if (part.nearMissLine == 0 && looksLikeHeading(line)) {
            part.nearMissLine = number;
            part.nearMissText = QByteArray(line.begin, line.size());
        }
    }
    return part;
}

ImageReading readFirmwareImage(const QByteArray &text, Dialect dialect)
{
    if (text.size() > MaxPackageBytes) {
        ImageReading reading;
        reading.problem = ImageProblem::TooLarge;
        return reading;
    }
    return readFirmwareImage(text, findDataPart(text), dialect);
}

ImageReading readFirmwareImage(const QByteArray &text, const DataPart &part, Dialect dialect)
{
    ImageReading reading;
    if (text.size() > MaxPackageBytes) {
        reading.problem = ImageProblem::TooLarge;
        return reading;
    }
    reading.dataPartLine = part.line;
    if (part.offset < 0)
        return reading;

    const int recordDigits = lineRecordDigits(dialect);
    const int shortestLine = recordDigits + lineTrailerLength(dialect);
    const auto refuse = [&reading](ImageProblem problem) {
        reading.problem = problem;
        reading.image = QByteArray();
        return reading;
    };
    // Every data line takes at least shortestLine bytes of the file.
    reading.image.reserve(int((text.size() - part.offset) / shortestLine + 1) * (recordDigits / 2));
    std::optional<bool> sumsUsed;  // decided by the first data line
    reading.line = part.line;
    LineWalker lines(text, part.offset);
    LineView line;
    while (lines.next(line)) {
        ++reading.line;
        // A CR belongs to the line end only right before the LF; any other
        // one was never meant to be there, and dropping it would shift digits.
        if (std::memchr(line.begin, '\r', size_t(line.size())))
            return refuse(ImageProblem::StrayCarriageReturn);
        if (line.size() == 0)
            continue;
        if (line.size() + (line.hasLineEnd ? 1 : 0) < shortestLine)
            return refuse(ImageProblem::ShortLine);
        const char *record = line.begin;
        const char *recordEnd = record + std::min(recordDigits, line.size());
        if (!std::all_of(record, recordEnd, isHexDigit))
            return refuse(ImageProblem::NotHexadecimal);
        const QByteArray trailer = QByteArray::fromRawData(recordEnd, int(line.end - recordEnd));
        const bool carriesSum = trailerSum(trailer) == recordSum(record, recordEnd);
        if (!sumsUsed)
            sumsUsed = carriesSum;
        else if (*sumsUsed && !carriesSum)
            return refuse(ImageProblem::WrongLineSum);
        for (const char *digit = record; digit + 1 < recordEnd; digit += 2)
            reading.image.append(char(hexValue(digit[0]) * 16 + hexValue(digit[1])));
    }
    reading.line = 0;
    reading.lineSums = sumsUsed.value_or(false);
    return reading;
}

ImageReading readFirmwareImage(QIODevice &file, Dialect dialect)
{
    // Text mode would drop every CR, also one in the middle of a record.
    file.setTextModeEnabled(false);
    if (file.size() > MaxPackageBytes) {
        ImageReading reading;
        reading.problem = ImageProblem::TooLarge;
        return reading;
    }
    return readFirmwareImage(readBounded(file, MaxPackageBytes), dialect);
}

bool imageFits(qsizetype imageLength, quint32 pageSize, quint8 pageCount)
{
    if (pageSize == 0 || pageSize > MaxBlockSize || pageCount == 0 || imageLength < 0)
        return false;
    return quint64(imageLength) / pageSize == pageCount;
}
