#include "link/portspec.h"

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

PortChoice resolvePortSpec(const QString &spec, const QVector<PortRecord> &ports,
                           const std::function<QString(const QString &path)> &linkTarget)
{
    if (spec.startsWith(SerialPrefix))
        return bySerialNumber(spec.mid(SerialPrefix.size()), ports);
    PortChoice choice;
    choice.port = spec;
    choice.shown = spec;
    // Opened by its link, a port would be locked under the link's name, and
    // another program opening the device itself would not see the lock.
    const QString target = linkTarget(portDevice(spec));
    if (target.isEmpty())
        return choice;
    choice.port = target;
    for (const PortRecord &port : ports)
        if (port.systemLocation == target)
            choice.port = port.name;
    return choice;
}

QStringList portSpecs(const QVector<PortRecord> &ports)
{
    QStringList specs;
    for (const PortRecord &port : ports)
        specs << port.name;
    for (const PortRecord &port : ports)
        if (portsWithSerial(ports, port.usb.serialNumber).size() == 1)
            specs << SerialPrefix + port.usb.serialNumber;
    return specs;
}
