#include "backuprestore.h"

#include "deviceconnection.h"
#include "parametervalues.h"
#include "parameterwriter.h"
#include "report.h"

#include "description/valuetext.h"
#include "settings/loadplan.h"
#include "settings/settingsbackup.h"

namespace {

Failure keptIn(const Failure &failure, const QString &path)
{
    return {failure.status, QString("%1 The settings from before the update are in %2.").arg(failure.sentence, path)};
}

QString refusalText(const ParameterDescription &parameter, const RestoreStep &step, const QString &saved)
{
    if (step.rounded)
        return QString("this firmware's description would show it as %1.").arg(valuetext::toText(parameter, step.raw));
    return valueRefusalText(parameter, saved, step.refusal);
}

}  // namespace

std::optional<Failure> backUpSettings(DeviceConnection &connection, SettingsBackup *backup)
{
    if (std::optional<Failure> failure = connection.readValues())
        return Failure{failure->status, failure->sentence + " No settings backup was made and nothing was sent."};
    backup->file = SettingsFile::of(connection.settingsIdentity(), connection.values());
    const settingsbackup::Written written = settingsbackup::write(backup->file);
    backup->path = written.path;
    switch (written.problem) {
    case settingsbackup::Written::None: return std::nullopt;
    case settingsbackup::Written::NoFolder:
        return Failure{ExitStatus::BadUsage,
                       QString("The backup folder %1 cannot be made; nothing was sent.").arg(written.path)};
    case settingsbackup::Written::NotWritten: break;
    }
    return Failure{
        ExitStatus::BadUsage,
        QString("The settings backup %1 cannot be written: %2; nothing was sent.").arg(written.path, written.error)};
}

ExitStatus restoreSettings(DeviceConnection &connection, Report &report, const SettingsBackup &backup)
{
    report.list("parameters");
    for (auto step : {&DeviceConnection::findDescriptionAgain, &DeviceConnection::readValues})
        if (std::optional<Failure> failure = (connection.*step)())
            return report.fail(keptIn(*failure, backup.path));
    return restoreValues(connection, report, backup, false);
}

ExitStatus restoreValues(DeviceConnection &connection, Report &report, const SettingsBackup &backup, bool dryRun)
{
    const DeviceDescription &description = connection.description();
    const QVector<ParameterValue> values = connection.values();
    const QVector<SavedParameter> &saved = backup.file.parameters;
    const RestorePlan plan = planRestore(description, values, saved);
    // A backup of this very firmware lacks only what its read did not reach.
    const bool sameFirmware =
        settingsfile::fitOf(backup.file.device, connection.settingsIdentity()) == settingsfile::Fit::SameDevice;
    int restored = 0, equal = 0, disabled = 0, notRestored = 0;
    WriteFailures failures;
    for (const RestoreStep &step : plan.steps) {
        const QString savedShown = step.savedIndex >= 0 ? saved.at(step.savedIndex).shown : QString();
        if (step.action == RestoreStep::Dropped) {
            ++notRestored;
            report.parameter("dropped", step.name,
                             QString("%1: %2 not restored: this firmware's description has no such parameter.")
                                 .arg(step.name, savedShown),
                             {{"saved", savedShown}});
            continue;
        }
        const ParameterValue &current = values.at(step.deviceIndex);
        const ParameterDescription &parameter = description.parameters.at(step.deviceIndex);
        QJsonObject details{{"device", current.shown}, {"saved", savedShown}};
        switch (step.action) {
        case RestoreStep::NotSaved:
            report.parameter("not saved", step.name,
                             QString(sameFirmware ? "%1: %2, not in the backup." : "%1: %2, new in this firmware.")
                                 .arg(step.name, current.shown),
                             {{"device", current.shown}});
            continue;
        case RestoreStep::Refused:
        case RestoreStep::Outside: {
            ++notRestored;
            const QString reason = step.action == RestoreStep::Outside
                                       ? QStringLiteral("the device held a value that its description did not allow.")
                                       : refusalText(parameter, step, savedShown);
            details.insert("reason", reason);
            report.parameter("refused", step.name,
                             QString("%1: %2 not restored: %3").arg(step.name, savedShown, reason), details);
            continue;
        }
        case RestoreStep::Equal:
            ++equal;
            report.parameter("equal", step.name, QString("%1: %2").arg(step.name, current.shown), details);
            continue;
        case RestoreStep::Disabled: {
            ++disabled;
            const ParameterValue &source = plan.after.at(plan.after.at(step.deviceIndex).disabledBy);
            details.insert("disabledBy", source.name);
            report.parameter("disabled", step.name,
                             QString("%1: %2 kept, %3 not written: \"%4\" is %5")
                                 .arg(step.name, current.shown, savedShown, source.name, source.shown),
                             details);
            continue;
        }
        case RestoreStep::Write:
        case RestoreStep::Dropped: break;
        }
        if (std::optional<Failure> failure = dryRun ? std::nullopt : writeParameter(connection, parameter, step.raw)) {
            ++notRestored;
            report.parameter("failed", step.name, failure->sentence, details);
            if (!failures.goOnAfter(*failure))
                break;
            continue;
        }
        ++restored;
        report.parameter(dryRun ? "would restore" : "restored", step.name,
                         QString("%1: %2 -> %3").arg(step.name, current.shown, savedShown), details);
    }
    report.field("restored", restored, dryRun ? "Would restore" : "Restored");
    report.field("equal", equal, "Equal");
    report.field("disabled", disabled, "Disabled");
    report.field("notRestored", notRestored, "Not restored");
    if (notRestored > 0)
        report.warn(QString("%1 saved setting%2 not restored; every saved setting is in %3.")
                        .arg(notRestored)
                        .arg(notRestored == 1 ? " was" : "s were")
                        .arg(backup.path));
    return failures.end(report, notRestored);
}
