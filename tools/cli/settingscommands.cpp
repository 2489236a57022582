// The commands on settings files: save, load, diff, and the backups that
// firmware updates leave: backups and restore.
#include "backuprestore.h"
#include "commands.h"
#include "deviceconnection.h"
#include "interruption.h"
#include "parameterwriter.h"
#include "report.h"

#include "description/datafolders.h"
#include "settings/loadplan.h"
#include "settings/settingsbackup.h"
#include "settings/settingsfile.h"

#include <QTextStream>

#include <algorithm>

namespace commands {

namespace {

QString identityText(const SettingsIdentity &device)
{
    return QString("%1 (identifier %2, hardware %3, firmware %4)")
        .arg(device.name)
        .arg(device.identity.deviceId)
        .arg(device.identity.hwVersion)
        .arg(device.firmwareText());
}

// Whether the file was made for this device; then the device's values.
std::optional<Failure> readFor(DeviceConnection &connection, const QString &path, const SettingsFile &file,
                               bool anyFirmware)
{
    if (std::optional<Failure> failure = settingsFit(connection.settingsIdentity(), path, file, anyFirmware))
        return failure;
    return connection.readValues();
}

QJsonObject valueJson(quint32 raw, const QString &shown)
{
    return {{"raw", qint64(raw)}, {"shown", shown}};
}

// One parameter in diff's words.
struct Difference {
    enum Kind { Equal, Differs, NotInFile, NotOnDevice };
    Kind kind;
    QString name;
    int deviceIndex;  // -1 for NotOnDevice
    int savedIndex;  // -1 for NotInFile
};

}  // namespace

std::optional<Failure> settingsFit(const SettingsIdentity &device, const QString &path, const SettingsFile &file,
                                   bool anyFirmware)
{
    const settingsfile::Fit fit = settingsfile::fitOf(file.device, device);
    if (fit == settingsfile::Fit::OtherDevice)
        return Failure{
            ExitStatus::NoDescription,
            QString("%1 was made for %2, not for this %3.").arg(path, identityText(file.device), identityText(device))};
    if (fit == settingsfile::Fit::OtherFirmware && !anyFirmware)
        return Failure{ExitStatus::NoDescription,
                       QString("%1 was made under firmware %2, the device runs %3; --force loads it anyway.")
                           .arg(path, file.device.firmwareText(), device.firmwareText())};
    return std::nullopt;
}

ExitStatus save(DeviceConnection &connection, Report &report, const QString &path)
{
    if (std::optional<Failure> failure = connection.readValues())
        return report.fail(*failure);
    const SettingsFile file = SettingsFile::of(connection.settingsIdentity(), connection.values());
    for (const ParameterValue &value : connection.values())
        if (value.outside != valuetext::Refusal::None)
            report.warn(QString("\"%1\" holds %2, which its description does not allow; the file keeps it, "
                                "and load does not write it back.")
                            .arg(value.name, value.shown));
    QString error;
    if (path == "-" || path == "/dev/stdout") {
        QTextStream &out = report.claimOutput();
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        out.setCodec("UTF-8");
#else
        out.setEncoding(QStringConverter::Utf8);
#endif
        out << QString::fromUtf8(settingsfile::toJson(file));
        out.flush();
    } else if (!settingsfile::write(path, file, &error))
        return report.fail({ExitStatus::BadUsage, QString("%1 cannot be written: %2.").arg(path, error)});
    report.field("file", path, "Saved");
    // Keys are only ever added: docs/compatibility.md
    // "parameters" is a list in every command; the count has a key of its own.
    report.field("saved", file.parameters.size(), "Parameters");
    report.list("parameters", settingsfile::parametersJson(file.parameters));
    return ExitStatus::Done;
}

std::optional<Failure> readSettings(const QString &path, SettingsFile *file)
{
    settingsfile::Parsed parsed;
    if (path == "-") {
        parsed = settingsfile::fromText(interruption::readInput(settingsfile::MostFileBytes + 1));
        if (interruption::stopRequested())
            return interruption::stoppedWhile(QStringLiteral("reading standard input"));
    } else {
        parsed = settingsfile::read(path);
    }
    if (!parsed.ok())
        return Failure{ExitStatus::BadUsage, QString("%1 is not a usable settings file: %2.").arg(path, parsed.error)};
    *file = parsed.file;
    return std::nullopt;
}

ExitStatus load(DeviceConnection &connection, Report &report, const QString &path, const SettingsFile &file,
                bool dryRun, bool force)
{
    if (std::optional<Failure> failure = readFor(connection, path, file, force))
        return report.fail(*failure);
    const QVector<ParameterValue> values = connection.values();
    const DeviceDescription &description = connection.description();
    const LoadPlan plan = planLoad(description, values, file.parameters);
    if (!plan.ok())
        return report.fail(
            {ExitStatus::BadUsage, QString("%1 cannot be loaded: %2; nothing was written.").arg(path, plan.refusal)});
    int changed = 0, equal = 0, disabled = 0, refused = 0, failed = 0;
    WriteFailures failures;
    for (const LoadStep &step : plan.steps) {
        if (step.action == LoadStep::NotInFile) {
            report.parameter("not in file", step.name, step.name);
            continue;
        }
        const ParameterValue &current = values.at(step.deviceIndex);
        const ParameterValue &loaded = plan.after.at(step.deviceIndex);
        const SavedParameter &saved = file.parameters.at(step.savedIndex);
        QJsonObject details{{"device", valueJson(current.raw, current.shown)},
                            {"file", valueJson(saved.raw, loaded.shown)}};
        if (step.action == LoadStep::Equal) {
            ++equal;
            report.parameter("equal", current.name, QString("%1: %2").arg(current.name, current.shown));
            continue;
        }
        if (step.action == LoadStep::Disabled) {
            ++disabled;
            const ParameterValue &source = plan.after.at(loaded.disabledBy);
            details.insert("disabledBy", source.name);
            report.parameter("disabled", current.name,
                             QString("%1: %2 kept, %3 not written: \"%4\" is %5")
                                 .arg(current.name, current.shown, loaded.shown, source.name, source.shown),
                             details);
            continue;
        }
        if (step.action == LoadStep::Outside) {
            ++refused;
            const QString reason = QString("raw %1 is %2.")
                                       .arg(saved.raw)
                                       .arg(outsideText(description.parameters.at(step.deviceIndex), step.refusal));
            details.insert("reason", reason);
            report.parameter(
                "refused", current.name,
                QString("%1: %2 kept, the file's value not written: %3").arg(current.name, current.shown, reason),
                details);
            continue;
        }
        if (!dryRun) {
            if (std::optional<Failure> failure =
                    writeParameter(connection, description.parameters.at(step.deviceIndex), saved.raw)) {
                ++failed;
                report.parameter("failed", current.name, failure->sentence, details);
                if (!failures.goOnAfter(*failure))
                    break;
                continue;
            }
        }
        ++changed;
        report.parameter(dryRun ? "would change" : "changed", current.name,
                         QString("%1: %2 -> %3").arg(current.name, current.shown, loaded.shown), details);
    }
    report.field("changed", changed, dryRun ? "Would change" : "Changed");
    report.field("equal", equal, "Equal");
    report.field("disabled", disabled, "Disabled");
    report.field("notRestored", refused, "Not restored");
    report.field("failed", failed, "Failed");
    if (refused > 0)
        report.warn(QString("%1 setting%2 not restored from %3: the description does not allow the file's value.")
                        .arg(refused)
                        .arg(refused == 1 ? " was" : "s were")
                        .arg(path));
    return failures.end(report, refused);
}

ExitStatus diff(DeviceConnection &connection, Report &report, const QString &path, const SettingsFile &file, bool all)
{
    if (std::optional<Failure> failure = readFor(connection, path, file, true))
        return report.fail(*failure);
    const QVector<ParameterValue> values = connection.values();
    const DeviceDescription &description = connection.description();
    // Judged as a load would take the file, or under another firmware as a
    // restore after an update would: by name and shown value.
    QVector<Difference> found;
    if (settingsfile::fitOf(file.device, connection.settingsIdentity()) == settingsfile::Fit::SameDevice) {
        const LoadPlan plan = planLoad(description, values, file.parameters);
        if (!plan.ok())
            return report.fail({ExitStatus::BadUsage, QString("%1 would not be loaded: %2.").arg(path, plan.refusal)});
        for (const LoadStep &step : plan.steps)
            found << Difference{step.action == LoadStep::Equal       ? Difference::Equal
                                : step.action == LoadStep::NotInFile ? Difference::NotInFile
                                                                     : Difference::Differs,
                                step.name, step.deviceIndex, step.savedIndex};
    } else {
        for (const RestoreStep &step : planRestore(description, values, file.parameters).steps)
            found << Difference{step.action == RestoreStep::Equal      ? Difference::Equal
                                : step.action == RestoreStep::NotSaved ? Difference::NotInFile
                                : step.action == RestoreStep::Dropped  ? Difference::NotOnDevice
                                                                       : Difference::Differs,
                                step.name, step.deviceIndex, step.savedIndex};
    }
    int differences = 0;
    for (const Difference &difference : found) {
        switch (difference.kind) {
        case Difference::Equal: {
            const ParameterValue &current = values.at(difference.deviceIndex);
            if (all)
                report.parameter("equal", current.name, QString("%1: %2").arg(current.name, current.shown));
            continue;
        }
        case Difference::Differs: {
            const ParameterValue &current = values.at(difference.deviceIndex);
            const SavedParameter &saved = file.parameters.at(difference.savedIndex);
            report.parameter(
                "differs", current.name,
                QString("%1: device %2, file %3").arg(current.name, current.shown, saved.shown),
                {{"device", valueJson(current.raw, current.shown)}, {"file", valueJson(saved.raw, saved.shown)}});
            break;
        }
        case Difference::NotInFile: report.parameter("not in file", difference.name, difference.name); break;
        case Difference::NotOnDevice: report.parameter("not on device", difference.name, difference.name); break;
        }
        ++differences;
    }
    report.field("differences", differences, "Differences");
    return differences > 0 ? ExitStatus::Differences : ExitStatus::Done;
}

ExitStatus backups(Report &report)
{
    report.list("backups");
    QVector<settingsbackup::Backup> usable;
    for (const settingsbackup::Backup &backup : settingsbackup::list()) {
        if (backup.error.isEmpty())
            usable << backup;
        else
            report.warn(QString("%1 is not a usable settings file: %2.").arg(backup.path, backup.error));
    }
    if (usable.isEmpty()) {
        report.note(QString("No settings backups in %1.").arg(datafolders::backupFolder()));
        return ExitStatus::Done;
    }
    const QString controller = QStringLiteral("Controller");
    const QString firmware = QStringLiteral("Firmware");
    int controllerWidth = controller.size(), firmwareWidth = firmware.size();
    for (const settingsbackup::Backup &backup : usable) {
        controllerWidth = std::max(controllerWidth, int(backup.file.device.name.size()));
        firmwareWidth = std::max(firmwareWidth, int(backup.file.device.firmwareText().size()));
    }
    const auto line = [&](const QString &name, const QString &version, const QString &time, const QString &file) {
        return QString("%1  %2  %3  %4")
            .arg(name, -controllerWidth)
            .arg(version, -firmwareWidth)
            .arg(time, -19)
            .arg(file);
    };
    report.note(line(controller, firmware, QStringLiteral("Time"), QStringLiteral("File")));
    for (const settingsbackup::Backup &backup : usable) {
        const SettingsIdentity &device = backup.file.device;
        report.entry(
            "backups",
            {{"controller", device.name},
             {"id", device.identity.deviceId},
             {"hardware", device.identity.hwVersion},
             {"firmware", device.firmwareText()},
             {"time", backup.time.toString(Qt::ISODate)},
             {"file", backup.path}},
            line(device.name, device.firmwareText(), backup.time.toString("yyyy-MM-dd HH:mm:ss"), backup.path));
    }
    return ExitStatus::Done;
}

ExitStatus restore(DeviceConnection &connection, Report &report, const QString &path, const SettingsFile &file,
                   bool dryRun)
{
    if (std::optional<Failure> failure = readFor(connection, path, file, true))
        return report.fail(*failure);
    report.field("backup", path, "Backup");
    return restoreValues(connection, report, {path, file}, dryRun);
}

ExitStatus restoreNewest(DeviceConnection &connection, Report &report, bool dryRun)
{
    const QVector<settingsbackup::Backup> found = settingsbackup::list();
    const SettingsIdentity device = connection.settingsIdentity();
    const settingsbackup::Backup *newest = settingsbackup::newestOf(found, device);
    if (!newest)
        return report.fail(
            {ExitStatus::NoDescription, QString("No settings backup of this %1 is in %2; nothing was written.")
                                            .arg(identityText(device), datafolders::backupFolder())});
    return restore(connection, report, newest->path, newest->file, dryRun);
}

}  // namespace commands
