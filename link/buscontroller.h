#pragma once

#include "link/dialect.h"
#include "link/exchange.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QSerialPort;
class QTimer;
struct DeviceImage;

// The device link: owns the serial port and the poll timer and lives in the
// worker thread. It meets the window only through signals and slots and
// through the window's DeviceImage.
class BusController : public QObject
{
    Q_OBJECT

public:
    // Candidate port names for the echo scan, in the order they are tried.
    using PortLister = std::function<QStringList()>;
    static QStringList systemPortNames();

    BusController(QObject *parent, DeviceImage *image, PortLister listPorts = systemPortNames);
    ~BusController() override;

signals:
    void sendStatus(QString color, QString text = QString());
    void setProgressBar(uint value);
    void doDestroyDevice();
    void doConstructDevice();
    void allCellsReady();
    void updatedDeviceValue();
    void firmwareUpdated();
    // An upload that ended without success; the reason is for the user.
    void firmwareUpdateFailed(QString reason);

public slots:
    void findUSBCable();
    void readDeviceAllCells();
    void writeDeviceValue(uint value, uchar cell, uchar hcell);
    void doUpdateFirmware(QString filename);

private:
    QString settingsPath() const;
    void storePortName();
    bool openPort(const QString &name, qint32 baudRate);
    QString scanPorts();
    void pollDevice();
    QString openFailureText() const;
    PingResult pingDevice(DialectSetting setting);
    bool readCell(quint8 cell, uchar &value);
    bool writeCell(quint8 cell, quint8 value);
    bool writeAndReadBack(quint8 cell, quint8 low, quint8 hcell, quint8 high);
    void reportUploadFailure(const QString &reason);
    void readIdentity();
    bool stopRequested() const;

    quint8 dialect = Vorn;
    QString portName;
    DeviceImage *image;
    QSerialPort *port;
    QTimer *timer;
    PortLister listPorts;
};
