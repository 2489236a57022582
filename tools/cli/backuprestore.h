#pragma once

#include "exitstatus.h"

#include "settings/settingsfile.h"

#include <QString>

#include <optional>

class DeviceConnection;
class Report;

// The device's settings as they were right before a firmware update, kept
// in a file of their own whatever becomes of the update.
struct SettingsBackup {
    QString path;
    SettingsFile file;
};

// Reads every described cell and writes a settings file into the backup
// folder, named after the device and the time. An update waits for it: a
// backup that cannot be made stops the update before anything is sent.
std::optional<Failure> backUpSettings(DeviceConnection &connection, SettingsBackup *backup);

// After the update and the device's fresh identity: the new firmware's
// description, then every saved value it takes, by name, written and read
// back; each saved parameter it lacks or refuses is listed with the reason.
ExitStatus restoreSettings(DeviceConnection &connection, Report &report, const SettingsBackup &backup);

// The same onto the values the connection has read, under the description
// it has; a dry run only tells what it would write.
ExitStatus restoreValues(DeviceConnection &connection, Report &report, const SettingsBackup &backup, bool dryRun);
