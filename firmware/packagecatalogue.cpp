#include "firmware/packagecatalogue.h"

#include "link/untrustedini.h"

#include <QBuffer>
#include <QDebug>
#include <QDir>

namespace {

quint32 identityKey(const QMap<QString, QString> &group, const QString &key)
{
    return group.value(key).toUInt(nullptr, 10);
}

const char *refusalWord(IniRefusal refusal)
{
    switch (refusal) {
    case IniRefusal::CannotRead: return "unreadable";
    case IniRefusal::TooLarge: return "INI part too large";
    case IniRefusal::None: break;
    }
    return "";
}

}  // namespace

std::optional<PackageKeys> readPackageKeys(const QString &path)
{
    const UntrustedIni ini = readUntrustedIni(path, "[Firmware]");
    if (ini.refusal != IniRefusal::None) {
        qDebug().noquote() << "Firmware package skipped:" << path << "-" << refusalWord(ini.refusal);
        return std::nullopt;
    }
    return packageKeysOf(ini.text);
}

std::optional<PackageKeys> readPackageKeys(const QByteArray &package)
{
    QBuffer buffer;
    buffer.setData(package);
    buffer.open(QIODevice::ReadOnly);
    const UntrustedIni ini = readUntrustedIni(buffer, "[Firmware]");
    if (ini.refusal != IniRefusal::None)
        return std::nullopt;
    return packageKeysOf(ini.text);
}

// Windows-1251, as every package written so far: docs/compatibility.md
PackageKeys packageKeysOf(const QByteArray &iniText)
{
    const QMap<QString, QString> group = iniGroup(iniText, "Device", IniEncoding::Windows1251);
    return PackageKeys{identityKey(group, "ID"), identityKey(group, "HW"), identityKey(group, "BL"),
                       group.value("FW"),        group.value("Header"),    group.value("Description"),
                       !group.isEmpty()};
}

QVector<FirmwarePackage> buildCatalogue(const QString &folder, quint8 deviceId, quint8 hwVersion, quint8 blVersion)
{
    QVector<FirmwarePackage> catalogue;
    const QStringList files = QDir(folder).entryList({"*.upd"}, QDir::Files, QDir::Name | QDir::Reversed);
    for (const QString &file : files) {
        const QString path = folder + "/" + file;
        const std::optional<PackageKeys> keys = readPackageKeys(path);
        if (keys && keys->fits(deviceId, hwVersion, blVersion))
            catalogue.append({path, keys->version, keys->header, keys->description});
    }
    return catalogue;
}
