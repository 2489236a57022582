#include "description/parameterdependency.h"

#include "description/valuetext.h"

namespace parameterdependency {

bool takesPart(ParameterKind kind)
{
    return kind == ParameterKind::List || kind == ParameterKind::Range;
}

bool dependsOn(int depcell, int sourceCell)
{
    if (depcell == 0)
        return false;
    return depcell == sourceCell || (depcell == CellZero && sourceCell == 0);
}

bool enabledByList(int sourceIndex, bool dependentIsList, int depval)
{
    if (dependentIsList && depval >= Inverted)
        return sourceIndex != depval - Inverted;
    return sourceIndex == depval;
}

bool enabledByRange(double sourceValue, int depval)
{
    return sourceValue == double(depval);
}

std::optional<bool> enabledBy(const SourceState &source, ParameterKind dependentKind, int depcell, int depval)
{
    if (!takesPart(source.kind) || !takesPart(dependentKind) || !dependsOn(depcell, source.cell))
        return std::nullopt;
    if (source.kind == ParameterKind::List)
        return enabledByList(source.index, dependentKind == ParameterKind::List, depval);
    return enabledByRange(source.value, depval);
}

SourceState sourceStateOf(const ParameterDescription &source, quint32 raw)
{
    SourceState state{source.kind, source.cell, -1, 0.0};
    if (source.kind == ParameterKind::List)
        state.index = valuetext::listIndex(source, raw);
    else if (source.kind == ParameterKind::Range)
        state.value = valuetext::rangeValue(source, raw);
    return state;
}

QVector<Verdict> verdictsOf(const DeviceDescription &description, const QVector<quint32> &raws)
{
    const QVector<ParameterDescription> &parameters = description.parameters;
    QVector<Verdict> verdicts(parameters.size());
    for (int s = 0; s < parameters.size() && s < raws.size(); ++s) {
        if (!takesPart(parameters.at(s).kind))
            continue;
        const SourceState source = sourceStateOf(parameters.at(s), raws.at(s));
        for (int d = 0; d < parameters.size(); ++d) {
            const ParameterDescription &dependent = parameters.at(d);
            if (const std::optional<bool> enabled =
                    enabledBy(source, dependent.kind, dependent.depcell, dependent.depval))
                verdicts[d] = {*enabled, s};
        }
    }
    return verdicts;
}

}  // namespace parameterdependency
