#include "params/xmlcontrolsreader.h"

#include "device/describing.h"
#include "device/deviceimage.h"
#include "device/devicesession.h"
#include "params/controlstyles.h"
#include "params/mcheckbox.h"
#include "params/mcombobox.h"
#include "params/mspinbox.h"
#include "params/wheelfocusguard.h"

#include <QLineEdit>
#include <QMetaMethod>
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

QMetaMethod methodOf(const QMetaObject *meta, const char *signature)
{
    return meta->method(meta->indexOfMethod(signature));
}

}  // namespace

// Connecting by signature would parse the signatures again for every control.
XmlControlsReader::XmlControlsReader(QObject *receiver, QTreeWidget *tree, DeviceImage *image)
    : receiver(receiver), tree(tree), image(image),
      controlChanged(methodOf(receiver->metaObject(), "controlChanged(QString)")),
      checkboxChanged(methodOf(receiver->metaObject(), "checkboxChanged(int)"))
{
}

QMetaMethod XmlControlsReader::changeSignalOf(const QObject *control)
{
    static const QMetaMethod listChanged = methodOf(&MComboBox::staticMetaObject, "currentTextChanged(QString)");
    static const QMetaMethod rangeChanged = methodOf(&MSpinBox::staticMetaObject, "textChanged(QString)");
    static const QMetaMethod checkChanged = methodOf(&MCheckBox::staticMetaObject, "stateChanged(int)");
    if (qobject_cast<const MComboBox *>(control))
        return listChanged;
    if (qobject_cast<const MSpinBox *>(control))
        return rangeChanged;
    if (qobject_cast<const MCheckBox *>(control))
        return checkChanged;
    return QMetaMethod();
}

bool XmlControlsReader::readDescription()
{
    found = describing::describe(DeviceIdentity::of(*image), *image);
    if (found.outcome != descriptionlookup::Result::Found)
        return false;
    for (const ParameterDescription &parameter : found.device.parameters) {
        switch (parameter.kind) {
        case ParameterKind::List: addListControl(parameter); break;
        case ParameterKind::Range: addRangeControl(parameter); break;
        case ParameterKind::Check: addCheckControl(parameter); break;
        case ParameterKind::None: break;
        }
    }
    return true;
}

void XmlControlsReader::addListControl(const ParameterDescription &parameter)
{
    auto *list = new MComboBox;
    setConvertedMembers(list, parameter);
    list->insertItems(0, parameter.entries);
    WheelFocusGuard::guard(list);
    // Connected only now, so that filling the list sends nothing.
    connect(list, changeSignalOf(list), receiver, controlChanged);
    appendRow(list, parameter.name);
}

void XmlControlsReader::addRangeControl(const ParameterDescription &parameter)
{
    auto *range = new MSpinBox;
    // Values change only by stepping, never by typing.
    range->findChild<QLineEdit *>()->setReadOnly(true);
    setConvertedMembers(range, parameter);
    range->setMinimum(parameter.min);
    range->setMaximum(parameter.max);
    range->setSingleStep(parameter.step);
    range->setDecimals(int(qMin(parameter.decimals, uint(INT_MAX))));
    range->setSuffix(parameter.suffix);
    WheelFocusGuard::guard(range);
    connect(range, changeSignalOf(range), receiver, controlChanged);
    appendRow(range, parameter.name);
}

void XmlControlsReader::addCheckControl(const ParameterDescription &parameter)
{
    auto *check = new MCheckBox;
    check->name = parameter.name;
    check->cell = parameter.cell;
    check->depcell = parameter.depcell;
    check->depval = parameter.depval;
    check->setChecked(true);
    connect(check, changeSignalOf(check), receiver, checkboxChanged);
    appendRow(check, parameter.name);
}

void XmlControlsReader::appendRow(QWidget *control, const QString &name)
{
    auto *item = new QTreeWidgetItem;
    item->setText(0, name);
    tree->addTopLevelItem(item);
    tree->setItemWidget(item, 1, control);
}
