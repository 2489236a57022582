#include "outputschedule.h"

#include <algorithm>

qint64 OutputSchedule::add(Sender sender, const QByteArray &bytes, qint64 readyNs, qint64 byteNs, bool whole)
{
    qint64 &freeAt = senderFreeNs[static_cast<size_t>(sender)];
    qint64 last = readyNs;
    for (char byte : bytes) {
        last = std::max(readyNs, freeAt) + byteNs;
        freeAt = last;
        // Equal deadlines keep their order: multimap inserts after equal keys.
        if (!whole)
            queuedBytes.emplace(last, byte);
    }
    if (whole)
        for (char byte : bytes)
            queuedBytes.emplace(last, byte);
    return last;
}

QByteArray OutputSchedule::takeDue(qint64 nowNs)
{
    QByteArray due;
    auto it = queuedBytes.begin();
    for (; it != queuedBytes.end() && it->first <= nowNs; ++it)
        due.append(it->second);
    queuedBytes.erase(queuedBytes.begin(), it);
    return due;
}

std::optional<qint64> OutputSchedule::nextDeadline() const
{
    if (queuedBytes.empty())
        return std::nullopt;
    return queuedBytes.begin()->first;
}
