#pragma once

#include "batchlog.h"
#include "exitstatus.h"

#include "settings/settingsfile.h"

#include <QByteArray>
#include <QString>

#include <optional>

class DeviceConnection;
class Report;
struct CliOptions;
struct Terminal;

namespace commands {

// What every unit of a batch gets, read and checked once before the port opens.
struct BatchJob {
    QString packagePath;  // empty: no flashing
    QByteArray package;  // the bytes checked, and the bytes sent to every unit
    QString packageVersion;  // its "FW"
    QString packageSha256;
    QString settingsPath;  // empty: no settings
    SettingsFile settings;
    int count = 0;  // 0: until Ctrl+C
    bool stopOnFailure = false;
    bool yes = false;

    bool flashes() const { return !packagePath.isEmpty(); }
    bool loads() const { return !settingsPath.isEmpty(); }
};

// Reads the package and the settings file, checks that they go together,
// and opens the log; a refusal is bad usage.
std::optional<Failure> prepareBatch(const CliOptions &options, BatchJob *job, BatchLog *log);

// Controller after controller on the connection's port, until --count units
// or Ctrl+C while waiting; one record each.
ExitStatus batch(DeviceConnection &connection, Report &report, const Terminal &terminal, const BatchJob &job,
                 BatchLog &log);

}  // namespace commands
