#pragma once

#include "simline.h"
#include "simprotocol.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <memory>

struct SimRequest {
    char kind = 0;  // 'S' ping, 'R' read, 'W' write, 'F' block, 'U' bootloader entry
    int cell = -1;  // 'R', 'W'; -1 otherwise
    int value = -1;  // 'R': the cell's value, 'W': the value asked for, 'F': the block's
        // position in receivedBlocks(); -1 otherwise
    QByteArray raw;  // the request frame as received
    qint64 atMs = 0;  // CLOCK_MONOTONIC in ms, as a started QElapsedTimer's msecsSinceReference()
    bool answered = false;
};

// The USB-to-serial cable with the speed controller behind it, on a pseudo
// terminal the program opens like any serial port. The cable echoes every
// byte; an attached device answers its protocol's requests when the port runs
// at that protocol's speed. All public calls are thread-safe.
class SimulatedDevice
{
public:
    using Protocol = SimProtocol;

    SimulatedDevice();
    // On another line than a pseudo terminal of its own.
    explicit SimulatedDevice(SimLineFactory openLine);
    ~SimulatedDevice();
    SimulatedDevice(const SimulatedDevice &) = delete;
    SimulatedDevice &operator=(const SimulatedDevice &) = delete;

    // "/dev/pts/N"; empty if no pty could be opened or while the port is gone.
    QString portPath() const;
    // The cable pulled from the computer: the pty is closed and its path goes
    // away. Back again, it is a new pty, whose path may differ.
    void setPortGone(bool gone);

    // Cable
    void setUnplugged(bool unplugged);  // nothing at all comes back
    void attachDevice(Protocol protocol);
    void detachDevice();  // the cable only echoes
    // Another device of that protocol in place of the one before, attached or
    // not as that one was: its cells, limits, identity, faults, received
    // blocks and any pending upload start afresh. What belongs to the cable
    // stays: wire timing, echo, latency and the block size.
    void replaceDevice(Protocol protocol);

    // Cells 0..255
    void setCell(int cell, quint8 value);
    quint8 cell(int cell) const;
    void setCells(const QMap<int, quint8> &cells);
    // A write stores the value bounded to [min, max] and answers the stored value.
    void setCellLimits(int cell, quint8 min, quint8 max);
    // Uses the identity cells of the attached protocol (Vorn before any
    // attach); Kelpa and Ulma have no cells for hw, bl and build.
    void setIdentity(quint8 deviceId, quint8 hwVersion, quint8 blVersion, quint8 fwMajor, quint8 fwMinor,
                     quint8 fwBuild);

    // Firmware: block frames are recognised only once the block size is set.
    void setBlockSize(int blockSize);
    QList<QByteArray> receivedBlocks() const;  // data of every block with a good check, in order
    int bootloaderEntries() const;
    void setFirmwareAfterUpload(quint8 fwMajor, quint8 fwMinor, quint8 fwBuild, int blockCount);
    void setCellsAfterUpload(const QMap<int, quint8> &cells);
    // An uploaded image that names its version (see firmwareTagOf) does not change it.
    void setKeepsVersion(bool keeps);

    // Faults
    void setGarbleReplies(bool garble);
    void dropReplies(int count);  // the device acts, the reply is lost
    void setSplitReplies(int pieces, int gapMs);
    void failCell(int cell);  // never answered, writes not stored
    void reviveCell(int cell);
    // Counting from this call: the block that would follow `index`
    // acknowledgements is never acknowledged, however often it is repeated.
    void neverAcknowledgeBlock(int index);
    void setAckInPieces(bool inPieces);
    void setAckExtraBytes(int count);
    // Every reply but a ping's is complete `ms` after the echo of its request,
    // in `chunks` pieces spread evenly up to then; 0 ms answers at once.
    void setLateReplies(int ms, int chunks = 1);

    // Timing
    void setWireTiming(bool on);  // 10 bit times per byte at the port's speed
    void setEchoInPackets(bool on);  // each write's echo comes back in one piece
    void setAnswerLatencyMs(int ms);

    // Log
    QList<SimRequest> requests() const;
    void clearRequests();
    bool waitForRequests(int count, int timeoutMs) const;
    QByteArray rawReceived() const;
    void clearRawReceived();
    // Called from the device's thread for every decoded request, without locks held.
    void setRequestListener(std::function<void(const SimRequest &)> listener);

private:
    class Worker;
    std::unique_ptr<Worker> worker;
};
