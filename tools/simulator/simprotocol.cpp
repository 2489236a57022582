#include "simprotocol.h"

#include "simchecksums.h"

SimFamily familyOf(SimProtocol protocol)
{
    switch (protocol) {
    case SimProtocol::Vorn: return SimFamily::Vorn;
    case SimProtocol::Kelpa: return SimFamily::Kelpa;
    case SimProtocol::UlmaFast:
    case SimProtocol::UlmaSlow: return SimFamily::Ulma;
    }
    return SimFamily::Vorn;
}

int baudRateOf(SimProtocol protocol)
{
    switch (protocol) {
    case SimProtocol::Vorn: return 115200;
    case SimProtocol::Kelpa: return 9600;
    case SimProtocol::UlmaFast: return 19000;
    case SimProtocol::UlmaSlow: return 4800;
    }
    return 0;
}

int checkLength(CheckKind kind)
{
    switch (kind) {
    case CheckKind::Crc32LsbFirst: return 4;
    case CheckKind::Crc16MsbFirst: return 2;
    case CheckKind::Sum8: return 1;
    }
    return 0;
}

QByteArray checkBytes(CheckKind kind, const QByteArray &covered)
{
    QByteArray out;
    switch (kind) {
    case CheckKind::Crc32LsbFirst: {
        const quint32 crc = simcheck::crc32(covered);
        for (int shift = 0; shift < 32; shift += 8)
            out.append(static_cast<char>((crc >> shift) & 0xFF));
        break;
    }
    case CheckKind::Crc16MsbFirst: {
        const quint16 crc = simcheck::crc16(covered);
        out.append(static_cast<char>(crc >> 8));
        out.append(static_cast<char>(crc & 0xFF));
        break;
    }
    case CheckKind::Sum8: out.append(static_cast<char>(simcheck::sum8(covered))); break;
    }
    return out;
}

QByteArray replyFrame(SimFamily family, quint8 byte)
{
    QByteArray reply("M");
    reply.append(static_cast<char>(byte));
    const CheckKind kind = family == SimFamily::Vorn ? CheckKind::Crc32LsbFirst : CheckKind::Sum8;
    return reply + checkBytes(kind, reply);
}

IdentityCells identityCellsOf(SimFamily family)
{
    if (family == SimFamily::Vorn)
        return {200, 202, 203, 205, 206, 212};
    return {64, -1, -1, 65, 66, -1};
}

std::array<int, 6> identityCellList(SimFamily family)
{
    const IdentityCells cells = identityCellsOf(family);
    return {cells.deviceId, cells.hwVersion, cells.blVersion, cells.fwMajor, cells.fwMinor, cells.fwBuild};
}
