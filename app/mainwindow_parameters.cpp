// The window's side of the parameter page.
#include "app/mainwindow.h"

#include "app/parameterpage.h"
#include "app/statuslabel.h"
#include "params/mcheckbox.h"
#include "params/mcombobox.h"
#include "params/mspinbox.h"
#include "params/xmlcontrolsreader.h"

#include <QAction>
#include <QDebug>
#include <QDir>
#include <QLabel>
#include <QStackedWidget>
#include <QTreeWidget>

namespace {

QString fileLooked(const descriptionlookup::FileLooked &looked)
{
    QString text = QDir::toNativeSeparators(looked.file);
    if (looked.refusal != descriptionreader::ContentRefusal::None)
        text += MainWindow::tr(" (left out: %1)").arg(QLatin1String(descriptionreader::refusalName(looked.refusal)));
    else if (looked.syntaxError.line > 0)
        text += MainWindow::tr(" (stops at line %1)").arg(looked.syntaxError.line);
    return text;
}

// Said after the device's name, when the description has something to say.
QString descriptionNote(bool found, const descriptionlookup::Result &lookup, const DeviceImage &image)
{
    if (found) {
        const descriptionlookup::FileLooked &file = lookup.looked.constLast();
        if (file.syntaxError.line == 0)
            return QString();
        return MainWindow::tr("%1 stops at line %2, rows read: %3 (%4)")
            .arg(QDir::toNativeSeparators(file.file))
            .arg(file.syntaxError.line)
            .arg(lookup.device.parameters.size())
            .arg(file.syntaxError.message);
    }
    QStringList looked;
    for (const descriptionlookup::FileLooked &file : lookup.looked)
        if (file.opened)
            looked << fileLooked(file);
    QString note = MainWindow::tr("No description for id %1, hardware %2, firmware %3.%4")
                       .arg(image.deviceId.load())
                       .arg(image.hwVersion.load())
                       .arg(image.fwMajor.load())
                       .arg(image.fwMinor.load());
    if (!looked.isEmpty())
        note += MainWindow::tr(": looked in %1").arg(looked.join(QStringLiteral(", ")));
    if (lookup.outcome == descriptionlookup::Result::CannotOpen)
        note += MainWindow::tr("; cannot read %1 (%2)").arg(QDir::toNativeSeparators(lookup.file), lookup.error);
    return note;
}

// On the page itself, whole: what the status bar may have to cut short,
// and how much of the device the page shows.
QString pageNote(const QString &note, int rows)
{
    if (note.isEmpty())
        return QString();
    const QString shown = rows == 0   ? MainWindow::tr("No settings are shown.")
                          : rows == 1 ? MainWindow::tr("1 setting is shown.")
                                      : MainWindow::tr("%1 settings are shown.").arg(rows);
    return note + '\n' + shown;
}

}  // namespace

void MainWindow::constructDevice()
{
    ++deviceGeneration;
    uploadFailureHeld = false;
    image.constructed = 1;
    image.clearCells();
    // A firmware without a description must not keep the name of the one
    // before it, after an update.
    image.deviceName.clear();
    deviceNotes.clear();
    XmlControlsReader reader(this, parameterTree, &image);
    const bool found = reader.readDescription();
    pageDescription = found ? std::make_optional(reader.lookup().device) : std::nullopt;
    firstUnreadCell = CellCount;
    const QString note = descriptionNote(found, reader.lookup(), image);
    if (!note.isEmpty())
        deviceNotes << note;
    pageNoteLabel->setText(pageNote(note, parameterTree->topLevelItemCount()));
    pageNoteLabel->setHidden(note.isEmpty());
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
    firstUnreadCell = failedCell;
    deviceNotes << tr("cell %1 unread, its settings are locked").arg(failedCell);
    refreshControls(failedCell);
    statusLabel->showText(deviceStatusText());
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
        const int noteHeight = pageNoteLabel->isHidden() ? 0 : pageNoteLabel->heightForWidth(width());
        resize(400, parameterpage::pageHeight(rows) + noteHeight);
    }
}

void MainWindow::setupParametersWindow()
{
    image.mode = 3;
    refreshAllControls();
    // Kept: docs/compatibility.md
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
