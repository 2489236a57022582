#include "parametervalues.h"

#include "device/deviceimage.h"
#include "params/parameterdependency.h"
#include "params/valuecodec.h"
#include "params/valuetext.h"

namespace {

quint8 cellValue(const DeviceImage &image, int cell)
{
    return hasCellSlot(cell) ? image.cells[cell].value.load() : quint8(0);
}

void markUsed(DeviceImage &image, int cell)
{
    if (hasCellSlot(cell))
        image.cells[cell].used = 1;
}

bool takesPartInDependencies(const ParameterDescription &parameter)
{
    return parameter.kind == ParameterKind::List || parameter.kind == ParameterKind::Range;
}

// The window enables and disables dependents source by source in page
// order, so the last source a parameter depends on decides.
bool disabledByDependency(const DeviceDescription &description, const QVector<ParameterValue> &values,
                          const ParameterDescription &dependent)
{
    if (!takesPartInDependencies(dependent))
        return false;
    bool enabled = true;
    for (int i = 0; i < description.parameters.size(); ++i) {
        const ParameterDescription &source = description.parameters.at(i);
        if (!takesPartInDependencies(source)
            || !parameterdependency::dependsOn(dependent.depcell, source.cell))
            continue;
        const quint32 raw = values.at(i).raw;
        if (source.kind == ParameterKind::List)
            enabled = parameterdependency::enabledByList(valuetext::listIndex(source, raw),
                                                         dependent.kind == ParameterKind::List,
                                                         dependent.depval);
        else
            enabled = parameterdependency::enabledByRange(valuetext::rangeValue(source, raw),
                                                          dependent.depval);
    }
    return !enabled;
}

}  // namespace

int highCellOf(const ParameterDescription &parameter)
{
    return parameter.usesHighCell() && parameter.hcell > 0 ? parameter.hcell : 0;
}

void markUsedCells(const DeviceDescription &description, DeviceImage &image)
{
    for (const ParameterDescription &parameter : description.parameters) {
        markUsed(image, parameter.cell);
        if (parameter.usesHighCell())
            markUsed(image, parameter.hcell);
    }
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
        value.shown = valuetext::toText(parameter, value.raw);
        values << value;
    }
    for (int i = 0; i < values.size(); ++i)
        values[i].disabled = disabledByDependency(description, values, description.parameters.at(i));
    return values;
}

const ParameterDescription *findParameter(const DeviceDescription &description, const QString &name)
{
    for (const ParameterDescription &parameter : description.parameters)
        if (parameter.name == name)
            return &parameter;
    return nullptr;
}
