#include "firmware/firmwareimage.h"

#include <QIODevice>

#include <algorithm>
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

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isHexDigit(char c)
{
    return hexValue(c) >= 0;
}

// The 16-bit sum of the bytes that a record's digits stand for.
quint16 recordSum(const QByteArray &record)
{
    quint16 sum = 0;
    for (int at = 0; at + 1 < record.size(); at += 2)
        sum = quint16(sum + hexValue(record.at(at)) * 16 + hexValue(record.at(at + 1)));
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

}  // namespace

ImageReading readFirmwareImage(const QByteArray &text, Dialect dialect)
{
    ImageReading reading;
    if (text.size() > MaxPackageBytes) {
        reading.problem = ImageProblem::TooLarge;
        return reading;
    }
    int at = 0;
    // The next line with its LF; empty at the end of the text.
    const auto nextLine = [&text, &at] {
        const int end = text.indexOf('\n', at);
        const int next = end < 0 ? text.size() : end + 1;
        const QByteArray line = text.mid(at, next - at);
        at = next;
        return line;
    };

    QByteArray line;
    do {
        line = nextLine();
        ++reading.line;
    } while (!line.isEmpty() && line != "[Firmware]\n" && line != "[Firmware]\r\n");
    if (!line.isEmpty())
        reading.dataPartLine = reading.line;

    const int recordDigits = lineRecordDigits(dialect);
    const int shortestLine = recordDigits + lineTrailerLength(dialect);
    const auto refuse = [&reading](ImageProblem problem) {
        reading.problem = problem;
        reading.image.clear();
        return reading;
    };
    std::optional<bool> sumsUsed;  // decided by the first data line
    QByteArray hexText;
    for (line = nextLine(); !line.isEmpty(); line = nextLine()) {
        ++reading.line;
        // A CR belongs to the line end only right before the LF; any other
        // one was never meant to be there, and dropping it would shift digits.
        const bool hasLineEnd = line.endsWith('\n');
        QByteArray content = line;
        if (hasLineEnd)
            content.chop(content.endsWith("\r\n") ? 2 : 1);
        if (content.contains('\r'))
            return refuse(ImageProblem::StrayCarriageReturn);
        if (content.isEmpty())
            continue;
        if (content.size() + (hasLineEnd ? 1 : 0) < shortestLine)
            return refuse(ImageProblem::ShortLine);
        const QByteArray record = content.left(recordDigits);
        if (!std::all_of(record.begin(), record.end(), isHexDigit))
            return refuse(ImageProblem::NotHexadecimal);
        const bool carriesSum = trailerSum(content.mid(recordDigits)) == recordSum(record);
        if (!sumsUsed)
            sumsUsed = carriesSum;
        else if (*sumsUsed && !carriesSum)
            return refuse(ImageProblem::WrongLineSum);
        hexText += record;
    }
    reading.line = 0;
    reading.lineSums = sumsUsed.value_or(false);
    reading.image = QByteArray::fromHex(hexText);
    return reading;
}

QByteArray readBounded(QIODevice &file, qint64 limit)
{
    constexpr qint64 Chunk = 1024 * 1024;
    QByteArray bytes;
    while (bytes.size() <= limit) {
        const QByteArray more = file.read(std::min(Chunk, limit + 1 - bytes.size()));
        if (more.isEmpty())
            break;
        bytes += more;
    }
    return bytes;
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
