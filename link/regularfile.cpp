#include "link/regularfile.h"

#include <QFile>

#include <algorithm>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool openRegularFile(QFile &file, QString *error, QIODevice::OpenMode mode)
{
    int fd = -1;
    do
        fd = ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // Asked of what was opened, not of the name, which may have changed since.
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        *error = S_ISDIR(status.st_mode) ? QString::fromLocal8Bit(std::strerror(EISDIR))
                                         : QStringLiteral("Not a regular file");
        ::close(fd);
        return false;
    }
    if (!file.open(fd, mode | QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        *error = file.errorString();
        ::close(fd);
        return false;
    }
    return true;
}

QByteArray readBounded(QIODevice &file, qint64 limit)
{
    constexpr qint64 Chunk = 1024 * 1024;
    QByteArray bytes;
    // What a file claims is trusted only up to the limit, and only to spare copies.
    if (!file.isSequential() && file.size() > 0)
        bytes.reserve(int(std::min(file.size(), limit + 1)));
    while (bytes.size() <= limit) {
        const QByteArray more = file.read(std::min(Chunk, limit + 1 - bytes.size()));
        if (more.isEmpty())
            break;
        bytes += more;
    }
    return bytes;
}
