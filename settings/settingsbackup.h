#pragma once

#include "settings/settingsfile.h"

#include <QDateTime>
#include <QString>
#include <QVector>

// The settings read right before a firmware update, one settings file each
// in the backup folder (datafolders::backupFolder()), named after the device
// and the time: both front ends write them there, kova-cli lists and
// restores them.
namespace settingsbackup {

// "Vorn-Kestrel-80-20261207-224105.json": the device's name in characters
// every file system and shell takes, and the local time to the second; the
// second and later backup of one second carry their number.
QString backupName(const QString &deviceName, const QDateTime &time, int attempt);

struct Written {
    enum Problem { None, NoFolder, NotWritten };
    Problem problem = None;
    QString path;  // the file; for NoFolder the folder
    QString error;  // NotWritten: the system's reason

    bool ok() const { return problem == None; }
};
// Into a new file of the backup folder, never over an earlier backup;
// written whole or not at all.
Written write(const SettingsFile &file);

struct Backup {
    QString path;
    SettingsFile file;
    QDateTime time;  // from its name; for a file named otherwise, its last change
    QString error;  // why it is no usable settings file; empty when it is
};
// Every "*.json" of the backup folder, newest first.
QVector<Backup> list();
// The newest usable backup made on the device of `device`'s name,
// identifier and hardware revision, under any firmware; nullptr when none is.
const Backup *newestOf(const QVector<Backup> &backups, const SettingsIdentity &device);

}  // namespace settingsbackup
