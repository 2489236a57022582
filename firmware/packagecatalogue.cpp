#include "firmware/packagecatalogue.h"

#include <QDir>
#include <QSettings>

namespace {

// A missing or non-numeric key reads as 0, and so does a number that does
// not fit in 32 bits.
quint32 identityKey(const QSettings &package, const QString &key)
{
    return package.value(key).toString().toUInt(nullptr, 10);
}

bool fitsDevice(const QSettings &package, quint8 deviceId, quint8 hwVersion, quint8 blVersion)
{
    return identityKey(package, "ID") == deviceId && identityKey(package, "HW") == hwVersion
           && identityKey(package, "BL") == blVersion;
}

}  // namespace

QVector<FirmwarePackage> buildCatalogue(const QString &folder, quint8 deviceId, quint8 hwVersion,
                                        quint8 blVersion)
{
    QVector<FirmwarePackage> catalogue;
    const QStringList files =
        QDir(folder).entryList({"*.upd"}, QDir::Files, QDir::Name | QDir::Reversed);
    for (const QString &file : files) {
        const QString path = folder + "/" + file;
        QSettings package(path, QSettings::IniFormat);
        package.setIniCodec("Windows-1251");
        package.beginGroup("Device");
        if (fitsDevice(package, deviceId, hwVersion, blVersion)) {
            catalogue.append({path, package.value("FW").toString(),
                              package.value("Header").toString(),
                              package.value("Description").toString()});
        }
        package.endGroup();
    }
    return catalogue;
}
