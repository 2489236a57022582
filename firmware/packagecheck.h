#pragma once

#include "firmware/firmwareimage.h"
#include "firmware/packagecatalogue.h"
#include "link/dialect.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

// A package read once from its bytes for whoever builds it: every reason the
// program would refuse it, with the line, and the image it holds.
struct PackageFault {
    enum Kind {
        HeadTooLarge,  // the part before "[Firmware]" is above MaxIniBytes
        NoDeviceGroup,  // no "Device" group with a key: not a firmware package
        NoDataPart,  // no line "[Firmware]": not a firmware package
        TooLarge,  // above MaxPackageBytes
        NotHexadecimal,  // a line record holds another character
        ShortLine,  // a data line shorter than its record and trailer
        StrayCarriageReturn,  // a CR that is not directly before its line's LF
        WrongLineSum,  // the trailer does not hold the record's sum, where line sums are used
        NoDataLines,  // the data part holds no data line
        // Keys of the "Device" group an author most likely did not mean so:
        MissingKey,  // `key` is not given and reads as 0
        KeyNotANumber,  // `key` is `text`, which reads as 0
        RepeatedKey,  // `key` is given again; the one at `line` counts, not the one at `otherLine`
        MissingVersion,  // no "FW": no version is listed, none is checked after the upload
        NotAVersion,  // "FW" `text` is no version that can be checked after the upload
    };
    PackageFault(Kind kind, qint64 line, const QString &key = QString(), const QString &text = QString(),
                 qint64 otherLine = 0)
        : kind(kind), line(line), key(key), text(text), otherLine(otherLine)
    {
    }

    Kind kind;
    qint64 line;
    QString key;
    QString text;
    qint64 otherLine;
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
    qint64 hardwareLine = 0;  // of the "HW" key that counts; 0 when there is none
    // Without a data part, the line meant as its heading (see DataPart).
    qint64 nearMissLine = 0;
    QByteArray nearMissText;
};

PackageInspection inspectPackage(const QByteArray &bytes);
// Only what makes the bytes a package at all: its head and where its data
// part begins; the data lines are not read, and `image` stays empty.
PackageInspection inspectPackageHead(const QByteArray &bytes);

// Whether a package is meant for the device model of a description entry:
// its "ID" and "HW" are the entry's; the bootloader is only known on the device.
bool packageFitsModel(const PackageKeys &keys, int deviceId, int hwVersion);
