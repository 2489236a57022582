#pragma once

// A QIODevice that answers each written request with programmed bytes, for
// testing what reads a serial line without one. Time is the device's own:
// a wait advances it by exactly what passed, so pieces that arrive after a
// delay need no real sleeping and the outcome never depends on the load.
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

    // What the exchange's clearing hook does: drops bytes not yet read.
    void discardPending()
    {
        readable.clear();
        pending.clear();
    }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return readable.size() + QIODevice::bytesAvailable(); }
    bool waitForBytesWritten(int) override { return true; }

    bool waitForReadyRead(int msecs) override
    {
        if (pending.isEmpty() || pending.first().dueMs > nowMs + msecs) {
            nowMs += msecs;
            return false;
        }
        nowMs = qMax(nowMs, pending.first().dueMs);
        while (!pending.isEmpty() && pending.first().dueMs <= nowMs)
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
        qint64 dueMs = nowMs;
        for (const Piece &piece : script.isEmpty() ? QList<Piece>() : script.takeFirst()) {
            dueMs += piece.delayMs;
            pending.append({piece.bytes, dueMs});
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
    qint64 nowMs = 0;
};
