#include "app/parameterpage.h"

#include "app/batcheddisposaldelegate.h"
#include "app/windowstyle.h"
#include "device/deviceimage.h"
#include "params/controlstyles.h"
#include "params/mcheckbox.h"
#include "params/mcombobox.h"
#include "params/mspinbox.h"
#include "description/parameterdependency.h"
#include "description/valuecodec.h"
#include "params/xmlcontrolsreader.h"

#include <QHeaderView>
#include <QMetaMethod>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTreeWidget>

#include <algorithm>

namespace parameterpage {

namespace {

// Set on a control whose cells the device never gave.
constexpr char HeldProperty[] = "heldUnread";

bool isHeld(const QObject *control)
{
    return control && control->property(HeldProperty).toBool();
}

template <typename Control>
bool usesCellFrom(const Control &control, int firstCell)
{
    return control.cell >= firstCell || (control.hcell > 0 && control.hcell >= firstCell);
}

bool showsCellFrom(const QWidget *control, int firstCell)
{
    if (auto *list = qobject_cast<const MComboBox *>(control))
        return usesCellFrom(*list, firstCell);
    if (auto *range = qobject_cast<const MSpinBox *>(control))
        return usesCellFrom(*range, firstCell);
    if (auto *check = qobject_cast<const MCheckBox *>(control))
        return check->cell >= firstCell;
    return false;
}

QWidget *controlOf(QTreeWidget *tree, int row)
{
    return tree->itemWidget(tree->topLevelItem(row), 1);
}

quint8 cellValue(const DeviceImage &image, int cell)
{
    return hasCellSlot(cell) ? image.cells[cell].value.load() : quint8(0);
}

template <typename Control>
valuecodec::Conversion conversionOf(const Control &control)
{
    return {control.offset, control.scale, control.shift};
}

template <typename Control>
quint32 rawOf(const Control &control, const DeviceImage &image)
{
    const quint8 high = control.hcell > 0 ? cellValue(image, control.hcell) : quint8(0);
    return valuecodec::rawFromCells(cellValue(image, control.cell), high);
}

template <typename Control>
CellWrite cellWriteOf(const Control &control, quint32 raw)
{
    return {raw, uchar(control.cell), uchar(control.hcell > 0 ? control.hcell : 0)};
}

// What a list or range control depends on; check boxes take no part.
struct Dependency {
    ParameterKind kind;
    int depcell;
    int depval;
};

std::optional<Dependency> dependencyOf(const QWidget *control)
{
    if (auto *list = qobject_cast<const MComboBox *>(control))
        return Dependency{ParameterKind::List, list->depcell, list->depval};
    if (auto *range = qobject_cast<const MSpinBox *>(control))
        return Dependency{ParameterKind::Range, range->depcell, range->depval};
    return std::nullopt;
}

std::optional<parameterdependency::SourceState> sourceStateOf(const QObject *source)
{
    if (auto *list = qobject_cast<const MComboBox *>(source))
        return parameterdependency::SourceState{ParameterKind::List, list->cell, list->currentIndex(), 0.0};
    if (auto *range = qobject_cast<const MSpinBox *>(source))
        return parameterdependency::SourceState{ParameterKind::Range, range->cell, -1, range->value()};
    return std::nullopt;
}

}  // namespace

void holdUnreadControls(QTreeWidget *tree, int firstUnreadCell)
{
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
        QWidget *control = controlOf(tree, row);
        if (showsCellFrom(control, firstUnreadCell)) {
            control->setProperty(HeldProperty, true);
            control->setEnabled(false);
        }
    }
}

void setUpTree(QTreeWidget *tree)
{
    tree->setHeaderHidden(true);
    tree->setColumnCount(2);
    tree->setRootIsDecorated(false);
    tree->header()->setSectionResizeMode(QHeaderView::Stretch);
    tree->setFocusPolicy(Qt::NoFocus);
    tree->setSelectionMode(QAbstractItemView::NoSelection);
    tree->setAttribute(Qt::WA_OpaquePaintEvent);
    tree->setAttribute(Qt::WA_NativeWindow);
    tree->setAttribute(Qt::WA_NoSystemBackground);
    tree->setStyleSheet(windowstyle::ParameterTree);
    tree->verticalScrollBar()->setStyleSheet(windowstyle::TreeScrollBar);
    // One style sheet for all controls: parsed once, not once per control.
    tree->viewport()->setStyleSheet(controlstyles::controls());
    tree->setItemDelegate(new BatchedDisposalDelegate(tree));
}

int decodeControls(QTreeWidget *tree, const DeviceImage &image)
{
    const int rows = tree->topLevelItemCount();
    for (int row = 0; row < rows; ++row) {
        QWidget *control = controlOf(tree, row);
        if (isHeld(control))
            continue;
        if (auto *list = qobject_cast<MComboBox *>(control)) {
            list->setCurrentIndex(valuecodec::decodeList(rawOf(*list, image), conversionOf(*list)));
        } else if (auto *range = qobject_cast<MSpinBox *>(control)) {
            range->setValue(valuecodec::decodeRange(rawOf(*range, image), conversionOf(*range)));
        } else if (auto *check = qobject_cast<MCheckBox *>(control)) {
            // Showing the device's own state must not write it back.
            const QSignalBlocker silence(check);
            check->setChecked(cellValue(image, check->cell) != 0);
        }
    }
    return rows;
}

// The controls are the children of the tree's viewport: looking each row's
// widget up would make a pass over the page quadratic in its rows.
void updateDependents(QTreeWidget *tree, QObject *source)
{
    const std::optional<parameterdependency::SourceState> state = sourceStateOf(source);
    if (!state || isHeld(source))
        return;
    for (QObject *child : tree->viewport()->children()) {
        auto *control = qobject_cast<QWidget *>(child);
        const std::optional<Dependency> dependency = dependencyOf(control);
        if (!dependency || isHeld(control))
            continue;
        if (const std::optional<bool> enabled =
                parameterdependency::enabledBy(*state, dependency->kind, dependency->depcell, dependency->depval))
            control->setEnabled(*enabled);
    }
}

void updateAllDependents(QTreeWidget *tree)
{
    for (int row = 0; row < tree->topLevelItemCount(); ++row)
        updateDependents(tree, controlOf(tree, row));
}

std::optional<CellWrite> encodeControl(QObject *sender)
{
    if (isHeld(sender))
        return std::nullopt;
    if (auto *list = qobject_cast<MComboBox *>(sender)) {
        const int index = list->currentIndex();
        if (index < 0)
            return std::nullopt;
        return cellWriteOf(*list, valuecodec::encodeList(index, conversionOf(*list)));
    }
    if (auto *range = qobject_cast<MSpinBox *>(sender))
        return cellWriteOf(*range, valuecodec::encodeRange(range->value(), conversionOf(*range)));
    if (auto *check = qobject_cast<MCheckBox *>(sender))
        return CellWrite{check->isChecked() ? 1u : 0u, uchar(check->cell), 0};
    return std::nullopt;
}

// Only the page's own connections are cut. Qt's style-sheet and
// accessibility caches forget a deleted widget through a connection of
// their own; cutting that one too left their entries behind, some 60 KB
// for every page torn down.
void tearDown(QTreeWidget *tree)
{
    for (QObject *child : tree->viewport()->children()) {
        const QMetaMethod changed = XmlControlsReader::changeSignalOf(child);
        if (changed.isValid())
            QObject::disconnect(child, changed, nullptr, QMetaMethod());
    }
    tree->clear();
}

int pageHeight(int rows)
{
    constexpr int Chrome = 45;
    constexpr int RowHeight = 34;
    constexpr int MostRowsHeight = 655;
    return Chrome + int(std::min<qint64>(qint64(RowHeight) * std::max(rows, 0), MostRowsHeight));
}

}  // namespace parameterpage
