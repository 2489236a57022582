#pragma once

#include "link/serialline.h"

#include <QString>

// Why a port does not open, in words that say what the user can do about it:
// for a port without permission how to get it, for a port another process
// holds which process, from its lock file.
QString portProblem(const QString &portName, OpenOutcome outcome);

// The device file of a port named as kova.ini names it ("ttyUSB0") or by path.
QString devicePath(const QString &portName);
