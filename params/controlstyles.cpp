#include "params/controlstyles.h"

namespace controlstyles {

const QString &listControl()
{
    static const QString style =
        QStringLiteral("QComboBox { border: 1px solid rgb(80, 95, 108); border-radius: 2px;"
                       " padding: 1px 3px 1px 3px; margin: 4px 4px 4px 2px;"
                       " background: rgb(25, 28, 31); selection-color: white; }"
                       "QComboBox:disabled { color: gray; background: rgb(45, 49, 54); }"
                       "QComboBox::drop-down { subcontrol-origin: padding; subcontrol-position: top right;"
                       " width: 15px; background: transparent; }"
                       "QComboBox::down-arrow { image: url(:/maps/da.png); width: 20px; height: 10px; }"
                       "QComboBox::down-arrow:disabled { image: url(:/maps/dd.png); }"
                       "QComboBox QAbstractItemView { font-weight: bold; color: rgb(230, 230, 230);"
                       " background: rgb(90, 100, 108); selection-color: white; }"
                       "QComboBox QAbstractItemView::item { min-height: 20px; }"
                       // Red on purpose: docs/compatibility.md
                       "QComboBox QAbstractItemView::item:hover { color: red; }"
                       "QComboBox:on { padding-top: 0px; padding-left: 3px; }"
                       // Every arrow key writes to the device: the focused list must show.
                       "QComboBox:focus { border-color: rgb(61, 174, 233); }");
    return style;
}

const QString &rangeControl()
{
    static const QString style = QStringLiteral(
        "QDoubleSpinBox { border: none; border-radius: 2px; padding: 1px 18px 1px 0px;"
        " margin: 6px 5px 6px 3px; background: rgb(25, 28, 31);"
        " selection-background-color: rgb(25, 28, 31); }"
        "QDoubleSpinBox:disabled { color: gray; background: rgb(45, 49, 54); }"
        "QDoubleSpinBox::up-button { subcontrol-origin: border; subcontrol-position: top right;"
        " width: 20px; height: 12px; background: rgb(45, 49, 54); }"
        "QDoubleSpinBox::down-button { subcontrol-origin: border;"
        " subcontrol-position: bottom right; width: 20px; height: 12px;"
        " background: rgb(45, 49, 54); }"
        "QDoubleSpinBox::up-arrow { image: url(:/maps/ua.png); width: 20px; height: 10px; }"
        "QDoubleSpinBox::up-arrow:hover { image: url(:/maps/uh.png); }"
        "QDoubleSpinBox::up-arrow:disabled, QDoubleSpinBox::up-arrow:off,"
        " QDoubleSpinBox::up-arrow:pressed { image: url(:/maps/ud.png); }"
        "QDoubleSpinBox::down-arrow { image: url(:/maps/da.png); width: 20px; height: 10px; }"
        "QDoubleSpinBox::down-arrow:hover { image: url(:/maps/dh.png); }"
        "QDoubleSpinBox::down-arrow:disabled, QDoubleSpinBox::down-arrow:off,"
        " QDoubleSpinBox::down-arrow:pressed { image: url(:/maps/dd.png); }"
        "QDoubleSpinBox QLineEdit { color: white; }"
        "QDoubleSpinBox:on { padding-top: 4px; padding-left: 5px; background: white; }"
        // A frame around the box, taken from its margin, so that nothing
        // inside moves when it gets the focus.
        "QDoubleSpinBox:focus { border: 1px solid rgb(61, 174, 233); margin: 5px 4px 5px 2px; }"
        "QDoubleSpinBox::up-button:focus, QDoubleSpinBox::down-button:focus { subcontrol-origin: padding; }");
    return style;
}

const QString &checkControl()
{
    static const QString style =
        QStringLiteral("QCheckBox { border: none; border-radius: 2px; padding: 1px 18px 1px 0px;"
                       " margin: 6px 5px 6px 3px; background: rgb(25, 28, 31); }"
                       "QCheckBox:disabled { color: gray; background: rgb(45, 49, 54); }"
                       "QCheckBox:checked { background: #d7d6d5; padding-top: 4px; padding-left: 50px;"
                       " color: white; }");
    return style;
}

const QString &controls()
{
    static const QString style = listControl() + rangeControl() + checkControl();
    return style;
}

}  // namespace controlstyles
