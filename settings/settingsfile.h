#pragma once

#include "device/devicesession.h"

#include <QByteArray>
#include <QJsonArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

struct ParameterValue;

// The device a settings file was made for.
struct SettingsIdentity {
    QString name;  // the description's
    DeviceIdentity identity;

    QString firmwareText() const;
};

struct SavedParameter {
    QString name;
    QVector<int> cells;  // low byte first
    quint32 raw = 0;
    QString shown;
    bool allowed = true;  // the description allowed the raw value; files without the key did
};

// A device's settings as JSON: a format name and version, the device
// identity, and every parameter with its cells, raw value, shown value and
// whether its description allowed that value. Parameters of one name are
// told apart by their cells.
struct SettingsFile {
    SettingsIdentity device;
    QVector<SavedParameter> parameters;

    static SettingsFile of(const SettingsIdentity &device, const QVector<ParameterValue> &values);
};

namespace settingsfile {

extern const QString FormatName;
constexpr int FormatVersion = 1;

QByteArray toJson(const SettingsFile &file);
// The file's "parameters": name, cells, raw and shown value of each.
QJsonArray parametersJson(const QVector<SavedParameter> &parameters);

struct Parsed {
    SettingsFile file;
    QString error;  // why the text is no settings file; empty when it is

    bool ok() const { return error.isEmpty(); }
};
Parsed fromJson(const QByteArray &json);

// Written whole or not at all.
bool write(const QString &path, const SettingsFile &file, QString *error);
Parsed read(const QString &path);
// Settings files are small; anything far larger is not one.
constexpr qint64 MostFileBytes = 4 * 1024 * 1024;
// The same for a text read elsewhere (standard input): at most
// MostFileBytes + 1 bytes of it tell.
Parsed fromText(const QByteArray &text);

enum class Fit {
    SameDevice,  // name, identifier, hardware revision and firmware version agree
    OtherFirmware,  // the same device under another firmware version
    OtherDevice,  // name, identifier or hardware revision differ
};
Fit fitOf(const SettingsIdentity &saved, const SettingsIdentity &device);

}  // namespace settingsfile

// One parameter of the device against the same-named one of a file; of
// several with one name, the one in the same cells, else the next in order.
struct ParameterComparison {
    enum State { Equal, Differs, OnlyOnDevice, OnlyInFile };
    State state = Equal;
    QString name;
    int deviceIndex = -1;  // into the device's values; -1 for OnlyInFile
    int savedIndex = -1;  // into the file's parameters; -1 for OnlyOnDevice
};

// In the device's order, then what only the file has.
QVector<ParameterComparison> compareSettings(const QVector<ParameterValue> &device,
                                             const QVector<SavedParameter> &saved);
