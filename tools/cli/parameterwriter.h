#pragma once

#include "exitstatus.h"

#include "params/devicedescription.h"

#include <optional>

class DeviceConnection;

// Writes one parameter's raw value into its cells with the window's
// read-back; a device that keeps another value counts as a failure here.
std::optional<Failure> writeParameter(DeviceConnection &connection,
                                      const ParameterDescription &parameter, quint32 raw);

// Whether a failure ends the whole command rather than one parameter.
bool endsCommand(const Failure &failure);
