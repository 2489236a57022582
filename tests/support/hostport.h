#pragma once

// The program's side of the simulated cable: a real QSerialPort on the
// pseudo terminal, for tests that speak to the simulator byte by byte.
#include "support/testsupport.h"

#include <QElapsedTimer>
#include <QList>
#include <QSerialPort>

namespace testsupport {

struct Arrival {
    qint64 atMs;
    int totalBytes;
};

// The program's side of the cable.
class HostPort
{
public:
    HostPort(const QString &path, qint32 baud)
    {
        serialPort.setPortName(path);
        if (serialPort.open(QIODevice::ReadWrite))
            serialPort.setBaudRate(baud);
    }

    bool isOpen() const { return serialPort.isOpen(); }
    void setBaudRate(qint32 baud) { serialPort.setBaudRate(baud); }
    void close() { serialPort.close(); }

    // Writes the request and collects what comes back until `expected` bytes
    // are there (then a short while longer, to catch surplus) or the time is up.
    QByteArray send(const QByteArray &request, int expected, int timeoutMs = ConditionWaitMs)
    {
        serialPort.clear();
        arrivalLog.clear();
        exchangeClock.start();
        serialPort.write(request);
        serialPort.waitForBytesWritten(1000);
        QByteArray received;
        while (received.size() < expected && exchangeClock.elapsed() < timeoutMs)
            collect(received, timeoutMs - int(exchangeClock.elapsed()));
        if (received.size() >= expected)
            collect(received, 30);
        return received;
    }

    // When each batch of bytes arrived, counted from the write.
    QList<Arrival> arrivals() const { return arrivalLog; }

private:
    void collect(QByteArray &received, int waitMs)
    {
        if (waitMs > 0 && serialPort.bytesAvailable() == 0)
            serialPort.waitForReadyRead(waitMs);
        const QByteArray more = serialPort.readAll();
        if (more.isEmpty())
            return;
        received += more;
        arrivalLog.append({exchangeClock.elapsed(), int(received.size())});
    }

    QSerialPort serialPort;
    QElapsedTimer exchangeClock;
    QList<Arrival> arrivalLog;
};

}  // namespace testsupport
