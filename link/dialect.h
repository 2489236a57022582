#pragma once

#include <QtGlobal>

#include <algorithm>
#include <iterator>

// The values are what the controller's `dialect` byte holds.
// Not in the order they are tried, on purpose: docs/compatibility.md
enum DialectSetting : quint8 { Kelpa = 0, UlmaFast = 1, UlmaSlow = 2, Vorn = 3 };

// Fixed numbers: docs/compatibility.md
enum PingResult { Silent = 0, EchoOnly = 1, Answered = 2, Garbled = 3 };

enum class Dialect { Vorn, Kelpa, Ulma };

inline Dialect dialectOf(DialectSetting setting)
{
    switch (setting) {
    case Kelpa: return Dialect::Kelpa;
    case UlmaFast:
    case UlmaSlow: return Dialect::Ulma;
    case Vorn: break;
    }
    return Dialect::Vorn;
}

// 19000, not 19200: docs/compatibility.md
inline qint32 baudRateOf(DialectSetting setting)
{
    switch (setting) {
    case Kelpa: return 9600;
    case UlmaFast: return 19000;
    case UlmaSlow: return 4800;
    case Vorn: break;
    }
    return 115200;
}

// The order the dialects are tried in, from the first.
inline constexpr DialectSetting DialectOrder[] = {Vorn, Kelpa, UlmaFast, UlmaSlow};

// The one after `setting` in DialectOrder, the first again after the last.
inline DialectSetting nextDialect(DialectSetting setting)
{
    const DialectSetting *found = std::find(std::begin(DialectOrder), std::end(DialectOrder), setting);
    if (found == std::end(DialectOrder) || std::next(found) == std::end(DialectOrder))
        return DialectOrder[0];
    return *std::next(found);
}
