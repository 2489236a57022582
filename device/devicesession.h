#pragma once

#include "firmware/firmwareupload.h"
#include "link/dialect.h"
#include "link/exchange.h"
#include "link/serialline.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <initializer_list>

class QSerialPort;
struct DeviceImage;

// What the identity cells say about the device.
struct DeviceIdentity {
    quint8 deviceId = 0;
    quint8 hwVersion = 0;
    quint8 blVersion = 0;
    quint8 fwMajor = 0;
    quint8 fwMinor = 0;
    quint8 fwBuild = 0;

    static DeviceIdentity of(const DeviceImage &image);
    void storeIn(DeviceImage &image) const;

    bool operator==(const DeviceIdentity &other) const;
    bool operator!=(const DeviceIdentity &other) const { return !(*this == other); }
};

// How an operation that needs the device ended. Every operation checks the
// port before each attempt and ends at once when it is no longer open.
enum class LinkOutcome {
    Done,
    NoReply,  // a cell gave no valid reply within its attempts
    PortClosed,  // the port was not open (any more) or its device left the system; nothing more was sent
    Stopped,  // the stop check asked to stop between two exchanges
};

struct CellsReadResult {
    LinkOutcome outcome = LinkOutcome::Done;
    // Where a failed read ended: used cells below it hold the device's
    // values, those from it up are unread.
    quint8 failedCell = 0;
};

enum class WriteOutcome {
    Confirmed,  // both bytes read back as written
    DeviceDiffers,  // read back fine, but the device holds another value (now in the image)
    WriteFailed,  // a write went unanswered; every cell it may have changed was read back
    Unverified,  // a cell the write may have changed could not be read back: the image
    // may not hold what the device holds
    PortClosed,
    Stopped,
};

// Called with "green" or "dark_green", as the status LED shows an upload's attempts.
using StatusCallback = std::function<void(const QString &color)>;
// Called with the zero-based index of the block just acknowledged.
using ProgressCallback = std::function<void(uint block)>;

// The device link as plain blocking calls: one port, one operation at a time,
// on the calling thread. What the window's worker and the command line share;
// wording the outcomes is the caller's job. Debug lines are written as the
// link always writes them ("ping Vorn", "Reading Cell Error", ...).
//
// The session does not own the port, so the caller decides its thread and
// parent. Nothing here opens a dialog or needs an event loop.
class DeviceSession
{
public:
    explicit DeviceSession(QSerialPort &port);

    // Asked between exchanges and during their waits for a reply; true ends
    // the running operation with Stopped.
    void setStopCheck(std::function<bool()> stopCheck);
    // Every frame sent and received, with its time (see SerialExchange).
    void setTrace(TraceHook trace);

    // The port, at 19200 baud, 8 data bits, 1 stop bit, no flow control;
    // a port open before is closed first.
    OpenOutcome open(const QString &portName);
    void close();
    bool isOpen() const;
    // The name the open port reports, e.g. "ttyUSB0".
    QString portName() const;
    // The cable's echo test on another port; the session's port is closed first.
    EchoResult echoTest(const QString &portName);

    // Read and write commands use this setting's frames at the rate the
    // last ping set.
    DialectSetting dialect() const { return setting; }
    void setDialect(DialectSetting dialect) { setting = dialect; }

    // Sets the setting's baud rate, then pings; the setting becomes current.
    PingResult ping(DialectSetting dialect);

    // The identity cells of the current dialect, one by one. Fields are
    // updated as they arrive: on failure the ones read keep their new
    // values, the rest are untouched. Kelpa and Ulma report hardware and
    // bootloader version 1 and build 0; a Vorn build of 0xFF reads as 0.
    LinkOutcome identify(DeviceIdentity &identity);

    LinkOutcome readCell(quint8 cell, quint8 &value);
    // Every cell marked used in `image`, ascending, into its value;
    // `progress`, when given, after each cell with the cells read and to read.
    CellsReadResult readUsedCells(DeviceImage &image, const std::function<void(int done, int total)> &progress = {});

    // Writes the low byte of `value` into `cell` and, when `hcell` is not 0,
    // the high byte into `hcell`; then reads both back into `image`. After a
    // failure the cells written or tried are read back as far as they answer,
    // so the image holds what the device holds, or the outcome says it may not. Cells without a slot
    // (255) are refused with WriteFailed before anything is sent.
    WriteOutcome writeValue(DeviceImage &image, uint value, quint8 cell, quint8 hcell);

    // Uploads an image that was checked against the device's geometry,
    // block by block. Right before the first block (in Ulma before the
    // bootloader entry) the identity cells are read again: a device that is
    // not `expected` gets nothing, and `found` says what it reported.
    UploadOutcome uploadImage(const QByteArray &image, quint32 pageSize, quint8 pageCount,
                              const DeviceIdentity &expected, const ProgressCallback &progress,
                              const StatusCallback &status, DeviceIdentity *found = nullptr);

private:
    bool stopRequested() const;
    LinkOutcome cellCommand(const QByteArray &request, const ExchangeParams &params, quint8 *reply,
                            const char *failureLine);
    LinkOutcome writeCell(quint8 cell, quint8 value);
    WriteOutcome afterFailedStep(DeviceImage &image, LinkOutcome step, WriteOutcome failure,
                                 std::initializer_list<quint8> cellsToReadBack);
    UploadOutcome confirmDevice(const DeviceIdentity &expected, DeviceIdentity *found);

    QSerialPort &port;
    SerialExchange exchange;
    DialectSetting setting = Vorn;
    std::function<bool()> stopCheck;
};
