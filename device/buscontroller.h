#pragma once

#include "device/cablesearch.h"
#include "device/devicesession.h"
#include "device/uploadfailure.h"
#include "firmware/firmwarepackage.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QSerialPort;
class QTimer;
struct DeviceImage;

// The window's device link: runs a DeviceSession on its serial port in the
// worker thread, drives it with the poll timer and reports through signals.
// It meets the window only through signals and slots and through the
// window's DeviceImage.
class BusController : public QObject
{
    Q_OBJECT

public:
    // Candidate port names for the echo scan, in the order they are tried.
    using PortLister = CableSearch::PortLister;

    BusController(QObject *parent, DeviceImage *image, PortLister listPorts = CableSearch::systemPorts);
    ~BusController() override;

signals:
    void sendStatus(QString color, QString text = QString());
    void setProgressBar(uint value);
    void doDestroyDevice();
    void doConstructDevice();
    void allCellsReady();
    void updatedDeviceValue();
    void firmwareUpdated();
    // An upload that ended without success; the window words why.
    void firmwareUpdateFailed(UploadFailure failure);
    // The read of all cells failed again for the same device after one
    // recovery: used cells below `failedCell` hold the device's values, the
    // ones from it up were not read.
    void allCellsIncomplete(uchar failedCell);

public slots:
    // Beside the window's findUSBcable and findUSBCable: docs/compatibility.md
    void findUSBCable();
    void readDeviceAllCells();
    void writeDeviceValue(uint value, uchar cell, uchar hcell);
    // The package's bytes as read before the user confirmed; the path only names it.
    void doUpdateFirmware(QString filename, QByteArray package);

private:
    QString settingsPath() const;
    void storePortName();
    bool openPort(const QString &name);
    QString scanPorts();
    bool takeArrivedCable();
    void pollDevice();
    QString openFailureText() const;
    LinkOutcome readIdentity();
    void checkFlashedVersion();
    void dropPort();
    bool stopRequested() const;

    QString portName;
    DeviceImage *image;
    QSerialPort *port;
    QTimer *timer;
    std::unique_ptr<DeviceSession> session;
    std::unique_ptr<CableSearch> cableSearch;
    // The device whose read of all cells has already been recovered once by
    // dropping and identifying it again.
    std::optional<DeviceIdentity> recoveredOnce;
    // What the last upload put on the device, until it is identified again.
    struct FlashedFirmware {
        DeviceIdentity device;
        FirmwareVersion version;
        QString text;  // as the package gives it
    };
    std::optional<FlashedFirmware> flashed;
};
