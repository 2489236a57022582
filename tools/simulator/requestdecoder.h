#pragma once

#include "simprotocol.h"

#include <QByteArray>
#include <QList>

struct DecodedRequest {
    char kind = 0;  // 'S' ping, 'R' read, 'W' write, 'F' firmware block, 'U' bootloader entry
    int cell = -1;  // 'R' and 'W'
    int value = -1;  // 'W'
    QByteArray data;  // 'F': the block's bytes
    QByteArray raw;  // the whole frame as received
};

// Cuts the byte stream coming from the host into the requests of one frame
// family. Frames with a wrong check are not requests; bytes that cannot start
// a frame are skipped one at a time so the decoder finds the next frame.
class RequestDecoder
{
public:
    explicit RequestDecoder(SimFamily family = SimFamily::Vorn, int blockSize = 0);

    void setFamily(SimFamily family);
    // Block frames are only recognised while the block size is above 0.
    void setBlockSize(int blockSize);
    void reset();

    QList<DecodedRequest> feed(const QByteArray &bytes);
    int pendingBytes() const { return undecodedBytes.size(); }

private:
    // pattern: literal bytes, '#' the cell (a second '#' repeats it),
    // '$' the value, '*' the firmware block.
    struct FrameShape {
        char kind;
        const char *pattern;
        CheckKind check;
        int checkFrom;
    };
    enum class Match { No, Partial, Complete };

    QList<FrameShape> shapes() const;
    Match match(const FrameShape &shape, DecodedRequest *request) const;

    SimFamily frameFamily;
    int firmwareBlockSize;
    QByteArray undecodedBytes;
};
