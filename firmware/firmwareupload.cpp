#include "firmware/firmwareupload.h"

#include "firmware/firmwareimage.h"
#include "firmware/uploadframes.h"
#include "link/exchange.h"

#include <QDebug>

namespace {

constexpr int AttemptsPerExchange = 5;

// Process-wide on purpose: docs/compatibility.md
// Kelpa alternates the LED colour from attempt to attempt, across blocks and
// uploads, for the program's whole life. Only the worker thread uploads.
bool kelpaGreenNext = true;

}  // namespace

FirmwareUpload::FirmwareUpload(SerialExchange &exchange, DialectSetting dialect, UploadHooks hooks)
    : exchange(exchange), dialect(dialectOf(dialect)), hooks(std::move(hooks))
{
}

// The read of cell 0, Kelpa's second pass and the "Ulma" line stay: docs/compatibility.md
UploadOutcome FirmwareUpload::run(const QByteArray &image, quint32 pageSize, quint8 pageCount)
{
    // Cell 0 is read once before the block check, whether or not the package
    // fits; its value is not used.
    if (hooks.readCellZero)
        hooks.readCellZero();

    if (!imageFits(image.size(), pageSize, pageCount))
        return UploadOutcome::Refused;

    // The device may have been exchanged since it was identified; nothing
    // irreversible happens before this answer.
    if (hooks.confirmDevice) {
        const UploadOutcome device = hooks.confirmDevice();
        if (device != UploadOutcome::Done)
            return device;
    }

    if (dialect == Dialect::Ulma) {
        if (!enterBootloader())
            return UploadOutcome::PortClosed;
        qDebug() << "Ulma";
    }

    const int blockSize = int(pageSize);
    UploadOutcome outcome = sendPass(image, blockSize, pageCount);
    // A Kelpa device takes the whole image a second time.
    if (outcome == UploadOutcome::Done && dialect == Dialect::Kelpa)
        outcome = sendPass(image, blockSize, pageCount);
    return outcome;
}

bool FirmwareUpload::stopRequested() const
{
    return hooks.stopRequested && hooks.stopRequested();
}

void FirmwareUpload::reportStatus(const QString &color) const
{
    if (hooks.status)
        hooks.status(color);
}

// The blocks follow whether or not the device accepted: their own
// acknowledgements tell whether it listens. Only a port that is gone stops them.
bool FirmwareUpload::enterBootloader()
{
    const QByteArray request = uploadframes::bootloaderEntryRequest();
    const ExchangeParams params = uploadframes::bootloaderEntryExchange();
    for (int attempt = 0; attempt < AttemptsPerExchange; ++attempt) {
        const ExchangeResult result = exchange.run(request, params);
        if (result.portClosed)
            return false;
        // Too short a reply means nothing answers; asking again would not help.
        if (result.received.size() < params.expected
            || (result.echoed && uploadframes::acknowledged(Dialect::Ulma, result.received, request.size())))
            return true;
    }
    return true;
}

UploadOutcome FirmwareUpload::sendPass(const QByteArray &image, int blockSize, int blockCount)
{
    for (int index = 0; index < blockCount; ++index) {
        switch (sendBlock(image.mid(index * blockSize, blockSize))) {
        case BlockResult::Acknowledged:
            if (hooks.progress)
                hooks.progress(uint(index));
            break;
        case BlockResult::Failed: return UploadOutcome::BlockFailed;
        case BlockResult::Stopped: return UploadOutcome::Stopped;
        case BlockResult::PortClosed: return UploadOutcome::PortClosed;
        }
    }
    return UploadOutcome::Done;
}

FirmwareUpload::BlockResult FirmwareUpload::sendBlock(const QByteArray &block)
{
    const ExchangeParams params = uploadframes::blockExchange(dialect, block.size());
    std::function<void()> afterWritten;
    if (dialect != Dialect::Kelpa)
        afterWritten = [this] { reportStatus("dark_green"); };

    for (int attempt = 0; attempt < AttemptsPerExchange; ++attempt) {
        if (stopRequested())
            return BlockResult::Stopped;
        if (!exchange.portOpen())
            return BlockResult::PortClosed;
        announceAttempt();
        const QByteArray frame = uploadframes::blockFrame(dialect, block);
        const ExchangeResult result = exchange.run(frame, params, afterWritten);
        if (result.portClosed)
            return BlockResult::PortClosed;
        if (result.echoed && uploadframes::acknowledged(dialect, result.received, frame.size()))
            return BlockResult::Acknowledged;
        // Kelpa only, kept: docs/compatibility.md
        if (dialect == Dialect::Kelpa)
            qDebug() << "error";
    }
    return BlockResult::Failed;
}

void FirmwareUpload::announceAttempt()
{
    if (dialect != Dialect::Kelpa) {
        reportStatus("green");
        return;
    }
    reportStatus(kelpaGreenNext ? "green" : "dark_green");
    kelpaGreenNext = !kelpaGreenNext;
}
