#include "emulatorline.h"

#include "adapterrate.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

EmulatorLine::EmulatorLine(const QString &socketPath, const QString &tracePath, const QList<int> &askedRates)
    : m_socketPath(socketPath), m_trace(tracePath), m_askedRates(askedRates)
{
    // Only rates set from now on belong to this line: an earlier adapter's
    // are in the file as well.
    if (m_trace.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        m_trace.seek(m_trace.size());

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = socketPath.toLocal8Bit();
    if (encoded.size() >= static_cast<int>(sizeof address.sun_path) || !m_trace.isOpen())
        return;
    std::memcpy(address.sun_path, encoded.constData(), static_cast<size_t>(encoded.size()));
    m_socket = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_socket >= 0 && connect(m_socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        close(m_socket);
        m_socket = -1;
    }
    if (m_socket >= 0)
        fcntl(m_socket, F_SETFL, fcntl(m_socket, F_GETFL) | O_NONBLOCK);
}

EmulatorLine::~EmulatorLine()
{
    if (m_socket >= 0)
        close(m_socket);
}

int EmulatorLine::baudRate()
{
    // The emulator writes the line before it passes on any byte sent at the
    // new speed, so reading up to the end here is never too early.
    m_partialLine += m_trace.readAll();
    int end = 0;
    while ((end = m_partialLine.indexOf('\n')) >= 0) {
        if (const std::optional<int> run = tracedRunRate(QString::fromUtf8(m_partialLine.left(end))))
            m_rate = askedRate(*run, m_askedRates);
        m_partialLine.remove(0, end + 1);
    }
    return m_rate;
}
