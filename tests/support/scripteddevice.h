#pragma once

// A QIODevice that answers each written request with programmed bytes, for
// testing what reads a serial line without one. Time is the device's own:
// a wait or a sleep advances it by exactly what passed, so pieces that arrive
// after a delay need no real sleeping and the outcome never depends on the
// load. As on a serial port, bytes that have arrived become readable only
// through a wait.
#include "link/exchange.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>

class ScriptedDevice : public QIODevice
{
public:
    struct Piece {
        QByteArray bytes;
        int delayMs = 0;  // after the previous piece; the first counts from the write
    };

    ScriptedDevice() { open(QIODevice::ReadWrite | QIODevice::Unbuffered); }

    // The answer to the next request written; requests beyond the script get none.
    void answerNext(QList<Piece> pieces) { script.append(std::move(pieces)); }

    QList<QByteArray> written;

    // What the exchange's clearing hook does: drops the bytes that have
    // arrived and are not yet read; those still on their way come later.
    void discardPending()
    {
        readable.clear();
        while (!pending.isEmpty() && pending.first().dueMs <= clockMs)
            pending.removeFirst();
    }

    qint64 nowMs() const { return clockMs; }
    void sleep(int ms) { clockMs += ms; }

    // The line's device leaves the system at `atMs` of its clock: from then
    // on waits end at once, with nothing.
    void hangUpAt(qint64 atMs) { hangUpMs = atMs; }
    bool gone() const { return hangUpMs >= 0 && clockMs >= hangUpMs; }

    // The exchange's hooks, on this device's clock.
    LineHooks lineHooks()
    {
        return {[this] { discardPending(); }, [this] { return gone(); }, [this] { return nowMs(); },
                [this](int ms) { sleep(ms); }};
    }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return readable.size() + QIODevice::bytesAvailable(); }
    bool waitForBytesWritten(int) override { return true; }

    bool waitForReadyRead(int msecs) override
    {
        if (gone())
            return false;
        const qint64 endMs = hangUpMs >= 0 ? qMin(clockMs + msecs, hangUpMs) : clockMs + msecs;
        if (pending.isEmpty() || pending.first().dueMs > endMs) {
            clockMs = endMs;
            return false;
        }
        clockMs = qMax(clockMs, pending.first().dueMs);
        while (!pending.isEmpty() && pending.first().dueMs <= clockMs)
            readable += pending.takeFirst().bytes;
        return true;
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 count = qMin<qint64>(maxSize, readable.size());
        std::copy_n(readable.constData(), count, data);
        readable.remove(0, int(count));
        return count;
    }

    qint64 writeData(const char *data, qint64 size) override
    {
        written << QByteArray(data, int(size));
        qint64 dueMs = clockMs;
        for (const Piece &piece : script.isEmpty() ? QList<Piece>() : script.takeFirst()) {
            dueMs += piece.delayMs;
            // Answers to earlier requests may still be on their way.
            int at = int(pending.size());
            while (at > 0 && pending.at(at - 1).dueMs > dueMs)
                --at;
            pending.insert(at, {piece.bytes, dueMs});
        }
        return size;
    }

private:
    struct Timed {
        QByteArray bytes;
        qint64 dueMs;
    };
    QList<QList<Piece>> script;
    QList<Timed> pending;
    QByteArray readable;
    qint64 clockMs = 0;
    qint64 hangUpMs = -1;
};
