#pragma once

#include "settings/parametervalue.h"

#include "description/devicedescription.h"
#include "description/valuetext.h"

#include <QString>

// Why `text` is no value of `parameter`, in one sentence.
QString valueRefusalText(const ParameterDescription &parameter, const QString &text, valuetext::Refusal why);

// The parameter of that name, or nullptr.
const ParameterDescription *findParameter(const DeviceDescription &description, const QString &name);
