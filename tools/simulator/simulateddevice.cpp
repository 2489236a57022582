#include "simulateddevice.h"

#include "devicemodel.h"
#include "outputschedule.h"
#include "pseudoterminal.h"
#include "simline.h"
#include "replyshaper.h"
#include "requestdecoder.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr qint64 NsPerMs = 1000000;
constexpr qint64 NsPerSecond = 1000000000;
constexpr int BitsPerByte = 10;  // start, eight data bits, stop

// Bytes of an unfinished frame that sat longer than this are noise, not the
// start of the next request: the program always writes a frame in one go.
constexpr qint64 StaleFrameNs = 100 * NsPerMs;

qint64 monotonicNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * NsPerSecond + now.tv_nsec;
}

ReplyTo replyTo(char requestKind)
{
    switch (requestKind) {
    case 'S': return ReplyTo::Ping;
    case 'F': return ReplyTo::Block;
    default: break;
    }
    return ReplyTo::Command;
}

struct LinkState {
    DeviceModel model;
    RequestDecoder decoder;
    OutputSchedule output;
    ReplyFaults faults;
    bool unplugged = false;
    bool attached = false;
    bool wireTiming = false;
    bool echoInPackets = false;
    int latencyMs = 0;
    qint64 lastInputNs = 0;
    QList<SimRequest> requests;
    QByteArray rawReceived;
    std::function<void(const SimRequest &)> listener;
};

}  // namespace

class SimulatedDevice::Worker
{
public:
    explicit Worker(SimLineFactory openLine);
    ~Worker();

    QString portPath() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return line ? line->path() : QString();
    }
    void setPortGone(bool gone);

    template <typename Action>
    auto with(Action &&action)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return action(state);
    }
    template <typename Action>
    auto with(Action &&action) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return action(state);
    }

    bool waitForRequests(int count, int timeoutMs) const;

private:
    void run();
    void receiveAvailable();
    void handleInput(const QByteArray &chunk, qint64 nowNs);
    void scheduleReply(const QByteArray &reply, ReplyTo to, qint64 readyNs, qint64 byteNs);
    void transmitDue();
    void replacePortIfAsked();
    int masterFd() const { return line ? line->fd() : -1; }

    SimLineFactory lineFactory;
    // Replaced only by the device's thread, so it never polls a closed fd.
    std::unique_ptr<SimLine> line;
    enum class PortChange { None, Close, Open };
    PortChange portChange = PortChange::None;
    std::condition_variable portChanged;
    int wakeFd = -1;
    std::atomic<bool> stopping{false};
    mutable std::mutex mutex;
    mutable std::condition_variable requestsAdded;
    LinkState state;
    std::thread deviceThread;
};

SimulatedDevice::Worker::Worker(SimLineFactory openLine) : lineFactory(std::move(openLine)), line(lineFactory())
{
    if (masterFd() < 0)
        return;
    wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    deviceThread = std::thread([this] { run(); });
}

SimulatedDevice::Worker::~Worker()
{
    stopping = true;
    if (deviceThread.joinable()) {
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t written = write(wakeFd, &one, sizeof one);
        deviceThread.join();
    }
    if (wakeFd >= 0)
        close(wakeFd);
}

bool SimulatedDevice::Worker::waitForRequests(int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex);
    return requestsAdded.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [&] { return state.requests.size() >= count; });
}

void SimulatedDevice::Worker::setPortGone(bool gone)
{
    if (!deviceThread.joinable())
        return;
    std::unique_lock<std::mutex> lock(mutex);
    portChange = gone ? PortChange::Close : PortChange::Open;
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t written = write(wakeFd, &one, sizeof one);
    portChanged.wait(lock, [this] { return portChange == PortChange::None; });
}

void SimulatedDevice::Worker::replacePortIfAsked()
{
    quint64 count = 0;
    [[maybe_unused]] const ssize_t drained = read(wakeFd, &count, sizeof count);
    std::lock_guard<std::mutex> lock(mutex);
    if (portChange == PortChange::Close)
        line.reset();
    else if (portChange == PortChange::Open && !line)
        line = lineFactory();
    portChange = PortChange::None;
    portChanged.notify_all();
}

void SimulatedDevice::Worker::run()
{
    std::array<pollfd, 2> fds{{{masterFd(), POLLIN, 0}, {wakeFd, POLLIN, 0}}};
    while (!stopping) {
        // Sleep until the next byte is due, by its absolute deadline, so pacing
        // errors never add up over a long reply.
        const std::optional<qint64> deadline = with([](LinkState &s) { return s.output.nextDeadline(); });
        timespec timeout{};
        timespec *wait = nullptr;
        if (deadline) {
            const qint64 ns = std::max<qint64>(0, *deadline - monotonicNs());
            timeout = {static_cast<time_t>(ns / NsPerSecond), static_cast<long>(ns % NsPerSecond)};
            wait = &timeout;
        }
        if (ppoll(fds.data(), fds.size(), wait, nullptr) < 0 && errno != EINTR)
            break;
        if (fds[1].revents & POLLIN) {
            replacePortIfAsked();
            fds[0].fd = masterFd();
            continue;
        }
        if (fds[0].revents & POLLIN)
            receiveAvailable();
        // The far end of a socket line has gone for good; a pty never hangs up,
        // its slave is held open.
        if (fds[0].revents & POLLHUP)
            fds[0].fd = -1;
        transmitDue();
    }
}

void SimulatedDevice::Worker::receiveAvailable()
{
    QByteArray chunk;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(masterFd(), buffer, sizeof buffer);
        if (n <= 0)
            break;
        chunk.append(buffer, static_cast<int>(n));
    }
    if (!chunk.isEmpty())
        handleInput(chunk, monotonicNs());
}

void SimulatedDevice::Worker::handleInput(const QByteArray &chunk, qint64 nowNs)
{
    QList<SimRequest> decoded;
    std::function<void(const SimRequest &)> listener;
    {
        std::lock_guard<std::mutex> lock(mutex);
        LinkState &s = state;
        s.rawReceived.append(chunk);
        if (s.unplugged)
            return;
        const int baud = line->baudRate();
        const qint64 byteNs = s.wireTiming && baud > 0 ? BitsPerByte * NsPerSecond / baud : 0;
        const qint64 echoEnd = s.output.add(OutputSchedule::Sender::Echo, chunk, nowNs, byteNs, s.echoInPackets);
        if (!s.attached)
            return;

        if (nowNs - s.lastInputNs > StaleFrameNs)
            s.decoder.reset();
        s.lastInputNs = nowNs;
        for (const DecodedRequest &request : s.decoder.feed(chunk)) {
            // At another speed the device would hear only noise.
            if (baud != baudRateOf(s.model.protocol()))
                continue;
            SimRequest entry;
            entry.kind = request.kind;
            entry.cell = request.cell;
            entry.value = request.kind == 'R'   ? s.model.cell(request.cell)
                          : request.kind == 'F' ? s.model.receivedBlocks().size()
                                                : request.value;
            entry.raw = request.raw;
            entry.atMs = nowNs / NsPerMs;
            const std::optional<QByteArray> reply = s.model.answer(request);
            entry.answered = reply.has_value();
            if (reply)
                scheduleReply(*reply, replyTo(request.kind), echoEnd + s.latencyMs * NsPerMs, byteNs);
            s.requests.append(entry);
            decoded.append(entry);
        }
        listener = s.listener;
    }
    if (decoded.isEmpty())
        return;
    requestsAdded.notify_all();
    if (listener) {
        for (const SimRequest &entry : decoded)
            listener(entry);
    }
}

// Called with the mutex held.
void SimulatedDevice::Worker::scheduleReply(const QByteArray &reply, ReplyTo to, qint64 readyNs, qint64 byteNs)
{
    for (const ReplyPiece &piece : shapeReply(reply, to, state.faults)) {
        readyNs = state.output.add(OutputSchedule::Sender::Device, piece.bytes, readyNs + piece.gapBeforeMs * NsPerMs,
                                   byteNs);
    }
}

void SimulatedDevice::Worker::transmitDue()
{
    const auto [due, unplugged] =
        with([](LinkState &s) { return std::make_pair(s.output.takeDue(monotonicNs()), s.unplugged); });
    if (unplugged || masterFd() < 0)
        return;
    int sent = 0;
    while (sent < due.size()) {
        const ssize_t n = write(masterFd(), due.constData() + sent, static_cast<size_t>(due.size() - sent));
        // A full pty means nobody reads the port: the bytes are lost as on an
        // overrun line.
        if (n <= 0)
            break;
        sent += static_cast<int>(n);
    }
}

SimulatedDevice::SimulatedDevice()
    : SimulatedDevice([] { return std::unique_ptr<SimLine>(std::make_unique<PseudoTerminal>()); })
{
}

SimulatedDevice::SimulatedDevice(SimLineFactory openLine) : worker(std::make_unique<Worker>(std::move(openLine))) {}

SimulatedDevice::~SimulatedDevice() = default;

QString SimulatedDevice::portPath() const
{
    return worker->portPath();
}

void SimulatedDevice::setPortGone(bool gone)
{
    worker->setPortGone(gone);
}

void SimulatedDevice::setUnplugged(bool unplugged)
{
    worker->with([&](LinkState &s) { s.unplugged = unplugged; });
}

void SimulatedDevice::attachDevice(Protocol protocol)
{
    worker->with([&](LinkState &s) {
        s.model.setProtocol(protocol);
        s.decoder.setFamily(familyOf(protocol));
        s.attached = true;
    });
}

void SimulatedDevice::detachDevice()
{
    worker->with([](LinkState &s) { s.attached = false; });
}

void SimulatedDevice::replaceDevice(Protocol protocol)
{
    worker->with([&](LinkState &s) {
        s.model = DeviceModel();
        s.model.setProtocol(protocol);
        s.decoder.setFamily(familyOf(protocol));
        s.faults = ReplyFaults();
    });
}

void SimulatedDevice::reviveCell(int cell)
{
    worker->with([&](LinkState &s) { s.model.reviveCell(cell); });
}

void SimulatedDevice::setCell(int cell, quint8 value)
{
    worker->with([&](LinkState &s) { s.model.setCell(cell, value); });
}

quint8 SimulatedDevice::cell(int cell) const
{
    return worker->with([&](const LinkState &s) { return s.model.cell(cell); });
}

void SimulatedDevice::setCells(const QMap<int, quint8> &cells)
{
    worker->with([&](LinkState &s) {
        for (auto it = cells.cbegin(); it != cells.cend(); ++it)
            s.model.setCell(it.key(), it.value());
    });
}

void SimulatedDevice::setCellLimits(int cell, quint8 min, quint8 max)
{
    worker->with([&](LinkState &s) { s.model.setCellLimits(cell, min, max); });
}

void SimulatedDevice::setIdentity(quint8 deviceId, quint8 hwVersion, quint8 blVersion, quint8 fwMajor, quint8 fwMinor,
                                  quint8 fwBuild)
{
    worker->with([&](LinkState &s) { s.model.setIdentity(deviceId, hwVersion, blVersion, fwMajor, fwMinor, fwBuild); });
}

void SimulatedDevice::setBlockSize(int blockSize)
{
    worker->with([&](LinkState &s) { s.decoder.setBlockSize(blockSize); });
}

QList<QByteArray> SimulatedDevice::receivedBlocks() const
{
    return worker->with([](const LinkState &s) { return s.model.receivedBlocks(); });
}

int SimulatedDevice::bootloaderEntries() const
{
    return worker->with([](const LinkState &s) { return s.model.bootloaderEntries(); });
}

void SimulatedDevice::setFirmwareAfterUpload(quint8 fwMajor, quint8 fwMinor, quint8 fwBuild, int blockCount)
{
    worker->with([&](LinkState &s) { s.model.setFirmwareAfterUpload(fwMajor, fwMinor, fwBuild, blockCount); });
}

void SimulatedDevice::setCellsAfterUpload(const QMap<int, quint8> &cells)
{
    worker->with([&](LinkState &s) { s.model.setCellsAfterUpload(cells); });
}

void SimulatedDevice::setKeepsVersion(bool keeps)
{
    worker->with([&](LinkState &s) { s.model.setKeepsVersion(keeps); });
}

void SimulatedDevice::setGarbleReplies(bool garble)
{
    worker->with([&](LinkState &s) { s.faults.garble = garble; });
}

void SimulatedDevice::dropReplies(int count)
{
    worker->with([&](LinkState &s) { s.model.dropReplies(count); });
}

void SimulatedDevice::setSplitReplies(int pieces, int gapMs)
{
    worker->with([&](LinkState &s) {
        s.faults.splitPieces = pieces;
        s.faults.splitGapMs = gapMs;
    });
}

void SimulatedDevice::failCell(int cell)
{
    worker->with([&](LinkState &s) { s.model.failCell(cell); });
}

void SimulatedDevice::neverAcknowledgeBlock(int index)
{
    worker->with([&](LinkState &s) { s.model.neverAcknowledgeBlock(index); });
}

void SimulatedDevice::setAckInPieces(bool inPieces)
{
    worker->with([&](LinkState &s) { s.faults.ackInPieces = inPieces; });
}

void SimulatedDevice::setAckExtraBytes(int count)
{
    worker->with([&](LinkState &s) { s.faults.ackExtraBytes = count; });
}

void SimulatedDevice::setWireTiming(bool on)
{
    worker->with([&](LinkState &s) { s.wireTiming = on; });
}

void SimulatedDevice::setEchoInPackets(bool on)
{
    worker->with([&](LinkState &s) { s.echoInPackets = on; });
}

void SimulatedDevice::setLateReplies(int ms, int chunks)
{
    worker->with([&](LinkState &s) {
        s.faults.lateMs = ms;
        s.faults.lateChunks = chunks;
    });
}

void SimulatedDevice::setAnswerLatencyMs(int ms)
{
    worker->with([&](LinkState &s) { s.latencyMs = ms; });
}

QList<SimRequest> SimulatedDevice::requests() const
{
    return worker->with([](const LinkState &s) { return s.requests; });
}

void SimulatedDevice::clearRequests()
{
    worker->with([](LinkState &s) { s.requests.clear(); });
}

bool SimulatedDevice::waitForRequests(int count, int timeoutMs) const
{
    return worker->waitForRequests(count, timeoutMs);
}

QByteArray SimulatedDevice::rawReceived() const
{
    return worker->with([](const LinkState &s) { return s.rawReceived; });
}

void SimulatedDevice::clearRawReceived()
{
    worker->with([](LinkState &s) { s.rawReceived.clear(); });
}

void SimulatedDevice::setRequestListener(std::function<void(const SimRequest &)> listener)
{
    worker->with([&](LinkState &s) { s.listener = std::move(listener); });
}
