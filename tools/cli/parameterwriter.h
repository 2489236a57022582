#pragma once

#include "exitstatus.h"

#include "description/devicedescription.h"

#include <optional>

class DeviceConnection;

// Writes one parameter's raw value into its cells with the window's
// read-back; a device that keeps another value counts as a failure here.
std::optional<Failure> writeParameter(DeviceConnection &connection, const ParameterDescription &parameter, quint32 raw);

class Report;

// The failures of a command that writes one parameter after another: the
// first one decides the exit status.
class WriteFailures
{
public:
    // Keeps the failure; false when the command cannot go on (the device is
    // gone or Ctrl+C was pressed), true when the next parameter may follow.
    bool goOnAfter(const Failure &failure);
    // Reports the first failure, if any; else, when `leftOut` settings of a
    // file could not be restored, says so in the status.
    ExitStatus end(Report &report, int leftOut = 0) const;

private:
    std::optional<Failure> first;
};
