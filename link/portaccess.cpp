#include "link/portaccess.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// QSerialPort names its lock file after the device path below /dev, with
// every '/' turned into '_': "LCK..ttyUSB0", "LCK..pts_3".
QString lockFileName(const QString &device, const PortSystem &system)
{
    const QString prefix = system.deviceFolder + QLatin1Char('/');
    QString name = device.startsWith(prefix) ? device.mid(prefix.size()) : device;
    return QStringLiteral("LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
}

// The first line of a lock file is the holder's process id, as plain text
// (QLockFile) or right-aligned in ten columns (the serial tools' own). Lock
// folders such as /tmp can be written by anyone: only a regular file is
// read, without waiting for a writer (a FIFO), and only its first bytes.
qint64 lockHolder(const QString &lockFile)
{
    const int fd = ::open(QFile::encodeName(lockFile).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char head[64];
    struct stat info {};
    const ssize_t length = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? ::read(fd, head, sizeof head) : 0;
    ::close(fd);
    if (length <= 0)
        return 0;
    const QByteArray text(head, int(length));
    return text.left(text.indexOf('\n')).trimmed().toLongLong();
}

}  // namespace

int PortSystem::readWriteAccessError(const QString &device)
{
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0 ? 0 : errno;
}

QString portDevice(const QString &portName, const PortSystem &system)
{
    if (portName.startsWith(QLatin1Char('/')) || portName.startsWith(QLatin1String("./"))
        || portName.startsWith(QLatin1String("../")))
        return portName;
    return system.deviceFolder + QLatin1Char('/') + portName;
}

PortDiagnosis diagnosePortOpenFailure(const QString &portName, QSerialPort::SerialPortError error,
                                      const PortSystem &system)
{
    PortDiagnosis diagnosis;
    if (portName.isEmpty())
        return diagnosis;
    diagnosis.device = portDevice(portName, system);
    const QFileInfo device(diagnosis.device);
    if (error == QSerialPort::DeviceNotFoundError || !device.exists())
        return diagnosis;
    diagnosis.group = device.group();

    const QString lockName = lockFileName(diagnosis.device, system);
    for (const QString &folder : system.lockFolders) {
        const qint64 pid = lockHolder(folder + QLatin1Char('/') + lockName);
        const QString process = system.processFolder + QLatin1Char('/') + QString::number(pid);
        if (pid > 0 && QFileInfo::exists(process)) {
            diagnosis.problem = PortProblem::InUse;
            diagnosis.holderPid = pid;
            QFile comm(process + QStringLiteral("/comm"));
            if (comm.open(QIODevice::ReadOnly))
                diagnosis.holderName = QString::fromLocal8Bit(comm.readAll().trimmed());
            return diagnosis;
        }
    }

    const int accessError = system.accessError(diagnosis.device);
    if (accessError == EACCES || accessError == EPERM)
        diagnosis.problem = PortProblem::NoPermission;
    else if (error == QSerialPort::PermissionError)
        diagnosis.problem = PortProblem::InUse;  // held exclusively, without a lock file
    else
        diagnosis.problem = PortProblem::Failed;
    return diagnosis;
}

QStringList portsToScan(const QStringList &listed, const QString &remembered, const PortSystem &system)
{
    if (remembered.isEmpty())
        return listed;
    const QString device = portDevice(remembered, system);
    for (const QString &name : listed)
        if (portDevice(name, system) == device)
            return listed;
    return QStringList{remembered} + listed;
}
