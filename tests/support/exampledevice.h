#pragma once

// The example controllers under examples/, for tests that run against the
// simulated device.
#include "simoptions.h"
#include "support/testsupport.h"

#include <QFile>
#include <QMap>

namespace testsupport {

// `device` names an example controller: "vorn", "kelpa" or "ulma".
inline QMap<int, quint8> exampleCells(const QString &device)
{
    QFile file(sourcePath("examples/devices/" + device + ".cells"));
    file.open(QIODevice::ReadOnly);
    QString error;
    return parseCellList(QString::fromUtf8(file.readAll()), &error).value_or(QMap<int, quint8>());
}

inline QString exampleDescription(const QString &device)
{
    return sourcePath("examples/descriptions/" + device + ".dsc");
}

inline QString examplePackage(const QString &name)
{
    return sourcePath("examples/firmwares/" + name);
}

}  // namespace testsupport
