// The exchange's three read modes and its trace, on a scripted device.
#include "link/exchange.h"
#include "support/scripteddevice.h"

#include <QtTest>

using Pieces = QList<ScriptedDevice::Piece>;
Q_DECLARE_METATYPE(Pieces)
Q_DECLARE_METATYPE(ReadMode)

class ExchangeTest : public QObject
{
    Q_OBJECT

private slots:
    void readModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("expected");
        QTest::addColumn<Pieces>("answer");
        QTest::addColumn<bool>("sawData");
        QTest::addColumn<QByteArray>("received");

        const int fixed = int(ReadMode::Fixed);
        const int line = int(ReadMode::Line);
        const int gathering = int(ReadMode::Gathering);
        // Reply wait 100 ms, gathering steps 25 ms, line limit 9.
        QTest::newRow("fixed: silence") << fixed << 4 << Pieces{} << false << QByteArray();
        QTest::newRow("fixed: exactly") << fixed << 4 << Pieces{{"abcd", 10}} << true << QByteArray("abcd");
        QTest::newRow("fixed: more than expected") << fixed << 4 << Pieces{{"abcdef", 0}} << true << QByteArray("abcd");
        QTest::newRow("fixed: too few") << fixed << 4 << Pieces{{"abc", 0}} << true << QByteArray();
        QTest::newRow("fixed: rest comes late") << fixed << 4 << Pieces{{"ab", 0}, {"cd", 5}} << true << QByteArray();
        QTest::newRow("fixed: after the reply wait") << fixed << 4 << Pieces{{"abcd", 101}} << false << QByteArray();
        QTest::newRow("line: silence") << line << 8 << Pieces{} << false << QByteArray();
        QTest::newRow("line: ends at 0x0A") << line << 8 << Pieces{{"abc\ndefgh", 0}} << true << QByteArray("abc\n");
        QTest::newRow("line: limit") << line << 8 << Pieces{{"abcdefghijk", 0}} << true << QByteArray("abcdefghi");
        QTest::newRow("line: what is there") << line << 8 << Pieces{{"abc", 0}, {"def", 5}} << true << QByteArray("abc");
        QTest::newRow("gathering: silence") << gathering << 6 << Pieces{} << false << QByteArray();
        QTest::newRow("gathering: pieces within the steps")
            << gathering << 6 << Pieces{{"ab", 30}, {"cd", 25}, {"ef", 1}} << true << QByteArray("abcdef");
        QTest::newRow("gathering: a gap longer than a step")
            << gathering << 6 << Pieces{{"ab", 0}, {"cd", 26}} << true << QByteArray("ab");
        QTest::newRow("gathering: stops when complete")
            << gathering << 2 << Pieces{{"ab", 0}, {"cd", 1}} << true << QByteArray("ab");
        QTest::newRow("gathering: keeps extra bytes that came together")
            << gathering << 2 << Pieces{{"abcd", 0}} << true << QByteArray("abcd");
    }

    void readModes()
    {
        QFETCH(int, mode);
        QFETCH(int, expected);
        QFETCH(Pieces, answer);
        QFETCH(bool, sawData);
        QFETCH(QByteArray, received);

        ScriptedDevice device;
        device.answerNext({{"stale", 0}});
        device.write("x");  // leaves bytes that the next exchange must clear away
        device.waitForReadyRead(0);
        device.answerNext(answer);
        SerialExchange exchange(device, [&device] { device.discardPending(); });
        QList<TraceDirection> directions;
        QList<QByteArray> traced;
        exchange.setTrace([&](TraceDirection direction, const QByteArray &bytes, qint64 elapsedMs) {
            QVERIFY(elapsedMs >= 0);
            directions << direction;
            traced << bytes;
        });

        const ExchangeParams params{100, 0, 100, expected, ReadMode(mode), 9, 25};
        const ExchangeResult result = exchange.run("request", params);
        QCOMPARE(result.portClosed, false);
        QCOMPARE(result.sawData, sawData);
        QCOMPARE(result.received, received);
        QCOMPARE(device.written.last(), QByteArray("request"));
        QCOMPARE(directions, (QList<TraceDirection>{TraceDirection::Sent, TraceDirection::Received}));
        QCOMPARE(traced, (QList<QByteArray>{"request", received}));
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
        const ExchangeResult result = exchange.run("request", {100, 0, 100, 4, ReadMode::Fixed});
        QVERIFY(result.portClosed);
        QVERIFY(device.written.isEmpty());
        QCOMPARE(traced, 0);
    }
};

QTEST_GUILESS_MAIN(ExchangeTest)
#include "tst_exchange.moc"
