#include "outputschedule.h"

#include <algorithm>

qint64 OutputSchedule::add(Sender sender, const QByteArray &bytes, qint64 readyNs, qint64 byteNs, bool whole)
{
    qint64 &freeAt = m_senderFreeNs[static_cast<size_t>(sender)];
    qint64 last = readyNs;
    for (char byte : bytes) {
        last = std::max(readyNs, freeAt) + byteNs;
        freeAt = last;
        // Equal deadlines keep their order: multimap inserts after equal keys.
        if (!whole)
            m_bytes.emplace(last, byte);
    }
    if (whole)
        for (char byte : bytes)
            m_bytes.emplace(last, byte);
    return last;
}

QByteArray OutputSchedule::takeDue(qint64 nowNs)
{
    QByteArray due;
    auto it = m_bytes.begin();
    for (; it != m_bytes.end() && it->first <= nowNs; ++it)
        due.append(it->second);
    m_bytes.erase(m_bytes.begin(), it);
    return due;
}

std::optional<qint64> OutputSchedule::nextDeadline() const
{
    if (m_bytes.empty())
        return std::nullopt;
    return m_bytes.begin()->first;
}
