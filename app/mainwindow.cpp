#include "app/mainwindow.h"

#include "app/parameterpage.h"
#include "app/statuslabel.h"
#include "app/windowstyle.h"
#include "device/buscontroller.h"
#include "device/threadhandover.h"

#include <QCloseEvent>
#include <QDebug>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTextEdit>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>

MainWindow::MainWindow() : QMainWindow(nullptr)
{
    setStyleSheet(windowstyle::Window);
    auto *bar = new QMenuBar(this);
    setMenuBar(bar);
    bar->setStyleSheet(windowstyle::MenuBar);
    buildStatusBar();
    setWindowIcon(QIcon(":/maps/MAIN_ICON"));
    resize(400, 400);
    setMinimumSize(400, 200);
    setMaximumSize(400, 1050);
    setWindowTitle(tr("KOVA II"));
    buildMenus();
    buildParameterTree();
    splashLabel = new QLabel(this);
    splashLabel->setPixmap(QPixmap(":/maps/SPLASH"));
    buildFirmwarePage();
    buildPageStack();
    nameWidgets();

    destroyDevice();

    workerThread = new QThread(this);
    workerThread->setObjectName("workerThread");
    controller = new BusController(nullptr, &image);
    controller->moveToThread(workerThread);
    connect(workerThread, SIGNAL(finished()), controller, SLOT(deleteLater()));
    workerThread->start(QThread::InheritPriority);
    connectController();
    image.mode = 1;
}

// A running read can hold the worker for seconds; it checks for the
// interruption between exchanges, so the wait below is bounded by one
// exchange. An upload is never cut off: partly written firmware can leave
// the device unusable, and every block ends after at most five attempts.
// The thread object must never be destroyed while it still runs.
MainWindow::~MainWindow()
{
    if (!uploadRunning)
        workerThread->requestInterruption();
    workerThread->quit();
    if (!workerThread->wait(1000)) {
        qDebug() << "Waiting for the device link to finish its exchange";
        workerThread->wait();
    }
    markTakenOver(&image);
    delete firmwareFiles;
    delete redLed;
    delete yellowLed;
    delete greenLed;
    delete darkGreenLed;
}

void MainWindow::buildStatusBar()
{
    auto *status = new QStatusBar(this);
    setStatusBar(status);
    ledLabel = new QLabel(this);
    statusLabel = new StatusLabel(this);
    progressBar = new QProgressBar(this);
    progressBar->setTextVisible(false);
    progressBar->setMaximumHeight(15);
    progressBar->setValue(50);
    progressBar->hide();
    progressBar->setStyleSheet(windowstyle::ProgressBar);

    redLed = new QPixmap(":/maps/RLED");
    yellowLed = new QPixmap(":/maps/YLED");
    greenLed = new QPixmap(":/maps/GLED");
    darkGreenLed = new QPixmap(":/maps/DGLED");

    status->addWidget(ledLabel, 0);
    status->addWidget(statusLabel, 1);
    status->addWidget(progressBar, 1);
    status->setLayoutDirection(Qt::LeftToRight);
    status->setStyleSheet(windowstyle::StatusBar);
}

void MainWindow::buildMenus()
{
    auto *fileMenu = new QMenu(tr("&File"), this);
    fileMenu->addAction(tr("&Load Settings"), this, SLOT(loadSettingsFile()), QKeySequence(tr("Ctrl+O")))
        ->setEnabled(false);
    fileMenu->addAction(tr("&Save Settings"), this, SLOT(saveSettingsFile()), QKeySequence(tr("Ctrl+S")))
        ->setEnabled(false);
    fileMenu->addSeparator();
    exportLogAction =
        fileMenu->addAction(tr("&Export Log to File"), this, SLOT(saveLogFile()), QKeySequence(tr("Ctrl+M")));
    exportLogAction->setEnabled(false);
    fileMenu->addSeparator();
    fileMenu->addAction(tr("&Quit"), this, SLOT(close()), QKeySequence(tr("Ctrl+Q")));
    menuBar()->addMenu(fileMenu);

    auto *modeMenu = new QMenu(tr("&Mode"), this);
    setupAction = modeMenu->addAction(tr("&Setup"), this, SLOT(setupParametersWindow()), QKeySequence(tr("Ctrl+R")));
    firmwareAction =
        modeMenu->addAction(tr("&Firmware Update"), this, SLOT(updateFirmwareWindow()), QKeySequence(tr("Ctrl+F")));
    menuBar()->addMenu(modeMenu);

    auto *helpMenu = new QMenu(tr("&Help"), this);
    helpMenu->addAction(tr("&Find USB-cable"), this, SLOT(findUSBcable()), QKeySequence(tr("Ctrl+P")));
    helpMenu->addSeparator();
    helpMenu->addAction(tr("&About"), this, SLOT(about()), QKeySequence(tr("Ctrl+A")));
    menuBar()->addMenu(helpMenu);

    for (QMenu *menu : {fileMenu, modeMenu, helpMenu})
        menu->setStyleSheet(windowstyle::Menu);
}

void MainWindow::buildParameterTree()
{
    parameterTree = new QTreeWidget(this);
    parameterpage::setUpTree(parameterTree);
    pageNoteLabel = new QLabel(this);
    pageNoteLabel->setTextFormat(Qt::PlainText);
    pageNoteLabel->setWordWrap(true);
    pageNoteLabel->setStyleSheet(windowstyle::DescriptionNote);
    pageNoteLabel->hide();
}

void MainWindow::buildFirmwarePage()
{
    firmwarePage = new QFrame(this);
    auto addCaption = [this](const QString &text, int y, int width) {
        auto *caption = new QLabel(text, firmwarePage);
        caption->setGeometry(20, y, width, 20);
    };
    auto addValue = [this](int y) {
        auto *value = new QLabel("-", firmwarePage);
        value->setTextFormat(Qt::PlainText);
        value->setGeometry(200, y, 200, 20);
        value->setStyleSheet(windowstyle::ValueLabel);
        return value;
    };
    // 180, not 200, on purpose: docs/compatibility.md
    addCaption(tr("Device name:"), 30, 180);
    deviceNameValue = addValue(30);
    addCaption(tr("Hardware revision:"), 80, 200);
    hardwareRevisionValue = addValue(80);
    addCaption(tr("Bootloader version:"), 130, 200);
    bootloaderVersionValue = addValue(130);
    addCaption(tr("Firmware version:"), 180, 200);
    firmwareVersionValue = addValue(180);
    addCaption(tr("Available firmware versions and revision history info:"), 230, 400);

    firmwareFiles = new QStringList;
    firmwareList = new QListWidget(firmwarePage);
    firmwareList->setGeometry(20, 275, 80, 210);
    firmwareList->setStyleSheet(windowstyle::FirmwareList);
    firmwareList->verticalScrollBar()->setStyleSheet(windowstyle::PageScrollBar);

    firmwareInfo = new QTextEdit(firmwarePage);
    firmwareInfo->setGeometry(120, 275, 260, 260);
    firmwareInfo->setReadOnly(true);
    firmwareInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    firmwareInfo->setStyleSheet(windowstyle::FirmwareInfo);
    firmwareInfo->verticalScrollBar()->setStyleSheet(windowstyle::PageScrollBar);

    updateButton = new QPushButton(tr("Update"), firmwarePage);
    updateButton->setFlat(true);
    updateButton->setGeometry(20, 505, 80, 30);
    updateButton->setStyleSheet(windowstyle::PushButton);

    connect(firmwareList, SIGNAL(itemSelectionChanged()), this, SLOT(firmwareButtonActivate()));
    connect(updateButton, SIGNAL(clicked()), this, SLOT(firmwareUpdateBegin()));
}

void MainWindow::buildPageStack()
{
    pageStack = new QStackedWidget(this);
    pageStack->addWidget(splashLabel);
    auto *parameterPage = new QWidget(this);
    auto *layout = new QVBoxLayout(parameterPage);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pageNoteLabel);
    layout->addWidget(parameterTree);
    pageStack->addWidget(parameterPage);
    pageStack->addWidget(firmwarePage);
    setCentralWidget(pageStack);
}

// Names let tests and style rules find the widgets.
void MainWindow::nameWidgets()
{
    const QList<QPair<QObject *, const char *>> named{{progressBar, "progressBar"},
                                                      {ledLabel, "ledLabel"},
                                                      {statusLabel, "statusLabel"},
                                                      {splashLabel, "splashLabel"},
                                                      {parameterTree, "parameterTree"},
                                                      {pageNoteLabel, "descriptionNote"},
                                                      {firmwarePage, "firmwarePage"},
                                                      {exportLogAction, "exportLogAction"},
                                                      {setupAction, "setupAction"},
                                                      {firmwareAction, "firmwareAction"},
                                                      {pageStack, "pageStack"},
                                                      {deviceNameValue, "deviceNameValue"},
                                                      {hardwareRevisionValue, "hardwareRevisionValue"},
                                                      {bootloaderVersionValue, "bootloaderVersionValue"},
                                                      {firmwareVersionValue, "firmwareVersionValue"},
                                                      {firmwareList, "firmwareList"},
                                                      {firmwareInfo, "firmwareInfo"},
                                                      {updateButton, "updateButton"}};
    for (const auto &[object, name] : named)
        object->setObjectName(name);
}

void MainWindow::connectController()
{
    connect(controller, SIGNAL(doDestroyDevice()), this, SLOT(destroyDevice()));
    connect(controller, SIGNAL(doConstructDevice()), this, SLOT(constructDevice()));
    connect(this, &MainWindow::loadAllCells, controller, &BusController::readDeviceAllCells);
    connect(this, &MainWindow::findUSBCable, controller, &BusController::findUSBCable);
    connect(this, &MainWindow::writeDeviceValue, controller, &BusController::writeDeviceValue);
    connect(this, &MainWindow::doUpdateFirmware, controller, &BusController::doUpdateFirmware);
    connect(controller, &BusController::allCellsReady, this, &MainWindow::refreshAllControls);
    connect(controller, qOverload<QString, QString>(&BusController::sendStatus), this, &MainWindow::showStatus);
    connect(controller, &BusController::updatedDeviceValue, this, &MainWindow::refreshAllControls);
    connect(controller, &BusController::setProgressBar, this, &MainWindow::setProgressBar);
    connect(controller, &BusController::firmwareUpdated, this, &MainWindow::firmwareUpdated);
    connect(controller, &BusController::firmwareUpdateFailed, this, &MainWindow::showUploadFailure);
    connect(controller, &BusController::allCellsIncomplete, this, &MainWindow::showIncompleteCells);
}

// Closing while an upload runs would cut it off between blocks; the window
// stays until the upload has ended.
void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!uploadRunning) {
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    closeAfterUpload = true;
    statusLabel->showText(deviceStatusText());
}

void MainWindow::setLed(const QPixmap *led)
{
    ledLabel->setPixmap(led->scaled(15, 15, Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

// Connected to nothing and deaf to dark_green, kept: docs/compatibility.md
void MainWindow::ledColor(QString color)
{
    if (color == "red")
        setLed(redLed);
    if (color == "yellow")
        setLed(yellowLed);
    if (color == "green")
        setLed(greenLed);
}

void MainWindow::showStatus(QString color, QString text)
{
    if (uploadFailureHeld && color != "red")
        return;
    if (color == "red")
        setLed(redLed);
    else if (color == "yellow")
        setLed(yellowLed);
    if (color == "green") {
        setLed(greenLed);
        text = deviceStatusText();
    }
    if (color == "dark_green") {
        setLed(darkGreenLed);
        text = deviceStatusText();
    }
    if (!text.isEmpty())
        statusLabel->showText(text);
}

// The leading space is kept: docs/compatibility.md
QString MainWindow::deviceStatusText() const
{
    if (closeAfterUpload)
        return tr(" The window closes when the firmware update has ended");
    QString text = " " + image.deviceName;
    if (!deviceNotes.isEmpty())
        text += (image.deviceName.isEmpty() ? QString() : QStringLiteral(": ")) + deviceNotes.join("; ");
    return text;
}

void MainWindow::setProgressBar(uint value)
{
    progressBar->setValue(int(value));
}

// The three File commands stay placeholders: docs/compatibility.md
void MainWindow::loadSettingsFile()
{
    qDebug() << "Load Settings";
}

bool MainWindow::saveSettingsFile()
{
    qDebug() << "Save Settings";
    return true;
}

bool MainWindow::saveLogFile()
{
    qDebug() << "Export Log to File";
    return true;
}

// Title and heading differ on purpose: docs/compatibility.md
void MainWindow::about()
{
    QMessageBox::about(this, tr("About KOVA"),
                       tr("<h3>KOVA II v1.03</h3>"
                          "<p>Configures speed controllers over a USB-to-serial cable: finds the cable, "
                          "identifies the controller, shows its settings for editing and installs "
                          "firmware updates.</p>"));
}

// Lower-case c on purpose: docs/compatibility.md
void MainWindow::findUSBcable()
{
    destroyDevice();
    emit findUSBCable();
}

void MainWindow::destroyDevice()
{
    ++deviceGeneration;
    uploadFailureHeld = false;
    uploadedVersion.clear();
    pageNoteLabel->hide();
    showStatus("yellow", " ");
    image.clear();
    deviceNotes.clear();
    parameterpage::tearDown(parameterTree);
    setupAction->setEnabled(false);
    firmwareAction->setEnabled(false);
    menuBar()->setEnabled(true);
    progressBar->hide();
    image.mode = 1;
    resize(400, 400);
    pageStack->setCurrentIndex(0);
}
