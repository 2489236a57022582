#pragma once

#include <QByteArray>

#include <array>

// The device's protocols as the device itself sees them.
enum class SimProtocol { Vorn, Kelpa, UlmaFast, UlmaSlow };

// Both Ulma protocols share one frame set and differ only in speed.
enum class SimFamily { Vorn, Kelpa, Ulma };

SimFamily familyOf(SimProtocol protocol);

// The only line speed at which a device of this protocol understands anything.
int baudRateOf(SimProtocol protocol);

enum class CheckKind { Crc32LsbFirst, Crc16MsbFirst, Sum8 };

int checkLength(CheckKind kind);
QByteArray checkBytes(CheckKind kind, const QByteArray &covered);

// Every reply of the device is "M", one byte, then the family's check over both.
QByteArray replyFrame(SimFamily family, quint8 byte);

// Ping replies, bootloader entry and block acknowledgements all say "O".
constexpr quint8 OkByte = 'O';

// Cell numbers of the identity; -1 where the family has no such cell.
struct IdentityCells {
    int deviceId;
    int hwVersion;
    int blVersion;
    int fwMajor;
    int fwMinor;
    int fwBuild;
};

IdentityCells identityCellsOf(SimFamily family);
// The same in the order of an identity: id, hw, bl, major, minor, build.
std::array<int, 6> identityCellList(SimFamily family);
