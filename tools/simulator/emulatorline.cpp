#include "emulatorline.h"

#include "adapterrate.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

EmulatorLine::EmulatorLine(const QString &socketPath, const QString &tracePath, const QList<int> &askedRates)
    : emulatorSocketPath(socketPath), traceFile(tracePath), candidateRates(askedRates)
{
    // Only rates set from now on belong to this line: an earlier adapter's
    // are in the file as well.
    if (traceFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        traceFile.seek(traceFile.size());

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = socketPath.toLocal8Bit();
    if (encoded.size() >= static_cast<int>(sizeof address.sun_path) || !traceFile.isOpen())
        return;
    std::memcpy(address.sun_path, encoded.constData(), static_cast<size_t>(encoded.size()));
    socketFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socketFd >= 0 && connect(socketFd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        close(socketFd);
        socketFd = -1;
    }
    if (socketFd >= 0)
        fcntl(socketFd, F_SETFL, fcntl(socketFd, F_GETFL) | O_NONBLOCK);
}

EmulatorLine::~EmulatorLine()
{
    if (socketFd >= 0)
        close(socketFd);
}

int EmulatorLine::baudRate()
{
    // The emulator writes the line before it passes on any byte sent at the
    // new speed, so reading up to the end here is never too early.
    partialLine += traceFile.readAll();
    int end = 0;
    while ((end = partialLine.indexOf('\n')) >= 0) {
        if (const std::optional<int> run = tracedRunRate(QString::fromUtf8(partialLine.left(end))))
            currentRate = askedRate(*run, candidateRates);
        partialLine.remove(0, end + 1);
    }
    return currentRate;
}
