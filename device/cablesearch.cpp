#include "device/cablesearch.h"

#include "device/devicesession.h"
#include "link/portaccess.h"

#include <QSerialPortInfo>

QStringList CableSearch::systemPorts()
{
    QStringList names;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        names << info.portName();
    return names;
}

CableSearch::CableSearch(DeviceSession &session, PortLister listPorts)
    : session(session), listPorts(std::move(listPorts))
{
}

QString CableSearch::scan(const QString &remembered)
{
    const QStringList listed = listPorts();
    known = listed;
    looked = true;
    return lastEchoing(portsToScan(listed, remembered));
}

QString CableSearch::scanArrivals()
{
    const QStringList listed = listPorts();
    QStringList arrived;
    for (const QString &name : listed)
        if (!looked || !known.contains(name))
            arrived << name;
    known = listed;
    looked = true;
    return lastEchoing(arrived);
}

void CableSearch::settle()
{
    known = listPorts();
    looked = true;
}

QString CableSearch::lastEchoing(const QStringList &candidates)
{
    QString found;
    for (const QString &name : candidates)
        if (session.echoTest(name).echoed)
            found = name;
    return found;
}
