#pragma once

#include <QString>

struct UploadFailure;

// The window's words for an upload that failed.
namespace uploadfailuretext {

// The message box's text.
QString message(const UploadFailure &failure);
// The status line's, with its leading space.
QString status(const UploadFailure &failure);

}  // namespace uploadfailuretext
