#pragma once

#include "commands.h"

#include <QStringList>

class QTextStream;

// The whole program after QCoreApplication: `arguments` without the
// program's name; returns the exit status.
int runCli(const QStringList &arguments, QTextStream &out, QTextStream &err, const Terminal &terminal);
