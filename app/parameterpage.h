#pragma once

#include <QtGlobal>

#include <optional>

class QObject;
class QTreeWidget;
struct DeviceImage;

// The window's side of the parameter page, kept apart from MainWindow so
// that it works on any tree of parameter controls.
namespace parameterpage {

// The tree's columns, behaviour and look, the controls' looks included,
// and a delegate that deletes the controls of a torn-down page in batches.
void setUpTree(QTreeWidget *tree);

// Disables every control that shows a cell from `firstUnreadCell` up and
// holds it so for the control's life: it is neither decoded, nor enabled by
// its source, nor encoded for a write.
void holdUnreadControls(QTreeWidget *tree, int firstUnreadCell);

// Sets every control but the held ones from the cell image and returns the
// number of rows. Lists and ranges emit their change signals as a user's
// edit would; check boxes show the device's state without sending it back.
int decodeControls(QTreeWidget *tree, const DeviceImage &image);

// Enables or disables the controls that depend on the list or range
// control `source`; any other source, and a held one, changes nothing.
void updateDependents(QTreeWidget *tree, QObject *source);
void updateAllDependents(QTreeWidget *tree);

// What the window hands the device link for one change.
struct CellWrite {
    uint raw;
    uchar cell;
    uchar hcell;  // 0: no high byte
};

// Empty for an object that is no parameter control, for a held control, and
// for a list without a selection, whose cell the user never chose a value for.
std::optional<CellWrite> encodeControl(QObject *sender);

// Cuts every control off from the window, then clears the tree, which
// hides the controls at once and hands them to the tree's delegate to
// delete: a few per event-loop turn when the tree was set up here.
void tearDown(QTreeWidget *tree);

// Window height for a parameter page of `rows` rows (34 px each, at most 700 in all).
int pageHeight(int rows);

}  // namespace parameterpage
