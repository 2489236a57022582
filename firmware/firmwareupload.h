#pragma once

#include "link/dialect.h"

#include <QByteArray>
#include <QString>

#include <functional>

class SerialExchange;

enum class UploadOutcome {
    Done,
    Refused,  // the image does not have the device's block count; nothing was sent
    BlockFailed,  // a block went unacknowledged five times; later blocks were not sent
    Stopped,  // the owner asked to stop between two exchanges
    PortClosed,  // the port closed or its device left the system; later blocks were not sent
    DeviceChanged,  // the device identified itself as another one; nothing was sent
    DeviceSilent,  // the device did not tell its identity again; nothing was sent
};

// How the upload reaches its owner, so that it runs without one. Hooks left
// unset are skipped.
struct UploadHooks {
    std::function<void(const QString &color)> status;
    std::function<void(uint)> progress;  // index of the block just acknowledged
    std::function<void()> readCellZero;
    std::function<bool()> stopRequested;
    // Asked right before the first block (in Ulma before the bootloader
    // entry): Done lets the upload go on, anything else ends it there.
    std::function<UploadOutcome()> confirmDevice;
};

// Sends a checked firmware image to the device block by block in one dialect.
// Blocks the calling thread for the whole upload.
class FirmwareUpload
{
public:
    FirmwareUpload(SerialExchange &exchange, DialectSetting dialect, UploadHooks hooks);

    UploadOutcome run(const QByteArray &image, quint32 pageSize, quint8 pageCount);

private:
    enum class BlockResult { Acknowledged, Failed, Stopped, PortClosed };

    bool stopRequested() const;
    void reportStatus(const QString &color) const;
    bool enterBootloader();  // false: the port is gone
    UploadOutcome sendPass(const QByteArray &image, int blockSize, int blockCount);
    BlockResult sendBlock(const QByteArray &block);
    void announceAttempt();

    SerialExchange &exchange;
    Dialect dialect;
    UploadHooks hooks;
};
