#pragma once

#include <QByteArray>

#include <array>
#include <map>
#include <optional>

// Bytes waiting to go out to the host, each with the moment it may leave.
// The cable's echo and the device's reply are two senders on one receive
// line: each is paced on its own, and the line carries both in time order.
class OutputSchedule
{
public:
    enum class Sender { Echo, Device };

    // Queues bytes whose first may start at readyNs; each byte then takes
    // byteNs on the wire after the sender's previous one. Returns the moment
    // the last byte has left (readyNs when there are no bytes). `whole`
    // holds every byte back until the last one is through, as a USB adapter
    // hands over what it received in one packet.
    qint64 add(Sender sender, const QByteArray &bytes, qint64 readyNs, qint64 byteNs, bool whole = false);

    QByteArray takeDue(qint64 nowNs);
    std::optional<qint64> nextDeadline() const;

private:
    std::multimap<qint64, char> queuedBytes;
    std::array<qint64, 2> senderFreeNs{};
};
