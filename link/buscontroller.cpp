#include "link/buscontroller.h"

#include "firmware/firmwareupload.h"
#include "link/deviceimage.h"
#include "link/frames.h"
#include "link/portaccess.h"
#include "link/portsettingfile.h"
#include "link/threadhandover.h"

#include <QDebug>
#include <QFile>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QSettings>
#include <QThread>
#include <QTimer>

namespace {

// Poll ticks whose ping got only the echo since the device last answered.
// It starts at 4 so that the first echo-only tick moves on to the next
// dialect without dropping a device that was never there.
quint8 missCount = 4;

constexpr int LinkBaudRate = 19200;
constexpr int IdleIntervalMs = 500;
constexpr int SearchIntervalMs = 100;
constexpr int CellAttempts = 5;

ExchangeParams pingParams(Dialect dialect)
{
    switch (dialect) {
    case Dialect::Vorn: return {1000, 150, 1000, 14, ReadMode::Line, 14};
    case Dialect::Kelpa: return {1000, 150, 1000, 9, ReadMode::Line, 9};
    case Dialect::Ulma: break;
    }
    return {1000, 150, 1000, 8, ReadMode::Line, 9};
}

ExchangeParams readParams(Dialect dialect)
{
    switch (dialect) {
    case Dialect::Vorn: return {100, 15, 100, 14, ReadMode::Fixed};
    case Dialect::Kelpa: return {1000, 50, 1000, 9, ReadMode::Fixed};
    case Dialect::Ulma: break;
    }
    return {100, 0, 100, 8, ReadMode::Gathering, 0, 25};
}

ExchangeParams writeParams(Dialect dialect)
{
    switch (dialect) {
    case Dialect::Vorn: return {100, 15, 100, 15, ReadMode::Fixed};
    case Dialect::Kelpa: return {1000, 50, 1000, 9, ReadMode::Fixed};
    case Dialect::Ulma: break;
    }
    return {1000, 30, 1000, 8, ReadMode::Fixed};
}

const char *pingDebugLine(Dialect dialect)
{
    switch (dialect) {
    case Dialect::Vorn: return "ping Vorn";
    case Dialect::Kelpa: return "ping Kelpa";
    case Dialect::Ulma: break;
    }
    return "ping Ulma";
}

}  // namespace

QStringList BusController::systemPortNames()
{
    QStringList names;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        names << info.portName();
    return names;
}

BusController::BusController(QObject *parent, DeviceImage *image, PortLister listPorts)
    : QObject(parent), portName(), image(image), listPorts(std::move(listPorts))
{
    const QString path = settingsPath();
    timer = new QTimer(this);
    port = new QSerialPort(this);
    if (QFile::exists(path)) {
        QSettings settings(path, QSettings::IniFormat);
        settings.beginGroup("PORT");
        portName = settings.value("Name").toString();
        settings.endGroup();
    } else {
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
    QSettings settings(settingsPath(), QSettings::IniFormat);
    settings.beginGroup("PORT");
    settings.setValue("Name", portName);
    settings.endGroup();
    settings.sync();
}

bool BusController::openPort(const QString &name, qint32 baudRate)
{
    port->setPortName(name);
    port->setBaudRate(baudRate);
    port->setDataBits(QSerialPort::Data8);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    port->open(QIODevice::ReadWrite);
    return port->isOpen();
}

// The cable echoes every byte, with or without a device behind it; the last
// port in the list that echoes "KOVA" exactly is taken.
QString BusController::scanPorts()
{
    QString found;
    timer->stop();
    const QStringList candidates = portsToScan(listPorts(), portName);
    if (port->isOpen())
        port->close();
    for (const QString &name : candidates) {
        port->setPortName(name);
        if (!port->open(QIODevice::ReadWrite))
            continue;
        port->setBaudRate(LinkBaudRate);
        port->setDataBits(QSerialPort::Data8);
        port->setStopBits(QSerialPort::OneStop);
        port->setFlowControl(QSerialPort::NoFlowControl);
        port->clear(QSerialPort::AllDirections);
        port->write("KOVA", 4);
        port->waitForBytesWritten(50);
        port->waitForReadyRead(50);
        if (port->readAll() == "KOVA")
            found = name;
        port->close();
    }
    if (openPort(found, LinkBaudRate))
        emit sendStatus("yellow", tr(" USB-cable connected to ") + port->portName());
    timer->start();
    return found;
}

void BusController::findUSBCable()
{
    portName = scanPorts();
    storePortName();
}

void BusController::pollDevice()
{
    timer->stop();
    int interval = timer->interval();
    if (!port->isOpen()) {
        if (openPort(portName, LinkBaudRate)) {
            dialect = Vorn;
            emit sendStatus("yellow", tr(" USB-cable connected to ") + port->portName());
        } else {
            emit sendStatus("red", openFailureText());
        }
        timer->start(interval);
        return;
    }

    switch (pingDevice(DialectSetting(dialect))) {
    case Silent:
        emit doDestroyDevice();
        emit sendStatus("red", tr(" USB-cable not connected"));
        missCount = 3;
        port->close();
        openPort(portName, LinkBaudRate);
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
            dialect = nextDialect(DialectSetting(dialect));
        }
        interval = SearchIntervalMs;
        emit sendStatus("yellow", tr(" USB-cable connected to ") + port->portName());
        break;
    case Answered:
        missCount = 0;
        if (image->constructed == 0)
            readIdentity();
        interval = IdleIntervalMs;
        emit sendStatus("dark_green", tr(" Device connected"));
        break;
    case Garbled:
        missCount = 0;
        emit sendStatus("dark_green", tr(" Device connected"));
        break;
    }
    timer->start(interval);
}

PingResult BusController::pingDevice(DialectSetting setting)
{
    port->setBaudRate(baudRateOf(setting));
    const Dialect family = dialectOf(setting);
    qDebug() << pingDebugLine(family);
    const QByteArray request = frames::pingRequest(family);
    SerialExchange exchange(*port);
    const ExchangeResult result = exchange.run(request, pingParams(family));
    return frames::classifyPing(family, result.sawData, result.received, request.size());
}

bool BusController::readCell(quint8 cell, uchar &value)
{
    const Dialect family = dialectOf(DialectSetting(dialect));
    const QByteArray request = frames::readRequest(family, cell);
    SerialExchange exchange(*port);
    for (int attempt = 0; attempt < CellAttempts && !stopRequested(); ++attempt) {
        const ExchangeResult result = exchange.run(request, readParams(family));
        if (frames::cellReplyValid(family, result.received, request.size())) {
            value = uchar(result.received.at(request.size() + 1));
            return true;
        }
        if (family == Dialect::Ulma)
            qDebug() << "Reading Cell Error";
    }
    return false;
}

bool BusController::writeCell(quint8 cell, quint8 value)
{
    const Dialect family = dialectOf(DialectSetting(dialect));
    const QByteArray request = frames::writeRequest(family, cell, value);
    SerialExchange exchange(*port);
    for (int attempt = 0; attempt < CellAttempts && !stopRequested(); ++attempt) {
        const ExchangeResult result = exchange.run(request, writeParams(family));
        if (frames::cellReplyValid(family, result.received, request.size()))
            return true;
    }
    return false;
}

void BusController::readIdentity()
{
    struct IdentityCell {
        quint8 cell;
        std::atomic<quint8> &field;
    };
    const bool vorn = dialectOf(DialectSetting(dialect)) == Dialect::Vorn;
    const QVector<IdentityCell> order = vorn
        ? QVector<IdentityCell>{{200, image->deviceId}, {203, image->blVersion}, {202, image->hwVersion},
                                {205, image->fwMajor},  {206, image->fwMinor},   {212, image->fwBuild}}
        : QVector<IdentityCell>{{64, image->deviceId}, {65, image->fwMajor}, {66, image->fwMinor}};
    for (const IdentityCell &identity : order) {
        uchar value = 0;
        if (!readCell(identity.cell, value))
            return;
        identity.field = value;
    }
    if (vorn) {
        if (image->fwBuild == 0xFF)
            image->fwBuild = 0;
    } else {
        image->hwVersion = 1;
        image->blVersion = 1;
        image->fwBuild = 0;
    }
    emit doConstructDevice();
}

void BusController::readDeviceAllCells()
{
    emit sendStatus("green");
    for (int cell = 0; cell < CellCount; ++cell) {
        if (image->cells[cell].used == 0)
            continue;
        uchar value = 0;
        if (!readCell(quint8(cell), value)) {
            // Without this the window would wait on its splash page for
            // values that never come; dropping the device makes the next
            // answered ping identify and read it afresh.
            if (!stopRequested())
                emit doDestroyDevice();
            return;
        }
        image->cells[cell].value = value;
    }
    emit allCellsReady();
}

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
    CellSlot &lowSlot = image->cells[cell];
    CellSlot &highSlot = image->cells[hcell];
    if (lowSlot.value == low && (hcell == 0 || highSlot.value == high))
        return;
    qDebug() << value << int(cell) << int(hcell);

    // Whatever happens below, the controls must end up showing what the
    // device holds, not what the user asked for.
    const bool confirmed = writeAndReadBack(cell, low, hcell, high);
    if (!confirmed && !stopRequested())
        emit updatedDeviceValue();
}

// Both bytes are written before either is read back, low cell first.
// Returns true only when every step succeeded and the device holds exactly
// what was sent.
bool BusController::writeAndReadBack(quint8 cell, quint8 low, quint8 hcell, quint8 high)
{
    if (!writeCell(cell, low))
        return false;
    if (hcell != 0 && !writeCell(hcell, high))
        return false;

    uchar stored = 0;
    if (!readCell(cell, stored))
        return false;
    bool matches = stored == low;
    if (!matches)
        qDebug() << "LO Write error!!!";
    image->cells[cell].value = stored;

    if (hcell != 0) {
        if (!readCell(hcell, stored))
            return false;
        if (stored != high) {
            matches = false;
            qDebug() << "HI Write error!!!";
        }
        image->cells[hcell].value = stored;
    }
    emit sendStatus("dark_green");
    qDebug() << "ok";
    return matches;
}

void BusController::doUpdateFirmware(QString filename)
{
    const quint32 pageSize = image->fwPageSize;
    timer->stop();

    UploadHooks hooks;
    hooks.status = [this](const QString &color) { emit sendStatus(color); };
    hooks.progress = [this](uint block) { emit setProgressBar(block); };
    hooks.readCellZero = [this] {
        uchar ignored = 0;
        readCell(0, ignored);
    };
    hooks.stopRequested = [this] { return stopRequested(); };

    SerialExchange exchange(*port);
    FirmwareUpload upload(exchange, DialectSetting(dialect), hooks);
    switch (upload.run(filename, pageSize, image->fwPageCount)) {
    case UploadOutcome::Done:
        image->constructed = 0;
        emit firmwareUpdated();
        break;
    case UploadOutcome::CannotOpen:
        reportUploadFailure(tr("The firmware package cannot be opened."));
        break;
    case UploadOutcome::Refused:
        reportUploadFailure(tr("The firmware package does not fit this device. Nothing was sent."));
        break;
    case UploadOutcome::BlockFailed:
        reportUploadFailure(tr("The device did not acknowledge a firmware block. "
                               "Keep it connected and run the update again."));
        break;
    case UploadOutcome::Stopped:
        break;
    }
    timer->start();
}

void BusController::reportUploadFailure(const QString &reason)
{
    emit sendStatus("red", tr(" Firmware update failed"));
    emit firmwareUpdateFailed(reason);
}

bool BusController::stopRequested() const
{
    return QThread::currentThread()->isInterruptionRequested();
}

// Says why the remembered port did not open, where the user can do something about it.
QString BusController::openFailureText() const
{
    const PortDiagnosis diagnosis = diagnosePortOpenFailure(portName, port->error());
    switch (diagnosis.problem) {
    case PortProblem::Absent:
        break;
    case PortProblem::NoPermission:
        return tr(" No permission to open %1: join the group \"%2\" and log in again")
            .arg(portName, diagnosis.group);
    case PortProblem::InUse:
        if (diagnosis.holderPid == 0)
            return tr(" %1 is in use by another program").arg(portName);
        return tr(" %1 is in use by %2 (process %3)")
            .arg(portName, diagnosis.holderName, QString::number(diagnosis.holderPid));
    case PortProblem::Failed:
        return tr(" Cannot open %1: %2").arg(portName, port->errorString());
    }
    return tr(" USB-cable not connected");
}
