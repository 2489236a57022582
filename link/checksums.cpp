#include "link/checksums.h"

#include <array>

namespace {

std::array<quint32, 256> makeCrc32Table()
{
    std::array<quint32, 256> table{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[i] = c;
    }
    return table;
}

}  // namespace

quint32 crc32(const uchar *data, int length)
{
    static const std::array<quint32, 256> table = makeCrc32Table();
    quint32 crc = 0xFFFFFFFFu;
    for (int i = 0; i < length; ++i)
        crc = table[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    return ~crc;
}

quint16 crc16(const uchar *data, int length)
{
    quint16 crc = 0xFFFF;
    for (int i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

quint8 additiveChecksum(const uchar *data, int length)
{
    quint8 sum = 0;
    for (int i = 0; i < length; ++i)
        sum = quint8(sum + data[i]);
    return sum;
}
