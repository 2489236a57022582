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

    // A line read holds at least one character, so an empty one means the end
    // of the file or a read error.
    QByteArray line;
    do {
        line = file.readLine();
        ++reading.line;
    } while (!line.isEmpty() && line != "[Firmware]\n");

    const int recordDigits = lineRecordDigits(dialect);
    const int shortestLine = recordDigits + lineTrailerLength(dialect);
    QByteArray hexText;
    for (line = file.readLine(); !line.isEmpty(); line = file.readLine()) {
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
