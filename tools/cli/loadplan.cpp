#include "loadplan.h"

#include "description/valuetext.h"

#include <QStringList>

namespace {

QVector<int> cellsOf(const ParameterValue &value)
{
    return value.hcell > 0 ? QVector<int>{value.cell, value.hcell} : QVector<int>{value.cell};
}

QString cellsText(const QVector<int> &cells)
{
    QStringList numbers;
    for (int cell : cells)
        numbers << QString::number(cell);
    return QString(cells.size() > 1 ? "cells %1" : "cell %1").arg(numbers.join(", "));
}

// Why the control of `parameter` could not hold the raw value, in words
// after "the raw value N of "NAME" ".
QString rawRefusalText(const ParameterDescription &parameter, valuetext::Refusal refusal)
{
    switch (refusal) {
    case valuetext::Refusal::NotAnEntry:
        return QString("is none of its %1 entries").arg(parameter.entries.size());
    case valuetext::Refusal::OutOfRange: return QString("is out of its range (%1)").arg(boundsText(parameter));
    case valuetext::Refusal::BetweenSteps: {
        const int decimals = valuetext::rangeBounds(parameter).decimals;
        return QString("lies between the values that its %1 decimal%2 can show")
            .arg(decimals)
            .arg(decimals == 1 ? "" : "s");
    }
    case valuetext::Refusal::NotOnOff: return QStringLiteral("is neither off (0) nor on (1)");
    case valuetext::Refusal::NotANumber:
    case valuetext::Refusal::NoParameter:
    case valuetext::Refusal::None: break;
    }
    return QStringLiteral("is no value it can take");
}

// Why the file's entry cannot go onto the device's parameter; empty when it can.
QString problemOf(const ParameterDescription &parameter, const ParameterValue &current,
                  const SavedParameter &saved, bool written)
{
    if (saved.cells != cellsOf(current))
        return QString("\"%1\" lies in %2 in the file but in %3 on the device")
            .arg(parameter.name, cellsText(saved.cells), cellsText(cellsOf(current)));
    if (written) {
        const valuetext::Refusal refusal = valuetext::checkRaw(parameter, saved.raw);
        if (refusal != valuetext::Refusal::None)
            return QString("the raw value %1 of \"%2\" %3")
                .arg(saved.raw)
                .arg(parameter.name, rawRefusalText(parameter, refusal));
    }
    const QString shown = valuetext::toText(parameter, saved.raw);
    if (saved.shown != shown)
        return QString("\"%1\" shows as \"%2\" in the file, but its raw value %3 is \"%4\"")
            .arg(parameter.name, saved.shown)
            .arg(saved.raw)
            .arg(shown);
    return QString();
}

}  // namespace

LoadPlan planLoad(const DeviceDescription &description, const QVector<ParameterValue> &device,
                  const QVector<SavedParameter> &saved)
{
    LoadPlan plan;
    const QVector<ParameterComparison> comparisons = compareSettings(device, saved);
    plan.after = device;
    for (const ParameterComparison &comparison : comparisons) {
        if (comparison.state != ParameterComparison::Differs)
            continue;
        ParameterValue &value = plan.after[comparison.deviceIndex];
        value.raw = saved.at(comparison.savedIndex).raw;
        value.shown = valuetext::toText(description.parameters.at(comparison.deviceIndex), value.raw);
    }
    applyDependencies(description, plan.after);

    for (const ParameterComparison &comparison : comparisons) {
        LoadStep step{LoadStep::Equal, comparison.name, comparison.deviceIndex, comparison.savedIndex};
        switch (comparison.state) {
        case ParameterComparison::OnlyOnDevice: step.action = LoadStep::NotInFile; break;
        case ParameterComparison::OnlyInFile:
            plan.refusal = QString("the device has no parameter \"%1\"").arg(comparison.name);
            plan.steps.clear();
            return plan;
        case ParameterComparison::Equal:
        case ParameterComparison::Differs: {
            const bool differs = comparison.state == ParameterComparison::Differs;
            const bool disabled = plan.after.at(comparison.deviceIndex).disabled;
            step.action = !differs ? LoadStep::Equal : disabled ? LoadStep::Disabled : LoadStep::Write;
            const QString problem = problemOf(description.parameters.at(comparison.deviceIndex),
                                              device.at(comparison.deviceIndex),
                                              saved.at(comparison.savedIndex),
                                              step.action == LoadStep::Write);
            if (!problem.isEmpty()) {
                plan.refusal = problem;
                plan.steps.clear();
                return plan;
            }
            break;
        }
        }
        plan.steps << step;
    }
    return plan;
}

RestorePlan planRestore(const DeviceDescription &description, const QVector<ParameterValue> &device,
                        const QVector<SavedParameter> &saved)
{
    RestorePlan plan;
    plan.after = device;
    for (const ParameterComparison &comparison : compareSettings(device, saved)) {
        RestoreStep step{RestoreStep::NotSaved, comparison.name, comparison.deviceIndex, comparison.savedIndex};
        if (comparison.state == ParameterComparison::OnlyInFile) {
            step.action = RestoreStep::Dropped;
        } else if (comparison.state != ParameterComparison::OnlyOnDevice) {
            // Raw values may mean another thing under another firmware: the
            // shown value is what was kept.
            const ParameterDescription &parameter = description.parameters.at(step.deviceIndex);
            const valuetext::Parsed parsed = valuetext::fromText(parameter, saved.at(step.savedIndex).shown);
            step.raw = parsed.raw;
            step.refusal = parsed.refusal;
            step.rounded = parsed.ok() && parsed.rounded;
            step.action = parsed.ok() && !parsed.rounded ? RestoreStep::Write : RestoreStep::Refused;
            if (step.action == RestoreStep::Write) {
                plan.after[step.deviceIndex].raw = parsed.raw;
                plan.after[step.deviceIndex].shown = valuetext::toText(parameter, parsed.raw);
            }
        }
        plan.steps << step;
    }
    applyDependencies(description, plan.after);
    for (RestoreStep &step : plan.steps) {
        if (step.action != RestoreStep::Write)
            continue;
        if (step.raw == device.at(step.deviceIndex).raw)
            step.action = RestoreStep::Equal;
        else if (plan.after.at(step.deviceIndex).disabled)
            step.action = RestoreStep::Disabled;
    }
    return plan;
}
