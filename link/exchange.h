#pragma once

#include <QByteArray>
#include <QElapsedTimer>

#include <functional>

class QIODevice;

enum class ReadMode {
    Fixed,  // exactly `expected` bytes
    Line,  // one line, up to `lineLimit` bytes
    Gathering,  // everything that comes, in `stepMs` waits, until `expected` are in
};

struct ExchangeParams {
    int writeWaitMs;
    int pauseMs;
    int replyWaitMs;
    int expected;  // echo plus reply
    ReadMode mode;
    int lineLimit = 0;
    int stepMs = 25;
    // A ping takes what one wait brings: the search through the dialects is
    // paced by it. Every other command waits for the rest of a reply that
    // has begun, up to the reply wait.
    bool oneWait = false;
};

struct ExchangeResult {
    bool portClosed = false;  // the port was not open, or its device left the system
    bool sawData = false;  // at least one byte came back within the reply wait
    bool echoed = false;  // `received` begins with the exact echo of the request
    QByteArray received;  // echo and reply as read
};

enum class TraceDirection { Sent, Received };
// `elapsedMs` counts from the moment the hook was set.
using TraceHook = std::function<void(TraceDirection direction, const QByteArray &bytes, qint64 elapsedMs)>;

// What the exchange needs of its line beyond reading and writing. Hooks left
// unset are skipped; without a clock the exchange keeps real time.
struct LineHooks {
    std::function<void()> clearBuffers;  // drops stale bytes in both directions
    std::function<bool()> gone;  // the line's device has left the system
    std::function<qint64()> clockMs;  // a monotonic clock for the reply wait's deadline ...
    std::function<void(int ms)> sleep;  // ... and the pause on it
};

// One request-and-reply step on the serial line, on which every command is
// built. Blocks the calling (worker) thread for its waits. Works on any
// QIODevice; what only a serial port can do comes as hooks (serialLineHooks).
class SerialExchange
{
public:
    SerialExchange(QIODevice &device, LineHooks hooks);
    SerialExchange(const SerialExchange &) = delete;
    SerialExchange &operator=(const SerialExchange &) = delete;

    bool portOpen() const;

    // Reports every request as written and every reply as read (also an empty one).
    void setTrace(TraceHook hook);

    // Asked during the wait for a reply: true ends the wait at once, as if
    // nothing had come, so a caller that stops is never held by a silent line.
    void setStopCheck(std::function<bool()> check);

    // `afterWritten` runs right after the wait until written, before the pause.
    // A device that is not open ends the step at once with `portClosed`; one
    // that left the system is closed, and ends it the same way.
    ExchangeResult run(const QByteArray &request, const ExchangeParams &params,
                       const std::function<void()> &afterWritten = {});

    // For bytes moved outside an exchange (the echo test), on the same clock.
    void trace(TraceDirection direction, const QByteArray &bytes) const;

private:
    QByteArray take(const ExchangeParams &params, int have);
    bool complete(const QByteArray &received, const ExchangeParams &params) const;
    bool waitForMore(const ExchangeParams &params, qint64 deadlineMs, bool begun);
    QByteArray dropOwedReply(const ExchangeParams &params, int owedBytes);
    qint64 nowMs() const;
    bool lineGone();
    bool waitForData(int ms);

    QIODevice &device;
    LineHooks hooks;
    TraceHook traceHook;
    std::function<bool()> stopCheck;
    QElapsedTimer traceClock;
    QElapsedTimer clock;
    bool replyOwed = false;  // an attempt's reply did not come within its wait
};
