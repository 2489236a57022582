#include "app/uploadfailuretext.h"

#include "device/uploadfailure.h"
#include "texts/devicetexts.h"

#include <QCoreApplication>

namespace uploadfailuretext {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("uploadfailuretext", text);
}

// Why a package is not sent, before anything reaches the device.
QString refusal(const UploadFailure &failure)
{
    const QString &name = failure.package;
    switch (failure.problem) {
    case PackageProblem::CannotRead:
    case PackageProblem::UnusableHead:
        return tr("The firmware package %1 cannot be used: its part before the data is "
                  "unreadable or too large. Nothing was sent.")
            .arg(name);
    case PackageProblem::TooLarge:
        return tr("The firmware package %1 is too large to be read. Nothing was sent.").arg(name);
    case PackageProblem::OtherDevice:
        return tr("The firmware package %1 is not meant for the connected device. Nothing was sent.").arg(name);
    case PackageProblem::Damaged:
        return tr("The firmware package %1 is damaged: %2. Nothing was sent.")
            .arg(name, devicetexts::packageDamage(failure.damage));
    case PackageProblem::WrongGeometry:
    case PackageProblem::None: break;
    }
    return tr("The firmware package %1 cannot be installed: its image of %2 bytes is not %3 "
              "blocks of %4 bytes. Nothing was sent.")
        .arg(name)
        .arg(failure.imageSize)
        .arg(failure.target.pageCount)
        .arg(failure.target.pageSize);
}

}  // namespace

QString message(const UploadFailure &failure)
{
    switch (failure.reason) {
    case UploadFailure::PackageRefused: return refusal(failure);
    case UploadFailure::DeviceChanged:
        return tr("The connected device now reports %1, not %2 as when the update was confirmed. "
                  "Nothing was sent.")
            .arg(devicetexts::identity(failure.found), devicetexts::identity(failure.confirmed));
    case UploadFailure::DeviceSilent:
        return tr("The device did not tell its identity again before the first block. "
                  "Nothing was sent.");
    case UploadFailure::BlockFailed:
        return tr("The device did not acknowledge a firmware block. "
                  "Keep it connected and run the update again.");
    case UploadFailure::PortClosed:
        return tr("The serial port closed during the update. "
                  "Reconnect the cable and run the update again.");
    case UploadFailure::VersionDiffers: break;
    }
    return tr("The device reports firmware %1 after the update, not %2 of the package. "
              "Keep it connected and run the update again.")
        .arg(devicetexts::firmware(failure.found), failure.packageVersion);
}

QString status(const UploadFailure &failure)
{
    if (failure.reason == UploadFailure::VersionDiffers)
        return tr(" Firmware %1 after the update, not %2")
            .arg(devicetexts::firmware(failure.found), failure.packageVersion);
    return tr(" Firmware update failed");
}

}  // namespace uploadfailuretext
