// A line of controllers behind the simulated cable, driven as a production
// line drives it: through a real QSerialPort on the pseudo terminal, pinging
// until a unit answers and again until only the echo comes back.

#include "controllerline.h"
#include "support/hostport.h"
#include "support/simframes.h"
#include "support/testsupport.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace testsupport::simframes;
using testsupport::ConditionWaitMs;
using testsupport::hex;
using testsupport::HostPort;
using testsupport::silenceMs;

namespace {

const QByteArray vornReadId = hex("554D52C8D5B2319A");  // cell 200
const QByteArray ulmaReadId = hex("4D7240403F");  // cell 64
const QByteArray vornBlock = hex("554D46010203042931CF42");  // of 4 bytes
const QByteArray ulmaBootloaderEntry = hex("4D75706496");
const QByteArray vornWriteCell11To3 = hex("554D570B03B8EF345B");

// Long enough to hear that a unit has left before the next one comes.
constexpr int gapMs = 1500;

LineUnit unit(SimProtocol protocol, quint8 deviceId, int leavesAfterPings)
{
    LineUnit u;
    u.protocol = protocol;
    u.identity.deviceId = deviceId;
    u.leavesAfterPings = leavesAfterPings;
    return u;
}

// The cable echoes until a unit is there; that ping counts as answered.
bool pingUntilAnswered(HostPort &host, const QByteArray &ping, const QByteArray &ok)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ConditionWaitMs) {
        if (host.send(ping, ping.size() + ok.size(), silenceMs) == ping + ok)
            return true;
    }
    return false;
}

struct Visit {
    LineUnit unit;
    qint32 baud;
    QByteArray ping;
    QByteArray ok;
    QByteArray readId;
    QByteArray idReply;
    QByteArray other;  // a request between the pings, answered `ok`
};

}  // namespace

class TestControllerLine : public QObject
{
    Q_OBJECT

private slots:
    void playsUnitAfterUnit()
    {
        const QList<Visit> visits{
            {unit(SimProtocol::Vorn, 21, 2), 115200, vornPing, vornOk, vornReadId, hex("4D155CC7D369"), {}},
            {unit(SimProtocol::Vorn, 9, 3), 115200, vornPing, vornOk, vornReadId, hex("4D09139BD27D"), vornBlock},
            {unit(SimProtocol::UlmaSlow, 12, 2), 4800, ulmaPing, shortOk, ulmaReadId, hex("4D0C59"),
             ulmaBootloaderEntry},
        };
        SimulatedDevice device;
        device.setBlockSize(4);
        QList<LineUnit> units;
        for (const Visit &visit : visits)
            units.append(visit.unit);
        ControllerLine line(device, units, gapMs);
        HostPort host(device.portPath(), 115200);

        for (int i = 0; i < visits.size(); ++i) {
            const Visit &v = visits.at(i);
            host.setBaudRate(v.baud);
            QVERIFY2(pingUntilAnswered(host, v.ping, v.ok), qPrintable(QString("unit %1").arg(i)));
            QCOMPARE(line.arrivedCount(), i + 1);
            QVERIFY(device.receivedBlocks().isEmpty());
            QCOMPARE(host.send(v.readId, v.readId.size() + v.idReply.size()), v.readId + v.idReply);
            if (!v.other.isEmpty())
                QCOMPARE(host.send(v.other, v.other.size() + v.ok.size()), v.other + v.ok);
            for (int ping = 0; ping < v.unit.leavesAfterPings; ++ping)
                QCOMPARE(host.send(v.ping, v.ping.size() + v.ok.size()), v.ping + v.ok);
            QCOMPARE(host.send(v.ping, v.ping.size() + v.ok.size(), silenceMs), v.ping);
            QCOMPARE(line.leftCount(), i + 1);
        }
        QVERIFY(line.waitUntilAllLeft(ConditionWaitMs));
        QCOMPARE(host.send(ulmaPing, ulmaPing.size() + shortOk.size(), gapMs + silenceMs), ulmaPing);
        QCOMPARE(line.arrivedCount(), visits.size());
        QCOMPARE((QList<int>{line.blocksReceived(0), line.blocksReceived(1), line.blocksReceived(2)}),
                 (QList<int>{0, 1, 0}));
        QCOMPARE((QList<int>{line.bootloaderEntries(0), line.bootloaderEntries(1), line.bootloaderEntries(2)}),
                 (QList<int>{0, 0, 1}));
    }

    void stuckCellKeepsItsValueAndLeavesWithItsUnit()
    {
        LineUnit stuck = unit(SimProtocol::Vorn, 21, 2);
        stuck.stuckCells.insert(11, 5);
        SimulatedDevice device;
        ControllerLine line(device, {stuck, unit(SimProtocol::Vorn, 21, 2)}, 0);
        HostPort host(device.portPath(), 115200);

        QVERIFY(pingUntilAnswered(host, vornPing, vornOk));
        QCOMPARE(host.send(vornWriteCell11To3, 15), vornWriteCell11To3 + hex("4D0538D76474"));
        QCOMPARE(int(device.cell(11)), 5);
        QCOMPARE(host.send(vornPing, 14), vornPing + vornOk);
        QCOMPARE(host.send(vornPing, 14), vornPing + vornOk);
        QCOMPARE(line.leftCount(), 1);

        QVERIFY(pingUntilAnswered(host, vornPing, vornOk));
        QCOMPARE(host.send(vornWriteCell11To3, 15), vornWriteCell11To3 + hex("4D030D72079D"));
        QCOMPARE(int(device.cell(11)), 3);
    }
};

QTEST_GUILESS_MAIN(TestControllerLine)
#include "tst_controllerline.moc"
