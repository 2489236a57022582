#include "device/buscontroller.h"

#include "device/deviceimage.h"
#include "device/threadhandover.h"
#include "link/portaccess.h"
#include "link/portsettingfile.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QThread>
#include <QTimer>

namespace {

// Process-wide on purpose: docs/compatibility.md
// Poll ticks whose ping got only the echo since the device last answered.
// It starts at 4 so that the first echo-only tick moves on to the next
// dialect without dropping a device that was never there.
quint8 missCount = 4;

constexpr int IdleIntervalMs = 500;
constexpr int SearchIntervalMs = 100;

}  // namespace

BusController::BusController(QObject *parent, DeviceImage *image, PortLister listPorts)
    : QObject(parent), portName(), image(image)
{
    // It crosses to the window's thread in a queued signal.
    qRegisterMetaType<UploadFailure>();
    const QString path = settingsPath();
    timer = new QTimer(this);
    port = new QSerialPort(this);
    session = std::make_unique<DeviceSession>(*port);
    session->setStopCheck([this] { return stopRequested(); });
    cableSearch = std::make_unique<CableSearch>(*session, std::move(listPorts));
    // A file that names no port is a start without a known cable, as a
    // missing file is: the cable may well be plugged in by now.
    portName = readPortName(path);
    if (portName.isEmpty()) {
        portName = scanPorts();
        storePortName();
    }
    timer->start(IdleIntervalMs);
    connect(timer, &QTimer::timeout, this, &BusController::pollDevice);
}

BusController::~BusController()
{
    // The last thing the link does in its thread: the image is the window's alone from here.
    markHandedOver(image);
}

QString BusController::settingsPath() const
{
    return portSettingFile();
}

void BusController::storePortName()
{
    writePortName(settingsPath(), portName);
}

bool BusController::openPort(const QString &name)
{
    return session->open(name) == OpenOutcome::Opened;
}

// The last port in the list that echoes "KOVA" exactly is taken.
// The status texts' leading space is kept: docs/compatibility.md
QString BusController::scanPorts()
{
    timer->stop();
    const QString found = cableSearch->scan(portName);
    if (openPort(found))
        emit sendStatus("yellow", tr(" USB-cable connected to ") + port->portName());
    timer->start();
    return found;
}

// While the remembered port does not open, a port that appears may be the
// cable plugged in after the start or back under another name: it is
// remembered as a scan would.
// The status texts' leading space is kept: docs/compatibility.md
bool BusController::takeArrivedCable()
{
    const QString found = cableSearch->scanArrivals();
    if (found.isEmpty())
        return false;
    portName = found;
    storePortName();
    if (openPort(found))
        emit sendStatus("yellow", tr(" USB-cable connected to ") + port->portName());
    return true;
}

void BusController::findUSBCable()
{
    portName = scanPorts();
    storePortName();
}

// The status texts' leading space is kept: docs/compatibility.md
void BusController::pollDevice()
{
    timer->stop();
    int interval = timer->interval();
    if (!port->isOpen()) {
        if (openPort(portName)) {
            cableSearch->settle();
            session->setDialect(DialectOrder[0]);
            emit sendStatus("yellow", tr(" USB-cable connected to ") + port->portName());
        } else {
            // Said of the remembered port, before the arrivals' echo tests use the port.
            const QString failure = openFailureText();
            if (!takeArrivedCable())
                emit sendStatus("red", failure);
        }
        timer->start(interval);
        return;
    }

    switch (session->ping(session->dialect())) {
    case Silent:
        dropPort();
        interval = IdleIntervalMs;
        break;
    case EchoOnly:
        if (missCount <= 2) {
            ++missCount;
        } else {
            if (missCount == 3) {
                emit doDestroyDevice();
                missCount = 4;
            }
            session->setDialect(nextDialect(session->dialect()));
        }
        interval = SearchIntervalMs;
        emit sendStatus("yellow", tr(" USB-cable connected to ") + port->portName());
        break;
    case Answered: {
        missCount = 0;
        interval = IdleIntervalMs;
        bool identified = false;
        if (image->constructed == 0) {
            const LinkOutcome outcome = readIdentity();
            if (outcome == LinkOutcome::PortClosed) {
                dropPort();
                break;
            }
            identified = outcome == LinkOutcome::Done;
        }
        emit sendStatus("dark_green", tr(" Device connected"));
        // Said last, so that the status shows it until the next tick.
        if (identified)
            checkFlashedVersion();
        break;
    }
    case Garbled:
        missCount = 0;
        emit sendStatus("dark_green", tr(" Device connected"));
        break;
    }
    timer->start(interval);
}

LinkOutcome BusController::readIdentity()
{
    DeviceIdentity identity = DeviceIdentity::of(*image);
    const LinkOutcome outcome = session->identify(identity);
    identity.storeIn(*image);
    if (outcome == LinkOutcome::Done)
        emit doConstructDevice();
    return outcome;
}

// Every block acknowledged is not yet a device that runs the new firmware:
// the first identity read after an upload tells.
void BusController::checkFlashedVersion()
{
    if (!flashed)
        return;
    const FlashedFirmware expected = *flashed;
    flashed.reset();
    const DeviceIdentity now = DeviceIdentity::of(*image);
    const DeviceIdentity &before = expected.device;
    // Another device is not a failed update.
    if (now.deviceId != before.deviceId || now.hwVersion != before.hwVersion || now.blVersion != before.blVersion)
        return;
    if (expected.version.matches(now.fwMajor, now.fwMinor, now.fwBuild))
        return;
    UploadFailure failure;
    failure.reason = UploadFailure::VersionDiffers;
    failure.confirmed = before;
    failure.found = now;
    failure.packageVersion = expected.text;
    emit firmwareUpdateFailed(failure);
}

// The port closed under an operation or its device left the system (an
// adapter pulled): as after a silent ping, the device is dropped at once and
// the port opened again as soon as it is back.
// The status texts' leading space is kept: docs/compatibility.md
void BusController::dropPort()
{
    emit doDestroyDevice();
    emit sendStatus("red", tr(" USB-cable not connected"));
    missCount = 3;
    session->close();
    openPort(portName);
}

void BusController::readDeviceAllCells()
{
    emit sendStatus("green");
    const CellsReadResult result = session->readUsedCells(*image);
    if (result.outcome == LinkOutcome::Done) {
        recoveredOnce.reset();
        emit allCellsReady();
        return;
    }
    if (stopRequested())
        return;
    if (result.outcome == LinkOutcome::PortClosed) {
        dropPort();
        return;
    }
    // Dropping the device makes the next answered ping identify and read it
    // afresh, which cures a passing fault; a cell that never answers would
    // repeat that for ever, so the same device gets it once.
    const DeviceIdentity identity = DeviceIdentity::of(*image);
    if (recoveredOnce == identity) {
        emit allCellsIncomplete(result.failedCell);
        return;
    }
    recoveredOnce = identity;
    emit doDestroyDevice();
}

// Its debug line is written twice on purpose: docs/compatibility.md
void BusController::writeDeviceValue(uint value, uchar cell, uchar hcell)
{
    const quint8 low = value & 0xFF;
    const quint8 high = (value >> 8) & 0xFF;
    emit sendStatus("green");
    qDebug() << value << int(cell) << int(hcell);
    if (!hasCellSlot(cell) || !hasCellSlot(hcell)) {
        qDebug() << "Cell out of range";
        return;
    }
    if (image->cells[cell].value == low && (hcell == 0 || image->cells[hcell].value == high))
        return;
    qDebug() << value << int(cell) << int(hcell);

    const WriteOutcome outcome = session->writeValue(*image, value, cell, hcell);
    if (outcome == WriteOutcome::Confirmed || outcome == WriteOutcome::DeviceDiffers) {
        emit sendStatus("dark_green");
        qDebug() << "ok";
    }
    if (stopRequested())
        return;
    if (outcome == WriteOutcome::PortClosed) {
        dropPort();
        return;
    }
    // The device may hold a value the image does not: dropping it makes the
    // next answered ping identify it and read every cell afresh.
    if (outcome == WriteOutcome::Unverified)
        emit doDestroyDevice();
    // Whatever happened, the controls must end up showing what the device
    // holds, not what the user asked for.
    if (outcome != WriteOutcome::Confirmed)
        emit updatedDeviceValue();
}

void BusController::doUpdateFirmware(QString filename, QByteArray package)
{
    timer->stop();
    // The identity the window showed when the user confirmed; the device is
    // asked again right before the first block.
    const DeviceIdentity expected = DeviceIdentity::of(*image);
    const PackageTarget target{expected.deviceId, expected.hwVersion, expected.blVersion, image->fwPageSize,
                               image->fwPageCount};
    const CheckedPackage checked = checkPackage(package, dialectOf(session->dialect()), target);
    UploadFailure failure;
    failure.package = QFileInfo(filename).fileName();
    failure.problem = checked.problem;
    failure.damage = checked.damage;
    failure.imageSize = checked.image.size();
    failure.target = target;
    failure.confirmed = expected;
    const auto fail = [&](UploadFailure::Reason reason) {
        failure.reason = reason;
        emit firmwareUpdateFailed(failure);
    };
    if (!checked.usable()) {
        fail(UploadFailure::PackageRefused);
        timer->start();
        return;
    }

    const auto progress = [this](uint block) { emit setProgressBar(block); };
    const auto status = [this](const QString &color) { emit sendStatus(color); };
    switch (session->uploadImage(checked.image, target.pageSize, target.pageCount, expected, progress, status,
                                 &failure.found)) {
    case UploadOutcome::Done:
        if (const std::optional<FirmwareVersion> version = parseFirmwareVersion(checked.keys.version))
            flashed = FlashedFirmware{expected, *version, checked.keys.version};
        image->constructed = 0;
        emit firmwareUpdated();
        break;
    case UploadOutcome::Refused:
        // The upload's own count of whole blocks, which the check had passed.
        failure.problem = PackageProblem::WrongGeometry;
        fail(UploadFailure::PackageRefused);
        break;
    case UploadOutcome::DeviceChanged:
        fail(UploadFailure::DeviceChanged);
        // The window shows a device that is no longer there.
        image->constructed = 0;
        emit doDestroyDevice();
        break;
    case UploadOutcome::DeviceSilent: fail(UploadFailure::DeviceSilent); break;
    case UploadOutcome::BlockFailed: fail(UploadFailure::BlockFailed); break;
    case UploadOutcome::PortClosed:
        fail(UploadFailure::PortClosed);
        dropPort();
        break;
    case UploadOutcome::Stopped: break;
    }
    timer->start();
}

bool BusController::stopRequested() const
{
    return QThread::currentThread()->isInterruptionRequested();
}

// Says why the remembered port did not open, where the user can do something about it.
// The status texts' leading space is kept: docs/compatibility.md
QString BusController::openFailureText() const
{
    const PortDiagnosis diagnosis = diagnosePortOpenFailure(portName, port->error());
    switch (diagnosis.problem) {
    case PortProblem::Absent: break;
    case PortProblem::NoPermission:
        if (!diagnosis.groupGrantsAccess())
            return tr(" No permission to open %1").arg(portName);
        return tr(" No permission to open %1: join the group \"%2\" and log in again").arg(portName, diagnosis.group);
    case PortProblem::InUse:
        if (diagnosis.holderPid == 0)
            return tr(" %1 is in use by another program").arg(portName);
        return tr(" %1 is in use by %2 (process %3)")
            .arg(portName, diagnosis.holderName, QString::number(diagnosis.holderPid));
    case PortProblem::Failed: return tr(" Cannot open %1: %2").arg(portName, port->errorString());
    }
    return tr(" USB-cable not connected");
}
