#include "firmware/firmwareimage.h"

#include <QIODevice>

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

QByteArray readFirmwareImage(QIODevice &file, Dialect dialect)
{
    if (file.size() > MaxPackageBytes)
        return {};
    file.setTextModeEnabled(true);

    // A line read holds at least one character, so an empty one means the end
    // of the file or a read error.
    QByteArray line;
    do {
        line = file.readLine();
    } while (!line.isEmpty() && line != "[Firmware]\n");

    const int recordDigits = lineRecordDigits(dialect);
    const int shortestLine = recordDigits + lineTrailerLength(dialect);
    QByteArray hexText;
    for (line = file.readLine(); !line.isEmpty(); line = file.readLine()) {
        // A line too short for record and trailer is cut off (typically the
        // empty last line); taking its few digits would only misalign the image.
        if (line.size() >= shortestLine)
            hexText += line.left(recordDigits);
    }
    return QByteArray::fromHex(hexText);
}

bool imageFits(qsizetype imageLength, quint32 pageSize, quint8 pageCount)
{
    if (pageSize == 0 || pageSize > MaxBlockSize || imageLength < 0)
        return false;
    return quint64(imageLength) / pageSize == pageCount;
}
