#include "link/portnaming.h"

#include "link/portaccess.h"

#include <QFileInfo>

namespace {

const QString SerialPrefix = QStringLiteral("serial:");

QStringList portsWithSerial(const QVector<PortRecord> &ports, const QString &serialNumber)
{
    QStringList names;
    if (serialNumber.isEmpty())
        return names;
    for (const PortRecord &port : ports)
        if (port.usb.serialNumber == serialNumber)
            names << port.name;
    return names;
}

PortChoice bySerialNumber(const QString &serialNumber, const QVector<PortRecord> &ports)
{
    PortChoice choice;
    choice.serialNumber = serialNumber;
    const QStringList names = portsWithSerial(ports, serialNumber);
    if (names.isEmpty()) {
        choice.outcome = PortChoice::Outcome::NoSuchSerial;
    } else if (names.size() > 1) {
        choice.outcome = PortChoice::Outcome::SharedSerial;
        choice.sharing = names;
    } else {
        choice.port = names.first();
        choice.shown = names.first();
    }
    return choice;
}

}  // namespace

QString symbolicLinkTarget(const QString &path)
{
    const QFileInfo info(path);
    return info.isSymLink() ? info.canonicalFilePath() : QString();
}

PortChoice resolvePortName(const QString &named, const QVector<PortRecord> &ports,
                           const std::function<QString(const QString &path)> &linkTarget)
{
    if (named.startsWith(SerialPrefix))
        return bySerialNumber(named.mid(SerialPrefix.size()), ports);
    PortChoice choice;
    choice.port = named;
    choice.shown = named;
    // Opened by its link, a port would be locked under the link's name, and
    // another program opening the device itself would not see the lock.
    const QString target = linkTarget(portDevice(named));
    if (target.isEmpty())
        return choice;
    choice.port = target;
    for (const PortRecord &port : ports)
        if (port.systemLocation == target)
            choice.port = port.name;
    return choice;
}

QStringList portForms(const QVector<PortRecord> &ports)
{
    QStringList forms;
    for (const PortRecord &port : ports)
        forms << port.name;
    for (const PortRecord &port : ports)
        if (portsWithSerial(ports, port.usb.serialNumber).size() == 1)
            forms << SerialPrefix + port.usb.serialNumber;
    return forms;
}
