#pragma once

#include "params/devicedescription.h"

#include <QByteArray>
#include <QVector>

#include <optional>

// Parses the XML of a description file into device descriptions. Unknown
// elements, malformed XML and numbers that do not read are tolerated as the
// window always did: the parameters read up to the trouble are kept.
namespace descriptionreader {

// Bounds against hostile files; a real device has at most 255 cells, and a
// list entry per value of two bytes would be absurd.
constexpr int MaxParameters = 1000;
constexpr int MaxListEntries = 1000;
constexpr qint64 MaxFileBytes = 8 * 1024 * 1024;

// Every "ESC" element in document order or, with `wanted`, only the first
// one whose identity matches it.
QVector<DeviceDescription> read(const QByteArray &content,
                                const std::optional<DescriptionIdentity> &wanted = std::nullopt);

}  // namespace descriptionreader
