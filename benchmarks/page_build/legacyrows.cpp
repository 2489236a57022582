#include "legacyrows.h"

#include "device/deviceimage.h"
#include "params/controlstyles.h"
#include "description/descriptionlookup.h"
#include "params/mcheckbox.h"
#include "params/mcombobox.h"
#include "params/mspinbox.h"
#include "params/wheelfocusguard.h"

#include <QLineEdit>
#include <QListView>
#include <QTreeWidget>

#include <climits>

namespace {

template <typename Control>
void setConvertedMembers(Control *control, const ParameterDescription &parameter)
{
    control->name = parameter.name;
    control->cell = parameter.cell;
    control->hcell = parameter.hcell;
    control->depcell = parameter.depcell;
    control->depval = parameter.depval;
    control->offset = parameter.offset;
    control->scale = parameter.scale;
    control->shift = parameter.shift;
}

// A list as lists were: its popup built as soon as Qt builds it.
class LegacyList : public MComboBox
{
public:
    void showPopup() override { QComboBox::showPopup(); }

protected:
    void changeEvent(QEvent *event) override { QComboBox::changeEvent(event); }
};

}  // namespace

LegacyRows::LegacyRows(QObject *receiver, QTreeWidget *tree, DeviceImage *image)
    : receiver(receiver), tree(tree), image(image)
{
}

bool LegacyRows::readDescription()
{
    const descriptionlookup::Result found = descriptionlookup::find(
        {image->deviceId, image->hwVersion, image->fwMajor, image->fwMinor});
    if (found.outcome != descriptionlookup::Result::Found)
        return false;
    image->deviceName = found.device.name;
    image->fwPageCount = quint8(found.device.pageCount);
    image->fwPageSize = found.device.pageSize;
    for (const ParameterDescription &parameter : found.device.parameters) {
        image->cells[parameter.cell].used = 1;
        if (parameter.usesHighCell())
            image->cells[parameter.hcell].used = 1;
        switch (parameter.kind) {
        case ParameterKind::List: addListControl(parameter); break;
        case ParameterKind::Range: addRangeControl(parameter); break;
        case ParameterKind::Check: addCheckControl(parameter); break;
        case ParameterKind::None: break;
        }
    }
    return true;
}

void LegacyRows::addListControl(const ParameterDescription &parameter)
{
    auto *list = new LegacyList;
    setConvertedMembers(list, parameter);
    list->setView(new QListView);
    list->setStyleSheet(controlstyles::listControl());
    for (const QString &entry : parameter.entries)
        list->insertItem(list->count(), entry);
    WheelFocusGuard::guard(list);
    QObject::connect(list, SIGNAL(currentIndexChanged(QString)), receiver,
                     SLOT(controlChanged(QString)));
    appendRow(list, parameter.name);
}

void LegacyRows::addRangeControl(const ParameterDescription &parameter)
{
    auto *range = new MSpinBox;
    range->findChild<QLineEdit *>()->setReadOnly(true);
    setConvertedMembers(range, parameter);
    range->setMinimum(parameter.min);
    range->setMaximum(parameter.max);
    range->setSingleStep(parameter.step);
    range->setDecimals(int(qMin(parameter.decimals, uint(INT_MAX))));
    range->setSuffix(parameter.suffix);
    range->setStyleSheet(controlstyles::rangeControl());
    WheelFocusGuard::guard(range);
    QObject::connect(range, SIGNAL(valueChanged(QString)), receiver, SLOT(controlChanged(QString)));
    appendRow(range, parameter.name);
}

void LegacyRows::addCheckControl(const ParameterDescription &parameter)
{
    auto *check = new MCheckBox;
    check->name = parameter.name;
    check->cell = parameter.cell;
    check->depcell = parameter.depcell;
    check->depval = parameter.depval;
    check->setStyleSheet(controlstyles::checkControl());
    check->setChecked(true);
    QObject::connect(check, SIGNAL(stateChanged(int)), receiver, SLOT(checkboxChanged(int)));
    appendRow(check, parameter.name);
}

void LegacyRows::appendRow(QWidget *control, const QString &name)
{
    auto *item = new QTreeWidgetItem;
    item->setText(0, name);
    tree->addTopLevelItem(item);
    tree->setItemWidget(item, 1, control);
}
