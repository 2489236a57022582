#pragma once

#include "description/devicedescription.h"

#include <QString>
#include <QtGlobal>

// The text form of a parameter's value, for a terminal: what the control
// would show for a raw value, and the raw value a shown text stands for.
namespace valuetext {

enum class Refusal {
    None,
    NotAnEntry,  // list: no entry has this text
    NotANumber,  // range: the text does not read as a number
    OutOfRange,  // range: beyond the description's min or max
    BetweenSteps,  // range: between two values that its decimals allow
    NotOnOff,  // check: neither "on" nor "off"
    NoParameter,  // the description's parameter has no kind
};

struct Parsed {
    quint32 raw = 0;
    Refusal refusal = Refusal::None;
    bool rounded = false;  // a range's raw value shows another number than the text

    bool ok() const { return refusal == Refusal::None; }
};

// What a range control holds after its set-up: min and max rounded to the
// decimals, max never below min.
struct RangeBounds {
    double minimum = 0.0;
    double maximum = 0.0;
    int decimals = 0;
};
RangeBounds rangeBounds(const ParameterDescription &parameter);

// What the control holds for a raw value: a list's index (-1 when no entry
// has it), a range's number bounded and rounded to its decimals.
int listIndex(const ParameterDescription &parameter, quint32 raw);
double rangeValue(const ParameterDescription &parameter, quint32 raw);
// The number a range's raw value stands for, rounded to its decimals but
// not bounded: what the cells mean when they hold more than the control can.
double rangeNumber(const ParameterDescription &parameter, quint32 raw);

// A list shows its entry (empty when the raw value selects none), a range
// its number with its decimals and suffix ("12.5 V"), a check "on" or "off".
QString toText(const ParameterDescription &parameter, quint32 raw);

// A list takes an entry as written or, when only one matches so, without
// regard to case. A range takes the number with or without its suffix (in
// the shown unit), rounds it to the decimals as the control would and
// refuses it beyond min or max. "on" and "off" are read without regard to
// case.
Parsed fromText(const ParameterDescription &parameter, const QString &text);

// Whether the parameter's control could hold the raw value and so send it:
// a list one of its entries' values, a range a value within its bounds that
// its decimals can show, a check 0 or 1. Anything else the window never
// writes.
Refusal checkRaw(const ParameterDescription &parameter, quint32 raw);

}  // namespace valuetext
