#pragma once

#include <QByteArray>

#include <functional>

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
    bool sawData = false;  // at least one byte was available after the reply wait
    QByteArray received;   // echo and reply as read
};

// One request-and-reply step on the serial line, on which every command is
// built. Blocks the calling (worker) thread for its waits.
class SerialExchange
{
public:
    explicit SerialExchange(QSerialPort &port) : port(port) {}

    // `afterWritten` runs right after the wait until written, before the pause.
    ExchangeResult run(const QByteArray &request, const ExchangeParams &params,
                       const std::function<void()> &afterWritten = {});

private:
    QByteArray gather(int expected, int stepMs);

    QSerialPort &port;
};
