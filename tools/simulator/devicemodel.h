#pragma once

#include "requestdecoder.h"
#include "simprotocol.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSet>

#include <array>
#include <optional>

// The example firmware images begin with "KOVA-FW", then the version's
// major, minor and build and the image's block count, one byte each: the
// simulated controller runs the firmware it was given. Nothing for an
// image without that start.
struct FirmwareTag {
    quint8 fwMajor, fwMinor, fwBuild;
    int blockCount;
};
std::optional<FirmwareTag> firmwareTagOf(const QByteArray &firstBlock);

// What the device does with a request: its cells, its bootloader and the
// faults a test asked for. No I/O and no locking; the owner serialises calls.
class DeviceModel
{
public:
    static constexpr int CellCount = 256;

    void setProtocol(SimProtocol protocol);
    SimProtocol protocol() const { return spokenProtocol; }

    void setCell(int cell, quint8 value);
    quint8 cell(int cell) const;
    void setCellLimits(int cell, quint8 min, quint8 max);

    // Fills the identity cells of the current protocol; fields the protocol
    // has no cell for are ignored.
    void setIdentity(quint8 deviceId, quint8 hwVersion, quint8 blVersion, quint8 fwMajor, quint8 fwMinor,
                     quint8 fwBuild);
    // After blockCount acknowledged blocks (twice that in Kelpa, which sends
    // every block twice) the identity reports the new firmware version.
    void setFirmwareAfterUpload(quint8 fwMajor, quint8 fwMinor, quint8 fwBuild, int blockCount);
    // The new firmware's defaults: the cells it sets when that upload ends,
    // before the identity reports the new version.
    void setCellsAfterUpload(const QMap<int, quint8> &cells);
    // A controller whose update does not take: the version stays whatever
    // the uploaded image says (unless setFirmwareAfterUpload says otherwise).
    void setKeepsVersion(bool keeps);

    void failCell(int cell);
    void reviveCell(int cell);
    void dropReplies(int count);
    // Counting from this call, the block that would be acknowledged after
    // `index` acknowledgements is never acknowledged, however often it is
    // sent again. A negative index switches this off.
    void neverAcknowledgeBlock(int index);

    QList<QByteArray> receivedBlocks() const { return blockData; }
    int bootloaderEntries() const { return bootloaderEntryCount; }

    // The reply to send, or nothing when the device stays silent.
    std::optional<QByteArray> answer(const DecodedRequest &request);

private:
    struct PendingFirmware {
        quint8 fwMajor;
        quint8 fwMinor;
        quint8 fwBuild;
        int blockCount;
        int acknowledgedBefore;
        bool fromTag;
    };

    std::optional<quint8> respond(const DecodedRequest &request);
    void noteAcknowledgement();
    void noteFirmwareTag(const QByteArray &block);
    static bool validCell(int cell) { return cell >= 0 && cell < CellCount; }

    SimProtocol spokenProtocol = SimProtocol::Vorn;
    std::array<quint8, CellCount> cellValues{};
    std::array<quint8, CellCount> minimumValues{};
    std::array<quint8, CellCount> maximumValues = filledWith(0xFF);
    QSet<int> failedCells;
    int dropsLeft = 0;
    std::optional<int> refusedAcknowledgement;
    int acknowledgedBlocks = 0;
    std::optional<PendingFirmware> pendingFirmware;
    bool keepsVersion = false;
    QMap<int, quint8> cellsAfterUpload;
    QList<QByteArray> blockData;
    int bootloaderEntryCount = 0;

    static std::array<quint8, CellCount> filledWith(quint8 value);
};
