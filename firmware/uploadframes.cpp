#include "firmware/uploadframes.h"

#include "link/checksums.h"

namespace uploadframes {

namespace {

QByteArray head(Dialect dialect)
{
    return dialect == Dialect::Ulma ? QByteArray("Mf") : QByteArray("UMF");
}

int checkLength(Dialect dialect)
{
    return dialect == Dialect::Vorn ? 4 : 2;
}

void appendMsbFirst(QByteArray &frame, quint16 check)
{
    frame.append(char(check >> 8));
    frame.append(char(check & 0xFF));
}

void appendLsbFirst(QByteArray &frame, quint32 check)
{
    for (int shift = 0; shift < 32; shift += 8)
        frame.append(char((check >> shift) & 0xFF));
}

}  // namespace

QByteArray blockFrame(Dialect dialect, const QByteArray &block)
{
    QByteArray frame = head(dialect) + block;
    switch (dialect) {
    case Dialect::Kelpa: appendMsbFirst(frame, crc16(block)); break;
    case Dialect::Ulma: appendMsbFirst(frame, crc16(frame)); break;
    case Dialect::Vorn:
        // The sync byte "U" stays outside the check, as in every Vorn request.
        appendLsbFirst(frame, crc32(frame.mid(1)));
        break;
    }
    return frame;
}

int blockFrameLength(Dialect dialect, int blockSize)
{
    return head(dialect).size() + blockSize + checkLength(dialect);
}

QByteArray acknowledgement(Dialect dialect)
{
    return dialect == Dialect::Vorn ? QByteArray::fromHex("4D4FB67F6DE2") : QByteArray::fromHex("4D4F9C");
}

QByteArray bootloaderEntryRequest()
{
    QByteArray request("Mupd");
    request.append(char(additiveChecksum(request)));
    return request;
}

bool acknowledged(Dialect dialect, const QByteArray &received, int frameLength)
{
    const QByteArray expected = acknowledgement(dialect);
    return frameLength >= 0 && received.size() >= frameLength + expected.size()
           && received.mid(frameLength, expected.size()) == expected;
}

ExchangeParams blockExchange(Dialect dialect, int blockSize)
{
    const int expected = blockFrameLength(dialect, blockSize) + acknowledgement(dialect).size();
    switch (dialect) {
    case Dialect::Kelpa: return {1000, 150, 1000, expected, ReadMode::Gathering, 0, 50};
    case Dialect::Ulma: return {1000, 130, 1000, expected, ReadMode::Gathering, 0, 500};
    case Dialect::Vorn: break;
    }
    return {1000, 150, 1000, expected, ReadMode::Gathering, 0, 100};
}

ExchangeParams bootloaderEntryExchange()
{
    const int expected = bootloaderEntryRequest().size() + acknowledgement(Dialect::Ulma).size();
    return {1000, 50, 1000, expected, ReadMode::Line, 9};
}

}  // namespace uploadframes
