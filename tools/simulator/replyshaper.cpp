#include "replyshaper.h"

#include <algorithm>

namespace {

QList<ReplyPiece> cut(const QByteArray &bytes, int pieces, int gapMs)
{
    pieces = std::clamp(pieces, 1, std::max(1, static_cast<int>(bytes.size())));
    QList<ReplyPiece> out;
    int from = 0;
    for (int i = 0; i < pieces; ++i) {
        // Spread the remainder over the first pieces so no piece is empty.
        const int length = bytes.size() / pieces + (i < bytes.size() % pieces ? 1 : 0);
        out.append({i == 0 ? 0 : gapMs, bytes.mid(from, length)});
        from += length;
    }
    return out;
}

// The last chunk leaves `lateMs` after the echo, the others evenly before it.
QList<ReplyPiece> late(const QByteArray &bytes, int lateMs, int chunks)
{
    QList<ReplyPiece> out = cut(bytes, chunks, 0);
    for (int i = 0; i < out.size(); ++i)
        out[i].gapBeforeMs = lateMs * (i + 1) / out.size() - lateMs * i / out.size();
    return out;
}

}  // namespace

QList<ReplyPiece> shapeReply(QByteArray reply, ReplyTo to, const ReplyFaults &faults)
{
    if (faults.garble && !reply.isEmpty())
        reply[reply.size() - 1] = static_cast<char>(reply.at(reply.size() - 1) ^ 0xFF);
    const bool isLate = to != ReplyTo::Ping && faults.lateMs > 0;
    if (to != ReplyTo::Block) {
        return isLate ? late(reply, faults.lateMs, faults.lateChunks)
                      : cut(reply, faults.splitPieces, faults.splitGapMs);
    }

    QList<ReplyPiece> pieces = isLate               ? late(reply, faults.lateMs, faults.lateChunks)
                               : faults.ackInPieces ? cut(reply, reply.size(), AcknowledgementPieceGapMs)
                                                    : cut(reply, faults.splitPieces, faults.splitGapMs);
    pieces.last().bytes.append(QByteArray(std::max(0, faults.ackExtraBytes), AcknowledgementFiller));
    return pieces;
}
