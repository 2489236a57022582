#include "link/serialline.h"

#include <QSerialPort>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif
#include <poll.h>
#include <termios.h>

#include <cerrno>

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
    if (port.open(QIODevice::ReadWrite))
        requestLowLatency(port);
    return openOutcome(port);
}

bool requestLowLatency(QSerialPort &port)
{
#ifdef Q_OS_LINUX
    const int handle = int(port.handle());
    serial_struct serial{};
    if (handle < 0 || ::ioctl(handle, TIOCGSERIAL, &serial) != 0)
        return false;
    if (serial.flags & ASYNC_LOW_LATENCY)
        return true;
    serial.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(handle, TIOCSSERIAL, &serial) == 0;
#else
    Q_UNUSED(port)
    return false;
#endif
}

bool portDeviceGone(const QSerialPort &port)
{
    switch (port.error()) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError: return false;
    default: break;
    }
    const int handle = int(port.handle());
    if (!port.isOpen() || handle < 0)
        return false;
    // A hung-up line reports it to poll, and refuses every request for its
    // settings with EIO; a busy or slow one does neither.
    pollfd watched{handle, POLLIN, 0};
    if (::poll(&watched, 1, 0) > 0 && (watched.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        return true;
    termios settings{};
    return ::tcgetattr(handle, &settings) != 0 && (errno == EIO || errno == ENODEV || errno == ENXIO);
}

LineHooks serialLineHooks(QSerialPort &port)
{
    return {[&port] { port.clear(QSerialPort::AllDirections); }, [&port] { return portDeviceGone(port); }, {}, {}};
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
    // The echo every cable is found by: docs/compatibility.md
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
