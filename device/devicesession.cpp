#include "device/devicesession.h"

#include "device/deviceimage.h"
#include "link/frames.h"

#include <QDebug>
#include <QSerialPort>

#include <vector>

namespace {

constexpr int CellAttempts = 5;

// Fixed debug lines: docs/compatibility.md
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

DeviceIdentity DeviceIdentity::of(const DeviceImage &image)
{
    return {image.deviceId, image.hwVersion, image.blVersion, image.fwMajor, image.fwMinor, image.fwBuild};
}

void DeviceIdentity::storeIn(DeviceImage &image) const
{
    image.deviceId = deviceId;
    image.hwVersion = hwVersion;
    image.blVersion = blVersion;
    image.fwMajor = fwMajor;
    image.fwMinor = fwMinor;
    image.fwBuild = fwBuild;
}

bool DeviceIdentity::operator==(const DeviceIdentity &other) const
{
    return deviceId == other.deviceId && hwVersion == other.hwVersion && blVersion == other.blVersion
           && fwMajor == other.fwMajor && fwMinor == other.fwMinor && fwBuild == other.fwBuild;
}

DeviceSession::DeviceSession(QSerialPort &port) : port(port), exchange(port, serialLineHooks(port)) {}

void DeviceSession::setStopCheck(std::function<bool()> check)
{
    stopCheck = std::move(check);
    exchange.setStopCheck([this] { return stopRequested(); });
}

void DeviceSession::setTrace(TraceHook trace)
{
    exchange.setTrace(std::move(trace));
}

bool DeviceSession::stopRequested() const
{
    return stopCheck && stopCheck();
}

OpenOutcome DeviceSession::open(const QString &portName)
{
    if (port.isOpen())
        port.close();
    return openLine(port, portName, LinkBaudRate);
}

void DeviceSession::close()
{
    port.close();
}

bool DeviceSession::isOpen() const
{
    return port.isOpen();
}

QString DeviceSession::portName() const
{
    return port.portName();
}

EchoResult DeviceSession::echoTest(const QString &portName)
{
    if (port.isOpen())
        port.close();
    return ::echoTest(port, portName,
                      [this](TraceDirection direction, const QByteArray &bytes) { exchange.trace(direction, bytes); });
}

PingResult DeviceSession::ping(DialectSetting dialect)
{
    setting = dialect;
    // Only a change reaches the driver: the toolkit turns setting the rate a
    // port already has into two rate changes (a custom rate, then the
    // standard one), and a USB adapter spends the moment between them at
    // another rate, garbling a late reply.
    if (port.baudRate() != baudRateOf(dialect))
        port.setBaudRate(baudRateOf(dialect));
    if (!exchange.portOpen())
        return Silent;
    const Dialect family = dialectOf(dialect);
    qDebug() << pingDebugLine(family);
    const QByteArray request = frames::pingRequest(family);
    const ExchangeResult result = exchange.run(request, frames::pingExchange(family));
    const PingResult ping = frames::classifyPing(family, result.sawData, result.received, request.size());
    // A reply counts only behind the exact echo of its own request.
    return ping == Answered && !result.echoed ? Garbled : ping;
}

LinkOutcome DeviceSession::cellCommand(const QByteArray &request, const ExchangeParams &params, quint8 *reply,
                                       const char *failureLine)
{
    const Dialect family = dialectOf(setting);
    for (int attempt = 0; attempt < CellAttempts; ++attempt) {
        if (stopRequested())
            return LinkOutcome::Stopped;
        if (!exchange.portOpen())
            return LinkOutcome::PortClosed;
        const ExchangeResult result = exchange.run(request, params);
        if (result.portClosed)
            return LinkOutcome::PortClosed;
        if (result.echoed && frames::cellReplyValid(family, result.received, request.size())) {
            if (reply)
                *reply = quint8(result.received.at(request.size() + 1));
            return LinkOutcome::Done;
        }
        if (failureLine)
            qDebug() << failureLine;
    }
    return LinkOutcome::NoReply;
}

// "Reading Cell Error" in Ulma only, kept: docs/compatibility.md
LinkOutcome DeviceSession::readCell(quint8 cell, quint8 &value)
{
    const Dialect family = dialectOf(setting);
    return cellCommand(frames::readRequest(family, cell), frames::readExchange(family), &value,
                       family == Dialect::Ulma ? "Reading Cell Error" : nullptr);
}

LinkOutcome DeviceSession::writeCell(quint8 cell, quint8 value)
{
    const Dialect family = dialectOf(setting);
    return cellCommand(frames::writeRequest(family, cell, value), frames::writeExchange(family), nullptr, nullptr);
}

// The identity fields set by hand stay: docs/compatibility.md
LinkOutcome DeviceSession::identify(DeviceIdentity &identity)
{
    struct IdentityCell {
        quint8 cell;
        quint8 &field;
    };
    const bool vorn = dialectOf(setting) == Dialect::Vorn;
    const std::vector<IdentityCell> order =
        vorn ? std::vector<IdentityCell>{{200, identity.deviceId}, {203, identity.blVersion}, {202, identity.hwVersion},
                                         {205, identity.fwMajor},  {206, identity.fwMinor},   {212, identity.fwBuild}}
             : std::vector<IdentityCell>{{64, identity.deviceId}, {65, identity.fwMajor}, {66, identity.fwMinor}};
    for (const IdentityCell &next : order) {
        const LinkOutcome outcome = readCell(next.cell, next.field);
        if (outcome != LinkOutcome::Done)
            return outcome;
    }
    if (vorn) {
        if (identity.fwBuild == 0xFF)
            identity.fwBuild = 0;
    } else {
        identity.hwVersion = 1;
        identity.blVersion = 1;
        identity.fwBuild = 0;
    }
    return LinkOutcome::Done;
}

CellsReadResult DeviceSession::readUsedCells(DeviceImage &image,
                                             const std::function<void(int done, int total)> &progress)
{
    int total = 0;
    for (const CellSlot &slot : image.cells)
        total += slot.used != 0 ? 1 : 0;
    int done = 0;
    for (int cell = 0; cell < CellCount; ++cell) {
        if (image.cells[cell].used == 0)
            continue;
        quint8 value = 0;
        const LinkOutcome outcome = readCell(quint8(cell), value);
        if (outcome != LinkOutcome::Done)
            return {outcome, quint8(cell)};
        image.cells[cell].value = value;
        if (progress)
            progress(++done, total);
    }
    return {};
}

// Both bytes are written before either is read back, low cell first.
WriteOutcome DeviceSession::writeValue(DeviceImage &image, uint value, quint8 cell, quint8 hcell)
{
    if (!hasCellSlot(cell) || !hasCellSlot(hcell))
        return WriteOutcome::WriteFailed;
    const quint8 low = value & 0xFF;
    const quint8 high = (value >> 8) & 0xFF;
    const bool twoCells = hcell != 0;

    LinkOutcome step = writeCell(cell, low);
    if (step != LinkOutcome::Done)
        return afterFailedStep(image, step, WriteOutcome::WriteFailed, {cell});
    if (twoCells) {
        step = writeCell(hcell, high);
        if (step != LinkOutcome::Done)
            return afterFailedStep(image, step, WriteOutcome::WriteFailed, {cell, hcell});
    }

    bool matches = true;
    quint8 stored = 0;
    step = readCell(cell, stored);
    if (step != LinkOutcome::Done) {
        return twoCells ? afterFailedStep(image, step, WriteOutcome::Unverified, {hcell})
                        : afterFailedStep(image, step, WriteOutcome::Unverified, {});
    }
    if (stored != low) {
        matches = false;
        // This line and "HI Write error!!!" stay as they are: docs/compatibility.md
        qDebug() << "LO Write error!!!";
    }
    image.cells[cell].value = stored;

    if (twoCells) {
        step = readCell(hcell, stored);
        if (step != LinkOutcome::Done)
            return afterFailedStep(image, step, WriteOutcome::Unverified, {});
        if (stored != high) {
            matches = false;
            qDebug() << "HI Write error!!!";
        }
        image.cells[hcell].value = stored;
    }
    return matches ? WriteOutcome::Confirmed : WriteOutcome::DeviceDiffers;
}

// A device left holding half a value must not be shown the old one: what
// was written is read back while the device still answers. A write whose
// reply was lost may have been stored all the same, so its own cell is read
// back too.
WriteOutcome DeviceSession::afterFailedStep(DeviceImage &image, LinkOutcome step, WriteOutcome failure,
                                            std::initializer_list<quint8> cellsToReadBack)
{
    if (step == LinkOutcome::PortClosed)
        return WriteOutcome::PortClosed;
    if (step == LinkOutcome::Stopped)
        return WriteOutcome::Stopped;
    for (const quint8 cell : cellsToReadBack) {
        quint8 stored = 0;
        if (readCell(cell, stored) == LinkOutcome::Done)
            image.cells[cell].value = stored;
        else
            failure = WriteOutcome::Unverified;
    }
    return failure;
}

UploadOutcome DeviceSession::uploadImage(const QByteArray &image, quint32 pageSize, quint8 pageCount,
                                         const DeviceIdentity &expected, const ProgressCallback &progress,
                                         const StatusCallback &status, DeviceIdentity *found)
{
    UploadHooks hooks;
    hooks.status = status;
    hooks.progress = progress;
    hooks.readCellZero = [this] {
        quint8 ignored = 0;
        readCell(0, ignored);
    };
    hooks.stopRequested = [this] { return stopRequested(); };
    hooks.confirmDevice = [this, &expected, found] { return confirmDevice(expected, found); };
    FirmwareUpload upload(exchange, setting, std::move(hooks));
    return upload.run(image, pageSize, pageCount);
}

UploadOutcome DeviceSession::confirmDevice(const DeviceIdentity &expected, DeviceIdentity *found)
{
    DeviceIdentity now;
    const LinkOutcome outcome = identify(now);
    if (found)
        *found = now;
    switch (outcome) {
    case LinkOutcome::Done: break;
    case LinkOutcome::NoReply: return UploadOutcome::DeviceSilent;
    case LinkOutcome::PortClosed: return UploadOutcome::PortClosed;
    case LinkOutcome::Stopped: return UploadOutcome::Stopped;
    }
    return now == expected ? UploadOutcome::Done : UploadOutcome::DeviceChanged;
}
