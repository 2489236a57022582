#pragma once

#include "exitstatus.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class DeviceConnection;
struct PackageFault;
struct PackageInspection;
class QTextStream;
class Report;
struct SettingsFile;
struct SettingsIdentity;

// Where a command asks and shows progress besides its report.
struct Terminal {
    bool errorsOnTerminal = false;  // standard error is a terminal: draw a bar
    std::function<QString()> readAnswer;  // one line from the user
};

// Each command takes a connected device (ports: an unconnected one) and
// tells what it did through the report. A path "-" stands for standard
// input, or for save standard output.
namespace commands {

// Said before every question that leads to an upload.
extern const QString UpdateWarning;

enum class Answer { Yes, No, Stopped };
// `question` with " [y/N] " on standard error, and the user's line: only
// "y" or "yes" is a yes; Ctrl+C at the question stops.
Answer ask(Report &report, const Terminal &terminal, const QString &question);

ExitStatus ports(DeviceConnection &connection, Report &report);
ExitStatus info(DeviceConnection &connection, Report &report);
// Every parameter, or only those `names` name.
ExitStatus read(DeviceConnection &connection, Report &report, const QStringList &names);
ExitStatus save(DeviceConnection &connection, Report &report, const QString &path);
// A settings file, read before the port is opened: one that cannot be used
// is refused without a word to the device.
std::optional<Failure> readSettings(const QString &path, SettingsFile *file);
// Load's refusal of a file made for another device than `device`, or,
// unless `anyFirmware`, under another firmware version.
std::optional<Failure> settingsFit(const SettingsIdentity &device, const QString &path, const SettingsFile &file,
                                   bool anyFirmware);
ExitStatus load(DeviceConnection &connection, Report &report, const QString &path, const SettingsFile &file,
                bool dryRun, bool force);
ExitStatus diff(DeviceConnection &connection, Report &report, const QString &path, const SettingsFile &file, bool all);
// The backups that flash and the window's firmware updates leave, newest
// first; needs no device.
ExitStatus backups(Report &report);
// A settings file made on the device, under any firmware, put back by name
// and shown value as flash --keep-settings puts its backup back.
ExitStatus restore(DeviceConnection &connection, Report &report, const QString &path, const SettingsFile &file,
                   bool dryRun);
// The same with the newest backup of the device.
ExitStatus restoreNewest(DeviceConnection &connection, Report &report, bool dryRun);
ExitStatus set(DeviceConnection &connection, Report &report, const QStringList &assignments);
// A package, read once before the port is opened: a file that cannot be
// read or is no firmware package at all is refused without a word to the
// device. The bytes read are the bytes checked and sent.
std::optional<Failure> readPackage(const QString &path, QByteArray *package);
// The checks flash makes of a package before it asks: whether it fits the
// connected device and its data part is sound for the device's dialect.
std::optional<Failure> checkPackageFits(DeviceConnection &connection, const QString &path, const QByteArray &package);
// With `keepSettings` the settings saved before the upload are loaded into
// the new firmware's description after it; they are saved either way.
ExitStatus flash(DeviceConnection &connection, Report &report, const Terminal &terminal, const QString &path,
                 const QByteArray &package, bool yes, bool keepSettings);
// "flashed" in the JSON document of every flash, whatever its end: false
// until the device runs the package's version.
void tellFlashed(Report &report, bool flashed);
// Need no device.
// With `strict` warnings count as problems.
ExitStatus check(Report &report, const QStringList &paths, bool strict);
// What is wrong with a package, in check's words after "FILE:LINE: ".
QString packageFaultText(const PackageFault &fault, const PackageInspection &inspection);
// For the shell's completion, one a line, without a device:
// the parameter names of every device entry in `description`, or in the
// files the window's lookup reads;
ExitStatus parameterNames(QTextStream &out, const QString &description);
// the list entries of the parameters called `name` there;
ExitStatus listEntries(QTextStream &out, const QString &description, const QString &name);
// the ports and serial:NUMBER forms --port takes, without opening any.
ExitStatus portNames(QTextStream &out);

}  // namespace commands
