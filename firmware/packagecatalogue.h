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

// The "*.upd" files of `folder` whose "ID", "HW" and "BL" keys equal the
// device's identity, newest file name first (descending, case-sensitive).
QVector<FirmwarePackage> buildCatalogue(const QString &folder, quint8 deviceId, quint8 hwVersion,
                                        quint8 blVersion);
