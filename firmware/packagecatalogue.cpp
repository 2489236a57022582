#include "firmware/packagecatalogue.h"

#include <QDir>
#include <QSettings>

namespace {

// A number that does not fit in 32 bits reads as 0 as well.
quint32 identityKey(const QSettings &package, const QString &key)
{
    return package.value(key).toString().toUInt(nullptr, 10);
}

}  // namespace

bool PackageKeys::fits(quint8 device, quint8 hardware, quint8 bootloader) const
{
    return deviceId == device && hwVersion == hardware && blVersion == bootloader;
}

PackageKeys readPackageKeys(const QString &path)
{
    QSettings package(path, QSettings::IniFormat);
    package.setIniCodec("Windows-1251");
    package.beginGroup("Device");
    return {identityKey(package, "ID"),          identityKey(package, "HW"),
            identityKey(package, "BL"),          package.value("FW").toString(),
            package.value("Header").toString(), package.value("Description").toString()};
}

QVector<FirmwarePackage> buildCatalogue(const QString &folder, quint8 deviceId, quint8 hwVersion,
                                        quint8 blVersion)
{
    QVector<FirmwarePackage> catalogue;
    const QStringList files =
        QDir(folder).entryList({"*.upd"}, QDir::Files, QDir::Name | QDir::Reversed);
    for (const QString &file : files) {
        const QString path = folder + "/" + file;
        const PackageKeys keys = readPackageKeys(path);
        if (keys.fits(deviceId, hwVersion, blVersion))
            catalogue.append({path, keys.version, keys.header, keys.description});
    }
    return catalogue;
}
