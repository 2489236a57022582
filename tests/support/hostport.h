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
        m_port.setPortName(path);
        if (m_port.open(QIODevice::ReadWrite))
            m_port.setBaudRate(baud);
    }

    bool isOpen() const { return m_port.isOpen(); }
    void setBaudRate(qint32 baud) { m_port.setBaudRate(baud); }
    void close() { m_port.close(); }

    // Writes the request and collects what comes back until `expected` bytes
    // are there (then a short while longer, to catch surplus) or the time is up.
    QByteArray send(const QByteArray &request, int expected, int timeoutMs = ConditionWaitMs)
    {
        m_port.clear();
        m_arrivals.clear();
        m_clock.start();
        m_port.write(request);
        m_port.waitForBytesWritten(1000);
        QByteArray received;
        while (received.size() < expected && m_clock.elapsed() < timeoutMs)
            collect(received, timeoutMs - int(m_clock.elapsed()));
        if (received.size() >= expected)
            collect(received, 30);
        return received;
    }

    // When each batch of bytes arrived, counted from the write.
    QList<Arrival> arrivals() const { return m_arrivals; }

private:
    void collect(QByteArray &received, int waitMs)
    {
        if (waitMs > 0 && m_port.bytesAvailable() == 0)
            m_port.waitForReadyRead(waitMs);
        const QByteArray more = m_port.readAll();
        if (more.isEmpty())
            return;
        received += more;
        m_arrivals.append({m_clock.elapsed(), int(received.size())});
    }

    QSerialPort m_port;
    QElapsedTimer m_clock;
    QList<Arrival> m_arrivals;
};

}  // namespace testsupport
