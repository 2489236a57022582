#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// What a description file says about one kind of device, without widgets.
enum class ParameterKind { None, List, Range, Check };

struct ParameterDescription {
    ParameterKind kind = ParameterKind::None;
    QString name;
    int cell = 0;
    int hcell = 0;
    bool hasHighCell = false;  // "hcell" present and not empty
    int depcell = 0;  // 0: no dependency; 1000 stands for cell 0
    int depval = 0;
    double offset = 0.0;
    double scale = 1.0;  // 0 or absent already taken as 1
    double shift = 0.0;
    double min = 0.0;
    double max = 0.0;
    double step = 0.0;
    uint decimals = 0;
    QString suffix;
    QStringList entries;  // list only, in index order
    qint64 line = 0;  // of its start tag in the file

    // Check parameters keep their "hcell" attribute but never use it.
    bool usesHighCell() const { return hasHighCell && kind != ParameterKind::Check; }
};

// The four identity fields a device reports and an "ESC" element must match.
struct DescriptionIdentity {
    int id = 0;
    int hw = 0;
    int fw = 0;
    int fwm = 0;

    bool operator==(const DescriptionIdentity &other) const
    {
        return id == other.id && hw == other.hw && fw == other.fw && fwm == other.fwm;
    }
    bool operator!=(const DescriptionIdentity &other) const { return !(*this == other); }
};

struct DeviceDescription {
    DescriptionIdentity identity;
    QString name;
    // Only its low 8 bits count, on purpose: docs/compatibility.md
    uint pageCount = 0;  // "fwnp" whole; the device image keeps its low 8 bits
    uint pageSize = 0;  // "fwps"
    QVector<ParameterDescription> parameters;  // only those that get a row, in file order
    qint64 line = 0;  // of its start tag in the file
};
