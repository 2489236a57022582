#pragma once

#include <QString>
#include <QVector>

#include <optional>

// What the system knows of the USB adapter behind a serial port. A
// pseudo-terminal or a built-in port has none of it.
struct UsbFacts {
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;
    QString manufacturer;  // empty: not known
    QString product;
    QString serialNumber;

    bool isEmpty() const;
};

// One serial port as the system lists it.
struct PortRecord {
    QString name;  // "ttyUSB0"
    QString systemLocation;  // "/dev/ttyUSB0"
    UsbFacts usb;
};

// The facts sysfs below `sysFolder` has of the USB device a tty belongs to;
// empty for a tty that is no USB device's.
UsbFacts sysfsUsbFacts(const QString &portName, const QString &sysFolder = QStringLiteral("/sys"));

// The system's serial ports, in its order. Without udev's database (a
// container, a minimal system) QSerialPortInfo knows nothing of an adapter
// that sysfs still describes: there sysfs is asked.
QVector<PortRecord> listPorts();
