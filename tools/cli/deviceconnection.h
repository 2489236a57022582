#pragma once

#include "exitstatus.h"
#include "parametervalues.h"

#include "device/deviceimage.h"
#include "device/devicesession.h"
#include "description/devicedescription.h"
#include "settings/settingsfile.h"

#include <QSerialPort>
#include <QString>

#include <memory>
#include <optional>

struct CliOptions;
class QTextStream;

// The port, echo scan, dialect order and identity read of the window's link,
// ending in the device's description; then the device's parameter values.
class DeviceConnection
{
public:
    // Traces and, when verbose, what it tries go to `traceOut`.
    DeviceConnection(const CliOptions &options, QTextStream &traceOut);

    // The port --port or KOVA_PORT names (a port, a link to one, or
    // serial:NUMBER), else the one kova.ini names, else the echo scan; then
    // Vorn, Kelpa, UlmaFast and UlmaSlow are pinged once each.
    std::optional<Failure> connect();
    // The first of connect's steps: the port, open, with nothing sent yet.
    std::optional<Failure> openPort();
    // The rest after a ping has answered: a controller that has just come
    // onto the cable, identified and described afresh.
    std::optional<Failure> meetDevice();
    // The port openPort chose, open again after it went away.
    bool reopenPort();
    // The USB serial number of the open port's adapter; empty when unknown.
    QString adapterSerialNumber() const;
    // The cells a read has done, on a terminal.
    void showProgress(bool on) { progressShown = on; }
    // Every described cell into the image.
    std::optional<Failure> readValues();
    // Identifies the device again after an upload, in the same dialect.
    std::optional<Failure> identifyAgain();
    // The description of the identity read last, in place of the one before:
    // after an upload the device may run a firmware with other parameters.
    std::optional<Failure> findDescriptionAgain();

    DeviceSession &session() { return deviceSession; }
    DeviceImage &image() { return *deviceImage; }
    QString portName() const { return port; }
    DialectSetting dialect() const { return deviceSession.dialect(); }
    const DeviceIdentity &identity() const { return deviceIdentity; }
    const DeviceDescription &description() const { return deviceDescription; }
    QString descriptionFile() const { return descriptionPath; }
    SettingsIdentity settingsIdentity() const;
    // Why `portName` did not open, right after a failed open or echo test:
    // what the user can do about it, in words for after "does not open: ".
    QString openFailureReason(const QString &portName) const;
    QVector<ParameterValue> values() const { return valuesOf(deviceDescription, *deviceImage); }

private:
    // A serial number or a link in --port or KOVA_PORT stands for the port it finds.
    std::optional<Failure> resolveNamedPort();
    std::optional<Failure> findDialect();
    std::optional<Failure> identify();
    std::optional<Failure> findDescription();
    void tell(const QString &line);

    const CliOptions &options;
    QSerialPort serialPort;
    DeviceSession deviceSession;
    QTextStream &traceOut;
    std::unique_ptr<DeviceImage> deviceImage = std::make_unique<DeviceImage>();
    QString port;  // as the user knows it: a link as given
    QString device;  // what is opened: the port a link points to
    QString portSource;  // where the port's name came from, for after its name
    bool progressShown = false;
    DeviceIdentity deviceIdentity;
    DeviceDescription deviceDescription;
    QString descriptionPath;
};

// What the failure of a link operation means for the user.
Failure linkFailure(LinkOutcome outcome, const QString &what);

// "Vorn", "Kelpa" or "Ulma".
QString dialectName(DialectSetting setting);
