// The exchange's read modes, its waits and its trace, on a scripted device.
#include "link/exchange.h"
#include "support/scripteddevice.h"

#include <QtTest>

using Pieces = QList<ScriptedDevice::Piece>;
Q_DECLARE_METATYPE(Pieces)

namespace {

const QByteArray Request("rq");

struct Step {
    ExchangeResult result;
    qint64 tookMs = 0;  // on the device's clock, from the write
};

Step runOn(ScriptedDevice &device, SerialExchange &exchange, const ExchangeParams &params)
{
    const qint64 startMs = device.nowMs();
    Step step;
    step.result = exchange.run(Request, params);
    step.tookMs = device.nowMs() - startMs;
    return step;
}

}  // namespace

class ExchangeTest : public QObject
{
    Q_OBJECT

private slots:
    // The request is "rq"; the cable echoes it in front of the reply. Reply
    // wait 100 ms, gathering steps 25 ms, line limit 9.
    void readModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("oneWait");
        QTest::addColumn<int>("pause");
        QTest::addColumn<int>("expected");
        QTest::addColumn<Pieces>("answer");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<bool>("echoed");
        QTest::addColumn<int>("tookMs");

        const int fixed = int(ReadMode::Fixed);
        const int line = int(ReadMode::Line);
        const int gathering = int(ReadMode::Gathering);
        // `tookMs` counts from the write, the pause included.
        QTest::newRow("fixed: silence") << fixed << false << 0 << 4 << Pieces{} << QByteArray() << false << 100;
        QTest::newRow("fixed: echo and reply together")
            << fixed << false << 0 << 4 << Pieces{{"rqab", 10}} << QByteArray("rqab") << true << 10;
        QTest::newRow("fixed: more than expected")
            << fixed << false << 0 << 4 << Pieces{{"rqabcd", 0}} << QByteArray("rqab") << true << 0;
        QTest::newRow("fixed: reply late, within the wait")
            << fixed << false << 0 << 4 << Pieces{{"rq", 0}, {"ab", 90}} << QByteArray("rqab") << true << 90;
        QTest::newRow("fixed: reply in pieces")
            << fixed << false << 0 << 4 << Pieces{{"rq", 1}, {"a", 40}, {"b", 49}} << QByteArray("rqab") << true << 90;
        QTest::newRow("fixed: the wait counts from the end of the pause")
            << fixed << false << 30 << 4 << Pieces{{"rq", 0}, {"ab", 125}} << QByteArray("rqab") << true << 125;
        QTest::newRow("fixed: rest after the wait")
            << fixed << false << 0 << 4 << Pieces{{"rq", 0}, {"ab", 101}} << QByteArray("rq") << true << 100;
        QTest::newRow("fixed: all after the wait")
            << fixed << false << 0 << 4 << Pieces{{"rqab", 101}} << QByteArray() << false << 100;
        QTest::newRow("fixed: stray bytes before the echo end it at once")
            << fixed << false << 0 << 4 << Pieces{{"MO", 0}, {"rqab", 5}} << QByteArray("MO") << false << 0;
        QTest::newRow("fixed: an echo that differs")
            << fixed << false << 0 << 4 << Pieces{{"rXab", 0}} << QByteArray("rXab") << false << 0;
        QTest::newRow("line: silence") << line << true << 0 << 4 << Pieces{} << QByteArray() << false << 100;
        QTest::newRow("line: ends at 0x0A")
            << line << true << 0 << 8 << Pieces{{"rq\ndefgh", 0}} << QByteArray("rq\n") << true << 0;
        QTest::newRow("line: limit") << line << true << 0 << 8 << Pieces{{"rqcdefghijk", 0}} << QByteArray("rqcdefghi")
                                     << true << 0;
        QTest::newRow("line, one wait: what it brings")
            << line << true << 0 << 4 << Pieces{{"rq", 3}, {"ab", 5}} << QByteArray("rq") << true << 3;
        QTest::newRow("line: reply late, within the wait")
            << line << false << 0 << 4 << Pieces{{"rq", 3}, {"ab", 85}} << QByteArray("rqab") << true << 88;
        QTest::newRow("gathering: silence") << gathering << false << 0 << 6 << Pieces{} << QByteArray() << false << 100;
        QTest::newRow("gathering: pieces within the steps")
            << gathering << false << 0 << 6 << Pieces{{"rq", 30}, {"ab", 25}, {"cd", 1}} << QByteArray("rqabcd") << true
            << 56;
        QTest::newRow("gathering: a gap longer than a step, within the wait")
            << gathering << false << 0 << 4 << Pieces{{"rq", 0}, {"ab", 60}} << QByteArray("rqab") << true << 60;
        QTest::newRow("gathering: a step past the wait")
            << gathering << false << 0 << 4 << Pieces{{"rq", 90}, {"ab", 20}} << QByteArray("rqab") << true << 110;
        QTest::newRow("gathering: a quiet step past the wait ends it")
            << gathering << false << 0 << 4 << Pieces{{"rq", 90}, {"ab", 40}} << QByteArray("rq") << true << 115;
        QTest::newRow("gathering: stops when complete")
            << gathering << false << 0 << 4 << Pieces{{"rqab", 0}, {"cd", 1}} << QByteArray("rqab") << true << 0;
        QTest::newRow("gathering: keeps extra bytes that came together")
            << gathering << false << 0 << 4 << Pieces{{"rqabcd", 0}} << QByteArray("rqabcd") << true << 0;
        QTest::newRow("gathering: stray bytes end it at once")
            << gathering << false << 0 << 6 << Pieces{{"MO", 0}, {"rqabcd", 5}} << QByteArray("MO") << false << 0;
    }

    void readModes()
    {
        QFETCH(int, mode);
        QFETCH(bool, oneWait);
        QFETCH(int, pause);
        QFETCH(int, expected);
        QFETCH(Pieces, answer);
        QFETCH(QByteArray, received);
        QFETCH(bool, echoed);
        QFETCH(int, tookMs);

        ScriptedDevice device;
        device.answerNext({{"stale", 0}});
        device.write("x");  // leaves bytes that the next exchange must clear away
        device.waitForReadyRead(0);
        device.answerNext(answer);
        SerialExchange exchange(device, device.lineHooks());
        QList<TraceDirection> directions;
        QList<QByteArray> traced;
        exchange.setTrace([&](TraceDirection direction, const QByteArray &bytes, qint64 elapsedMs) {
            QVERIFY(elapsedMs >= 0);
            directions << direction;
            traced << bytes;
        });

        ExchangeParams params{100, pause, 100, expected, ReadMode(mode), 9, 25};
        params.oneWait = oneWait;
        const Step step = runOn(device, exchange, params);
        QCOMPARE(step.result.portClosed, false);
        QCOMPARE(step.result.sawData, !received.isEmpty());
        QCOMPARE(step.result.received, received);
        QCOMPARE(step.result.echoed, echoed);
        QCOMPARE(step.tookMs, qint64(tookMs));
        QCOMPARE(device.written.last(), Request);
        QCOMPARE(directions, (QList<TraceDirection>{TraceDirection::Sent, TraceDirection::Received}));
        QCOMPARE(traced, (QList<QByteArray>{Request, received}));
    }

    // A device that leaves the system ends the step at once, closed; one
    // that leaves after a whole reply is noticed by the next step.
    void deviceThatLeavesTheSystem_data()
    {
        QTest::addColumn<int>("hangUpAtMs");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<bool>("portClosed");
        QTest::addColumn<int>("tookMs");
        QTest::newRow("before the request") << 0 << false << true << 0;
        QTest::newRow("while the reply is awaited") << 30 << true << true << 30;
        QTest::newRow("after the whole reply") << 80 << true << false << 60;
    }

    void deviceThatLeavesTheSystem()
    {
        QFETCH(int, hangUpAtMs);
        QFETCH(bool, sent);
        QFETCH(bool, portClosed);
        QFETCH(int, tookMs);

        ScriptedDevice device;
        device.answerNext({{"rq", 0}, {"ab", 60}});
        device.hangUpAt(hangUpAtMs);
        SerialExchange exchange(device, device.lineHooks());
        const ExchangeParams params{100, 0, 100, 4, ReadMode::Fixed};
        const Step step = runOn(device, exchange, params);
        QCOMPARE(step.result.portClosed, portClosed);
        QCOMPARE(device.written.isEmpty(), !sent);
        QCOMPARE(step.tookMs, qint64(tookMs));
        QCOMPARE(device.isOpen(), !portClosed);
        if (!portClosed) {
            device.sleep(hangUpAtMs);
            QVERIFY(exchange.run(Request, params).portClosed);
            QVERIFY(!device.isOpen());
        }
    }

    // The reply of an attempt that missed its wait comes during the next
    // one and is taken for its own, which is the same command's: the reply
    // still owed then must not answer the request after.
    void replyOwedByAnEarlierAttemptIsDropped()
    {
        ScriptedDevice device;
        device.answerNext({{"rq", 0}, {"ab", 110}});
        device.answerNext({{"rq", 0}, {"cd", 100}});
        device.answerNext({{"rq", 0}, {"ef", 95}});
        SerialExchange exchange(device, device.lineHooks());
        QList<QByteArray> traced;
        exchange.setTrace([&](TraceDirection direction, const QByteArray &bytes, qint64) {
            if (direction == TraceDirection::Received)
                traced << bytes;
        });
        const ExchangeParams params{100, 0, 100, 4, ReadMode::Fixed};

        const Step first = runOn(device, exchange, params);
        const Step second = runOn(device, exchange, params);
        const Step third = runOn(device, exchange, params);
        QCOMPARE(first.result.received, QByteArray("rq"));
        QCOMPARE(second.result.received, QByteArray("rqab"));
        QCOMPARE(third.result.received, QByteArray("rqef"));
        QCOMPARE(second.tookMs, qint64(100));
        QCOMPARE(traced, (QList<QByteArray>{"rq", "rqabcd", "rqef"}));
    }

    // A stop ends the wait for a reply within one short wait, however long
    // the reply wait is; without a stop the late reply is still taken.
    void stopEndsTheReplyWait_data()
    {
        QTest::addColumn<bool>("stop");
        QTest::addColumn<bool>("sawData");
        QTest::newRow("no stop: the reply at 900 ms counts") << false << true;
        QTest::newRow("stop: the wait ends before it") << true << false;
    }

    void stopEndsTheReplyWait()
    {
        QFETCH(bool, stop);
        QFETCH(bool, sawData);
        ScriptedDevice device;
        device.answerNext({{"abcd", 900}});
        SerialExchange exchange(device, {});
        int asked = 0;
        exchange.setStopCheck([&] {
            ++asked;
            return stop;
        });
        const ExchangeResult result = exchange.run("request", {100, 0, 1000, 4, ReadMode::Fixed});
        QCOMPARE(result.sawData, sawData);
        QCOMPARE(result.received, sawData ? QByteArray("abcd") : QByteArray());
        QVERIFY(asked >= 1);
        if (stop)
            QCOMPARE(asked, 1);
    }

    void closedDeviceSendsNothing()
    {
        ScriptedDevice device;
        device.close();
        int traced = 0;
        SerialExchange exchange(device, {});
        exchange.setTrace([&](TraceDirection, const QByteArray &, qint64) { ++traced; });
        const ExchangeResult result = exchange.run(Request, {100, 0, 100, 4, ReadMode::Fixed});
        QVERIFY(result.portClosed);
        QVERIFY(device.written.isEmpty());
        QCOMPARE(traced, 0);
    }
};

QTEST_GUILESS_MAIN(ExchangeTest)
#include "tst_exchange.moc"
