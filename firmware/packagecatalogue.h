#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

// One package of the firmwares folder that fits the connected device.
struct FirmwarePackage {
    QString path;
    QString version;
    QString header;
    QString description;
};

// The group "Device" of one package: what it fits and what the user is told.
struct PackageKeys {
    quint32 deviceId = 0;  // a missing or non-numeric key reads as 0
    quint32 hwVersion = 0;
    quint32 blVersion = 0;
    QString version;
    QString header;
    QString description;

    bool fits(quint8 deviceId, quint8 hwVersion, quint8 blVersion) const;
};

PackageKeys readPackageKeys(const QString &path);

// The "*.upd" files of `folder` whose "ID", "HW" and "BL" keys equal the
// device's identity, newest file name first (descending, case-sensitive).
QVector<FirmwarePackage> buildCatalogue(const QString &folder, quint8 deviceId, quint8 hwVersion,
                                        quint8 blVersion);
