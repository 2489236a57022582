#pragma once

#include <QByteArray>

// The device's own checks, written apart from the program's link code so that
// a mistake on one side shows up as a failed exchange instead of cancelling out.
namespace simcheck {

// CRC-32 as used on the wire: reflected 0xEDB88320, start 0xFFFFFFFF, final complement.
quint32 crc32(const QByteArray &bytes);

// CRC-16 as used for firmware blocks: reflected 0xA001, start 0xFFFF, no final complement.
quint16 crc16(const QByteArray &bytes);

// Low 8 bits of the plain byte sum.
quint8 sum8(const QByteArray &bytes);

}  // namespace simcheck
