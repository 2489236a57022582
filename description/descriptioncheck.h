#pragma once

#include "description/devicedescription.h"

#include <QVector>
#include <QtGlobal>

// Faults of a description that the reader accepts but that would put a
// wrong value on a device or leave a part of the file unused. Indexes are
// into the devices of one file and their parameters.
namespace descriptioncheck {

enum class Problem {
    SharedCell,  // `parameter` writes `cell`, which `other` (before it) writes too
    SharedName,  // `parameter` has the name of `other` (before it)
    HighCellIsLowCell,  // `parameter`'s high cell is its low cell
    RangeBeyondCells,  // a bound, `value`, is stored as `raw`, beyond `most`
    RangeOffScale,  // a bound, `value`, is stored as `raw`, which reads back as `readBack`
    ListBeyondCells,  // entry `entry` is stored as `raw`, beyond `most`
    DependencyWithoutSource,  // `parameter` depends on `cell`, which no list or range holds
    ShadowedDevice,  // `device` has the identity of `other` (before it) and is never used
    PageCountTruncated,  // "fwnp" `raw` is kept in one byte
    MinAboveMax,  // the range's min, `value`, is above its max, `readBack`
    StepNotPositive,  // the range's step, `value`, moves nothing
    ListWithoutEntries,  // the list has no entry to choose
    RepeatedEntry,  // entry `entry` has the text of the entry `other` before it
    DependsOnItself,  // `parameter` depends on its own cell `cell`
    DependencyNeverMet,  // the source at `other` never shows `raw`, which its dependent waits
    // for (`inverted`: to be disabled)
    NoDeviceEntry,  // the file holds no "ESC" element (`device` -1)
};

struct Finding {
    Problem problem = Problem::SharedCell;
    int device = -1;
    int parameter = -1;  // -1: the device entry itself
    int other = -1;  // a parameter of the same device, or another device
    int cell = 0;
    int entry = -1;
    double value = 0.0;
    qint64 raw = 0;  // as the encoding computes it, before it is cut to the cells
    quint32 most = 0;
    double readBack = 0.0;
    bool inverted = false;
};

// The largest raw value the parameter's cells hold.
quint32 mostRaw(const ParameterDescription &parameter);

// In file order: each device entry, then its parameters.
QVector<Finding> check(const QVector<DeviceDescription> &devices);

}  // namespace descriptioncheck
