#include "simchecksums.h"

namespace simcheck {

namespace {

// Bitwise on purpose: no table shared with anything, and frames are short.
template <typename Word>
Word reflectedCrc(const QByteArray &bytes, Word polynomial, Word initial)
{
    Word crc = initial;
    for (char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? static_cast<Word>((crc >> 1) ^ polynomial) : static_cast<Word>(crc >> 1);
    }
    return crc;
}

}  // namespace

quint32 crc32(const QByteArray &bytes)
{
    return ~reflectedCrc<quint32>(bytes, 0xEDB88320u, 0xFFFFFFFFu);
}

quint16 crc16(const QByteArray &bytes)
{
    return reflectedCrc<quint16>(bytes, 0xA001u, 0xFFFFu);
}

quint8 sum8(const QByteArray &bytes)
{
    quint8 sum = 0;
    for (char c : bytes)
        sum = static_cast<quint8>(sum + static_cast<quint8>(c));
    return sum;
}

}  // namespace simcheck
