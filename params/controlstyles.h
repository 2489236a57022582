#pragma once

#include <QString>

// Style sheets of the parameter controls; the arrow images come from the
// compiled-in resources.
namespace controlstyles {

const QString &listControl();
const QString &rangeControl();
const QString &checkControl();
// All three, for the widget that holds the controls.
const QString &controls();

}  // namespace controlstyles
