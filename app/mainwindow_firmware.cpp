// The window's side of the firmware page.
#include "app/mainwindow.h"

#include "app/parameterpage.h"
#include "app/uploadfailuretext.h"
#include "app/windowstyle.h"
#include "description/datafolders.h"
#include "device/devicesession.h"
#include "device/uploadfailure.h"
#include "firmware/firmwarepackage.h"
#include "settings/parametervalue.h"
#include "settings/settingsbackup.h"
#include "texts/devicetexts.h"

#include <QAction>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTextEdit>

#include <algorithm>
#include <tuple>

namespace {

// What makes the device the same one when the warning box closes.
auto identityOf(const DeviceImage &image)
{
    return std::make_tuple(image.deviceName, image.deviceId.load(), image.hwVersion.load(), image.blVersion.load());
}

// A name longer than its label is cut with an ellipsis, never mid-letter,
// and the whole of it is the tooltip.
void showElided(QLabel *label, const QString &text)
{
    label->ensurePolished();
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, label->width()));
    label->setToolTip(text);
}

// Once the device tells the version the last upload carried, the page says so.
bool runsUploadedVersion(const QString &uploaded, const DeviceImage &image)
{
    const std::optional<FirmwareVersion> version = parseFirmwareVersion(uploaded);
    return version && version->matches(image.fwMajor, image.fwMinor, image.fwBuild);
}

}  // namespace

void MainWindow::updateFirmwareWindow()
{
    menuBar()->setEnabled(true);
    firmwareList->setEnabled(true);
    firmwareInfo->setEnabled(true);
    progressBar->hide();
    firmwareFiles->clear();
    firmwareList->clear();
    firmwareInfo->clear();
    updateButton->setEnabled(false);
    image.mode = 2;

    showElided(deviceNameValue, image.deviceName);
    hardwareRevisionValue->setText(QString::number(image.hwVersion));
    bootloaderVersionValue->setText(QString::number(image.blVersion));
    firmwareVersionValue->setText(devicetexts::firmware(DeviceIdentity::of(image)));

    if (image.constructed != 0 && runsUploadedVersion(uploadedVersion, image))
        firmwareInfo->append(tr("Firmware %1 is installed.").arg(uploadedVersion));

    const QString folder = datafolders::packageFolder();
    for (const FirmwarePackage &package : buildCatalogue(folder, image.deviceId, image.hwVersion, image.blVersion)) {
        firmwareFiles->append(package.path);
        firmwareList->insertItem(firmwareList->count(), package.version);
        firmwareInfo->append(package.header);
        firmwareInfo->append(package.description);
    }

    resize(400, 600);
    pageStack->setCurrentIndex(2);
    firmwareInfo->verticalScrollBar()->setValue(0);
}

void MainWindow::firmwareButtonActivate()
{
    updateButton->setEnabled(true);
}

void MainWindow::firmwareUpdateBegin()
{
    // The button is enabled by any selection change, also one that leaves
    // no current row; then there is nothing to install.
    const int row = firmwareList->currentRow();
    if (row < 0 || row >= firmwareFiles->size()) {
        updateButton->setEnabled(false);
        return;
    }

    // Read now, so that the bytes the user confirms are the bytes sent.
    const QString chosen = firmwareFiles->at(row);
    const PackageFile package = readPackageFile(chosen);
    if (!package.ok()) {
        const QString name = QFileInfo(chosen).fileName();
        const QString reason =
            package.problem == PackageProblem::TooLarge
                ? tr("The firmware package %1 is too large to be read. Nothing was sent.").arg(name)
                : tr("The firmware package %1 cannot be read: %2. Nothing was sent.").arg(name, package.error);
        openMessage(QMessageBox::Critical, tr("Firmware update failed"), reason);
        return;
    }

    // The sentence stays word for word: docs/compatibility.md
    QMessageBox warning(QMessageBox::Warning, tr("Warning"),
                        tr("Do not disconnect the device during the installation of the update! This may "
                           "damage the device. Do you like the proceed?"),
                        QMessageBox::NoButton, this);
    warning.setModal(true);
    QPushButton *ok = warning.addButton(tr("&Ok"), QMessageBox::AcceptRole);
    QPushButton *cancel = warning.addButton(tr("&Cancel"), QMessageBox::RejectRole);
    for (QPushButton *button : {ok, cancel}) {
        button->setFlat(true);
        button->setStyleSheet(windowstyle::PushButton);
    }
    const auto device = identityOf(image);
    const quint64 generation = deviceGeneration;
    warning.exec();
    if (warning.clickedButton() != ok) {
        progressBar->hide();
        return;
    }
    // The box ran an event loop of its own while the link kept polling: the
    // device may have gone or changed, and the list may have been rebuilt.
    // Lost and found again counts as changed: its cells may still be on their way.
    if (image.constructed == 0 || identityOf(image) != device || deviceGeneration != generation) {
        openMessage(QMessageBox::Information, tr("Firmware update"),
                    tr("The device changed while the warning was open. Nothing was sent."));
        return;
    }
    if (firmwareList->currentRow() != row || row >= firmwareFiles->size() || firmwareFiles->at(row) != chosen) {
        openMessage(QMessageBox::Information, tr("Firmware update"),
                    tr("The list of packages changed while the warning was open. Nothing was sent; "
                       "choose the package again."));
        return;
    }

    if (!backUpSettings())
        return;

    // No control may write while the upload runs: their shortcuts work
    // without the menu bar.
    menuBar()->setEnabled(false);
    setupAction->setEnabled(false);
    firmwareAction->setEnabled(false);
    firmwareList->setEnabled(false);
    firmwareInfo->setEnabled(false);
    updateButton->setEnabled(false);
    bootloaderVersionValue->setText("-");
    firmwareVersionValue->setText("-");
    progressBar->setMinimum(0);
    progressBar->setMaximum(image.fwPageCount);
    progressBar->setValue(0);
    progressBar->show();
    uploadRunning = true;
    uploadFailureHeld = false;
    uploadedVersion = firmwareList->item(row)->text();
    emit doUpdateFirmware(chosen, package.bytes);
}

// The settings the page holds, as the device gave them and confirmed each
// write: the same file as kova-cli flash makes, without a word on the wire.
// A read that gave up leaves out the parameters it did not reach. Without a
// description there are no named settings, and the update may be how the
// device gets a described firmware: it goes on.
bool MainWindow::backUpSettings()
{
    if (!pageDescription) {
        qDebug() << "Settings backup: none, no description fits the device";
        return true;
    }
    QVector<ParameterValue> read;
    for (const ParameterValue &value : valuesOf(*pageDescription, image)) {
        const QVector<int> cells = value.cells();
        if (std::all_of(cells.cbegin(), cells.cend(), [this](int cell) { return cell < firstUnreadCell; }))
            read << value;
    }
    const SettingsIdentity device{pageDescription->name, DeviceIdentity::of(image)};
    const settingsbackup::Written written = settingsbackup::write(SettingsFile::of(device, read));
    const QString path = QDir::toNativeSeparators(written.path);
    switch (written.problem) {
    case settingsbackup::Written::None: {
        const int unread = pageDescription->parameters.size() - read.size();
        if (unread > 0)
            qDebug().noquote() << QString("Settings backup: %1, without the %2 settings from the unread cell %3 up")
                                      .arg(path)
                                      .arg(unread)
                                      .arg(firstUnreadCell);
        else
            qDebug().noquote() << "Settings backup:" << path;
        return true;
    }
    case settingsbackup::Written::NoFolder:
        openMessage(QMessageBox::Critical, tr("Firmware update failed"),
                    tr("The backup folder %1 cannot be made. Nothing was sent.").arg(path));
        return false;
    case settingsbackup::Written::NotWritten: break;
    }
    openMessage(QMessageBox::Critical, tr("Firmware update failed"),
                tr("The settings backup %1 cannot be written: %2. Nothing was sent.").arg(path, written.error));
    return false;
}

void MainWindow::firmwareUpdated()
{
    uploadRunning = false;
    image.clearCells();
    parameterpage::tearDown(parameterTree);
    updateFirmwareWindow();
    if (closeAfterUpload)
        close();
}

// The link has given up; the user must know before touching the cable, so
// a close asked for during the upload waits for the user to read this.
void MainWindow::showUploadFailure(const UploadFailure &failure)
{
    showStatus("red", uploadfailuretext::status(failure));
    const bool duringUpload = uploadRunning;
    uploadRunning = false;
    closeAfterUpload = false;
    uploadedVersion.clear();
    // Found when the device was identified after the upload: the next tick's
    // green would hide it behind the box.
    uploadFailureHeld = !duringUpload;
    // An upload's own failure leaves the cells as read before it. One found
    // when the device was identified afterwards comes while its cells are
    // read again: their arrival brings the page back, and controls shown
    // before then would write what they took from empty cells. A device
    // dropped before the failure arrived has no page to come back to.
    if (duringUpload && image.constructed != 0)
        refreshAllControls();
    openMessage(QMessageBox::Critical, tr("Firmware update failed"), uploadfailuretext::message(failure));
}

void MainWindow::openMessage(QMessageBox::Icon icon, const QString &title, const QString &text)
{
    auto *box = new QMessageBox(icon, title, text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
