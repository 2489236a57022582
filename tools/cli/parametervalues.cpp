#include "parametervalues.h"

QString valueRefusalText(const ParameterDescription &parameter, const QString &text, valuetext::Refusal why)
{
    switch (why) {
    case valuetext::Refusal::NotAnEntry:
        return QString("\"%1\" is not an entry of \"%2\" (%3).")
            .arg(text, parameter.name, parameter.entries.join(", "));
    case valuetext::Refusal::NotANumber: return QString("\"%1\" is not a number.").arg(text);
    case valuetext::Refusal::OutOfRange:
        return QString("%1 is out of the range of \"%2\" (%3).").arg(text, parameter.name, boundsText(parameter));
    case valuetext::Refusal::NotOnOff: return QString("\"%1\" takes on or off.").arg(parameter.name);
    case valuetext::Refusal::BetweenSteps:
    case valuetext::Refusal::NoParameter:
    case valuetext::Refusal::None: break;
    }
    return QString("\"%1\" cannot be set.").arg(parameter.name);
}

const ParameterDescription *findParameter(const DeviceDescription &description, const QString &name)
{
    for (const ParameterDescription &parameter : description.parameters)
        if (parameter.name == name)
            return &parameter;
    return nullptr;
}
