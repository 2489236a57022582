#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

#include <optional>

// One package of the firmwares folder that fits the connected device.
struct FirmwarePackage {
    QString path;
    QString version;
    QString header;
    QString description;
};

// The keys of a package's "Device" group. A missing or non-numeric number
// reads as 0, and so does one that does not fit in 32 bits.
struct PackageKeys {
    quint32 deviceId = 0;
    quint32 hwVersion = 0;
    quint32 blVersion = 0;
    QString version;
    QString header;
    QString description;
    bool hasDeviceGroup = false;  // the "Device" group holds at least one key

    bool fits(quint8 id, quint8 hw, quint8 bl) const { return deviceId == id && hwVersion == hw && blVersion == bl; }
};

// Reads the part of a package before its data part, with the care due to a
// file the program did not write: its "Device" keys as texts only. Empty,
// with a debug line, for a package that cannot be read or has too long an
// INI part.
std::optional<PackageKeys> readPackageKeys(const QString &path);
// The same from the bytes of a whole package, read before.
std::optional<PackageKeys> readPackageKeys(const QByteArray &package);
// The keys in the accepted INI text of a package's head.
PackageKeys packageKeysOf(const QByteArray &iniText);

// The "*.upd" files of `folder` whose "ID", "HW" and "BL" keys equal the
// device's identity, newest file name first (descending, case-sensitive).
QVector<FirmwarePackage> buildCatalogue(const QString &folder, quint8 deviceId, quint8 hwVersion, quint8 blVersion);
