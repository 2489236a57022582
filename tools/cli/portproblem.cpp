#include "portproblem.h"

#include <QFile>

#include <cstring>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QStringList LockFolders{QStringLiteral("/var/lock"), QStringLiteral("/run/lock")};

// Lock files start with the process id as a line of text (further lines
// follow from Qt's own lock files), or by older programs hold a binary int.
qint64 lockHolder(const QByteArray &content)
{
    bool ok = false;
    const qint64 pid = content.split('\n').value(0).trimmed().toLongLong(&ok);
    if (ok)
        return pid;
    if (content.size() == int(sizeof(int))) {
        int binary = 0;
        memcpy(&binary, content.constData(), sizeof binary);
        return binary;
    }
    return 0;
}

// Serial programs name the lock after the device below /dev, "/" as "_".
QString lockName(const QString &portName)
{
    QString name = devicePath(portName);
    if (name.startsWith("/dev/"))
        name.remove(0, 5);
    return "LCK.." + name.replace('/', '_');
}

QString heldBy(const QString &portName)
{
    for (const QString &folder : LockFolders) {
        QFile lock(folder + "/" + lockName(portName));
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        const qint64 pid = lockHolder(lock.read(64));
        QFile comm(QString("/proc/%1/comm").arg(pid));
        const QString program = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed())
                                                               : QStringLiteral("no longer running");
        return QString("it is held by process %1 (%2), as the lock file %3 says")
            .arg(pid)
            .arg(program, lock.fileName());
    }
    return QString();
}

QString groupOf(const QString &path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return QString();
    const group *owner = ::getgrgid(status.st_gid);
    return owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(status.st_gid);
}

QString permissionProblem(const QString &portName)
{
    const QString held = heldBy(portName);
    if (!held.isEmpty())
        return held;
    const QString path = devicePath(portName);
    if (::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0)
        return QStringLiteral("another process holds it open");
    const QString group = groupOf(path);
    if (group.isEmpty() || group == "root")
        return QString("no permission to use %1").arg(path);
    return QString("no permission: add yourself to the group \"%1\" that owns %2 "
                   "(sudo usermod -aG %1 $USER) and log in again")
        .arg(group, path);
}

}  // namespace

QString devicePath(const QString &portName)
{
    return portName.startsWith('/') ? portName : "/dev/" + portName;
}

QString portProblem(const QString &portName, OpenOutcome outcome)
{
    switch (outcome) {
    case OpenOutcome::Opened: return QString();
    case OpenOutcome::NotFound: return QStringLiteral("there is no such port");
    case OpenOutcome::PermissionDenied: return permissionProblem(portName);
    case OpenOutcome::Failed: break;
    }
    return QStringLiteral("the system refused to open it");
}
