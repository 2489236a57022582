#pragma once

#include "description/devicedescription.h"

#include <QVector>
#include <QtGlobal>

#include <optional>

// When a list or range parameter is enabled by the list or range parameter
// whose cell it names in "depcell". Check parameters take no part.
namespace parameterdependency {

// Both codes stay: docs/compatibility.md
// "depcell" 0 means no dependency, so 1000 stands for cell 0.
constexpr int CellZero = 1000;
// A list on a list with "depval" from 1000 up is enabled unless the source
// stands at index depval - 1000.
constexpr int Inverted = 1000;

bool takesPart(ParameterKind kind);

bool dependsOn(int depcell, int sourceCell);

bool enabledByList(int sourceIndex, bool dependentIsList, int depval);
bool enabledByRange(double sourceValue, int depval);

// What a list or range control holds: a list its index (-1 without a
// selection), a range its value.
struct SourceState {
    ParameterKind kind = ParameterKind::None;
    int cell = 0;
    int index = -1;
    double value = 0.0;
};

// What a dependent with these attributes becomes when `source` changes:
// enabled or not, or nothing when it does not follow that source.
std::optional<bool> enabledBy(const SourceState &source, ParameterKind dependentKind, int depcell, int depval);

// The state a source's control takes from a raw value.
SourceState sourceStateOf(const ParameterDescription &source, quint32 raw);

struct Verdict {
    bool enabled = true;
    int source = -1;  // the parameter whose value decided; -1 when none did
};

// Each parameter's state on a page whose controls hold `raws` (in
// description order) once every source has been applied in page order, as
// the window does after reading all cells: the last source a parameter
// follows decides.
QVector<Verdict> verdictsOf(const DeviceDescription &description, const QVector<quint32> &raws);

}  // namespace parameterdependency
