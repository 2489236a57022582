#include "settings/parametervalue.h"

#include "device/deviceimage.h"
#include "description/parameterdependency.h"
#include "description/valuecodec.h"
#include "description/valuetext.h"

#include <QLocale>

namespace {

quint8 cellValue(const DeviceImage &image, int cell)
{
    return hasCellSlot(cell) ? image.cells[cell].value.load() : quint8(0);
}

}  // namespace

int highCellOf(const ParameterDescription &parameter)
{
    return parameter.usesHighCell() && parameter.hcell > 0 ? parameter.hcell : 0;
}

QVector<ParameterValue> valuesOf(const DeviceDescription &description, const DeviceImage &image)
{
    QVector<ParameterValue> values;
    for (const ParameterDescription &parameter : description.parameters) {
        ParameterValue value;
        value.name = parameter.name;
        value.cell = parameter.cell;
        value.hcell = highCellOf(parameter);
        const quint8 high = value.hcell > 0 ? cellValue(image, value.hcell) : quint8(0);
        value.raw = valuecodec::rawFromCells(cellValue(image, parameter.cell), high);
        value.outside = valuetext::checkRaw(parameter, value.raw);
        value.shown = shownText(parameter, value.raw);
        values << value;
    }
    applyDependencies(description, values);
    return values;
}

void applyDependencies(const DeviceDescription &description, QVector<ParameterValue> &values)
{
    QVector<quint32> raws;
    for (const ParameterValue &value : values)
        raws << value.raw;
    const QVector<parameterdependency::Verdict> verdicts = parameterdependency::verdictsOf(description, raws);
    for (int i = 0; i < values.size(); ++i) {
        values[i].disabled = !verdicts.at(i).enabled;
        values[i].disabledBy = values[i].disabled ? verdicts.at(i).source : -1;
    }
}

QString boundsText(const ParameterDescription &parameter)
{
    const valuetext::RangeBounds bounds = valuetext::rangeBounds(parameter);
    return QString("%1 to %2")
        .arg(QLocale::c().toString(bounds.minimum, 'f', bounds.decimals),
             QLocale::c().toString(bounds.maximum, 'f', bounds.decimals));
}

QString outsideText(const ParameterDescription &parameter, valuetext::Refusal why)
{
    switch (why) {
    case valuetext::Refusal::NotAnEntry: return QString("none of its %1 entries").arg(parameter.entries.size());
    case valuetext::Refusal::OutOfRange: return QString("out of the range %1").arg(boundsText(parameter));
    case valuetext::Refusal::BetweenSteps: {
        const int decimals = valuetext::rangeBounds(parameter).decimals;
        return QString("between the values that its %1 decimal%2 can show").arg(decimals).arg(decimals == 1 ? "" : "s");
    }
    case valuetext::Refusal::NotOnOff: return QStringLiteral("neither off (0) nor on (1)");
    case valuetext::Refusal::NotANumber:
    case valuetext::Refusal::NoParameter:
    case valuetext::Refusal::None: break;
    }
    return QStringLiteral("no value it can take");
}

QString shownText(const ParameterDescription &parameter, quint32 raw)
{
    const valuetext::Refusal why = valuetext::checkRaw(parameter, raw);
    if (why == valuetext::Refusal::None)
        return valuetext::toText(parameter, raw);
    // The control would bound such a number; the number itself is what the cells mean.
    if (why == valuetext::Refusal::OutOfRange) {
        const double value = valuetext::rangeNumber(parameter, raw);
        return QString("%1%2 (raw %3, %4)")
            .arg(QLocale::c().toString(value, 'f', valuetext::rangeBounds(parameter).decimals), parameter.suffix)
            .arg(raw)
            .arg(outsideText(parameter, why));
    }
    return QString("raw %1 (%2)").arg(raw).arg(outsideText(parameter, why));
}
