#pragma once

#include "exitstatus.h"

#include <QByteArray>
#include <QString>

// Ctrl+C, SIGTERM and SIGHUP, noted by signal handlers and asked between two
// exchanges. An upload is never cut short by accident: the first Ctrl+C
// during it only warns, and SIGTERM and SIGHUP wait until it has ended.
namespace interruption {

void install();
// Starting an upload forgets the presses before it.
void setUploading(bool uploading);
bool stopRequested();
// What asked to stop: "Ctrl+C", "SIGTERM" or "SIGHUP"; empty for nothing.
QString stopName();
// 128 + the number of the signal that asked to stop.
ExitStatus stopStatus();
// SIGTERM or SIGHUP arrived during the upload and waits for its end.
bool signalHeld();
// "Stopped by SIGTERM while `what`.", with the signal's status.
Failure stoppedWhile(const QString &what);

// One line of standard input without its line end. Empty when a stop was
// asked for first (stopRequested() tells) or the input ended.
QString readLine();
// All of standard input, at most `most` bytes, for a file given as "-".
// Empty when a stop was asked for first.
QByteArray readInput(qint64 most);

}  // namespace interruption
