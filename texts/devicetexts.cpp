#include "texts/devicetexts.h"

#include "device/devicesession.h"
#include "firmware/firmwarepackage.h"

#include <QCoreApplication>

namespace devicetexts {

namespace {

// The window's texts pass through the translation function; kova-cli
// installs no translation either, so both print the text as written.
QString tr(const char *text)
{
    return QCoreApplication::translate("devicetexts", text);
}

}  // namespace

QString firmware(const DeviceIdentity &identity)
{
    return QStringLiteral("%1.%2.%3").arg(identity.fwMajor).arg(identity.fwMinor).arg(identity.fwBuild);
}

QString identity(const DeviceIdentity &identity)
{
    return tr("identifier %1, hardware %2, bootloader %3, firmware %4")
        .arg(identity.deviceId)
        .arg(identity.hwVersion)
        .arg(identity.blVersion)
        .arg(firmware(identity));
}

QString packageDamage(const PackageDamage &damage)
{
    switch (damage.problem) {
    case ImageProblem::NotHexadecimal:
        return tr("line %1 holds a character that is not a hexadecimal digit").arg(damage.line);
    case ImageProblem::ShortLine: return tr("line %1 is too short").arg(damage.line);
    case ImageProblem::StrayCarriageReturn:
        return tr("line %1 holds a carriage return that does not end it").arg(damage.line);
    case ImageProblem::WrongLineSum: return tr("line %1 does not carry the sum of its digits").arg(damage.line);
    case ImageProblem::TooLarge:
    case ImageProblem::None: break;
    }
    return tr("it is too large to be read");
}

}  // namespace devicetexts
