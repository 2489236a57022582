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

} // namespace

QList<ReplyPiece> shapeReply(QByteArray reply, bool acknowledgement, const ReplyFaults &faults)
{
    if (faults.garble && !reply.isEmpty())
        reply[reply.size() - 1] = static_cast<char>(reply.at(reply.size() - 1) ^ 0xFF);
    if (!acknowledgement)
        return cut(reply, faults.splitPieces, faults.splitGapMs);

    QList<ReplyPiece> pieces = faults.ackInPieces
            ? cut(reply, reply.size(), acknowledgementPieceGapMs)
            : cut(reply, faults.splitPieces, faults.splitGapMs);
    pieces.last().bytes.append(QByteArray(std::max(0, faults.ackExtraBytes), acknowledgementFiller));
    return pieces;
}
