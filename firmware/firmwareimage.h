#pragma once

#include "link/dialect.h"

#include <QByteArray>
#include <QtGlobal>

class QIODevice;

// Hexadecimal digits at the start of every data line of a package written
// for `dialect`.
int lineRecordDigits(Dialect dialect);

// Characters that must follow a line record, the line end counted as one.
int lineTrailerLength(Dialect dialect);

// Packages above this size are not read: the largest usable image (255
// blocks of MaxBlockSize) in Kelpa's short lines takes about 44 MB.
constexpr qint64 MaxPackageBytes = 64 * 1024 * 1024;

// The largest block size accepted; a larger "fwps" is taken for a broken
// description rather than a device.
constexpr quint32 MaxBlockSize = 65536;

// Why a data part cannot be trusted. A damaged line is never skipped or
// guessed at: every later byte would land in the wrong place on the device.
enum class ImageProblem {
    None,
    TooLarge,  // the package is above MaxPackageBytes
    NotHexadecimal,  // a line record holds another character
    ShortLine,  // a data line shorter than its record and trailer
    StrayCarriageReturn,  // a CR that is not directly before its line's LF
    WrongLineSum,  // the trailer does not hold the record's sum, where line sums are used
};

struct ImageReading {
    QByteArray image;
    ImageProblem problem = ImageProblem::None;
    qint64 line = 0;  // line of the file (from 1) that holds the problem
    qint64 dataPartLine = 0;  // of the line "[Firmware]"; 0 when the package has none
    bool lineSums = false;  // the trailers carry the sums of their records

    bool damaged() const { return problem != ImageProblem::None; }
};

// Where a package's data part begins.
struct DataPart {
    qint64 offset = -1;  // of the first byte after the line "[Firmware]"; -1: no such line
    qint64 line = 0;  // of "[Firmware]"
    // Without one: the first line that reads "[Firmware]" once blanks are
    // dropped and case is ignored, which an author meant as the heading.
    qint64 nearMissLine = 0;
    QByteArray nearMissText;  // without its line end
};
DataPart findDataPart(const QByteArray &package);

// The firmware image of a package: the line records after the line
// "[Firmware]", joined and decoded from hexadecimal. The bytes are read as
// they are: a CR counts only as the first half of a CR LF line end. Empty
// lines are skipped; any other line that is short, holds a non-hexadecimal
// record or a stray CR refuses the whole package.
//
// Line sums: when the trailer of the first data line begins with four
// hexadecimal digits equal to the 16-bit sum of its record's bytes, every
// data line must carry its own sum there; otherwise trailers are not read.
ImageReading readFirmwareImage(const QByteArray &package, Dialect dialect);
// The same, from a data part found before.
ImageReading readFirmwareImage(const QByteArray &package, const DataPart &part, Dialect dialect);
// The same, reading `file` from where it stands, at most MaxPackageBytes.
ImageReading readFirmwareImage(QIODevice &file, Dialect dialect);

// Whether an image of `imageLength` bytes has exactly `pageCount` whole blocks
// of `pageSize` bytes. A block size of 0 or above MaxBlockSize never fits, nor
// does an image of no blocks: there would be nothing to install.
bool imageFits(qsizetype imageLength, quint32 pageSize, quint8 pageCount);
