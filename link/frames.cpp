#include "link/frames.h"

#include "link/checksums.h"

namespace frames {

namespace {

void appendCrc32(QByteArray &frame, quint32 crc)
{
    for (int shift = 0; shift < 32; shift += 8)
        frame.append(char((crc >> shift) & 0xFF));
}

// Vorn and Kelpa lead with the sync byte "U", which no check covers.
QByteArray withCheck(Dialect dialect, QByteArray frame)
{
    switch (dialect) {
    case Dialect::Vorn: appendCrc32(frame, crc32(frame.mid(1))); break;
    case Dialect::Kelpa: frame.append(char(additiveChecksum(frame.mid(1)))); break;
    case Dialect::Ulma: frame.append(char(additiveChecksum(frame))); break;
    }
    return frame;
}

QByteArray command(Dialect dialect, char upper, char lower)
{
    return dialect == Dialect::Ulma ? QByteArray{"M"} + lower : QByteArray{"UM"} + upper;
}

}  // namespace

QByteArray pingRequest(Dialect dialect)
{
    switch (dialect) {
    case Dialect::Vorn: return withCheck(dialect, "UMST");
    case Dialect::Kelpa: return withCheck(dialect, "UMSET");
    case Dialect::Ulma: break;
    }
    return withCheck(dialect, "Mset");
}

// Kelpa's "0" and Ulma's second cell are the controllers': docs/compatibility.md
QByteArray readRequest(Dialect dialect, quint8 cell)
{
    QByteArray frame = command(dialect, 'R', 'r');
    frame.append(char(cell));
    if (dialect == Dialect::Kelpa)
        frame.append('0');
    else if (dialect == Dialect::Ulma)
        frame.append(char(cell));
    return withCheck(dialect, frame);
}

QByteArray writeRequest(Dialect dialect, quint8 cell, quint8 value)
{
    QByteArray frame = command(dialect, 'W', 'w');
    frame.append(char(cell));
    frame.append(char(value));
    return withCheck(dialect, frame);
}

int replyLength(Dialect dialect)
{
    return dialect == Dialect::Vorn ? 6 : 3;
}

bool replyChecks(Dialect dialect, const QByteArray &received, int offset)
{
    if (offset < 0 || received.size() < offset + replyLength(dialect))
        return false;
    const auto *reply = reinterpret_cast<const uchar *>(received.constData()) + offset;
    if (dialect == Dialect::Vorn) {
        const quint32 crc = crc32(reply, 2);
        for (int i = 0; i < 4; ++i) {
            if (reply[2 + i] != ((crc >> (8 * i)) & 0xFF))
                return false;
        }
        return true;
    }
    return reply[2] == additiveChecksum(reply, 2);
}

bool cellReplyValid(Dialect dialect, const QByteArray &received, int offset)
{
    return replyChecks(dialect, received, offset) && received.at(offset) == 'M';
}

PingResult classifyPing(Dialect dialect, bool sawData, const QByteArray &line, int requestLength)
{
    if (!sawData)
        return Silent;
    if (line.size() < requestLength + replyLength(dialect))
        return EchoOnly;
    const bool answered =
        line.at(requestLength) == 'M' && line.at(requestLength + 1) == 'O' && replyChecks(dialect, line, requestLength);
    return answered ? Answered : Garbled;
}

ExchangeParams pingExchange(Dialect dialect)
{
    ExchangeParams params{1000, 150, 1000, 8, ReadMode::Line, 9};
    switch (dialect) {
    case Dialect::Vorn: params = {1000, 150, 1000, 14, ReadMode::Line, 14}; break;
    case Dialect::Kelpa: params = {1000, 150, 1000, 9, ReadMode::Line, 9}; break;
    case Dialect::Ulma: break;
    }
    params.oneWait = true;
    return params;
}

ExchangeParams readExchange(Dialect dialect)
{
    switch (dialect) {
    case Dialect::Vorn: return {100, 15, 100, 14, ReadMode::Fixed};
    case Dialect::Kelpa: return {1000, 50, 1000, 9, ReadMode::Fixed};
    case Dialect::Ulma: break;
    }
    return {100, 0, 100, 8, ReadMode::Gathering, 0, 25};
}

ExchangeParams writeExchange(Dialect dialect)
{
    switch (dialect) {
    case Dialect::Vorn: return {100, 15, 100, 15, ReadMode::Fixed};
    case Dialect::Kelpa: return {1000, 50, 1000, 9, ReadMode::Fixed};
    case Dialect::Ulma: break;
    }
    return {1000, 30, 1000, 8, ReadMode::Fixed};
}

}  // namespace frames
