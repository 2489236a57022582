// The window's side of the parameter page.
#include "app/mainwindow.h"

#include "app/parameterpage.h"
#include "params/mcheckbox.h"
#include "params/mcombobox.h"
#include "params/mspinbox.h"
#include "params/xmlcontrolsreader.h"

#include <QAction>
#include <QDebug>
#include <QLabel>
#include <QStackedWidget>

void MainWindow::constructDevice()
{
    ++deviceGeneration;
    image.constructed = 1;
    image.clearCells();
    deviceNote.clear();
    XmlControlsReader reader(this, parameterTree, &image);
    reader.readDescription();
    emit loadAllCells();
}

void MainWindow::refreshAllControls()
{
    refreshControls(CellCount);
}

// The link read the used cells below `failedCell` and gave up there: the
// controls of the cells above show nothing the device gave, so they must
// not send it anything either.
void MainWindow::showIncompleteCells(uchar failedCell)
{
    if (image.constructed == 0)
        return;
    deviceNote = tr(": cell %1 unread, its settings are locked").arg(failedCell);
    refreshControls(failedCell);
    statusLabel->setText(deviceStatusText());
}

void MainWindow::refreshControls(int firstUnreadCell)
{
    // A refresh queued before the device was dropped finds nothing to show;
    // one that arrives during an upload must not bring up the controls.
    if (image.constructed == 0 || uploadRunning)
        return;
    parameterpage::holdUnreadControls(parameterTree, firstUnreadCell);
    const int rows = parameterpage::decodeControls(parameterTree, image);
    parameterpage::updateAllDependents(parameterTree);
    firmwareAction->setEnabled(true);
    setupAction->setEnabled(true);
    if (image.fwMajor == 0 && image.fwMinor == 0) {
        setupAction->setEnabled(false);
        updateFirmwareWindow();
    } else if (image.mode == 2) {
        updateFirmwareWindow();
    } else {
        pageStack->setCurrentIndex(1);
        resize(400, parameterpage::pageHeight(rows));
    }
}

void MainWindow::setupParametersWindow()
{
    image.mode = 3;
    refreshAllControls();
    qDebug() << "SetupParameters";
}

void MainWindow::controlChanged(QString)
{
    QObject *source = sender();
    if (uploadRunning)
        return;
    if (!qobject_cast<MComboBox *>(source) && !qobject_cast<MSpinBox *>(source))
        return;
    if (const auto write = parameterpage::encodeControl(source))
        emit writeDeviceValue(write->raw, write->cell, write->hcell);
    parameterpage::updateDependents(parameterTree, source);
}

void MainWindow::checkboxChanged(int)
{
    QObject *source = sender();
    if (uploadRunning)
        return;
    if (!qobject_cast<MCheckBox *>(source))
        return;
    if (const auto write = parameterpage::encodeControl(source))
        emit writeDeviceValue(write->raw, write->cell, write->hcell);
}
