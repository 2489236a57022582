#pragma once

#include "firmware/firmwareimage.h"
#include "link/dialect.h"

#include <QByteArray>
#include <QString>

#include <functional>

class SerialExchange;

// How the upload reaches its owner, so that it runs without one. Hooks left
// unset are skipped.
struct UploadHooks {
    std::function<void(const QString &color)> status;
    std::function<void(uint)> progress;  // index of the block just acknowledged
    std::function<void()> readCellZero;
    std::function<bool()> stopRequested;
};

// Where a package's data part is damaged.
struct PackageDamage {
    ImageProblem problem = ImageProblem::None;
    qint64 line = 0;  // line of the file, from 1
};

enum class UploadOutcome {
    Done,
    CannotOpen,   // the package could not be opened; nothing was sent
    Refused,      // the image does not have the device's block count; nothing was sent
    BlockFailed,  // a block went unacknowledged five times; later blocks were not sent
    Stopped,      // the owner asked to stop between two exchanges
    PortClosed,   // the port closed or its device left the system; later blocks were not sent
    Damaged,      // the data part is damaged (see damage()); nothing was sent
};

// Sends a firmware package to the device block by block in one dialect.
// Blocks the calling thread for the whole upload.
class FirmwareUpload
{
public:
    FirmwareUpload(SerialExchange &exchange, DialectSetting dialect, UploadHooks hooks);

    UploadOutcome run(const QString &path, quint32 pageSize, quint8 pageCount);
    UploadOutcome run(const QByteArray &image, quint32 pageSize, quint8 pageCount);

    // What was wrong with the package after a Damaged outcome.
    PackageDamage damage() const { return damageFound; }

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
    PackageDamage damageFound;
};
