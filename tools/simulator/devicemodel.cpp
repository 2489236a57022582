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

std::array<quint8, DeviceModel::cellCount> DeviceModel::filledWith(quint8 value)
{
    std::array<quint8, cellCount> cells;
    cells.fill(value);
    return cells;
}

void DeviceModel::setProtocol(SimProtocol protocol)
{
    m_protocol = protocol;
}

void DeviceModel::setCell(int cell, quint8 value)
{
    if (validCell(cell))
        m_cells[cell] = value;
}

quint8 DeviceModel::cell(int cell) const
{
    return validCell(cell) ? m_cells[cell] : 0;
}

void DeviceModel::setCellLimits(int cell, quint8 min, quint8 max)
{
    if (!validCell(cell) || min > max)
        return;
    m_minimum[cell] = min;
    m_maximum[cell] = max;
}

void DeviceModel::setIdentity(quint8 deviceId, quint8 hwVersion, quint8 blVersion, quint8 fwMajor,
                              quint8 fwMinor, quint8 fwBuild)
{
    const IdentityCells cells = identityCellsOf(familyOf(m_protocol));
    setCell(cells.deviceId, deviceId);
    setCell(cells.hwVersion, hwVersion);
    setCell(cells.blVersion, blVersion);
    setCell(cells.fwMajor, fwMajor);
    setCell(cells.fwMinor, fwMinor);
    setCell(cells.fwBuild, fwBuild);
}

void DeviceModel::setFirmwareAfterUpload(quint8 fwMajor, quint8 fwMinor, quint8 fwBuild, int blockCount)
{
    m_pendingFirmware = PendingFirmware{fwMajor, fwMinor, fwBuild, blockCount, m_acknowledgedBlocks, false};
}

void DeviceModel::setKeepsVersion(bool keeps)
{
    m_keepsVersion = keeps;
}

// A tagged block starts an upload of that image, except where Kelpa starts
// its second pass over the same image.
void DeviceModel::noteFirmwareTag(const QByteArray &block)
{
    const std::optional<FirmwareTag> tag = firmwareTagOf(block);
    if (!tag || m_keepsVersion)
        return;
    if (m_pendingFirmware) {
        const PendingFirmware &pending = *m_pendingFirmware;
        const bool secondPass = familyOf(m_protocol) == SimFamily::Kelpa
                                && m_acknowledgedBlocks - pending.acknowledgedBefore == pending.blockCount;
        if (!pending.fromTag || secondPass)
            return;
    }
    m_pendingFirmware = PendingFirmware{tag->fwMajor, tag->fwMinor, tag->fwBuild, tag->blockCount,
                                        m_acknowledgedBlocks, true};
}

void DeviceModel::setCellsAfterUpload(const QMap<int, quint8> &cells)
{
    m_cellsAfterUpload = cells;
}

void DeviceModel::failCell(int cell)
{
    m_failedCells.insert(cell);
}

void DeviceModel::reviveCell(int cell)
{
    m_failedCells.remove(cell);
}

void DeviceModel::dropReplies(int count)
{
    m_dropsLeft = std::max(0, count);
}

void DeviceModel::neverAcknowledgeBlock(int index)
{
    if (index < 0)
        m_refusedAcknowledgement.reset();
    else
        m_refusedAcknowledgement = m_acknowledgedBlocks + index;
}

std::optional<QByteArray> DeviceModel::answer(const DecodedRequest &request)
{
    const std::optional<quint8> byte = respond(request);
    // A dropped reply is lost on the way back: the device has still acted.
    if (m_dropsLeft > 0) {
        --m_dropsLeft;
        return std::nullopt;
    }
    if (!byte)
        return std::nullopt;
    if (request.kind == 'F')
        noteAcknowledgement();
    return replyFrame(familyOf(m_protocol), *byte);
}

std::optional<quint8> DeviceModel::respond(const DecodedRequest &request)
{
    switch (request.kind) {
    case 'S':
        return okByte;
    case 'U':
        ++m_bootloaderEntries;
        return okByte;
    case 'R':
        if (!validCell(request.cell) || m_failedCells.contains(request.cell))
            return std::nullopt;
        return m_cells[request.cell];
    case 'W': {
        if (!validCell(request.cell) || m_failedCells.contains(request.cell))
            return std::nullopt;
        const int cell = request.cell;
        m_cells[cell] = static_cast<quint8>(std::clamp<int>(request.value, m_minimum[cell], m_maximum[cell]));
        return m_cells[cell];
    }
    case 'F':
        m_blocks.append(request.data);
        noteFirmwareTag(request.data);
        if (m_acknowledgedBlocks == m_refusedAcknowledgement)
            return std::nullopt;
        return okByte;
    }
    return std::nullopt;
}

void DeviceModel::noteAcknowledgement()
{
    ++m_acknowledgedBlocks;
    if (!m_pendingFirmware)
        return;
    // Kelpa sends the whole image twice; the first pass alone is not an upload.
    const int passes = familyOf(m_protocol) == SimFamily::Kelpa ? 2 : 1;
    PendingFirmware &pending = *m_pendingFirmware;
    if (m_acknowledgedBlocks - pending.acknowledgedBefore < pending.blockCount * passes)
        return;
    for (auto it = m_cellsAfterUpload.cbegin(); it != m_cellsAfterUpload.cend(); ++it)
        setCell(it.key(), it.value());
    const IdentityCells cells = identityCellsOf(familyOf(m_protocol));
    setCell(cells.fwMajor, pending.fwMajor);
    setCell(cells.fwMinor, pending.fwMinor);
    setCell(cells.fwBuild, pending.fwBuild);
    m_pendingFirmware.reset();
}
