#pragma once

#include <QList>
#include <QString>

#include <optional>

// Behind an emulated FTDI-class adapter the simulator learns the line speed
// only as the adapter decodes it from the divisor the driver sent, which is
// near the asked rate but rarely equal to it (115200 runs at 115384).

// The speed the adapter runs at when the driver asks for `rate`: the divisor
// counts eighths of a 3 MHz clock, rounded to the nearest.
int adapterRunRate(int rate);

// The rate among `asked` that runs at `runRate`; `runRate` itself when none does.
int askedRate(int runRate, const QList<int> &asked);

// The run rate of one line of the emulator's trace; nothing for other lines.
std::optional<int> tracedRunRate(const QString &line);
