#include "link/exchange.h"

#include <QIODevice>
#include <QThread>

#include <algorithm>

namespace {

// How long a stop may wait for a silent line.
constexpr int StopCheckEveryMs = 50;

// Whether `received` can still be the echo of `request` followed by its reply.
bool echoSoFar(const QByteArray &received, const QByteArray &request)
{
    const int compared = std::min(received.size(), request.size());
    return received.left(compared) == request.left(compared);
}

}  // namespace

SerialExchange::SerialExchange(QIODevice &device, LineHooks hooks) : device(device), hooks(std::move(hooks))
{
    clock.start();
}

bool SerialExchange::portOpen() const
{
    return device.isOpen();
}

void SerialExchange::setTrace(TraceHook hook)
{
    traceHook = std::move(hook);
    traceClock.start();
}

void SerialExchange::setStopCheck(std::function<bool()> check)
{
    stopCheck = std::move(check);
}

void SerialExchange::trace(TraceDirection direction, const QByteArray &bytes) const
{
    if (traceHook)
        traceHook(direction, bytes, traceClock.elapsed());
}

qint64 SerialExchange::nowMs() const
{
    return hooks.clockMs ? hooks.clockMs() : clock.elapsed();
}

// A device that left the system is closed, so that whatever runs next sees
// a closed port rather than a silent one.
bool SerialExchange::lineGone()
{
    if (!hooks.gone || !hooks.gone())
        return false;
    device.close();
    replyOwed = false;
    return true;
}

ExchangeResult SerialExchange::run(const QByteArray &request, const ExchangeParams &params,
                                   const std::function<void()> &afterWritten)
{
    ExchangeResult result;
    if (!portOpen()) {
        replyOwed = false;
        result.portClosed = true;
        return result;
    }
    if (hooks.clearBuffers)
        hooks.clearBuffers();
    if (lineGone()) {
        result.portClosed = true;
        return result;
    }
    device.write(request);
    trace(TraceDirection::Sent, request);
    device.waitForBytesWritten(params.writeWaitMs);
    if (afterWritten)
        afterWritten();
    if (params.pauseMs > 0) {
        if (hooks.sleep)
            hooks.sleep(params.pauseMs);
        else
            QThread::msleep(params.pauseMs);
    }
    const qint64 deadlineMs = nowMs() + params.replyWaitMs;
    QByteArray &received = result.received;
    if (params.oneWait) {
        waitForData(params.replyWaitMs);
        if (device.bytesAvailable() > 0)
            received = take(params, 0);
    } else {
        // What is there already is looked at before any wait, and a reply is
        // waited for only behind the exact echo of its own request: bytes
        // that are no echo end the attempt, and the next one clears them.
        received = take(params, 0);
        while (!complete(received, params) && echoSoFar(received, request)
               && waitForMore(params, deadlineMs, !received.isEmpty()))
            received += take(params, received.size());
    }
    result.sawData = !received.isEmpty();
    result.echoed = received.startsWith(request);
    QByteArray dropped;
    if (!complete(received, params)) {
        if (lineGone())
            result.portClosed = true;
        else if (!params.oneWait && result.sawData)
            replyOwed = true;
    } else if (replyOwed && !params.oneWait && result.echoed) {
        dropped = dropOwedReply(params, params.expected - request.size() - (received.size() - params.expected));
        replyOwed = false;
    }
    trace(TraceDirection::Received, received + dropped);
    return result;
}

// A reply that missed its wait may still come, and the next attempt may take
// it for its own. So the first whole reply after such an attempt is followed
// by a wait, at most the reply wait, for the one still owed, which is dropped
// rather than left to answer the next request.
QByteArray SerialExchange::dropOwedReply(const ExchangeParams &params, int owedBytes)
{
    const qint64 deadlineMs = nowMs() + params.replyWaitMs;
    QByteArray dropped = device.readAll();
    while (dropped.size() < owedBytes) {
        const qint64 leftMs = deadlineMs - nowMs();
        if (leftMs <= 0 || !waitForData(int(leftMs)))
            break;
        dropped += device.readAll();
    }
    return dropped;
}

// What the mode takes of the bytes that are there, `have` being read already.
QByteArray SerialExchange::take(const ExchangeParams &params, int have)
{
    switch (params.mode) {
    case ReadMode::Fixed: return device.read(params.expected - have);
    case ReadMode::Line:
        // QIODevice::readLine(n) keeps room for a terminating zero and
        // returns at most n - 1 bytes.
        return device.readLine(params.lineLimit - have + 1);
    case ReadMode::Gathering: break;
    }
    return device.readAll();
}

bool SerialExchange::complete(const QByteArray &received, const ExchangeParams &params) const
{
    if (params.mode == ReadMode::Line)
        return received.size() >= std::min(params.expected, params.lineLimit) || received.endsWith('\n');
    return received.size() >= params.expected;
}

// Returns at once when bytes are already waiting. A gathering read that has
// begun keeps its steps past the deadline while each of them brings more.
bool SerialExchange::waitForMore(const ExchangeParams &params, qint64 deadlineMs, bool begun)
{
    qint64 waitMs = deadlineMs - nowMs();
    if (params.mode == ReadMode::Gathering && begun)
        waitMs = std::max<qint64>(waitMs, params.stepMs);
    return waitMs > 0 && waitForData(int(waitMs));
}

// The wait is cut into short ones with the stop check between them. Time
// is counted by the waits asked for, not by a clock: a device whose waits
// end early (a closed port) is asked as often as its waits would fit.
bool SerialExchange::waitForData(int ms)
{
    for (int left = ms;;) {
        const int slice = std::min(left, StopCheckEveryMs);
        if (device.waitForReadyRead(slice))
            return true;
        left -= slice;
        if (left <= 0 || (stopCheck && stopCheck()))
            return false;
    }
}
