#pragma once

#include <QtGlobal>

// Conversion between what a control shows and the raw number kept in the
// device's cells: raw = (control value + offset) * scale + shift.
namespace valuecodec {

struct Conversion {
    double offset = 0.0;
    double scale = 1.0;
    double shift = 0.0;
};

// A description may leave "scale" out or write 0; both mean 1.
double effectiveScale(double scale);

// Rounds toward zero into 64 bits and keeps the low 32 bits, so a negative
// result reaches the device as its two's complement bytes. Values beyond the
// 64-bit range saturate and NaN gives 0 rather than undefined behaviour.
quint32 rawFromReal(double x);

quint32 encodeList(int index, const Conversion &conversion);
// The half is added before rounding toward zero, not before floor.
quint32 encodeRange(double value, const Conversion &conversion);

// A parameter without a high byte passes 0 as high.
quint32 rawFromCells(quint8 low, quint8 high);

// Rounds toward zero; an index beyond the 32-bit range saturates.
int decodeList(quint32 raw, const Conversion &conversion);
double decodeRange(quint32 raw, const Conversion &conversion);

inline quint8 lowByte(quint32 raw)
{
    return quint8(raw & 0xFF);
}
inline quint8 highByte(quint32 raw)
{
    return quint8((raw >> 8) & 0xFF);
}

}  // namespace valuecodec
