#pragma once

#include "description/devicedescription.h"
#include "description/valuetext.h"

#include <QString>
#include <QVector>
#include <QtGlobal>

struct DeviceImage;

// One described parameter as the device holds it.
struct ParameterValue {
    QString name;
    int cell = 0;
    int hcell = 0;  // 0: the value has one cell
    quint32 raw = 0;
    QString shown;
    // Why the description does not allow the raw value; None when it does.
    valuetext::Refusal outside = valuetext::Refusal::None;
    bool disabled = false;  // a dependency disables it, as on the window's page
    int disabledBy = -1;  // then the parameter whose value does

    QVector<int> cells() const { return hcell > 0 ? QVector<int>{cell, hcell} : QVector<int>{cell}; }
};

// The cell of the high byte, 0 when the parameter has none.
int highCellOf(const ParameterDescription &parameter);

// The parameters in description order, from the image's cell values.
QVector<ParameterValue> valuesOf(const DeviceDescription &description, const DeviceImage &image);

// Sets `disabled` from the values as they stand.
void applyDependencies(const DeviceDescription &description, QVector<ParameterValue> &values);

// A range's bounds as its refusals name them: "1 to 25".
QString boundsText(const ParameterDescription &parameter);

// Why the description does not allow a raw value, after "raw 200 is ":
// "out of the range 1 to 25".
QString outsideText(const ParameterDescription &parameter, valuetext::Refusal why);

// What the control shows for an allowed raw value; any other is shown as
// what it is: "200 % (raw 200, out of the range 1 to 25)". Settings files
// keep this text, whichever front end writes them.
QString shownText(const ParameterDescription &parameter, quint32 raw);
