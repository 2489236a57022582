#include "settings/loadplan.h"

#include "description/valuetext.h"

#include <QStringList>

namespace {

QString cellsText(const QVector<int> &cells)
{
    QStringList numbers;
    for (int cell : cells)
        numbers << QString::number(cell);
    return QString(cells.size() > 1 ? "cells %1" : "cell %1").arg(numbers.join(", "));
}

// Why the file's entry cannot go onto the device's parameter; empty when it can.
QString problemOf(const ParameterDescription &parameter, const ParameterValue &current, const SavedParameter &saved)
{
    if (saved.cells != current.cells())
        return QString("\"%1\" lies in %2 in the file but in %3 on the device")
            .arg(parameter.name, cellsText(saved.cells), cellsText(current.cells()));
    // The shown text of a value that is never written proves nothing.
    if (valuetext::checkRaw(parameter, saved.raw) != valuetext::Refusal::None)
        return QString();
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
        const ParameterDescription &parameter = description.parameters.at(comparison.deviceIndex);
        const quint32 raw = saved.at(comparison.savedIndex).raw;
        if (valuetext::checkRaw(parameter, raw) != valuetext::Refusal::None)
            continue;
        ParameterValue &value = plan.after[comparison.deviceIndex];
        value.raw = raw;
        value.shown = valuetext::toText(parameter, raw);
        value.outside = valuetext::Refusal::None;
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
            const ParameterDescription &parameter = description.parameters.at(comparison.deviceIndex);
            const SavedParameter &file = saved.at(comparison.savedIndex);
            const QString problem = problemOf(parameter, device.at(comparison.deviceIndex), file);
            if (!problem.isEmpty()) {
                plan.refusal = problem;
                plan.steps.clear();
                return plan;
            }
            if (comparison.state == ParameterComparison::Equal)
                break;
            step.refusal = valuetext::checkRaw(parameter, file.raw);
            step.action = plan.after.at(comparison.deviceIndex).disabled ? LoadStep::Disabled
                          : step.refusal != valuetext::Refusal::None     ? LoadStep::Outside
                                                                         : LoadStep::Write;
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
        } else if (comparison.state != ParameterComparison::OnlyOnDevice && !saved.at(step.savedIndex).allowed) {
            step.action = RestoreStep::Outside;
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
