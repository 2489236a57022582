#pragma once

#include <QtGlobal>

// Counts the line-setting writes (rate, framing) that reach the serial driver
// for one open port, from inside the test program: a pseudo-terminal's other
// end cannot see a write that sets what the line already has, a USB adapter's
// driver acts on every one. Link linesettingwatch.cpp into the test.
namespace linesettingwatch {

// Counts from zero for the port with this handle (QSerialPort::handle()).
void watch(qintptr handle);
int writes();

}  // namespace linesettingwatch
