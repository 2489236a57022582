#pragma once

#include "link/portlist.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// What a port the user names stands for: "serial:NUMBER" (the adapter with
// that USB serial number, wherever it is plugged in), a path (a link such as
// /dev/serial/by-id/... stands for the device it points to) or a port name.
struct PortChoice {
    enum class Outcome {
        Found,
        NoSuchSerial,  // no listed port has the serial number
        SharedSerial,  // several listed ports have it
    };
    Outcome outcome = Outcome::Found;
    QString port;  // Found: what to open, the name lock files and the diagnosis use
    QString shown;  // Found: what to call it: the port a serial number found, else what was given
    QString serialNumber;  // the number asked for; empty when none was
    QStringList sharing;  // SharedSerial: the ports that have it, in the list's order
};

// The file a symbolic link finally points to; empty for a path that is no
// link, or one whose target is missing.
QString symbolicLinkTarget(const QString &path);

PortChoice resolvePortName(const QString &named, const QVector<PortRecord> &ports,
                           const std::function<QString(const QString &path)> &linkTarget = symbolicLinkTarget);

// Every listed port's name, then the "serial:NUMBER" of each serial number
// only one of them has: what the user may name without a path.
QStringList portForms(const QVector<PortRecord> &ports);
