#pragma once

#include "firmware/firmwareimage.h"
#include "firmware/packagecatalogue.h"
#include "link/dialect.h"

#include <QByteArray>
#include <QString>

#include <optional>

// A package is read from its file once. What is checked, what the user
// confirms and what is sent are those same bytes: a file replaced in the
// meantime changes nothing.

enum class PackageProblem {
    None,
    CannotRead,  // the file does not open or read (see PackageFile::error)
    TooLarge,  // above MaxPackageBytes
    UnusableHead,  // the part before the data part is unreadable or too large
    OtherDevice,  // its "ID", "HW" or "BL" name another device
    Damaged,  // a data line is damaged (see CheckedPackage::damage)
    WrongGeometry,  // the image is not the device's number of whole blocks
};

struct PackageFile {
    QByteArray bytes;
    PackageProblem problem = PackageProblem::None;  // None, CannotRead or TooLarge
    QString error;  // the system's words after CannotRead

    bool ok() const { return problem == PackageProblem::None; }
};

// The whole file, read with a bound whatever size it reports.
PackageFile readPackageFile(const QString &path);

// The device a package must fit: its identity and its block geometry.
struct PackageTarget {
    quint8 deviceId = 0;
    quint8 hwVersion = 0;
    quint8 blVersion = 0;
    quint32 pageSize = 0;
    quint8 pageCount = 0;
};

// Where a package's data part is damaged.
struct PackageDamage {
    ImageProblem problem = ImageProblem::None;
    qint64 line = 0;  // line of the file, from 1
};

struct CheckedPackage {
    PackageProblem problem = PackageProblem::None;
    PackageKeys keys;  // read unless the head is unusable
    QByteArray image;  // decoded unless damaged; the image to send once usable
    PackageDamage damage;

    bool usable() const { return problem == PackageProblem::None; }
};

// Everything that is known before the device is asked: the keys fit the
// target's identity, the data part is sound in `dialect` and its image holds
// the target's blocks. Checked in that order; the first failure is reported.
CheckedPackage checkPackage(const QByteArray &package, Dialect dialect, const PackageTarget &target);

// A package's "FW" text when it is a version: "major.minor" or
// "major.minor.build", decimal.
struct FirmwareVersion {
    uint major = 0;
    uint minor = 0;
    std::optional<uint> build;

    // Whether a device reporting these numbers runs this version; the build
    // counts only when the text gives one.
    bool matches(quint8 fwMajor, quint8 fwMinor, quint8 fwBuild) const;
};

std::optional<FirmwareVersion> parseFirmwareVersion(const QString &text);
