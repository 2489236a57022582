#include "deviceconnection.h"

#include "clioptions.h"
#include "interruption.h"
#include "portwording.h"
#include "progressdisplay.h"
#include "windowsettings.h"

#include "device/cablesearch.h"
#include "device/describing.h"
#include "link/portaccess.h"
#include "link/portlist.h"
#include "link/portnaming.h"
#include "link/portsettingfile.h"

#include <QTextStream>

namespace {

void traceFrame(QTextStream &out, TraceDirection direction, const QByteArray &bytes, qint64 elapsedMs)
{
    out << QString("%1 ms %2 %3")
               .arg(elapsedMs, 7)
               .arg(direction == TraceDirection::Sent ? QStringLiteral("sent    ") : QStringLiteral("received"))
               .arg(bytes.isEmpty() ? QStringLiteral("(nothing)") : QString(bytes.toHex(' ').toUpper()))
        << '\n';
    out.flush();
}

QString noPermissionText(const PortDiagnosis &diagnosis)
{
    if (!diagnosis.groupGrantsAccess())
        return QString("no permission to use %1").arg(diagnosis.device);
    return QString("no permission: join the group \"%1\" that owns %2 "
                   "(sudo usermod -aG %1 $USER) and log in again")
        .arg(diagnosis.group, diagnosis.device);
}

QString inUseText(const PortDiagnosis &diagnosis)
{
    if (diagnosis.holderPid == 0)
        return QStringLiteral("it is in use by another program");
    const QString holder = diagnosis.holderName.isEmpty() ? QStringLiteral("another program") : diagnosis.holderName;
    return QString("it is in use by %1 (process %2, from its lock file)")
        .arg(holder, QString::number(diagnosis.holderPid));
}

QString pingText(PingResult result)
{
    switch (result) {
    case Answered: return QStringLiteral("answered");
    case Silent: return QStringLiteral("nothing came back, not even the echo");
    case Garbled: return QStringLiteral("a garbled answer");
    case EchoOnly: break;
    }
    return QStringLiteral("only the cable's echo");
}

QString versionText(int major, int minor)
{
    return QString("%1.%2").arg(major).arg(minor);
}

}  // namespace

Failure linkFailure(LinkOutcome outcome, const QString &what)
{
    switch (outcome) {
    case LinkOutcome::PortClosed:
        return {ExitStatus::NoPort, QString("The port closed while %1: is the cable still plugged in?").arg(what)};
    case LinkOutcome::Stopped: return interruption::stoppedWhile(what);
    case LinkOutcome::NoReply:
    case LinkOutcome::Done: break;
    }
    return {ExitStatus::NoDevice, QString("The device stopped answering while %1.").arg(what)};
}

QString dialectName(DialectSetting setting)
{
    switch (dialectOf(setting)) {
    case Dialect::Kelpa: return QStringLiteral("Kelpa");
    case Dialect::Ulma: return QStringLiteral("Ulma");
    case Dialect::Vorn: break;
    }
    return QStringLiteral("Vorn");
}

DeviceConnection::DeviceConnection(const CliOptions &options, QTextStream &traceOut)
    : options(options), deviceSession(serialPort), traceOut(traceOut)
{
    deviceSession.setStopCheck(&interruption::stopRequested);
    if (options.trace)
        deviceSession.setTrace([&traceOut](TraceDirection direction, const QByteArray &bytes, qint64 ms) {
            traceFrame(traceOut, direction, bytes, ms);
        });
}

std::optional<Failure> DeviceConnection::connect()
{
    for (auto step : {&DeviceConnection::openPort, &DeviceConnection::findDialect, &DeviceConnection::meetDevice})
        if (std::optional<Failure> failure = (this->*step)())
            return failure;
    return std::nullopt;
}

std::optional<Failure> DeviceConnection::meetDevice()
{
    deviceImage->clear();
    deviceIdentity = DeviceIdentity();
    deviceDescription = DeviceDescription();
    descriptionPath.clear();
    if (std::optional<Failure> failure = identify())
        return failure;
    return findDescription();
}

void DeviceConnection::tell(const QString &line)
{
    if (!options.verbose)
        return;
    traceOut << line << '\n';
    traceOut.flush();
}

std::optional<Failure> DeviceConnection::openPort()
{
    bool fromPortSetting = false;
    port = options.port;
    portSource = QStringLiteral("from --port");
    if (port.isEmpty()) {
        port = qEnvironmentVariable("KOVA_PORT");
        portSource = QStringLiteral("from KOVA_PORT");
    }
    if (!port.isEmpty()) {
        if (std::optional<Failure> failure = resolveNamedPort())
            return failure;
    } else {
        const QString file = windowPortSettingFile();
        port = readPortName(file);
        device = port;
        portSource = QString("from kova.ini at %1").arg(file);
        fromPortSetting = !port.isEmpty();
        if (port.isEmpty())
            tell(QString("No port in --port, KOVA_PORT or kova.ini at %1: scanning for the cable's echo.").arg(file));
    }
    CableSearch cableSearch(deviceSession);
    if (port.isEmpty()) {
        port = cableSearch.scan(QString());
        device = port;
        portSource = QStringLiteral("found by the echo scan");
    }
    if (port.isEmpty())
        return Failure{ExitStatus::NoPort, QStringLiteral("No serial port echoes: the cable is not plugged in.")};
    tell(QString("Port %1 (%2).").arg(port, portSource));
    if (deviceSession.open(device) == OpenOutcome::Opened)
        return std::nullopt;
    const QString failure = QString("Port %1 (%2) does not open: %3.").arg(port, portSource, openFailureReason(device));
    // The remembered adapter may be back under another name, as the window finds it.
    if (!fromPortSetting || serialPort.error() != QSerialPort::DeviceNotFoundError)
        return Failure{ExitStatus::NoPort, failure};
    tell(QString("Port %1 is not there: scanning for the cable's echo.").arg(port));
    const QString found = cableSearch.scanArrivals();
    if (found.isEmpty() || deviceSession.open(found) != OpenOutcome::Opened)
        return Failure{ExitStatus::NoPort, failure + QStringLiteral(" No other serial port echoes.")};
    port = found;
    device = found;
    tell(QString("Port %1 (found by the echo scan).").arg(port));
    return std::nullopt;
}

bool DeviceConnection::reopenPort()
{
    return deviceSession.open(device) == OpenOutcome::Opened;
}

QString DeviceConnection::adapterSerialNumber() const
{
    const QString name = deviceSession.portName();
    for (const PortRecord &record : listPorts())
        if (record.name == name)
            return record.usb.serialNumber;
    return QString();
}

std::optional<Failure> DeviceConnection::resolveNamedPort()
{
    const PortChoice choice = resolvePortName(port, listPorts());
    if (choice.outcome != PortChoice::Outcome::Found)
        return portwording::choiceFailure(choice);
    if (!choice.serialNumber.isEmpty())
        portSource = port + ' ' + portSource;
    port = choice.shown;
    device = choice.port;
    return std::nullopt;
}

std::optional<Failure> DeviceConnection::findDialect()
{
    bool echoed = false;
    for (DialectSetting setting : DialectOrder) {
        if (interruption::stopRequested())
            return linkFailure(LinkOutcome::Stopped, QStringLiteral("looking for the device"));
        const PingResult result = deviceSession.ping(setting);
        tell(QString("Ping %1 at %2 baud: %3.")
                 .arg(dialectName(setting))
                 .arg(baudRateOf(setting))
                 .arg(pingText(result)));
        if (result == Answered)
            return std::nullopt;
        echoed |= result != Silent;
    }
    if (!echoed)
        return Failure{ExitStatus::NoPort, QString("Nothing comes back on %1, not even the cable's echo.").arg(port)};
    return Failure{ExitStatus::NoDevice, QString("No device answered on %1 in any dialect.").arg(port)};
}

std::optional<Failure> DeviceConnection::identify()
{
    const LinkOutcome outcome = deviceSession.identify(deviceIdentity);
    if (outcome != LinkOutcome::Done)
        return linkFailure(outcome, QStringLiteral("reading its identity"));
    deviceIdentity.storeIn(*deviceImage);
    return std::nullopt;
}

std::optional<Failure> DeviceConnection::identifyAgain()
{
    for (int attempt = 0; attempt < 10 && deviceSession.ping(deviceSession.dialect()) != Answered; ++attempt)
        if (interruption::stopRequested())
            return linkFailure(LinkOutcome::Stopped, QStringLiteral("waiting for the device"));
    return identify();
}

std::optional<Failure> DeviceConnection::findDescriptionAgain()
{
    deviceImage->clearCells();
    return findDescription();
}

std::optional<Failure> DeviceConnection::findDescription()
{
    const descriptionlookup::Result found = describing::describe(deviceIdentity, *deviceImage, options.description);
    switch (found.outcome) {
    case descriptionlookup::Result::Found: break;
    case descriptionlookup::Result::CannotOpen:
        return Failure{ExitStatus::NoDescription,
                       QString("The description file %1 cannot be read: %2.").arg(found.file, found.error)};
    case descriptionlookup::Result::Refused:
        return Failure{ExitStatus::NoDescription, QString("The description file %1 is refused: %2.")
                                                      .arg(found.file, descriptionreader::refusalName(found.refusal))};
    case descriptionlookup::Result::NotFound:
        return Failure{ExitStatus::NoDescription,
                       QString("No description fits the device (identifier %1, hardware %2, firmware %3).")
                           .arg(deviceIdentity.deviceId)
                           .arg(deviceIdentity.hwVersion)
                           .arg(versionText(deviceIdentity.fwMajor, deviceIdentity.fwMinor))};
    }
    deviceDescription = found.device;
    descriptionPath = found.file;
    tell(QString("Description %1 (%2), the entry at line %3.")
             .arg(found.file, options.description.isEmpty() ? QStringLiteral("the window's lookup")
                                                            : QStringLiteral("from --description"))
             .arg(found.device.line));
    return std::nullopt;
}

std::optional<Failure> DeviceConnection::readValues()
{
    std::optional<CellProgress> progress;
    if (progressShown)
        progress.emplace(traceOut);
    const CellsReadResult read = deviceSession.readUsedCells(*deviceImage, [&progress](int done, int total) {
        if (progress)
            progress->show(done, total);
    });
    if (progress)
        progress->erase();
    if (read.outcome == LinkOutcome::NoReply)
        return Failure{ExitStatus::NoDevice,
                       QString("Cell %1 did not answer while the settings were read.").arg(read.failedCell)};
    if (read.outcome != LinkOutcome::Done)
        return linkFailure(read.outcome, QStringLiteral("reading the settings"));
    return std::nullopt;
}

QString DeviceConnection::openFailureReason(const QString &portName) const
{
    const PortDiagnosis diagnosis = diagnosePortOpenFailure(portName, serialPort.error());
    switch (diagnosis.problem) {
    case PortProblem::Absent: break;
    case PortProblem::NoPermission: return noPermissionText(diagnosis);
    case PortProblem::InUse: return inUseText(diagnosis);
    case PortProblem::Failed: return serialPort.errorString();
    }
    return QStringLiteral("there is no such port");
}

SettingsIdentity DeviceConnection::settingsIdentity() const
{
    return {deviceDescription.name, deviceIdentity};
}
