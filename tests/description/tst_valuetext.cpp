#include "description/valuetext.h"

#include <QTest>

#include <algorithm>

using valuetext::Refusal;

Q_DECLARE_METATYPE(ParameterDescription)
Q_DECLARE_METATYPE(Refusal)

namespace {

ParameterDescription list(const QStringList &entries, double offset = 0, double scale = 1)
{
    ParameterDescription p;
    p.kind = ParameterKind::List;
    p.entries = entries;
    p.offset = offset;
    p.scale = scale;
    return p;
}

ParameterDescription range(double min, double max, uint decimals, const QString &suffix, double offset = 0,
                           double scale = 1)
{
    ParameterDescription p;
    p.kind = ParameterKind::Range;
    p.min = min;
    p.max = max;
    p.decimals = decimals;
    p.suffix = suffix;
    p.offset = offset;
    p.scale = scale;
    return p;
}

ParameterDescription check()
{
    ParameterDescription p;
    p.kind = ParameterKind::Check;
    return p;
}

}  // namespace

class TestValueText : public QObject
{
    Q_OBJECT

private slots:
    // `text` (when not null) must read as `raw` or be refused; `shown` (when
    // not null) is what `raw` shows as.
    void convertsText_data()
    {
        QTest::addColumn<ParameterDescription>("parameter");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Refusal>("refusal");
        QTest::addColumn<uint>("raw");
        QTest::addColumn<QString>("shown");

        const ParameterDescription timing = list({"Auto", "Low", "High"}, 1);
        QTest::newRow("list entry") << timing << "Low" << Refusal::None << 2u << "Low";
        QTest::newRow("list without regard to case") << timing << "hIGH" << Refusal::None << 3u << QString();
        const ParameterDescription cased = list({"Off", "OFF", "on"});
        QTest::newRow("list: the entry as written first") << cased << "OFF" << Refusal::None << 1u << QString();
        QTest::newRow("list: two entries match without case")
            << cased << "off" << Refusal::NotAnEntry << 0u << QString();
        QTest::newRow("list: no entry") << timing << "Medium" << Refusal::NotAnEntry << 0u << QString();
        QTest::newRow("list: raw without entry shows nothing") << timing << QString() << Refusal::None << 9u << "";
        QTest::newRow("list: raw below the entries shows nothing") << timing << QString() << Refusal::None << 0u << "";
        QTest::newRow("list scale 2 truncates") << list({"a", "b"}, 0, 2) << QString() << Refusal::None << 3u << "b";

        const ParameterDescription volts = range(0, 25.5, 1, " V", 0, 10);
        QTest::newRow("range with suffix") << volts << "12.3 V" << Refusal::None << 123u << "12.3 V";
        QTest::newRow("range without suffix") << volts << " 12.3" << Refusal::None << 123u << "12.3 V";
        QTest::newRow("range: suffix in another case") << volts << "12.3v" << Refusal::None << 123u << QString();
        QTest::newRow("range rounded to its decimals") << volts << "12.34" << Refusal::None << 123u << QString();
        QTest::newRow("range at max") << volts << "25.5" << Refusal::None << 255u << "25.5 V";
        QTest::newRow("range above max") << volts << "25.6" << Refusal::OutOfRange << 0u << QString();
        QTest::newRow("range below min") << volts << "-0.1 V" << Refusal::OutOfRange << 0u << QString();
        QTest::newRow("range: raw beyond max shows max") << volts << QString() << Refusal::None << 300u << "25.5 V";
        QTest::newRow("range: decimal comma") << volts << "1,5" << Refusal::NotANumber << 0u << QString();
        QTest::newRow("range: not a number") << volts << "high" << Refusal::NotANumber << 0u << QString();
        QTest::newRow("range: infinity") << volts << "inf" << Refusal::NotANumber << 0u << QString();
        const ParameterDescription temperature = range(-40, 120, 0, " C", 40);
        QTest::newRow("range offset 40 at -40") << temperature << "-40 C" << Refusal::None << 0u << "-40 C";
        QTest::newRow("range offset 40 at 85") << temperature << "85" << Refusal::None << 125u << "85 C";
        QTest::newRow("range rounded as the spin box rounds")
            << range(0, 100, 0, "", 0, 4) << QString() << Refusal::None << 10u << "3";
        QTest::newRow("range: max below min holds min") << range(5, 2, 0, "") << "5" << Refusal::None << 5u << "5";

        QTest::newRow("check on") << check() << "on" << Refusal::None << 1u << "on";
        QTest::newRow("check off") << check() << "OFF" << Refusal::None << 0u << "off";
        QTest::newRow("check: any other raw is on") << check() << QString() << Refusal::None << 7u << "on";
        QTest::newRow("check: not on or off") << check() << "1" << Refusal::NotOnOff << 0u << QString();
        QTest::newRow("no kind") << ParameterDescription() << "x" << Refusal::NoParameter << 0u << "";
    }

    void convertsText()
    {
        QFETCH(ParameterDescription, parameter);
        QFETCH(QString, text);
        QFETCH(Refusal, refusal);
        QFETCH(uint, raw);
        QFETCH(QString, shown);

        if (!text.isNull()) {
            const valuetext::Parsed parsed = valuetext::fromText(parameter, text);
            QCOMPARE(parsed.refusal, refusal);
            QCOMPARE(parsed.raw, raw);
        }
        if (!shown.isNull())
            QCOMPARE(valuetext::toText(parameter, raw), shown);
    }

    // A number that the device will show otherwise is flagged as rounded.
    void flagsRounding_data()
    {
        QTest::addColumn<ParameterDescription>("parameter");
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("raw");
        QTest::addColumn<bool>("rounded");

        const ParameterDescription volts = range(0, 25.5, 1, " V", 0, 10);
        QTest::newRow("on a step") << volts << "12.3 V" << 123u << false;
        QTest::newRow("trailing zero") << volts << "12.30" << 123u << false;
        QTest::newRow("beyond the decimals") << volts << "12.34" << 123u << true;
        const ParameterDescription quarter = range(1000, 1300, 0, " us", -1000, 0.25);
        QTest::newRow("a step of the scale") << quarter << "1104" << 26u << false;
        QTest::newRow("between steps of the scale") << quarter << "1101" << 25u << true;
        QTest::newRow("hundredths with an offset") << range(2.9, 3.6, 2, "", -2.5, 100) << "3.3" << 80u << false;
    }

    void flagsRounding()
    {
        QFETCH(ParameterDescription, parameter);
        QFETCH(QString, text);
        QFETCH(uint, raw);
        QFETCH(bool, rounded);
        const valuetext::Parsed parsed = valuetext::fromText(parameter, text);
        QVERIFY(parsed.ok());
        QCOMPARE(parsed.raw, raw);
        QCOMPARE(parsed.rounded, rounded);
    }

    // Which raw values the parameter's control could hold and so send, and
    // the number a range's raw value means, bounded or not.
    void checksRaw_data()
    {
        QTest::addColumn<ParameterDescription>("parameter");
        QTest::addColumn<uint>("raw");
        QTest::addColumn<Refusal>("refusal");
        QTest::addColumn<double>("number");  // a range's; 0 for the rest

        const ParameterDescription timing = list({"Auto", "Low", "High"}, 1);
        QTest::newRow("list: first entry") << timing << 1u << Refusal::None << 0.0;
        QTest::newRow("list: last entry") << timing << 3u << Refusal::None << 0.0;
        QTest::newRow("list: below the entries") << timing << 0u << Refusal::NotAnEntry << 0.0;
        QTest::newRow("list: beyond the entries") << timing << 4u << Refusal::NotAnEntry << 0.0;
        const ParameterDescription kilohertz = list({"8", "16", "24"}, 1, 8);
        QTest::newRow("list scale 8: an entry") << kilohertz << 16u << Refusal::None << 0.0;
        QTest::newRow("list scale 8: between entries") << kilohertz << 17u << Refusal::NotAnEntry << 0.0;

        const ParameterDescription volts = range(1, 25.5, 1, " V", 0, 10);
        QTest::newRow("range at min") << volts << 10u << Refusal::None << 1.0;
        QTest::newRow("range at max") << volts << 255u << Refusal::None << 25.5;
        QTest::newRow("range below min") << volts << 9u << Refusal::OutOfRange << 0.9;
        QTest::newRow("range above max") << range(1, 25, 0, " %") << 200u << Refusal::OutOfRange << 200.0;
        QTest::newRow("range two cells above max")
            << range(1000, 4000, 0, " rpm") << 65535u << Refusal::OutOfRange << 65535.0;
        QTest::newRow("range: a step its decimals show") << range(0, 25, 1, "", 0, 10) << 123u << Refusal::None << 12.3;
        QTest::newRow("range: between two steps")
            << range(0, 250, 0, "", 0, 10) << 123u << Refusal::BetweenSteps << 12.0;
        QTest::newRow("range: hundredths with an offset")
            << range(2.9, 3.6, 2, "", -2.5, 100) << 61u << Refusal::None << 3.11;
        QTest::newRow("range: quarter scale")
            << range(1000, 1300, 0, "", -1000, 0.25) << 25u << Refusal::None << 1100.0;

        QTest::newRow("check off") << check() << 0u << Refusal::None << 0.0;
        QTest::newRow("check on") << check() << 1u << Refusal::None << 0.0;
        QTest::newRow("check 2") << check() << 2u << Refusal::NotOnOff << 0.0;
        QTest::newRow("no kind") << ParameterDescription() << 0u << Refusal::NoParameter << 0.0;
    }

    void checksRaw()
    {
        QFETCH(ParameterDescription, parameter);
        QFETCH(uint, raw);
        QFETCH(Refusal, refusal);
        QFETCH(double, number);
        QCOMPARE(valuetext::checkRaw(parameter, raw), refusal);
        if (parameter.kind == ParameterKind::Range) {
            QCOMPARE(valuetext::rangeNumber(parameter, raw), number);
            const valuetext::RangeBounds bounds = valuetext::rangeBounds(parameter);
            QCOMPARE(valuetext::rangeValue(parameter, raw), std::clamp(number, bounds.minimum, bounds.maximum));
        }
    }
};

QTEST_GUILESS_MAIN(TestValueText)
#include "tst_valuetext.moc"
