// The commands on settings files: save, load and diff.
#include "commands.h"
#include "deviceconnection.h"
#include "interruption.h"
#include "loadplan.h"
#include "parameterwriter.h"
#include "report.h"
#include "settingsfile.h"

#include <QTextStream>

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
    const SettingsIdentity device = connection.settingsIdentity();
    const settingsfile::Fit fit = settingsfile::fitOf(file.device, device);
    if (fit == settingsfile::Fit::OtherDevice)
        return Failure{ExitStatus::NoDescription, QString("%1 was made for %2, not for this %3.")
                                                      .arg(path, identityText(file.device), identityText(device))};
    if (fit == settingsfile::Fit::OtherFirmware && !anyFirmware)
        return Failure{ExitStatus::NoDescription,
                       QString("%1 was made under firmware %2, the device runs %3; --force loads it anyway.")
                           .arg(path, file.device.firmwareText(), device.firmwareText())};
    return connection.readValues();
}

QJsonObject valueJson(quint32 raw, const QString &shown)
{
    return {{"raw", qint64(raw)}, {"shown", shown}};
}

}  // namespace

ExitStatus save(DeviceConnection &connection, Report &report, const QString &path)
{
    if (std::optional<Failure> failure = connection.readValues())
        return report.fail(*failure);
    const SettingsFile file = SettingsFile::of(connection.settingsIdentity(), connection.values());
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
        return report.fail({ExitStatus::BadUsage,
                            QString("%1 cannot be loaded: %2; nothing was written.").arg(path, plan.refusal)});
    int changed = 0, equal = 0, disabled = 0, failed = 0;
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
    report.field("failed", failed, "Failed");
    return failures.end(report);
}

ExitStatus diff(DeviceConnection &connection, Report &report, const QString &path, const SettingsFile &file,
                bool all)
{
    if (std::optional<Failure> failure = readFor(connection, path, file, true))
        return report.fail(*failure);
    const QVector<ParameterValue> values = connection.values();
    int differences = 0;
    for (const ParameterComparison &comparison : compareSettings(values, file.parameters)) {
        switch (comparison.state) {
        case ParameterComparison::Equal: {
            const ParameterValue &current = values.at(comparison.deviceIndex);
            if (all)
                report.parameter("equal", current.name, QString("%1: %2").arg(current.name, current.shown));
            continue;
        }
        case ParameterComparison::Differs: {
            const ParameterValue &current = values.at(comparison.deviceIndex);
            const SavedParameter &saved = file.parameters.at(comparison.savedIndex);
            report.parameter("differs", current.name,
                             QString("%1: device %2, file %3").arg(current.name, current.shown, saved.shown),
                             {{"device", valueJson(current.raw, current.shown)},
                              {"file", valueJson(saved.raw, saved.shown)}});
            break;
        }
        case ParameterComparison::OnlyOnDevice:
            report.parameter("not in file", comparison.name, comparison.name);
            break;
        case ParameterComparison::OnlyInFile:
            report.parameter("not on device", comparison.name, comparison.name);
            break;
        }
        ++differences;
    }
    report.field("differences", differences, "Differences");
    return differences > 0 ? ExitStatus::Differences : ExitStatus::Done;
}

}  // namespace commands
