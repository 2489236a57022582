#pragma once

#include "link/exchange.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>

class QSerialPort;

// The link always opens its port at this rate; each ping then sets its own.
constexpr qint32 LinkBaudRate = 19200;

enum class OpenOutcome {
    Opened,
    NotFound,  // no such device
    PermissionDenied,  // no access, or the port is locked by another process
    Failed,  // any other reason the system gave
};

struct EchoResult {
    OpenOutcome open = OpenOutcome::Failed;
    bool echoed = false;  // exactly "KOVA" came back within the wait
};

// Opens `port` on `name` with 8 data bits, 1 stop bit and no flow control,
// and asks the driver for low latency.
OpenOutcome openLine(QSerialPort &port, const QString &name, qint32 baudRate);

// Asks the serial driver to hand over received bytes at once rather than
// after its latency timer (a USB adapter's is typically 16 ms). Drivers that
// have no such setting refuse, and so does a pseudo-terminal: that is no
// error. Returns whether the driver took it.
bool requestLowLatency(QSerialPort &port);

// Whether the open port's device has left the system: an adapter pulled
// from its socket, the other end of a pseudo-terminal closed. Asked only
// once the port has reported an error, and answered by the port's handle.
bool portDeviceGone(const QSerialPort &port);

// What an exchange on `port` needs beyond reading and writing: the port's
// buffers cleared, and its device gone as portDeviceGone tells.
LineHooks serialLineHooks(QSerialPort &port);

using EchoTrace = std::function<void(TraceDirection direction, const QByteArray &bytes)>;

// The cable echoes every byte, with or without a device behind it: sends
// "KOVA" on `name` and closes the port again. `trace` sees what was sent
// and what came back.
EchoResult echoTest(QSerialPort &port, const QString &name, const EchoTrace &trace = {});
