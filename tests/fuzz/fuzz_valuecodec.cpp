// Any attribute values against the value codec: offset, scale, shift, min,
// max, decimals and one or two cells, taken either as description texts
// through the attribute reader or as raw doubles (NaN and infinities too).
// The sanitizers watch every conversion; for sane numbers the cells a value
// was decoded from must encode back unchanged, also after a spin box rounded
// it to its decimals, and a list index must survive integer conversions.
#include "fuzz/fuzzsupport.h"
#include "description/descriptionreader.h"
#include "description/valuecodec.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QDoubleSpinBox>

#include <cmath>
#include <cstring>

using valuecodec::Conversion;

namespace {

void expect(bool condition)
{
    if (!condition)
        abort();
}

double rawDouble(FuzzedDataProvider &input)
{
    const std::vector<uint8_t> bytes = input.ConsumeBytes<uint8_t>(sizeof(double));
    double value = 0.0;
    if (!bytes.empty())
        std::memcpy(&value, bytes.data(), bytes.size());
    return value;
}

// A range parameter whose attributes are texts of the input, read as the
// description reader reads them.
ParameterDescription attributesFrom(FuzzedDataProvider &input)
{
    QString tag = QStringLiteral("<ESC><Parameter type=\"range\" cell=\"1\"");
    for (const char *name : {"offset", "scale", "shift", "min", "max", "decimals"})
        tag += QStringLiteral(" %1=\"%2\"")
                   .arg(QString::fromLatin1(name),
                        QString::fromStdString(input.ConsumeRandomLengthString(24)).toHtmlEscaped());
    tag += QStringLiteral("/></ESC>");
    const QVector<DeviceDescription> devices = descriptionreader::read(tag.toUtf8());
    if (devices.isEmpty() || devices.first().parameters.isEmpty())
        return ParameterDescription();
    return devices.first().parameters.first();
}

ParameterDescription rawAttributesFrom(FuzzedDataProvider &input)
{
    ParameterDescription p;
    p.offset = rawDouble(input);
    p.scale = valuecodec::effectiveScale(rawDouble(input));
    p.shift = rawDouble(input);
    // The reader leaves only finite bounds.
    p.min = input.ConsumeFloatingPoint<double>();
    p.max = input.ConsumeFloatingPoint<double>();
    p.decimals = input.ConsumeIntegral<uint>();
    return p;
}

bool sane(const Conversion &c)
{
    const double scale = std::fabs(c.scale);
    return std::fabs(c.offset) <= 1e6 && std::fabs(c.shift) <= 1e6 && scale >= 1e-6 && scale <= 1e6;
}

// Whole numbers small enough that no list index below 1000 leaves 31 bits.
bool smallIntegers(const Conversion &c)
{
    for (double number : {c.offset, c.scale, c.shift}) {
        if (std::trunc(number) != number || std::fabs(number) > 1e4)
            return false;
    }
    return true;
}

// What the page does with a range control: the cells' value is decoded into
// a spin box, whose value is what a change writes.
void checkRangeRoundTrip(const ParameterDescription &p, const Conversion &c, quint32 raw)
{
    const double decoded = valuecodec::decodeRange(raw, c);
    if (!sane(c))
        return;
    expect(valuecodec::encodeRange(decoded, c) == raw);

    static QDoubleSpinBox spin;
    spin.setMinimum(p.min);
    spin.setMaximum(p.max);
    const int decimals = int(qMin(p.decimals, uint(INT_MAX)));
    spin.setDecimals(decimals);
    spin.setValue(decoded);
    // Rounding to the shown decimals moves the raw value by less than a half.
    const bool roundingKeepsRaw = std::fabs(c.scale) * std::pow(10.0, -spin.decimals()) <= 0.9;
    if (roundingKeepsRaw && decoded >= p.min && decoded <= p.max)
        expect(valuecodec::encodeRange(spin.value(), c) == raw);
}

void checkListRoundTrip(const Conversion &c, int index, quint32 cellLimit)
{
    const quint32 raw = valuecodec::encodeList(index, c);
    if (smallIntegers(c) && index >= 0 && index < 1000 && raw < cellLimit)
        expect(valuecodec::decodeList(raw, c) == index);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::startApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const ParameterDescription p = input.ConsumeBool() ? attributesFrom(input) : rawAttributesFrom(input);
    const Conversion c{p.offset, p.scale, p.shift};
    expect(c.scale != 0.0);

    const auto low = input.ConsumeIntegral<quint8>();
    const bool twoCells = input.ConsumeBool();
    const quint8 high = twoCells ? input.ConsumeIntegral<quint8>() : 0;
    const quint32 raw = valuecodec::rawFromCells(low, high);
    expect(valuecodec::lowByte(raw) == low && valuecodec::highByte(raw) == high);

    // Any value a control can hold, and any list index, converts without
    // undefined behaviour.
    valuecodec::encodeRange(p.min, c);
    valuecodec::encodeRange(p.max, c);
    valuecodec::encodeRange(rawDouble(input), c);
    valuecodec::decodeList(raw, c);

    checkRangeRoundTrip(p, c, raw);
    checkListRoundTrip(c, input.ConsumeIntegral<int>(), twoCells ? 65536 : 256);
    return 0;
}
