// The window's side of the firmware page.
#include "app/mainwindow.h"

#include "app/parameterpage.h"
#include "app/windowstyle.h"
#include "firmware/datafolders.h"
#include "firmware/packagecatalogue.h"

#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTextEdit>

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

    deviceNameValue->setText(image.deviceName);
    hardwareRevisionValue->setText(QString::number(image.hwVersion));
    bootloaderVersionValue->setText(QString::number(image.blVersion));
    firmwareVersionValue->setText(QStringLiteral("%1.%2.%3")
                                      .arg(image.fwMajor.load())
                                      .arg(image.fwMinor.load())
                                      .arg(image.fwBuild.load()));

    const QString folder = datafolders::packageFolder();
    for (const FirmwarePackage &package :
         buildCatalogue(folder, image.deviceId, image.hwVersion, image.blVersion)) {
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
    warning.exec();
    if (warning.clickedButton() != ok) {
        progressBar->hide();
        return;
    }

    menuBar()->setEnabled(false);
    firmwareList->setEnabled(false);
    firmwareInfo->setEnabled(false);
    updateButton->setEnabled(false);
    bootloaderVersionValue->setText("-");
    firmwareVersionValue->setText("-");
    progressBar->setMinimum(0);
    progressBar->setMaximum(image.fwPageCount);
    progressBar->setValue(0);
    progressBar->show();
    emit doUpdateFirmware(firmwareFiles->at(row));
}

void MainWindow::firmwareUpdated()
{
    image.clearCells();
    parameterpage::tearDown(parameterTree);
    updateFirmwareWindow();
}

// The link has given up; the user must know before touching the cable.
void MainWindow::showUploadFailure(const QString &reason)
{
    updateFirmwareWindow();
    auto *box = new QMessageBox(QMessageBox::Critical, tr("Firmware update failed"), reason, QMessageBox::Ok,
                                this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
