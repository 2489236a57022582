#include "backuprestore.h"
#include "commands.h"
#include "deviceconnection.h"
#include "interruption.h"
#include "progressdisplay.h"
#include "report.h"

#include "firmware/firmwarepackage.h"
#include "firmware/packagecheck.h"
#include "texts/devicetexts.h"

#include <QTextStream>

namespace commands {

namespace {

// The firmware page's checks on the bytes read once: the package fits the
// device, its data part is sound and its image has the device's block
// count. Nothing is sent before they pass, and only these bytes are sent.
std::optional<Failure> checkPackageFile(DeviceConnection &connection, const QString &path, const QByteArray &package,
                                        CheckedPackage *checked)
{
    const DeviceIdentity &device = connection.identity();
    const DeviceImage &geometry = connection.image();
    const PackageTarget target{device.deviceId, device.hwVersion, device.blVersion, geometry.fwPageSize,
                               geometry.fwPageCount};
    *checked = checkPackage(package, dialectOf(connection.dialect()), target);
    const PackageKeys &keys = checked->keys;
    switch (checked->problem) {
    case PackageProblem::None: return std::nullopt;
    case PackageProblem::CannotRead:
    case PackageProblem::UnusableHead:
        return Failure{ExitStatus::BadUsage,
                       QString("%1 is not a usable firmware package: its head is unreadable or too large; "
                               "nothing was sent.")
                           .arg(path)};
    case PackageProblem::TooLarge:
        return Failure{ExitStatus::BadUsage,
                       QString("%1 is too large to be a firmware package; nothing was sent.").arg(path)};
    case PackageProblem::OtherDevice:
        return Failure{ExitStatus::NoDescription,
                       QString("%1 is for identifier %2, hardware %3, bootloader %4; the device has %5, %6, %7.")
                           .arg(path)
                           .arg(keys.deviceId)
                           .arg(keys.hwVersion)
                           .arg(keys.blVersion)
                           .arg(device.deviceId)
                           .arg(device.hwVersion)
                           .arg(device.blVersion)};
    case PackageProblem::Damaged:
        return Failure{
            ExitStatus::BadUsage,
            QString("%1 is damaged: %2; nothing was sent.").arg(path, devicetexts::packageDamage(checked->damage))};
    case PackageProblem::WrongGeometry: break;
    }
    return Failure{ExitStatus::BadUsage,
                   QString("%1 is damaged or not for the %2 dialect: its image of %3 bytes is not %4 "
                           "blocks of %5 bytes; nothing was sent.")
                       .arg(path, dialectName(connection.dialect()))
                       .arg(checked->image.size())
                       .arg(target.pageCount)
                       .arg(target.pageSize)};
}

QString question(const PackageKeys &keys, const DeviceConnection &connection)
{
    return QString("Flash firmware %1 onto %2 (now firmware %3)?")
        .arg(keys.version, connection.description().name, connection.settingsIdentity().firmwareText());
}

Failure stoppedBeforeUpload()
{
    return {interruption::stopStatus(),
            QString("Stopped by %1 before the upload; nothing was sent.").arg(interruption::stopName())};
}

Failure uploadFailure(UploadOutcome outcome, const DeviceIdentity &expected, const DeviceIdentity &found, int done,
                      int total)
{
    switch (outcome) {
    case UploadOutcome::DeviceChanged:
        return {ExitStatus::NoDescription,
                QString("The device now reports %1, not %2 that the package was checked against; nothing "
                        "was sent.")
                    .arg(devicetexts::identity(found), devicetexts::identity(expected))};
    case UploadOutcome::DeviceSilent:
        return {ExitStatus::NoDevice,
                QStringLiteral("The device did not tell its identity again before the first block; nothing "
                               "was sent.")};
    case UploadOutcome::Refused:
        return {ExitStatus::BadUsage, QStringLiteral("The image does not fit the device; nothing was sent.")};
    case UploadOutcome::Stopped:
        return {interruption::stopStatus(),
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

// The window's warning, word for word: docs/compatibility.md
const QString UpdateWarning =
    QStringLiteral("Do not disconnect the device during the installation of the update! This may damage the device.");

Answer ask(Report &report, const Terminal &terminal, const QString &question)
{
    report.errors() << question << " [y/N] ";
    report.errors().flush();
    const QString answer = terminal.readAnswer ? terminal.readAnswer().trimmed() : QString();
    if (interruption::stopRequested())
        return Answer::Stopped;
    return answer.compare("y", Qt::CaseInsensitive) == 0 || answer.compare("yes", Qt::CaseInsensitive) == 0
               ? Answer::Yes
               : Answer::No;
}

std::optional<Failure> checkPackageFits(DeviceConnection &connection, const QString &path, const QByteArray &package)
{
    CheckedPackage checked;
    return checkPackageFile(connection, path, package, &checked);
}

void tellFlashed(Report &report, bool flashed)
{
    if (report.json())
        report.field("flashed", flashed, QString());
}

std::optional<Failure> readPackage(const QString &path, QByteArray *package)
{
    const PackageFile file = readPackageFile(path);
    if (file.problem == PackageProblem::CannotRead)
        return Failure{ExitStatus::BadUsage, QString("%1 cannot be read: %2.").arg(path, file.error)};
    if (file.problem == PackageProblem::TooLarge)
        return Failure{ExitStatus::BadUsage, QString("%1 is too large to be a firmware package.").arg(path)};
    // Only what makes a file a package at all: the rest depends on the device.
    const PackageInspection inspection = inspectPackageHead(file.bytes);
    for (const PackageFault &fault : inspection.problems)
        if (fault.kind == PackageFault::HeadTooLarge || fault.kind == PackageFault::NoDeviceGroup
            || fault.kind == PackageFault::NoDataPart)
            return Failure{ExitStatus::BadUsage,
                           QString("%1:%2: %3.").arg(path).arg(fault.line).arg(packageFaultText(fault, inspection))};
    *package = file.bytes;
    return std::nullopt;
}

ExitStatus flash(DeviceConnection &connection, Report &report, const Terminal &terminal, const QString &path,
                 const QByteArray &package, bool yes, bool keepSettings)
{
    CheckedPackage checked;
    if (std::optional<Failure> failure = checkPackageFile(connection, path, package, &checked))
        return report.fail(*failure);
    if (!parseFirmwareVersion(checked.keys.version))
        report.warn(QString("%1 gives no version in FW (\"%2\"): the firmware version after the upload cannot be "
                            "checked.")
                        .arg(path, checked.keys.version));
    if (!yes)
        report.errors() << UpdateWarning << '\n';
    switch (yes ? Answer::Yes : ask(report, terminal, question(checked.keys, connection))) {
    case Answer::Yes: break;
    case Answer::No: report.warn(QStringLiteral("Nothing was flashed.")); return ExitStatus::Declined;
    case Answer::Stopped: return report.fail(stoppedBeforeUpload());
    }
    if (interruption::stopRequested())
        return report.fail(stoppedBeforeUpload());
    SettingsBackup backup;
    if (std::optional<Failure> failure = backUpSettings(connection, &backup))
        return report.fail(*failure);
    report.field("backup", backup.path, "Settings saved to");
    if (interruption::stopRequested())
        return report.fail(stoppedBeforeUpload());

    const DeviceImage &geometry = connection.image();
    const int passes = dialectOf(connection.dialect()) == Dialect::Kelpa ? 2 : 1;
    const int total = passes * geometry.fwPageCount;
    UploadProgress progress(report.errors(), terminal.errorsOnTerminal, total, report.isQuiet());
    const DeviceIdentity expected = connection.identity();
    DeviceIdentity found;
    interruption::setUploading(true);
    const UploadOutcome outcome = connection.session().uploadImage(
        checked.image, geometry.fwPageSize, geometry.fwPageCount, expected, [&progress](uint) { progress.blockDone(); },
        {}, &found);
    interruption::setUploading(false);
    progress.end();

    if (outcome != UploadOutcome::Done) {
        const Failure failure = uploadFailure(outcome, expected, found, progress.done(), total);
        if (!interruption::signalHeld())
            return report.fail(failure);
        report.warn(failure.sentence);
    } else {
        // Only sent so far: the version after it says whether it took.
        report.field("package", path, "Sent");
    }
    if (interruption::signalHeld())
        return report.fail({interruption::stopStatus(),
                            QString("Stopped by %1, which came during the upload and waited for its end; the "
                                    "firmware version was not checked.")
                                .arg(interruption::stopName())});

    if (std::optional<Failure> failure = connection.identifyAgain())
        return report.fail(*failure);
    const QString now = connection.settingsIdentity().firmwareText();
    report.field("firmware", now, "Firmware version now");
    const DeviceIdentity &device = connection.identity();
    const std::optional<FirmwareVersion> version = parseFirmwareVersion(checked.keys.version);
    if (version && !version->matches(device.fwMajor, device.fwMinor, device.fwBuild))
        return report.fail({ExitStatus::DeviceFailed,
                            QString("The device reports firmware %1 after the upload, not %2 of the package.")
                                .arg(now, checked.keys.version)});
    tellFlashed(report, true);
    report.note(QString("Flashed: %1").arg(path));
    if (keepSettings)
        return restoreSettings(connection, report, backup);
    report.note(QString("Restore the settings from before the update with: kova-cli load --force %1").arg(backup.path));
    return ExitStatus::Done;
}

}  // namespace commands
