#pragma once

#include <QByteArray>
#include <QtGlobal>

// CRC-32/ISO-HDLC: the check of every Vorn frame.
quint32 crc32(const uchar *data, int length);
// CRC-16/MODBUS: the check of Kelpa and Ulma firmware block frames.
quint16 crc16(const uchar *data, int length);
// Low 8 bits of the plain byte sum: the check of Kelpa and Ulma commands.
quint8 additiveChecksum(const uchar *data, int length);

inline quint32 crc32(const QByteArray &bytes)
{
    return crc32(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size());
}
inline quint16 crc16(const QByteArray &bytes)
{
    return crc16(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size());
}
inline quint8 additiveChecksum(const QByteArray &bytes)
{
    return additiveChecksum(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size());
}
