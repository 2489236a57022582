#include "commands.h"
#include "deviceconnection.h"
#include "interruption.h"
#include "progressdisplay.h"
#include "report.h"

#include "firmware/firmwareimage.h"
#include "firmware/packagecatalogue.h"

#include <QFile>
#include <QTextStream>

namespace commands {

namespace {

const QString Warning = QStringLiteral(
    "Do not disconnect the device during the installation of the update! This may damage the device.");

// What is wrong with a package whose image cannot be read.
QString damageText(const PackageDamage &damage)
{
    switch (damage.problem) {
    case ImageProblem::NotHexadecimal:
        return QString("line %1 holds a character that is not a hexadecimal digit").arg(damage.line);
    case ImageProblem::ShortLine: return QString("line %1 is too short").arg(damage.line);
    case ImageProblem::TooLarge:
    case ImageProblem::None: break;
    }
    return QStringLiteral("it is too large to be read");
}

Failure damagedPackage(const QString &path, const PackageDamage &damage)
{
    return {ExitStatus::BadUsage, QString("%1 is damaged: %2; nothing was sent.").arg(path, damageText(damage))};
}

// The firmware page's checks: the package fits the device, and its image
// has the device's block count. Nothing is sent before they pass.
std::optional<Failure> checkPackage(DeviceConnection &connection, const QString &path, PackageKeys *keys)
{
    QFile package(path);
    if (!package.open(QIODevice::ReadOnly))
        return Failure{ExitStatus::BadUsage, QString("%1 cannot be read: %2.").arg(path, package.errorString())};
    const std::optional<PackageKeys> read = readPackageKeys(path);
    if (!read)
        return Failure{ExitStatus::BadUsage,
                       QString("%1 is not a usable firmware package: its head is unreadable, too large or "
                               "holds serialised values; nothing was sent.")
                           .arg(path)};
    *keys = *read;
    const DeviceIdentity &device = connection.identity();
    if (!keys->fits(device.deviceId, device.hwVersion, device.blVersion))
        return Failure{ExitStatus::NoDescription,
                       QString("%1 is for identifier %2, hardware %3, bootloader %4; the device has %5, %6, %7.")
                           .arg(path)
                           .arg(keys->deviceId)
                           .arg(keys->hwVersion)
                           .arg(keys->blVersion)
                           .arg(device.deviceId)
                           .arg(device.hwVersion)
                           .arg(device.blVersion)};
    const ImageReading reading = readFirmwareImage(package, dialectOf(connection.dialect()));
    if (reading.damaged())
        return damagedPackage(path, {reading.problem, reading.line});
    const QByteArray &image = reading.image;
    const DeviceImage &geometry = connection.image();
    if (!imageFits(image.size(), geometry.fwPageSize, geometry.fwPageCount))
        return Failure{ExitStatus::BadUsage,
                       QString("%1 is damaged or not for the %2 dialect: its image of %3 bytes is not %4 "
                               "blocks of %5 bytes; nothing was sent.")
                           .arg(path, dialectName(connection.dialect()))
                           .arg(image.size())
                           .arg(geometry.fwPageCount.load())
                           .arg(geometry.fwPageSize.load())};
    return std::nullopt;
}

bool confirmed(Report &report, const Terminal &terminal, const PackageKeys &keys, const DeviceConnection &connection)
{
    report.errors() << Warning << '\n'
                    << QString("Flash firmware %1 onto %2 (now firmware %3)? [y/N] ")
                           .arg(keys.version, connection.description().name,
                                connection.settingsIdentity().firmwareText());
    report.errors().flush();
    const QString answer = terminal.readAnswer ? terminal.readAnswer().trimmed() : QString();
    return answer.compare("y", Qt::CaseInsensitive) == 0 || answer.compare("yes", Qt::CaseInsensitive) == 0;
}

Failure uploadFailure(UploadOutcome outcome, const QString &path, const PackageDamage &damage, int done,
                      int total)
{
    switch (outcome) {
    case UploadOutcome::Damaged: return damagedPackage(path, damage);
    case UploadOutcome::CannotOpen:
    case UploadOutcome::Refused:
        return {ExitStatus::BadUsage, QString("%1 could not be used; nothing was sent.").arg(path)};
    case UploadOutcome::Stopped:
        return {ExitStatus::Interrupted,
                QString("Upload stopped between blocks after %1 of %2; the controller holds partly written "
                        "firmware.")
                    .arg(done)
                    .arg(total)};
    case UploadOutcome::PortClosed:
        return {ExitStatus::NoPort,
                QString("The port closed after %1 of %2 blocks; the controller holds partly written firmware.")
                    .arg(done)
                    .arg(total)};
    case UploadOutcome::BlockFailed:
    case UploadOutcome::Done: break;
    }
    return {ExitStatus::DeviceFailed, QString("Block %1 of %2 was not acknowledged; the controller may hold "
                                              "partly written firmware.")
                                          .arg(done + 1)
                                          .arg(total)};
}

}  // namespace

ExitStatus flash(DeviceConnection &connection, Report &report, const Terminal &terminal, const QString &path,
                 bool yes)
{
    PackageKeys keys;
    if (std::optional<Failure> failure = checkPackage(connection, path, &keys))
        return report.fail(*failure);
    if (!yes && !confirmed(report, terminal, keys, connection)) {
        report.warn(QStringLiteral("Nothing was flashed."));
        return ExitStatus::Done;
    }
    const DeviceImage &geometry = connection.image();
    const int passes = dialectOf(connection.dialect()) == Dialect::Kelpa ? 2 : 1;
    UploadProgress progress(report.errors(), terminal.errorsOnTerminal, passes * geometry.fwPageCount,
                            report.isQuiet());
    interruption::setUploading(true);
    PackageDamage damage;
    const UploadOutcome outcome = connection.session().uploadPackage(
        path, geometry.fwPageSize, geometry.fwPageCount, [&progress](uint) { progress.blockDone(); }, {},
        &damage);
    interruption::setUploading(false);
    progress.end();
    if (outcome != UploadOutcome::Done)
        return report.fail(uploadFailure(outcome, path, damage, progress.done(), passes * geometry.fwPageCount));
    report.field("package", path, "Flashed");
    if (std::optional<Failure> failure = connection.identifyAgain())
        return report.fail(*failure);
    report.field("firmware", connection.settingsIdentity().firmwareText(), "Firmware version now");
    return ExitStatus::Done;
}

}  // namespace commands
