#include "description/valuetext.h"

#include "description/valuecodec.h"

#include <QLocale>

#include <algorithm>
#include <cfloat>

namespace valuetext {

namespace {

// As many digits as a double spin box keeps.
constexpr int MostDecimals = DBL_MAX_10_EXP + DBL_DIG;

const QString On = QStringLiteral("on");
const QString Off = QStringLiteral("off");

valuecodec::Conversion conversionOf(const ParameterDescription &parameter)
{
    return {parameter.offset, parameter.scale, parameter.shift};
}

// The spin box keeps a value as the number its text shows.
double roundToDecimals(double value, int decimals)
{
    return QString::number(value, 'f', decimals).toDouble();
}

// The entry as written, else the one entry that matches without regard to
// case; -1 when none or several do.
int entryIndex(const QStringList &entries, const QString &text)
{
    const int exact = entries.indexOf(text);
    if (exact >= 0)
        return exact;
    int found = -1;
    for (int i = 0; i < entries.size(); ++i) {
        if (entries.at(i).compare(text, Qt::CaseInsensitive) != 0)
            continue;
        if (found >= 0)
            return -1;
        found = i;
    }
    return found;
}

QString rangeText(double value, const RangeBounds &bounds, const QString &suffix)
{
    return QLocale::c().toString(value, 'f', bounds.decimals) + suffix;
}

}  // namespace

RangeBounds rangeBounds(const ParameterDescription &parameter)
{
    RangeBounds bounds;
    bounds.decimals = int(std::min(parameter.decimals, uint(MostDecimals)));
    bounds.minimum = roundToDecimals(parameter.min, bounds.decimals);
    bounds.maximum = std::max(bounds.minimum, roundToDecimals(parameter.max, bounds.decimals));
    return bounds;
}

int listIndex(const ParameterDescription &parameter, quint32 raw)
{
    const int index = valuecodec::decodeList(raw, conversionOf(parameter));
    return index >= 0 && index < parameter.entries.size() ? index : -1;
}

double rangeValue(const ParameterDescription &parameter, quint32 raw)
{
    const RangeBounds bounds = rangeBounds(parameter);
    return std::clamp(rangeNumber(parameter, raw), bounds.minimum, bounds.maximum);
}

double rangeNumber(const ParameterDescription &parameter, quint32 raw)
{
    return roundToDecimals(valuecodec::decodeRange(raw, conversionOf(parameter)), rangeBounds(parameter).decimals);
}

QString toText(const ParameterDescription &parameter, quint32 raw)
{
    switch (parameter.kind) {
    case ParameterKind::List: return parameter.entries.value(listIndex(parameter, raw));
    case ParameterKind::Range: return rangeText(rangeValue(parameter, raw), rangeBounds(parameter), parameter.suffix);
    case ParameterKind::Check: return raw != 0 ? On : Off;
    case ParameterKind::None: break;
    }
    return QString();
}

Parsed fromText(const ParameterDescription &parameter, const QString &text)
{
    switch (parameter.kind) {
    case ParameterKind::List: {
        const int index = entryIndex(parameter.entries, text);
        if (index < 0)
            return {0, Refusal::NotAnEntry};
        return {valuecodec::encodeList(index, conversionOf(parameter)), Refusal::None};
    }
    case ParameterKind::Range: {
        QString number = text.trimmed();
        const QString suffix = parameter.suffix.trimmed();
        if (!suffix.isEmpty() && number.endsWith(suffix, Qt::CaseInsensitive))
            number.chop(suffix.size());
        bool ok = false;
        const double value = QLocale::c().toDouble(number.trimmed(), &ok);
        if (!ok || !qIsFinite(value))
            return {0, Refusal::NotANumber};
        const RangeBounds bounds = rangeBounds(parameter);
        const double rounded = roundToDecimals(value, bounds.decimals);
        if (rounded < bounds.minimum || rounded > bounds.maximum)
            return {0, Refusal::OutOfRange};
        const quint32 raw = valuecodec::encodeRange(rounded, conversionOf(parameter));
        // The decimals round, and so does a scale that stores coarser steps.
        return {raw, Refusal::None, rangeValue(parameter, raw) != value};
    }
    case ParameterKind::Check:
        if (text.compare(On, Qt::CaseInsensitive) == 0)
            return {1, Refusal::None};
        if (text.compare(Off, Qt::CaseInsensitive) == 0)
            return {0, Refusal::None};
        return {0, Refusal::NotOnOff};
    case ParameterKind::None: break;
    }
    return {0, Refusal::NoParameter};
}

Refusal checkRaw(const ParameterDescription &parameter, quint32 raw)
{
    const valuecodec::Conversion conversion = conversionOf(parameter);
    switch (parameter.kind) {
    case ParameterKind::List: {
        const int index = listIndex(parameter, raw);
        return index >= 0 && valuecodec::encodeList(index, conversion) == raw ? Refusal::None : Refusal::NotAnEntry;
    }
    case ParameterKind::Range: {
        const RangeBounds bounds = rangeBounds(parameter);
        const double shown = roundToDecimals(valuecodec::decodeRange(raw, conversion), bounds.decimals);
        if (!(shown >= bounds.minimum && shown <= bounds.maximum))
            return Refusal::OutOfRange;
        // Compared as raw values: the decoded number carries the conversion's
        // rounding errors, the control's own value encodes exactly.
        return valuecodec::encodeRange(shown, conversion) == raw ? Refusal::None : Refusal::BetweenSteps;
    }
    case ParameterKind::Check: return raw <= 1 ? Refusal::None : Refusal::NotOnOff;
    case ParameterKind::None: break;
    }
    return Refusal::NoParameter;
}

}  // namespace valuetext
