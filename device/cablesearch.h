#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class DeviceSession;

// Finds the cable by its echo. The echo test writes "KOVA" to every port it
// tries, so beyond a scan the user asks for (or a start that knows no port)
// a port is tried only when it has newly appeared in the system's list: a
// modem or another program's device that was there all along is not written
// to again unasked, while an adapter plugged in after the start, or back
// under another name, is found on the next look.
class CableSearch
{
public:
    // The system's serial ports, in the order they are tried.
    using PortLister = std::function<QStringList()>;
    static QStringList systemPorts();

    CableSearch(DeviceSession &session, PortLister listPorts = systemPorts);

    // Every listed port, led by the remembered one when the list lacks it;
    // the last that echoes wins. Empty when none echoes.
    QString scan(const QString &remembered);
    // The ports listed now that were not listed at the last look (every
    // listed port at the first); the last that echoes wins.
    QString scanArrivals();
    // The ports listed now are no longer new: the remembered port works.
    void settle();

private:
    QString lastEchoing(const QStringList &candidates);

    DeviceSession &session;
    PortLister listPorts;
    QStringList known;
    bool looked = false;
};
