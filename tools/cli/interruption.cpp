#include "interruption.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace interruption {

namespace {

std::atomic<int> presses{0};
std::atomic<int> endSignal{0};  // SIGTERM or SIGHUP, the last one that came
std::atomic<bool> duringUpload{false};
// Wakes a prompt that waits for input; written by the handlers.
int wakeRead = -1;
int wakeWrite = -1;

// An answer is a word; the rest of a longer line is read and dropped.
constexpr int MaxAnswer = 256;

const char UploadWarning[] = "\nStopping now leaves the controller with partly written firmware. "
                             "Press Ctrl+C again to stop after the current block.\n";
const char HeldNote[] = "\nThe upload goes on to its end, then the program stops.\n";

// Only async-signal-safe calls in the handlers.
void wake()
{
    if (wakeWrite >= 0)
        (void)!::write(wakeWrite, "!", 1);
}

void onInterrupt(int)
{
    if (++presses == 1 && duringUpload)
        (void)!::write(STDERR_FILENO, UploadWarning, sizeof UploadWarning - 1);
    wake();
}

void onEnd(int signal)
{
    if (endSignal.exchange(signal) == 0 && duringUpload)
        (void)!::write(STDERR_FILENO, HeldNote, sizeof HeldNote - 1);
    wake();
}

void handle(int signal, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

int stopSignal()
{
    if (endSignal != 0)
        return endSignal;
    return presses > 0 ? SIGINT : 0;
}

// Whether standard input can be read (or has ended) before a stop is asked for.
bool waitForInput()
{
    while (!stopRequested()) {
        pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        if (::poll(watched, wakeRead >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (watched[1].revents == 0)
            return true;
        char drained[16];
        while (::read(wakeRead, drained, sizeof drained) > 0) {}
    }
    return false;
}

}  // namespace

void install()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead = fds[0];
        wakeWrite = fds[1];
    }
    handle(SIGINT, onInterrupt);
    handle(SIGTERM, onEnd);
    handle(SIGHUP, onEnd);
    // A reader that went away (a closed terminal's pipe) must not kill the
    // program in the middle of an upload; the write just fails.
    handle(SIGPIPE, SIG_IGN);
}

void setUploading(bool uploading)
{
    if (uploading)
        presses = 0;
    // A press during the upload was only a warning once it is over.
    else if (duringUpload && presses == 1)
        presses = 0;
    duringUpload = uploading;
}

bool stopRequested()
{
    if (duringUpload)
        return presses >= 2;
    return presses >= 1 || endSignal != 0;
}

bool signalHeld()
{
    return endSignal != 0;
}

QString stopName()
{
    switch (stopSignal()) {
    case SIGINT: return QStringLiteral("Ctrl+C");
    case SIGTERM: return QStringLiteral("SIGTERM");
    case SIGHUP: return QStringLiteral("SIGHUP");
    }
    return QString();
}

ExitStatus stopStatus()
{
    switch (stopSignal()) {
    case SIGTERM: return ExitStatus::Terminated;
    case SIGHUP: return ExitStatus::HungUp;
    }
    return ExitStatus::Interrupted;
}

Failure stoppedWhile(const QString &what)
{
    return {stopStatus(), QString("Stopped by %1 while %2.").arg(stopName(), what)};
}

QString readLine()
{
    QByteArray line;
    while (waitForInput()) {
        char c = 0;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || c == '\n')
            return QString::fromLocal8Bit(line);
        if (line.size() < MaxAnswer)
            line.append(c);
    }
    return QString();
}

QByteArray readInput(qint64 most)
{
    QByteArray bytes;
    char chunk[64 * 1024];
    while (bytes.size() < most && waitForInput()) {
        const ssize_t got = ::read(STDIN_FILENO, chunk, size_t(std::min<qint64>(sizeof chunk, most - bytes.size())));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return bytes;
        bytes.append(chunk, int(got));
    }
    return stopRequested() ? QByteArray() : bytes;
}

}  // namespace interruption
