#include "link/serialline.h"

#include <QSerialPort>

namespace {

void setLineSettings(QSerialPort &port, qint32 baudRate)
{
    port.setBaudRate(baudRate);
    port.setDataBits(QSerialPort::Data8);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

OpenOutcome openOutcome(const QSerialPort &port)
{
    if (port.isOpen())
        return OpenOutcome::Opened;
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError: return OpenOutcome::NotFound;
    case QSerialPort::PermissionError: return OpenOutcome::PermissionDenied;
    default: break;
    }
    return OpenOutcome::Failed;
}

}  // namespace

OpenOutcome openLine(QSerialPort &port, const QString &name, qint32 baudRate)
{
    port.setPortName(name);
    setLineSettings(port, baudRate);
    port.open(QIODevice::ReadWrite);
    return openOutcome(port);
}

// The settings follow the opening here, as they always have for the scan.
EchoResult echoTest(QSerialPort &port, const QString &name, const EchoTrace &trace)
{
    EchoResult result;
    port.setPortName(name);
    port.open(QIODevice::ReadWrite);
    result.open = openOutcome(port);
    if (result.open != OpenOutcome::Opened)
        return result;
    setLineSettings(port, LinkBaudRate);
    port.clear(QSerialPort::AllDirections);
    const QByteArray sent("KOVA");
    port.write(sent);
    if (trace)
        trace(TraceDirection::Sent, sent);
    port.waitForBytesWritten(50);
    port.waitForReadyRead(50);
    const QByteArray received = port.readAll();
    if (trace)
        trace(TraceDirection::Received, received);
    result.echoed = received == sent;
    port.close();
    return result;
}
