#pragma once

#include "exitstatus.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class DeviceConnection;
class QTextStream;
class Report;
struct SettingsFile;

// Where a command asks and shows progress besides its report.
struct Terminal {
    bool errorsOnTerminal = false;        // standard error is a terminal: draw a bar
    std::function<QString()> readAnswer;  // one line from the user
};

// Each command takes a connected device (ports: an unconnected one) and
// tells what it did through the report. A path "-" stands for standard
// input, or for save standard output.
namespace commands {

ExitStatus ports(DeviceConnection &connection, Report &report);
ExitStatus info(DeviceConnection &connection, Report &report);
// Every parameter, or only those `names` name.
ExitStatus read(DeviceConnection &connection, Report &report, const QStringList &names);
ExitStatus save(DeviceConnection &connection, Report &report, const QString &path);
// A settings file, read before the port is opened: one that cannot be used
// is refused without a word to the device.
std::optional<Failure> readSettings(const QString &path, SettingsFile *file);
ExitStatus load(DeviceConnection &connection, Report &report, const QString &path, const SettingsFile &file,
                bool dryRun, bool force);
ExitStatus diff(DeviceConnection &connection, Report &report, const QString &path, const SettingsFile &file,
                bool all);
ExitStatus set(DeviceConnection &connection, Report &report, const QStringList &assignments);
ExitStatus flash(DeviceConnection &connection, Report &report, const Terminal &terminal,
                 const QString &path, bool yes);
// Need no device.
ExitStatus check(Report &report, const QStringList &paths);
// The parameter names of every device entry in `description`, or in the
// files the window's lookup reads, one a line.
ExitStatus parameterNames(QTextStream &out, const QString &description);

}  // namespace commands
