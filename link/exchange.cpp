#include "link/exchange.h"

#include <QSerialPort>
#include <QThread>

ExchangeResult SerialExchange::run(const QByteArray &request, const ExchangeParams &params,
                                   const std::function<void()> &afterWritten)
{
    port.clear(QSerialPort::AllDirections);
    port.write(request);
    port.waitForBytesWritten(params.writeWaitMs);
    if (afterWritten)
        afterWritten();
    if (params.pauseMs > 0)
        QThread::msleep(params.pauseMs);
    port.waitForReadyRead(params.replyWaitMs);

    ExchangeResult result;
    result.sawData = port.bytesAvailable() > 0;
    switch (params.mode) {
    case ReadMode::Fixed:
        if (port.bytesAvailable() >= params.expected)
            result.received = port.read(params.expected);
        break;
    case ReadMode::Line:
        // QIODevice::readLine(n) keeps room for a terminating zero and
        // returns at most n - 1 bytes.
        if (result.sawData)
            result.received = port.readLine(params.lineLimit + 1);
        break;
    case ReadMode::Gathering:
        if (result.sawData)
            result.received = gather(params.expected, params.stepMs);
        break;
    }
    return result;
}

// Waits further steps only while bytes are missing, so a complete reply ends
// the exchange at once.
QByteArray SerialExchange::gather(int expected, int stepMs)
{
    QByteArray received = port.readAll();
    while (received.size() < expected && port.waitForReadyRead(stepMs))
        received += port.readAll();
    return received;
}
