#include "firmware/firmwareimage.h"

#include <QIODevice>

#include <algorithm>

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
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

ImageReading readFirmwareImage(QIODevice &file, Dialect dialect)
{
    ImageReading reading;
    if (file.size() > MaxPackageBytes) {
        reading.problem = ImageProblem::TooLarge;
        return reading;
    }
    file.setTextModeEnabled(true);
    // One read of the whole (bounded) file: reading line by line costs a
    // buffer per line, which a file of millions of empty lines turns into
    // minutes of allocation.
    const QByteArray text = file.readAll();
    int at = 0;
    // The next line with its line end; empty at the end of the text.
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
    } while (!line.isEmpty() && line != "[Firmware]\n");
    if (!line.isEmpty())
        reading.dataPartLine = reading.line;

    const int recordDigits = lineRecordDigits(dialect);
    const int shortestLine = recordDigits + lineTrailerLength(dialect);
    QByteArray hexText;
    for (line = nextLine(); !line.isEmpty(); line = nextLine()) {
        ++reading.line;
        if (line == "\n")
            continue;
        if (line.size() < shortestLine) {
            reading.problem = ImageProblem::ShortLine;
            return reading;
        }
        const QByteArray record = line.left(recordDigits);
        if (!std::all_of(record.begin(), record.end(), isHexDigit)) {
            reading.problem = ImageProblem::NotHexadecimal;
            return reading;
        }
        hexText += record;
    }
    reading.line = 0;
    reading.image = QByteArray::fromHex(hexText);
    return reading;
}

bool imageFits(qsizetype imageLength, quint32 pageSize, quint8 pageCount)
{
    if (pageSize == 0 || pageSize > MaxBlockSize || pageCount == 0 || imageLength < 0)
        return false;
    return quint64(imageLength) / pageSize == pageCount;
}
