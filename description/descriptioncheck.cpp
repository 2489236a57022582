#include "description/descriptioncheck.h"

#include "description/parameterdependency.h"
#include "description/valuecodec.h"
#include "description/valuetext.h"

#include <algorithm>
#include <cmath>

namespace descriptioncheck {

namespace {

bool hasHighByte(const ParameterDescription &parameter)
{
    return parameter.usesHighCell() && parameter.hcell > 0;
}

QVector<int> writtenCells(const ParameterDescription &parameter)
{
    QVector<int> cells{parameter.cell};
    if (hasHighByte(parameter) && parameter.hcell != parameter.cell)
        cells << parameter.hcell;
    return cells;
}

bool takesPartInDependencies(const ParameterDescription &parameter)
{
    return parameter.kind == ParameterKind::List || parameter.kind == ParameterKind::Range;
}

valuecodec::Conversion conversionOf(const ParameterDescription &parameter)
{
    return {parameter.offset, parameter.scale, parameter.shift};
}

// The encoding keeps the low 32 bits of a signed result: a negative raw
// value is shown as the number it was.
qint64 signedRaw(quint32 raw)
{
    return qint64(qint32(raw));
}

void checkCells(const DeviceDescription &device, int index, Finding finding, QVector<Finding> &findings)
{
    const ParameterDescription &parameter = device.parameters.at(index);
    if (hasHighByte(parameter) && parameter.hcell == parameter.cell) {
        finding.problem = Problem::HighCellIsLowCell;
        finding.cell = parameter.cell;
        findings << finding;
    }
    for (int cell : writtenCells(parameter)) {
        for (int other = 0; other < index; ++other) {
            if (!writtenCells(device.parameters.at(other)).contains(cell))
                continue;
            finding.problem = Problem::SharedCell;
            finding.cell = cell;
            finding.other = other;
            findings << finding;
            break;
        }
    }
}

// A name picks one parameter: set and read reach only the first of several.
void checkName(const DeviceDescription &device, int index, Finding finding, QVector<Finding> &findings)
{
    const auto begin = device.parameters.cbegin();
    const auto first = std::find_if(begin, begin + index, [&](const ParameterDescription &other) {
        return other.name == device.parameters.at(index).name;
    });
    if (first == begin + index)
        return;
    finding.problem = Problem::SharedName;
    finding.other = int(first - begin);
    findings << finding;
}

void checkRange(const ParameterDescription &parameter, Finding finding, QVector<Finding> &findings)
{
    if (parameter.min > parameter.max) {
        finding.problem = Problem::MinAboveMax;
        finding.value = parameter.min;
        finding.readBack = parameter.max;
        findings << finding;
    }
    if (parameter.step <= 0.0) {
        finding.problem = Problem::StepNotPositive;
        finding.value = parameter.step;
        findings << finding;
    }
    const valuetext::RangeBounds bounds = valuetext::rangeBounds(parameter);
    // Half a shown digit, and no less than what doubles lose on the way.
    const double shownDigit = 0.5 * std::pow(10.0, -bounds.decimals);
    finding.most = mostRaw(parameter);
    for (double bound : {bounds.minimum, bounds.maximum}) {
        const quint32 raw = valuecodec::encodeRange(bound, conversionOf(parameter));
        finding.value = bound;
        finding.raw = signedRaw(raw);
        if (finding.raw < 0 || raw > finding.most) {
            finding.problem = Problem::RangeBeyondCells;
            findings << finding;
            continue;
        }
        finding.readBack = valuecodec::decodeRange(raw, conversionOf(parameter));
        if (std::abs(finding.readBack - bound) > std::max(shownDigit, 1e-9 * std::max(1.0, std::abs(bound)))) {
            finding.problem = Problem::RangeOffScale;
            findings << finding;
        }
    }
}

void checkList(const ParameterDescription &parameter, Finding finding, QVector<Finding> &findings)
{
    if (parameter.entries.isEmpty()) {
        finding.problem = Problem::ListWithoutEntries;
        findings << finding;
    }
    // A text names one entry: `set` and the settings files reach the first only.
    for (int entry = 1; entry < parameter.entries.size(); ++entry) {
        const int first = int(parameter.entries.indexOf(parameter.entries.at(entry)));
        if (first == entry)
            continue;
        finding.problem = Problem::RepeatedEntry;
        finding.entry = entry;
        finding.other = first;
        findings << finding;
    }
    finding.other = -1;
    finding.most = mostRaw(parameter);
    // The raw value moves one way with the index: its two ends bound the rest.
    QVector<int> ends;
    if (!parameter.entries.isEmpty())
        ends << 0;
    if (parameter.entries.size() > 1)
        ends << int(parameter.entries.size()) - 1;
    for (int entry : ends) {
        const quint32 raw = valuecodec::encodeList(entry, conversionOf(parameter));
        finding.raw = signedRaw(raw);
        if (finding.raw >= 0 && raw <= finding.most)
            continue;
        finding.problem = Problem::ListBeyondCells;
        finding.entry = entry;
        findings << finding;
    }
}

void checkDependency(const DeviceDescription &device, const ParameterDescription &parameter, Finding finding,
                     QVector<Finding> &findings)
{
    if (!takesPartInDependencies(parameter) || parameter.depcell == 0)
        return;
    if (parameterdependency::dependsOn(parameter.depcell, parameter.cell)) {
        finding.problem = Problem::DependsOnItself;
        finding.cell = parameter.cell;
        findings << finding;
        return;
    }
    for (int s = 0; s < device.parameters.size(); ++s) {
        const ParameterDescription &source = device.parameters.at(s);
        if (!takesPartInDependencies(source) || !parameterdependency::dependsOn(parameter.depcell, source.cell))
            continue;
        // The value the source must show for the dependent to change at all.
        const bool inverted = parameter.kind == ParameterKind::List && source.kind == ParameterKind::List
                              && parameter.depval >= parameterdependency::Inverted;
        const int wanted = inverted ? parameter.depval - parameterdependency::Inverted : parameter.depval;
        const bool met = source.kind == ParameterKind::List ? wanted >= 0 && wanted < source.entries.size()
                                                            : wanted >= valuetext::rangeBounds(source).minimum
                                                                  && wanted <= valuetext::rangeBounds(source).maximum;
        if (met)
            continue;
        finding.problem = Problem::DependencyNeverMet;
        finding.other = s;
        finding.raw = wanted;
        finding.inverted = inverted;
        findings << finding;
    }
    const bool held = std::any_of(
        device.parameters.begin(), device.parameters.end(), [&parameter](const ParameterDescription &source) {
            return takesPartInDependencies(source) && parameterdependency::dependsOn(parameter.depcell, source.cell);
        });
    if (held)
        return;
    finding.problem = Problem::DependencyWithoutSource;
    finding.cell = parameter.depcell == parameterdependency::CellZero ? 0 : parameter.depcell;
    findings << finding;
}

}  // namespace

quint32 mostRaw(const ParameterDescription &parameter)
{
    return hasHighByte(parameter) ? 0xFFFF : 0xFF;
}

QVector<Finding> check(const QVector<DeviceDescription> &devices)
{
    QVector<Finding> findings;
    if (devices.isEmpty()) {
        Finding finding;
        finding.problem = Problem::NoDeviceEntry;
        findings << finding;
    }
    for (int d = 0; d < devices.size(); ++d) {
        const DeviceDescription &device = devices.at(d);
        for (int other = 0; other < d; ++other) {
            if (devices.at(other).identity == device.identity) {
                Finding finding;
                finding.problem = Problem::ShadowedDevice;
                finding.device = d;
                finding.other = other;
                findings << finding;
                break;
            }
        }
        if (device.pageCount > 0xFF) {
            Finding finding;
            finding.problem = Problem::PageCountTruncated;
            finding.device = d;
            finding.raw = device.pageCount;
            finding.most = 0xFF;
            findings << finding;
        }
        for (int p = 0; p < device.parameters.size(); ++p) {
            const ParameterDescription &parameter = device.parameters.at(p);
            Finding finding;
            finding.device = d;
            finding.parameter = p;
            checkCells(device, p, finding, findings);
            checkName(device, p, finding, findings);
            if (parameter.kind == ParameterKind::Range)
                checkRange(parameter, finding, findings);
            else if (parameter.kind == ParameterKind::List)
                checkList(parameter, finding, findings);
            checkDependency(device, parameter, finding, findings);
        }
    }
    return findings;
}

}  // namespace descriptioncheck
