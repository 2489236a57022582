#include "adapterrate.h"

#include <QRegularExpression>

namespace {

constexpr int EighthsClock = 24000000;  // 3 MHz in eighths

}  // namespace

int adapterRunRate(int rate)
{
    if (rate <= 0)
        return 0;
    const int divisor = (2 * EighthsClock + rate) / (2 * rate);
    return divisor > 0 ? EighthsClock / divisor : 0;
}

int askedRate(int runRate, const QList<int> &asked)
{
    for (const int rate : asked) {
        if (adapterRunRate(rate) == runRate)
            return rate;
    }
    return runRate;
}

std::optional<int> tracedRunRate(const QString &line)
{
    static const QRegularExpression setBaud(QStringLiteral("usb_serial_set_baud\\b.*\\bbaud rate (\\d+)"));
    const QRegularExpressionMatch match = setBaud.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toInt();
}
