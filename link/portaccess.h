#pragma once

#include <QSerialPort>
#include <QString>
#include <QStringList>

#include <functional>

// Why a serial port did not open. The window and the command line word it.
enum class PortProblem {
    Absent,  // no name, or no such device
    NoPermission,  // the device is there, but this user may not open it
    InUse,  // another program holds it
    Failed,  // anything else; the port's own error text tells what
};

struct PortDiagnosis {
    PortProblem problem = PortProblem::Absent;
    QString device;  // the device file, such as "/dev/ttyUSB0"
    QString group;  // the group that owns the device
    qint64 holderPid = 0;  // InUse: the process named by the port's lock file; 0 when unknown
    QString holderName;  // InUse: that process's command name

    // Whether joining `group` would grant access (never advise joining root).
    bool groupGrantsAccess() const { return !group.isEmpty() && group != QLatin1String("root"); }
};

// What the diagnosis looks at; tests point it at folders of their own.
struct PortSystem {
    QString deviceFolder = QStringLiteral("/dev");
    // Where serial programs (this one's QSerialPort too) leave "LCK..<port>"
    // files holding their process id, in the order QSerialPort tries them.
    QStringList lockFolders = {
        QStringLiteral("/var/lock"),         QStringLiteral("/etc/locks"), QStringLiteral("/var/spool/locks"),
        QStringLiteral("/var/spool/uucp"),   QStringLiteral("/tmp"),       QStringLiteral("/var/tmp"),
        QStringLiteral("/var/lock/lockdev"), QStringLiteral("/run/lock"),
    };
    QString processFolder = QStringLiteral("/proc");
    // 0 when this user may open the device for reading and writing, else the errno.
    std::function<int(const QString &device)> accessError = readWriteAccessError;

    static int readWriteAccessError(const QString &device);
};

// The device file a port name stands for, as QSerialPort resolves it.
QString portDevice(const QString &portName, const PortSystem &system = PortSystem());

// Call after `open` failed with `error`.
PortDiagnosis diagnosePortOpenFailure(const QString &portName, QSerialPort::SerialPortError error,
                                      const PortSystem &system = PortSystem());

// The ports the echo scan tries: the system's list, led by the remembered
// port when the list lacks it. Ports the system does not enumerate (a pseudo
// terminal, a link under /dev/serial/by-id) stay findable once remembered;
// the listed ports keep their order, so the last one that echoes still wins.
QStringList portsToScan(const QStringList &listed, const QString &remembered, const PortSystem &system = PortSystem());
