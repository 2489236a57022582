#pragma once

#include "description/devicedescription.h"
#include "device/deviceimage.h"

#include <QMainWindow>
#include <QMessageBox>

#include <optional>

class BusController;
struct UploadFailure;
class QAction;
class QCloseEvent;
class QFrame;
class QLabel;
class QListWidget;
class QPixmap;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTextEdit;
class QThread;
class QTreeWidget;
class StatusLabel;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow();
    ~MainWindow() override;

signals:
    void loadAllCells();
    // The signal beside the slot findUSBcable, three members in all: docs/compatibility.md
    void findUSBCable();
    void writeDeviceValue(uint value, uchar cell, uchar hcell);
    // The package's bytes as read before the warning; the path only names it.
    void doUpdateFirmware(QString filename, QByteArray package);

private slots:
    // Connected to nothing, kept: docs/compatibility.md
    void ledColor(QString color);
    void showStatus(QString color, QString text);
    void setProgressBar(uint value);
    void loadSettingsFile();
    bool saveSettingsFile();
    bool saveLogFile();
    void setupParametersWindow();
    void updateFirmwareWindow();
    void firmwareUpdated();
    void about();
    // Lower-case c on purpose: docs/compatibility.md
    void findUSBcable();
    void constructDevice();
    void destroyDevice();
    void controlChanged(QString);
    void checkboxChanged(int);
    void refreshAllControls();
    void firmwareButtonActivate();
    void firmwareUpdateBegin();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildStatusBar();
    void buildMenus();
    void buildParameterTree();
    void buildFirmwarePage();
    void buildPageStack();
    void nameWidgets();
    void connectController();
    void setLed(const QPixmap *led);
    QString deviceStatusText() const;
    void refreshControls(int firstUnreadCell);
    void showIncompleteCells(uchar failedCell);
    void showUploadFailure(const UploadFailure &failure);
    bool backUpSettings();
    void openMessage(QMessageBox::Icon icon, const QString &title, const QString &text);

    DeviceImage image;
    QPixmap *redLed = nullptr;
    QPixmap *yellowLed = nullptr;
    QPixmap *greenLed = nullptr;
    QPixmap *darkGreenLed = nullptr;
    QProgressBar *progressBar = nullptr;
    QLabel *ledLabel = nullptr;
    StatusLabel *statusLabel = nullptr;
    QLabel *splashLabel = nullptr;
    QTreeWidget *parameterTree = nullptr;
    QLabel *pageNoteLabel = nullptr;  // on the parameter page, when the description has trouble
    QFrame *firmwarePage = nullptr;
    QAction *exportLogAction = nullptr;
    QAction *setupAction = nullptr;
    QAction *firmwareAction = nullptr;
    QStackedWidget *pageStack = nullptr;
    QLabel *deviceNameValue = nullptr;
    QLabel *hardwareRevisionValue = nullptr;
    QLabel *bootloaderVersionValue = nullptr;
    QLabel *firmwareVersionValue = nullptr;
    QStringList *firmwareFiles = nullptr;
    QListWidget *firmwareList = nullptr;
    QTextEdit *firmwareInfo = nullptr;
    QPushButton *updateButton = nullptr;
    QThread *workerThread = nullptr;
    BusController *controller = nullptr;
    bool uploadRunning = false;
    quint64 deviceGeneration = 0;  // counts every device built or dropped
    bool closeAfterUpload = false;
    QStringList deviceNotes;  // said after the device name while this device stays
    QString uploadedVersion;  // the package version of the last upload, until the device tells its own
    // A failure found once the device was identified after an upload stays
    // in the status bar until the device is identified again or dropped.
    bool uploadFailureHeld = false;
    // What the page was built from: none when no description fits the device.
    std::optional<DeviceDescription> pageDescription;
    int firstUnreadCell = CellCount;  // the link gave up reading there: the cells from it up hold nothing read
};
