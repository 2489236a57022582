#include "params/parameterattributes.h"

#include "device/deviceimage.h"
#include "params/valuecodec.h"

#include <cmath>

namespace xmlattributes {

int integer(const QXmlStreamAttributes &attributes, const QString &name)
{
    bool ok = false;
    const int value = attributes.value(name).toInt(&ok);
    return ok ? value : 0;
}

uint unsignedInteger(const QXmlStreamAttributes &attributes, const QString &name)
{
    bool ok = false;
    const uint value = attributes.value(name).toUInt(&ok);
    return ok ? value : 0;
}

double real(const QXmlStreamAttributes &attributes, const QString &name)
{
    bool ok = false;
    const double value = attributes.value(name).toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

QString text(const QXmlStreamAttributes &attributes, const QString &name)
{
    return attributes.value(name).toString();
}

}  // namespace xmlattributes

namespace {

ParameterKind kindOf(const QStringRef &type)
{
    if (type == QLatin1String("list"))
        return ParameterKind::List;
    if (type == QLatin1String("range"))
        return ParameterKind::Range;
    if (type == QLatin1String("check"))
        return ParameterKind::Check;
    return ParameterKind::None;
}

}  // namespace

ParameterAttributes ParameterAttributes::read(const QXmlStreamAttributes &attributes)
{
    using namespace xmlattributes;
    ParameterAttributes p;
    p.kind = kindOf(attributes.value(QLatin1String("type")));
    p.name = text(attributes, QStringLiteral("name"));
    p.cell = integer(attributes, QStringLiteral("cell"));
    p.hcell = integer(attributes, QStringLiteral("hcell"));
    p.hasHighCell = !attributes.value(QLatin1String("hcell")).isEmpty();
    p.depcell = integer(attributes, QStringLiteral("depcell"));
    p.depval = integer(attributes, QStringLiteral("depval"));
    p.offset = real(attributes, QStringLiteral("offset"));
    p.scale = valuecodec::effectiveScale(real(attributes, QStringLiteral("scale")));
    p.shift = real(attributes, QStringLiteral("shift"));
    p.min = real(attributes, QStringLiteral("min"));
    p.max = real(attributes, QStringLiteral("max"));
    p.step = real(attributes, QStringLiteral("step"));
    p.decimals = unsignedInteger(attributes, QStringLiteral("decimals"));
    p.suffix = text(attributes, QStringLiteral("suffix"));
    return p;
}

bool ParameterAttributes::cellsHaveSlots() const
{
    const bool highCellUsed = hasHighCell && kind != ParameterKind::Check;
    return hasCellSlot(cell) && (!highCellUsed || hasCellSlot(hcell));
}
