// The commands on settings files: save, load and diff.
#include "commands.h"
#include "deviceconnection.h"
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

// The file, when it is one and was made for this device.
std::optional<Failure> readFor(DeviceConnection &connection, const QString &path, bool anyFirmware,
                               SettingsFile *file)
{
    const settingsfile::Parsed parsed = settingsfile::read(path == "-" ? QStringLiteral("/dev/stdin") : path);
    if (!parsed.ok())
        return Failure{ExitStatus::BadUsage, QString("%1 is not a usable settings file: %2.").arg(path, parsed.error)};
    const SettingsIdentity device = connection.settingsIdentity();
    const settingsfile::Fit fit = settingsfile::fitOf(parsed.file.device, device);
    if (fit == settingsfile::Fit::OtherDevice)
        return Failure{ExitStatus::NoDescription, QString("%1 was made for %2, not for this %3.")
                                                      .arg(path, identityText(parsed.file.device),
                                                           identityText(device))};
    if (fit == settingsfile::Fit::OtherFirmware && !anyFirmware)
        return Failure{ExitStatus::NoDescription,
                       QString("%1 was made under firmware %2, the device runs %3; --force loads it anyway.")
                           .arg(path, parsed.file.device.firmwareText(), device.firmwareText())};
    *file = parsed.file;
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
        out.setCodec("UTF-8");
        out << QString::fromUtf8(settingsfile::toJson(file));
        out.flush();
    } else if (!settingsfile::write(path, file, &error))
        return report.fail({ExitStatus::BadUsage, QString("%1 cannot be written: %2.").arg(path, error)});
    report.field("file", path, "Saved");
    report.field("parameters", file.parameters.size(), "Parameters");
    return ExitStatus::Done;
}

ExitStatus load(DeviceConnection &connection, Report &report, const QString &path, bool dryRun, bool force)
{
    SettingsFile file;
    if (std::optional<Failure> failure = readFor(connection, path, force, &file))
        return report.fail(*failure);
    const QVector<ParameterValue> values = connection.values();
    const DeviceDescription &description = connection.description();
    int changed = 0, equal = 0, failed = 0;
    WriteFailures failures;
    for (const ParameterComparison &comparison : compareSettings(values, file.parameters)) {
        if (comparison.state == ParameterComparison::OnlyOnDevice) {
            report.parameter("not in file", comparison.name, comparison.name);
            continue;
        }
        const SavedParameter &saved = file.parameters.at(comparison.savedIndex);
        if (comparison.state == ParameterComparison::OnlyInFile) {
            report.parameter("not on device", comparison.name, comparison.name);
            continue;
        }
        const ParameterValue &current = values.at(comparison.deviceIndex);
        const ParameterDescription &parameter = description.parameters.at(comparison.deviceIndex);
        const QJsonObject details{{"device", valueJson(current.raw, current.shown)},
                                  {"file", valueJson(saved.raw, saved.shown)}};
        const QString change = QString("%1: %2 -> %3").arg(current.name, current.shown, saved.shown);
        if (comparison.state == ParameterComparison::Equal) {
            ++equal;
            report.parameter("equal", current.name, QString("%1: %2").arg(current.name, current.shown));
            continue;
        }
        const QVector<int> cells = current.hcell > 0 ? QVector<int>{current.cell, current.hcell}
                                                     : QVector<int>{current.cell};
        std::optional<Failure> failure;
        if (saved.cells != cells)
            failure = Failure{ExitStatus::DeviceFailed,
                              QString("\"%1\" lies in other cells in the file; it was not written.").arg(current.name)};
        else if (!dryRun)
            failure = writeParameter(connection, parameter, saved.raw);
        if (failure) {
            ++failed;
            report.parameter("failed", current.name, failure->sentence, details);
            if (!failures.goOnAfter(*failure))
                break;
            continue;
        }
        ++changed;
        report.parameter(dryRun ? "would change" : "changed", current.name, change, details);
    }
    report.field("changed", changed, dryRun ? "Would change" : "Changed");
    report.field("equal", equal, "Equal");
    report.field("failed", failed, "Failed");
    return failures.end(report);
}

ExitStatus diff(DeviceConnection &connection, Report &report, const QString &path, bool all)
{
    SettingsFile file;
    if (std::optional<Failure> failure = readFor(connection, path, true, &file))
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
