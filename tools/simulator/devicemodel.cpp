#include "devicemodel.h"

#include <algorithm>

std::optional<FirmwareTag> firmwareTagOf(const QByteArray &firstBlock)
{
    static const QByteArray mark("KOVA-FW");
    if (firstBlock.size() < mark.size() + 4 || !firstBlock.startsWith(mark))
        return std::nullopt;
    const auto byteAt = [&](int offset) { return static_cast<quint8>(firstBlock.at(mark.size() + offset)); };
    if (byteAt(3) == 0)
        return std::nullopt;
    return FirmwareTag{byteAt(0), byteAt(1), byteAt(2), byteAt(3)};
}

std::array<quint8, DeviceModel::CellCount> DeviceModel::filledWith(quint8 value)
{
    std::array<quint8, CellCount> cells;
    cells.fill(value);
    return cells;
}

void DeviceModel::setProtocol(SimProtocol protocol)
{
    spokenProtocol = protocol;
}

void DeviceModel::setCell(int cell, quint8 value)
{
    if (validCell(cell))
        cellValues[cell] = value;
}

quint8 DeviceModel::cell(int cell) const
{
    return validCell(cell) ? cellValues[cell] : 0;
}

void DeviceModel::setCellLimits(int cell, quint8 min, quint8 max)
{
    if (!validCell(cell) || min > max)
        return;
    minimumValues[cell] = min;
    maximumValues[cell] = max;
}

void DeviceModel::setIdentity(quint8 deviceId, quint8 hwVersion, quint8 blVersion, quint8 fwMajor, quint8 fwMinor,
                              quint8 fwBuild)
{
    const IdentityCells cells = identityCellsOf(familyOf(spokenProtocol));
    setCell(cells.deviceId, deviceId);
    setCell(cells.hwVersion, hwVersion);
    setCell(cells.blVersion, blVersion);
    setCell(cells.fwMajor, fwMajor);
    setCell(cells.fwMinor, fwMinor);
    setCell(cells.fwBuild, fwBuild);
}

void DeviceModel::setFirmwareAfterUpload(quint8 fwMajor, quint8 fwMinor, quint8 fwBuild, int blockCount)
{
    pendingFirmware = PendingFirmware{fwMajor, fwMinor, fwBuild, blockCount, acknowledgedBlocks, false};
}

void DeviceModel::setKeepsVersion(bool keeps)
{
    keepsVersion = keeps;
}

// A tagged block starts an upload of that image, except where Kelpa starts
// its second pass over the same image.
void DeviceModel::noteFirmwareTag(const QByteArray &block)
{
    const std::optional<FirmwareTag> tag = firmwareTagOf(block);
    if (!tag || keepsVersion)
        return;
    if (pendingFirmware) {
        const PendingFirmware &pending = *pendingFirmware;
        const bool secondPass = familyOf(spokenProtocol) == SimFamily::Kelpa
                                && acknowledgedBlocks - pending.acknowledgedBefore == pending.blockCount;
        if (!pending.fromTag || secondPass)
            return;
    }
    pendingFirmware =
        PendingFirmware{tag->fwMajor, tag->fwMinor, tag->fwBuild, tag->blockCount, acknowledgedBlocks, true};
}

void DeviceModel::setCellsAfterUpload(const QMap<int, quint8> &cells)
{
    cellsAfterUpload = cells;
}

void DeviceModel::failCell(int cell)
{
    failedCells.insert(cell);
}

void DeviceModel::reviveCell(int cell)
{
    failedCells.remove(cell);
}

void DeviceModel::dropReplies(int count)
{
    dropsLeft = std::max(0, count);
}

void DeviceModel::neverAcknowledgeBlock(int index)
{
    if (index < 0)
        refusedAcknowledgement.reset();
    else
        refusedAcknowledgement = acknowledgedBlocks + index;
}

std::optional<QByteArray> DeviceModel::answer(const DecodedRequest &request)
{
    const std::optional<quint8> byte = respond(request);
    // A dropped reply is lost on the way back: the device has still acted.
    if (dropsLeft > 0) {
        --dropsLeft;
        return std::nullopt;
    }
    if (!byte)
        return std::nullopt;
    if (request.kind == 'F')
        noteAcknowledgement();
    return replyFrame(familyOf(spokenProtocol), *byte);
}

std::optional<quint8> DeviceModel::respond(const DecodedRequest &request)
{
    switch (request.kind) {
    case 'S': return OkByte;
    case 'U': ++bootloaderEntryCount; return OkByte;
    case 'R':
        if (!validCell(request.cell) || failedCells.contains(request.cell))
            return std::nullopt;
        return cellValues[request.cell];
    case 'W': {
        if (!validCell(request.cell) || failedCells.contains(request.cell))
            return std::nullopt;
        const int cell = request.cell;
        cellValues[cell] =
            static_cast<quint8>(std::clamp<int>(request.value, minimumValues[cell], maximumValues[cell]));
        return cellValues[cell];
    }
    case 'F':
        blockData.append(request.data);
        noteFirmwareTag(request.data);
        if (acknowledgedBlocks == refusedAcknowledgement)
            return std::nullopt;
        return OkByte;
    }
    return std::nullopt;
}

void DeviceModel::noteAcknowledgement()
{
    ++acknowledgedBlocks;
    if (!pendingFirmware)
        return;
    // Kelpa sends the whole image twice; the first pass alone is not an upload.
    const int passes = familyOf(spokenProtocol) == SimFamily::Kelpa ? 2 : 1;
    PendingFirmware &pending = *pendingFirmware;
    if (acknowledgedBlocks - pending.acknowledgedBefore < pending.blockCount * passes)
        return;
    for (auto it = cellsAfterUpload.cbegin(); it != cellsAfterUpload.cend(); ++it)
        setCell(it.key(), it.value());
    const IdentityCells cells = identityCellsOf(familyOf(spokenProtocol));
    setCell(cells.fwMajor, pending.fwMajor);
    setCell(cells.fwMinor, pending.fwMinor);
    setCell(cells.fwBuild, pending.fwBuild);
    pendingFirmware.reset();
}
