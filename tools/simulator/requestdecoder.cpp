#include "requestdecoder.h"

RequestDecoder::RequestDecoder(SimFamily family, int blockSize) : frameFamily(family), firmwareBlockSize(blockSize) {}

void RequestDecoder::setFamily(SimFamily family)
{
    frameFamily = family;
    reset();
}

void RequestDecoder::setBlockSize(int blockSize)
{
    firmwareBlockSize = blockSize;
    reset();
}

void RequestDecoder::reset()
{
    undecodedBytes.clear();
}

QList<DecodedRequest> RequestDecoder::feed(const QByteArray &bytes)
{
    undecodedBytes.append(bytes);
    QList<DecodedRequest> decoded;
    const QList<FrameShape> candidates = shapes();
    while (!undecodedBytes.isEmpty()) {
        bool waitForMore = false;
        bool found = false;
        for (const FrameShape &shape : candidates) {
            DecodedRequest request;
            const Match result = match(shape, &request);
            if (result == Match::Complete) {
                undecodedBytes.remove(0, request.raw.size());
                decoded.append(request);
                found = true;
                break;
            }
            waitForMore = waitForMore || result == Match::Partial;
        }
        if (found)
            continue;
        if (waitForMore)
            break;
        undecodedBytes.remove(0, 1);
    }
    return decoded;
}

QList<RequestDecoder::FrameShape> RequestDecoder::shapes() const
{
    switch (frameFamily) {
    case SimFamily::Vorn:
        return {{'S', "UMST", CheckKind::Crc32LsbFirst, 1},
                {'R', "UMR#", CheckKind::Crc32LsbFirst, 1},
                {'W', "UMW#$", CheckKind::Crc32LsbFirst, 1},
                {'F', "UMF*", CheckKind::Crc32LsbFirst, 1}};
    case SimFamily::Kelpa:
        return {{'S', "UMSET", CheckKind::Sum8, 1},
                {'R', "UMR#0", CheckKind::Sum8, 1},
                {'W', "UMW#$", CheckKind::Sum8, 1},
                {'F', "UMF*", CheckKind::Crc16MsbFirst, 3}};
    case SimFamily::Ulma:
        return {{'S', "Mset", CheckKind::Sum8, 0},
                {'R', "Mr##", CheckKind::Sum8, 0},
                {'W', "Mw#$", CheckKind::Sum8, 0},
                {'F', "Mf*", CheckKind::Crc16MsbFirst, 0},
                {'U', "Mupd", CheckKind::Sum8, 0}};
    }
    return {};
}

RequestDecoder::Match RequestDecoder::match(const FrameShape &shape, DecodedRequest *request) const
{
    const QByteArray pattern(shape.pattern);
    const int blockAt = pattern.indexOf('*');
    if (blockAt >= 0 && firmwareBlockSize <= 0)
        return Match::No;
    const int blockLength = blockAt >= 0 ? firmwareBlockSize : 0;

    int at = 0;
    int cell = -1;
    int value = -1;
    for (char token : pattern) {
        if (token == '*') {
            at += blockLength;
            continue;
        }
        if (at >= undecodedBytes.size())
            return Match::Partial;
        const int byte = static_cast<quint8>(undecodedBytes.at(at));
        if (token == '#') {
            if (cell >= 0 && byte != cell)
                return Match::No;
            cell = byte;
        } else if (token == '$') {
            value = byte;
        } else if (byte != static_cast<quint8>(token)) {
            return Match::No;
        }
        ++at;
    }

    const int bodyLength = at;
    const int frameLength = bodyLength + checkLength(shape.check);
    if (undecodedBytes.size() < frameLength)
        return Match::Partial;
    const QByteArray frame = undecodedBytes.left(frameLength);
    const QByteArray covered = frame.mid(shape.checkFrom, bodyLength - shape.checkFrom);
    if (checkBytes(shape.check, covered) != frame.mid(bodyLength))
        return Match::No;

    request->kind = shape.kind;
    request->cell = cell;
    request->value = value;
    if (blockAt >= 0)
        request->data = frame.mid(blockAt, blockLength);
    request->raw = frame;
    return Match::Complete;
}
