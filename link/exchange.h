#pragma once

#include <QByteArray>
#include <QElapsedTimer>

#include <functional>

class QIODevice;
class QSerialPort;

enum class ReadMode {
    Fixed,      // exactly `expected` bytes if they are there after the reply wait
    Line,       // one line, up to `lineLimit` bytes
    Gathering,  // keep collecting in `stepMs` waits until `expected` are in or a wait sees nothing
};

struct ExchangeParams {
    int writeWaitMs;
    int pauseMs;
    int replyWaitMs;
    int expected;  // echo plus reply
    ReadMode mode;
    int lineLimit = 0;
    int stepMs = 25;
};

struct ExchangeResult {
    bool portClosed = false;  // the device was not open: nothing was sent
    bool sawData = false;     // at least one byte was available after the reply wait
    QByteArray received;      // echo and reply as read
};

enum class TraceDirection { Sent, Received };
// `elapsedMs` counts from the moment the hook was set.
using TraceHook = std::function<void(TraceDirection direction, const QByteArray &bytes, qint64 elapsedMs)>;

// One request-and-reply step on the serial line, on which every command is
// built. Blocks the calling (worker) thread for its waits. Works on any
// QIODevice; only the clearing of stale bytes before a request needs the
// serial port, so it comes as a hook.
class SerialExchange
{
public:
    using ClearBuffers = std::function<void()>;

    SerialExchange(QIODevice &device, ClearBuffers clearBuffers);
    explicit SerialExchange(QSerialPort &port);

    bool portOpen() const;

    // Reports every request as written and every reply as read (also an empty one).
    void setTrace(TraceHook hook);

    // Asked during the wait for a reply: true ends the wait at once, as if
    // nothing had come, so a caller that stops is never held by a silent line.
    void setStopCheck(std::function<bool()> check);

    // `afterWritten` runs right after the wait until written, before the pause.
    // A device that is not open ends the step at once with `portClosed`.
    ExchangeResult run(const QByteArray &request, const ExchangeParams &params,
                       const std::function<void()> &afterWritten = {});

    // For bytes moved outside an exchange (the echo test), on the same clock.
    void trace(TraceDirection direction, const QByteArray &bytes) const;

private:
    QByteArray gather(int expected, int stepMs);
    bool waitForReply(int ms);

    QIODevice &device;
    ClearBuffers clearBuffers;
    TraceHook traceHook;
    std::function<bool()> stopCheck;
    QElapsedTimer traceClock;
};
