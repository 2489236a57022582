#pragma once

#include <QByteArray>
#include <QList>

// How replies leave the device when a test wants them damaged or delayed.
struct ReplyFaults {
    bool garble = false;  // last check byte wrong
    int splitPieces = 1;  // every reply in this many pieces ...
    int splitGapMs = 0;  // ... this far apart
    bool ackInPieces = false;  // block acknowledgements one byte at a time
    int ackExtraBytes = 0;  // trailing bytes after a block acknowledgement
    int lateMs = 0;  // every reply but a ping's is complete this long after the echo ...
    int lateChunks = 1;  // ... in this many chunks, evenly spread up to then
};

// What a reply answers: a ping is never late, only a block is acknowledged.
enum class ReplyTo { Ping, Command, Block };

struct ReplyPiece {
    int gapBeforeMs = 0;
    QByteArray bytes;
};

// Gap between the single bytes of an acknowledgement sent in pieces: short
// enough for the host's shortest gathering step (50 ms) to catch each one.
constexpr int AcknowledgementPieceGapMs = 20;

// Filler sent after an acknowledgement when extra bytes are asked for.
constexpr char AcknowledgementFiller = 0x00;

QList<ReplyPiece> shapeReply(QByteArray reply, ReplyTo to, const ReplyFaults &faults);
