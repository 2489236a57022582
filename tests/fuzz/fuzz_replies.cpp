// Bytes on the receive line against the reply and acknowledgement checks, in
// every dialect and at any offset. The simulated device, which shares no code
// with the link, is the reference: a check must accept exactly the frames the
// device sends, and the requests the link builds must decode on the device's
// side as what was meant.
#include "firmware/uploadframes.h"
#include "link/frames.h"
#include "requestdecoder.h"
#include "simprotocol.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

namespace {

SimFamily familyOf(Dialect dialect)
{
    switch (dialect) {
    case Dialect::Kelpa: return SimFamily::Kelpa;
    case Dialect::Ulma: return SimFamily::Ulma;
    case Dialect::Vorn: break;
    }
    return SimFamily::Vorn;
}

void expect(bool condition)
{
    if (!condition)
        abort();
}

// Whether the device's reply carrying the byte after the "M" stands at `offset`.
bool deviceReplyAt(SimFamily family, const QByteArray &received, int offset)
{
    if (offset < 0 || offset + 1 >= received.size())
        return false;
    const QByteArray reply = replyFrame(family, quint8(received.at(offset + 1)));
    return received.mid(offset, reply.size()) == reply;
}

bool okReplyAt(SimFamily family, const QByteArray &received, int offset)
{
    const QByteArray reply = replyFrame(family, OkByte);
    return offset >= 0 && received.mid(offset, reply.size()) == reply;
}

void checkReceived(Dialect dialect, const QByteArray &received, int offset, int requestLength)
{
    const SimFamily family = familyOf(dialect);
    expect(frames::cellReplyValid(dialect, received, offset) == deviceReplyAt(family, received, offset));
    expect(uploadframes::acknowledged(dialect, received, offset) == okReplyAt(family, received, offset));

    const PingResult ping = frames::classifyPing(dialect, true, received, requestLength);
    if (received.size() < requestLength + frames::replyLength(dialect))
        expect(ping == EchoOnly);
    else
        expect((ping == Answered) == okReplyAt(family, received, requestLength) && ping != Silent && ping != EchoOnly);
    expect(frames::classifyPing(dialect, false, received, requestLength) == Silent);
}

void checkRequests(Dialect dialect, FuzzedDataProvider &input)
{
    const auto cell = input.ConsumeIntegral<quint8>();
    const auto value = input.ConsumeIntegral<quint8>();
    const std::string block = input.ConsumeRandomLengthString(300);
    RequestDecoder device(familyOf(dialect), int(block.size()));
    const auto decodesAs = [&device](const QByteArray &frame, char kind) {
        device.reset();
        const QList<DecodedRequest> requests = device.feed(frame);
        expect(requests.size() == 1 && requests.first().kind == kind && device.pendingBytes() == 0);
        return requests.first();
    };
    decodesAs(frames::pingRequest(dialect), 'S');
    expect(decodesAs(frames::readRequest(dialect, cell), 'R').cell == cell);
    const DecodedRequest write = decodesAs(frames::writeRequest(dialect, cell, value), 'W');
    expect(write.cell == cell && write.value == value);
    if (!block.empty()) {
        const QByteArray data = QByteArray::fromStdString(block);
        const QByteArray frame = uploadframes::blockFrame(dialect, data);
        expect(frame.size() == uploadframes::blockFrameLength(dialect, data.size()));
        expect(decodesAs(frame, 'F').data == data);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const auto dialect = input.PickValueInArray({Dialect::Vorn, Dialect::Kelpa, Dialect::Ulma});
    expect(uploadframes::acknowledgement(dialect) == replyFrame(familyOf(dialect), OkByte));

    const int requestLength = input.ConsumeIntegralInRange(0, 40);
    if (input.ConsumeBool()) {
        // The device's reply behind an echo, perhaps with one bit flipped:
        // every single-bit error must be caught.
        const QByteArray echo = QByteArray::fromStdString(input.ConsumeRandomLengthString(40));
        QByteArray reply = replyFrame(familyOf(dialect), input.ConsumeIntegral<quint8>());
        const bool flip = input.ConsumeBool();
        const auto bit = input.ConsumeIntegralInRange<int>(0, reply.size() * 8 - 1);
        if (flip)
            reply[bit / 8] = char(reply.at(bit / 8) ^ (1 << (bit % 8)));
        const QByteArray tail = QByteArray::fromStdString(input.ConsumeRandomLengthString(8));
        const QByteArray received = echo + reply + tail;
        expect(frames::cellReplyValid(dialect, received, echo.size()) == !flip);
        checkReceived(dialect, received, echo.size(), requestLength);
    } else if (input.ConsumeBool()) {
        checkRequests(dialect, input);
    } else {
        const int offset = input.ConsumeIntegralInRange(-8, 48);
        checkReceived(dialect, QByteArray::fromStdString(input.ConsumeRemainingBytesAsString()), offset, requestLength);
    }
    return 0;
}
