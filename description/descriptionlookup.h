#pragma once

#include "description/descriptionreader.h"
#include "description/devicedescription.h"

#include <QString>

// Where the program finds the description of an identified device.
namespace descriptionlookup {

// One file the search tried, and how far it got.
struct FileLooked {
    QString file;
    bool opened = false;
    descriptionreader::ContentRefusal refusal = descriptionreader::ContentRefusal::None;
    // Malformed XML that ended the part read: the found description's
    // parameters up to it, or the scan of a file that held no match.
    descriptionreader::SyntaxError syntaxError;
};

struct Result {
    enum Outcome { Found, NotFound, CannotOpen, Refused };
    Outcome outcome = NotFound;
    DeviceDescription device;  // Found
    QString file;  // which file was found, failed or refused
    QString error;  // CannotOpen: the system's reason
    descriptionreader::ContentRefusal refusal = descriptionreader::ContentRefusal::None;
    QVector<FileLooked> looked;  // in the order tried; the found or failed one last
};

// The primary file, then the folder's "*.dsc" files in descending name
// order; the first matching "ESC" element wins. A file that cannot be opened
// (or is no regular file) ends the search; a refused one is passed over.
Result find(const DescriptionIdentity &identity);

// Only `file`, for a user who names the description explicitly: Refused
// when its content is beyond the reader's bounds.
Result findIn(const QString &file, const DescriptionIdentity &identity);

}  // namespace descriptionlookup
