#include "link/exchange.h"

#include <QSerialPort>
#include <QThread>

#include <algorithm>

namespace {

// How long a stop may wait for a silent line.
constexpr int StopCheckEveryMs = 50;

}  // namespace

SerialExchange::SerialExchange(QIODevice &device, ClearBuffers clearBuffers)
    : device(device), clearBuffers(std::move(clearBuffers))
{
}

SerialExchange::SerialExchange(QSerialPort &port)
    : SerialExchange(port, [&port] { port.clear(QSerialPort::AllDirections); })
{
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

ExchangeResult SerialExchange::run(const QByteArray &request, const ExchangeParams &params,
                                   const std::function<void()> &afterWritten)
{
    ExchangeResult result;
    if (!portOpen()) {
        result.portClosed = true;
        return result;
    }
    if (clearBuffers)
        clearBuffers();
    device.write(request);
    trace(TraceDirection::Sent, request);
    device.waitForBytesWritten(params.writeWaitMs);
    if (afterWritten)
        afterWritten();
    if (params.pauseMs > 0)
        QThread::msleep(params.pauseMs);
    waitForReply(params.replyWaitMs);

    result.sawData = device.bytesAvailable() > 0;
    switch (params.mode) {
    case ReadMode::Fixed:
        if (device.bytesAvailable() >= params.expected)
            result.received = device.read(params.expected);
        break;
    case ReadMode::Line:
        // QIODevice::readLine(n) keeps room for a terminating zero and
        // returns at most n - 1 bytes.
        if (result.sawData)
            result.received = device.readLine(params.lineLimit + 1);
        break;
    case ReadMode::Gathering:
        if (result.sawData)
            result.received = gather(params.expected, params.stepMs);
        break;
    }
    trace(TraceDirection::Received, result.received);
    return result;
}

// Waits further steps only while bytes are missing, so a complete reply ends
// the exchange at once.
QByteArray SerialExchange::gather(int expected, int stepMs)
{
    QByteArray received = device.readAll();
    while (received.size() < expected && device.waitForReadyRead(stepMs))
        received += device.readAll();
    return received;
}

// The wait is cut into short ones with the stop check between them. Time
// is counted by the waits asked for, not by a clock: a device whose waits
// end early (a closed port) is asked as often as its waits would fit.
bool SerialExchange::waitForReply(int ms)
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
