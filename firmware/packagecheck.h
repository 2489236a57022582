#pragma once

#include "firmware/firmwareimage.h"
#include "firmware/packagecatalogue.h"
#include "link/dialect.h"

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

// A package read once from its bytes for whoever builds it: every reason the
// program would refuse it, with the line, and the image it holds.
struct PackageFault {
    enum Kind {
        HeadTooLarge,         // the part before "[Firmware]" is above MaxIniBytes
        NoDeviceGroup,        // no "Device" group with a key: not a firmware package
        NoDataPart,           // no line "[Firmware]": not a firmware package
        TooLarge,             // above MaxPackageBytes
        NotHexadecimal,       // a line record holds another character
        ShortLine,            // a data line shorter than its record and trailer
        StrayCarriageReturn,  // a CR that is not directly before its line's LF
        WrongLineSum,         // the trailer does not hold the record's sum, where line sums are used
        NoDataLines,          // the data part holds no data line
    };
    Kind kind;
    qint64 line;
};

struct PackageInspection {
    QVector<PackageFault> problems;  // in the order the program meets them
    bool headAccepted = false;
    PackageKeys keys;  // when the head was accepted
    // A package does not name its dialect: its data lines are read in the one
    // with the longest line record that its first data line is long enough for.
    Dialect dialect = Dialect::Kelpa;
    QByteArray image;
    qint64 dataPartLine = 0;  // of "[Firmware]"; 0 when there is none
};

PackageInspection inspectPackage(const QByteArray &bytes);

// Whether a package is meant for the device model of a description entry:
// its "ID" and "HW" are the entry's; the bootloader is only known on the device.
bool packageFitsModel(const PackageKeys &keys, int deviceId, int hwVersion);
