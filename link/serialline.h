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
    NotFound,          // no such device
    PermissionDenied,  // no access, or the port is locked by another process
    Failed,            // any other reason the system gave
};

struct EchoResult {
    OpenOutcome open = OpenOutcome::Failed;
    bool echoed = false;  // exactly "KOVA" came back within the wait
};

// Opens `port` on `name` with 8 data bits, 1 stop bit and no flow control.
OpenOutcome openLine(QSerialPort &port, const QString &name, qint32 baudRate);

using EchoTrace = std::function<void(TraceDirection direction, const QByteArray &bytes)>;

// The cable echoes every byte, with or without a device behind it: sends
// "KOVA" on `name` and closes the port again. `trace` sees what was sent
// and what came back.
EchoResult echoTest(QSerialPort &port, const QString &name, const EchoTrace &trace = {});
