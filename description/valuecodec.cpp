#include "description/valuecodec.h"

#include <cmath>
#include <limits>

namespace valuecodec {

namespace {

// Converting an out-of-range double to an integer is undefined, so clamp
// first; the bounds are exactly representable as doubles.
template <typename Int>
Int truncateSaturating(double x)
{
    if (std::isnan(x))
        return 0;
    constexpr double lowest = double(std::numeric_limits<Int>::min());
    constexpr double beyondHighest = -lowest;  // 2^(bits-1)
    if (x <= lowest)
        return std::numeric_limits<Int>::min();
    if (x >= beyondHighest)
        return std::numeric_limits<Int>::max();
    return Int(std::trunc(x));
}

double toControl(quint32 raw, const Conversion &conversion)
{
    return (double(raw) - conversion.shift) / conversion.scale - conversion.offset;
}

}  // namespace

double effectiveScale(double scale)
{
    return scale == 0.0 ? 1.0 : scale;
}

quint32 rawFromReal(double x)
{
    return quint32(quint64(truncateSaturating<qint64>(x)) & 0xFFFFFFFFu);
}

quint32 encodeList(int index, const Conversion &conversion)
{
    return rawFromReal((index + conversion.offset) * conversion.scale + conversion.shift);
}

quint32 encodeRange(double value, const Conversion &conversion)
{
    return rawFromReal((value + conversion.offset) * conversion.scale + conversion.shift + 0.5);
}

quint32 rawFromCells(quint8 low, quint8 high)
{
    return quint32(high) * 256 + low;
}

int decodeList(quint32 raw, const Conversion &conversion)
{
    return truncateSaturating<qint32>(toControl(raw, conversion));
}

double decodeRange(quint32 raw, const Conversion &conversion)
{
    return toControl(raw, conversion);
}

}  // namespace valuecodec
