#include "link/portlist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace {

// A sysfs attribute is one short line.
QString attribute(const QDir &folder, const QString &name)
{
    QFile file(folder.filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.read(256)).simplified();
}

std::optional<quint16> hexAttribute(const QDir &folder, const QString &name)
{
    bool ok = false;
    const uint value = attribute(folder, name).toUInt(&ok, 16);
    if (!ok || value > 0xFFFF)
        return std::nullopt;
    return quint16(value);
}

UsbFacts factsOf(const QSerialPortInfo &info)
{
    UsbFacts facts;
    if (info.hasVendorIdentifier())
        facts.vendorId = info.vendorIdentifier();
    if (info.hasProductIdentifier())
        facts.productId = info.productIdentifier();
    facts.manufacturer = info.manufacturer();
    facts.product = info.description();
    facts.serialNumber = info.serialNumber();
    return facts;
}

}  // namespace

bool UsbFacts::isEmpty() const
{
    return !vendorId && !productId && manufacturer.isEmpty() && product.isEmpty() && serialNumber.isEmpty();
}

UsbFacts sysfsUsbFacts(const QString &portName, const QString &sysFolder)
{
    const QString top = QFileInfo(sysFolder).canonicalFilePath();
    const QString device =
        QFileInfo(sysFolder + QStringLiteral("/class/tty/") + portName + QStringLiteral("/device")).canonicalFilePath();
    if (top.isEmpty() || !device.startsWith(top + QLatin1Char('/')))
        return UsbFacts();
    // The tty's device is a USB interface or a port below one; the USB
    // device with the identifiers is a folder further up.
    for (QDir folder(device); folder.path().startsWith(top + QLatin1Char('/'));
         folder.setPath(QFileInfo(folder.path()).path())) {
        if (!folder.exists(QStringLiteral("idVendor")))
            continue;
        UsbFacts facts;
        facts.vendorId = hexAttribute(folder, QStringLiteral("idVendor"));
        facts.productId = hexAttribute(folder, QStringLiteral("idProduct"));
        facts.manufacturer = attribute(folder, QStringLiteral("manufacturer"));
        facts.product = attribute(folder, QStringLiteral("product"));
        facts.serialNumber = attribute(folder, QStringLiteral("serial"));
        return facts;
    }
    return UsbFacts();
}

QVector<PortRecord> listPorts()
{
    QVector<PortRecord> records;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        PortRecord record{info.portName(), info.systemLocation(), factsOf(info)};
        if (record.usb.isEmpty())
            record.usb = sysfsUsbFacts(record.name);
        records << record;
    }
    return records;
}
