#pragma once

#include "params/devicedescription.h"

#include <QString>

// Where the program finds the description of an identified device.
namespace descriptionlookup {

// Named relative to the current folder.
extern const QString PrimaryFile;

// Further "*.dsc" files, searched after the primary file.
QString firmwaresFolder();

struct Result {
    enum Outcome { Found, NotFound, CannotOpen };
    Outcome outcome = NotFound;
    DeviceDescription device;  // Found
    QString file;              // Found: where; CannotOpen: which file failed
    QString error;             // CannotOpen: the system's reason
};

// The primary file, then the folder's "*.dsc" files in descending name
// order; the first matching "ESC" element wins. A file that cannot be opened
// ends the search.
Result find(const DescriptionIdentity &identity);

// Only `file`, for a user who names the description explicitly.
Result findIn(const QString &file, const DescriptionIdentity &identity);

}  // namespace descriptionlookup
