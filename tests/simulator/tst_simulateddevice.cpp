// The simulated cable and device as the program sees them: through a real
// QSerialPort on the pseudo terminal. Expected frames are written out byte by
// byte so that the simulator's own frame code is not trusted here.

#include "simulateddevice.h"
#include "support/bytes.h"
#include "support/hostport.h"
#include "support/simframes.h"
#include "support/testsupport.h"

#include <QElapsedTimer>
#include <QtTest>

#include <time.h>

using Protocol = SimulatedDevice::Protocol;
Q_DECLARE_METATYPE(SimulatedDevice::Protocol)

using namespace testsupport::simframes;
using testsupport::Arrival;
using testsupport::hex;
using testsupport::HostPort;
using testsupport::silenceMs;

class TestSimulatedDevice : public QObject
{
    Q_OBJECT

private slots:
    void portIsAPseudoTerminal()
    {
        SimulatedDevice device;
        QVERIFY(device.portPath().startsWith("/dev/pts/"));
        HostPort host(device.portPath(), 19200);
        QVERIFY(host.isOpen());
    }

    void cableEchoesEveryByte()
    {
        SimulatedDevice device;
        HostPort host(device.portPath(), 19200);
        QCOMPARE(host.send("KOVA", 4), QByteArray("KOVA"));
        const QByteArray allValues = [] {
            QByteArray bytes;
            for (int i = 0; i < 256; ++i)
                bytes.append(char(i));
            return bytes;
        }();
        QCOMPARE(host.send(allValues, 256), allValues);
        QCOMPARE(device.rawReceived(), QByteArray("KOVA") + allValues);
        QVERIFY(device.requests().isEmpty());
    }

    void detachedDeviceLeavesOnlyTheEcho()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::Vorn);
        device.detachDevice();
        HostPort host(device.portPath(), 115200);
        QCOMPARE(host.send(vornPing, 14, silenceMs), vornPing);
        device.attachDevice(Protocol::Vorn);
        QCOMPARE(host.send(vornPing, 14), vornPing + vornOk);
    }

    void unpluggedCableIsSilent()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::Vorn);
        device.setUnplugged(true);
        HostPort host(device.portPath(), 115200);
        QCOMPARE(host.send(vornPing, 1, silenceMs), QByteArray());
        QVERIFY(device.requests().isEmpty());
        QCOMPARE(device.rawReceived(), vornPing);
        device.setUnplugged(false);
        QCOMPARE(host.send(vornPing, 14), vornPing + vornOk);
    }

    void answersOnlyAtItsOwnSpeed_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<qint32>("baud");
        QTest::addColumn<QByteArray>("ping");
        QTest::addColumn<bool>("answers");

        QTest::newRow("vorn 115200") << Protocol::Vorn << 115200 << vornPing << true;
        QTest::newRow("vorn 9600") << Protocol::Vorn << 9600 << vornPing << false;
        QTest::newRow("kelpa 9600") << Protocol::Kelpa << 9600 << kelpaPing << true;
        QTest::newRow("kelpa 115200") << Protocol::Kelpa << 115200 << kelpaPing << false;
        QTest::newRow("ulma fast 19000") << Protocol::UlmaFast << 19000 << ulmaPing << true;
        QTest::newRow("ulma fast 19200") << Protocol::UlmaFast << 19200 << ulmaPing << false;
        QTest::newRow("ulma fast 4800") << Protocol::UlmaFast << 4800 << ulmaPing << false;
        QTest::newRow("ulma slow 4800") << Protocol::UlmaSlow << 4800 << ulmaPing << true;
        QTest::newRow("ulma slow 19000") << Protocol::UlmaSlow << 19000 << ulmaPing << false;
    }

    void answersOnlyAtItsOwnSpeed()
    {
        QFETCH(Protocol, protocol);
        QFETCH(qint32, baud);
        QFETCH(QByteArray, ping);
        QFETCH(bool, answers);

        SimulatedDevice device;
        device.attachDevice(protocol);
        HostPort host(device.portPath(), baud);
        const QByteArray reply = protocol == Protocol::Vorn ? vornOk : shortOk;
        const QByteArray expected = answers ? ping + reply : ping;
        QCOMPARE(host.send(ping, ping.size() + reply.size(), answers ? 1000 : silenceMs), expected);
        QCOMPARE(device.rawReceived(), ping);
        QCOMPARE(device.requests().size(), answers ? 1 : 0);
    }

    void followsTheSpeedTheProgramSets()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::UlmaFast);
        HostPort host(device.portPath(), 19200);
        QCOMPARE(host.send(ulmaPing, 8, silenceMs), ulmaPing);
        host.setBaudRate(19000);
        QCOMPARE(host.send(ulmaPing, 8), ulmaPing + shortOk);
    }

    void survivesTheProgramReopeningThePort()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::Kelpa);
        {
            HostPort first(device.portPath(), 9600);
            QCOMPARE(first.send(kelpaPing, 9), kelpaPing + shortOk);
        }
        HostPort second(device.portPath(), 9600);
        QVERIFY(second.isOpen());
        QCOMPARE(second.send(kelpaPing, 9), kelpaPing + shortOk);
    }

    void idleAfterTheProgramClosesThePort()
    {
        SimulatedDevice device;
        {
            HostPort host(device.portPath(), 19200);
            QCOMPARE(host.send("KOVA", 4), QByteArray("KOVA"));
        }
        // A master end that keeps reporting a hung-up slave would spin its thread.
        timespec before;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
        QTest::qSleep(300);
        timespec after;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
        const qint64 busyMs = (after.tv_sec - before.tv_sec) * 1000 + (after.tv_nsec - before.tv_nsec) / 1000000;
        QVERIFY2(busyMs < 100, qPrintable(QString::number(busyMs)));
    }

    void readsAndWritesInEachDialect_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<qint32>("baud");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<char>("kind");
        QTest::addColumn<int>("cell");
        QTest::addColumn<int>("valueAfter");

        QTest::newRow("vorn read deviceId")
            << Protocol::Vorn << 115200 << hex("554D52C8D5B2319A") << hex("4D155CC7D369") << 'R' << 200 << 21;
        QTest::newRow("vorn write") << Protocol::Vorn << 115200 << hex("554D5705072F06DAC2") << hex("4D0714B66A9A")
                                    << 'W' << 5 << 7;
        QTest::newRow("kelpa read deviceId")
            << Protocol::Kelpa << 9600 << hex("554D5240300F") << hex("4D0754") << 'R' << 64 << 7;
        QTest::newRow("kelpa write") << Protocol::Kelpa << 9600 << hex("554D570507B0") << hex("4D0754") << 'W' << 5
                                     << 7;
        QTest::newRow("ulma slow read") << Protocol::UlmaSlow << 4800 << hex("4D72C8C84F") << hex("4D0C59") << 'R'
                                        << 200 << 12;
        QTest::newRow("ulma fast write") << Protocol::UlmaFast << 19000 << hex("4D770507D0") << hex("4D0754") << 'W'
                                         << 5 << 7;
    }

    void readsAndWritesInEachDialect()
    {
        QFETCH(Protocol, protocol);
        QFETCH(qint32, baud);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(char, kind);
        QFETCH(int, cell);
        QFETCH(int, valueAfter);

        SimulatedDevice device;
        device.attachDevice(protocol);
        device.setIdentity(protocol == Protocol::Vorn ? 21 : 7, 2, 3, 4, 13, 1);
        device.setCell(200, protocol == Protocol::Vorn ? 21 : 12);
        HostPort host(device.portPath(), baud);
        QCOMPARE(host.send(request, request.size() + reply.size()), request + reply);
        QCOMPARE(int(device.cell(cell)), valueAfter);

        const QList<SimRequest> log = device.requests();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().kind, kind);
        QCOMPARE(log.first().cell, cell);
        QCOMPARE(log.first().value, valueAfter);
        QCOMPARE(log.first().raw, request);
        QVERIFY(log.first().answered);
    }

    void writeIsBoundedByTheCellLimits()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::Vorn);
        device.setCellLimits(10, 10, 100);
        HostPort host(device.portPath(), 115200);
        // Write 250 into cell 10; the device stores and answers 100.
        QCOMPARE(host.send(hex("554D570AFA41944E86"), 15), hex("554D570AFA41944E86") + hex("4D64F686D14E"));
        QCOMPARE(int(device.cell(10)), 100);
    }

    void requestWithAWrongCheckGetsOnlyTheEcho()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::Vorn);
        HostPort host(device.portPath(), 115200);
        const QByteArray badPing = hex("554D5354FB5C937B");
        QCOMPARE(host.send(badPing, 14, silenceMs), badPing);
        QVERIFY(device.requests().isEmpty());
    }

    void answersAfterLeadingGarbage()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::Kelpa);
        HostPort host(device.portPath(), 9600);
        const QByteArray noisy = hex("00FF55") + kelpaPing;
        QCOMPARE(host.send(noisy, noisy.size() + 3), noisy + shortOk);
    }

    void unfinishedFrameIsForgotten()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::UlmaFast);
        device.setBlockSize(64);
        HostPort host(device.portPath(), 19000);
        // "Mf" could start a block frame; left alone it must not swallow the ping.
        QCOMPARE(host.send(hex("4D66"), 2), hex("4D66"));
        QTest::qWait(150);
        QCOMPARE(host.send(ulmaPing, 8), ulmaPing + shortOk);
    }

    void garbledReplyHasAWrongCheck()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::Kelpa);
        device.setGarbleReplies(true);
        HostPort host(device.portPath(), 9600);
        QCOMPARE(host.send(kelpaPing, 9), kelpaPing + hex("4D4F63"));
    }

    void droppedRepliesLeaveOnlyTheEcho()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::Vorn);
        device.dropReplies(2);
        HostPort host(device.portPath(), 115200);
        QCOMPARE(host.send(vornPing, 14, silenceMs), vornPing);
        QCOMPARE(host.send(vornPing, 14, silenceMs), vornPing);
        QCOMPARE(host.send(vornPing, 14), vornPing + vornOk);
        const QList<SimRequest> log = device.requests();
        QCOMPARE(log.size(), 3);
        QVERIFY(!log.at(0).answered);
        QVERIFY(!log.at(1).answered);
        QVERIFY(log.at(2).answered);
    }

    void failedCellIsNeverAnswered()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::Kelpa);
        device.setCell(64, 7);
        device.failCell(64);
        HostPort host(device.portPath(), 9600);
        const QByteArray read64 = hex("554D5240300F");
        QCOMPARE(host.send(read64, 9, silenceMs), read64);
        QCOMPARE(host.send(read64, 9, silenceMs), read64);
        QCOMPARE(host.send(kelpaPing, 9), kelpaPing + shortOk);
    }

    void splitReplyArrivesInPieces()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::Vorn);
        device.setSplitReplies(3, 60);
        HostPort host(device.portPath(), 115200);
        QCOMPARE(host.send(vornPing, 14), vornPing + vornOk);
        const QList<Arrival> arrivals = host.arrivals();
        QVERIFY2(arrivals.size() >= 3, "reply came in one go");
        QVERIFY2(arrivals.last().atMs >= 110, qPrintable(QString::number(arrivals.last().atMs)));
    }

    void latencyDelaysTheReplyButNotTheEcho()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::Kelpa);
        device.setAnswerLatencyMs(150);
        HostPort host(device.portPath(), 9600);
        QCOMPARE(host.send(kelpaPing, 9), kelpaPing + shortOk);
        const QList<Arrival> arrivals = host.arrivals();
        QCOMPARE(arrivals.first().totalBytes, kelpaPing.size());
        QVERIFY(arrivals.first().atMs < 100);
        QVERIFY(arrivals.last().atMs >= 145);
    }

    void lateRepliesComeAfterTheEchoButPingsAtOnce()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::Kelpa);
        device.setCell(64, 7);
        device.setLateReplies(150, 3);
        HostPort host(device.portPath(), 9600);
        QCOMPARE(host.send(kelpaPing, 9), kelpaPing + shortOk);
        QVERIFY(host.arrivals().last().atMs < 100);

        const QByteArray read64 = hex("554D5240300F");
        QCOMPARE(host.send(read64, 9), read64 + hex("4D0754"));
        const QList<Arrival> arrivals = host.arrivals();
        QCOMPARE(arrivals.first().totalBytes, read64.size());
        QVERIFY(arrivals.first().atMs < 100);
        QVERIFY2(arrivals.size() >= 3, "reply came in one go");
        QVERIFY(arrivals.last().atMs >= 145);
    }

    void blockFramesAreRecordedAndAcknowledged_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<qint32>("baud");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("badFrame");
        QTest::addColumn<QByteArray>("ack");

        QTest::newRow("kelpa") << Protocol::Kelpa << 9600 << hex("554D46010203042BA1") << hex("554D46010203042BA0")
                               << shortOk;
        QTest::newRow("ulma") << Protocol::UlmaFast << 19000 << hex("4D6601020304C1A6") << hex("4D6601020304A6C1")
                              << shortOk;
        QTest::newRow("vorn") << Protocol::Vorn << 115200 << hex("554D46010203042931CF42")
                              << hex("554D46010203042931CF43") << vornOk;
    }

    void blockFramesAreRecordedAndAcknowledged()
    {
        QFETCH(Protocol, protocol);
        QFETCH(qint32, baud);
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, badFrame);
        QFETCH(QByteArray, ack);

        SimulatedDevice device;
        device.attachDevice(protocol);
        device.setBlockSize(4);
        HostPort host(device.portPath(), baud);
        QCOMPARE(host.send(frame, frame.size() + ack.size()), frame + ack);
        QCOMPARE(host.send(badFrame, badFrame.size() + ack.size(), silenceMs), badFrame);
        QCOMPARE(device.receivedBlocks(), QList<QByteArray>{hex("01020304")});
        QCOMPARE(device.requests().size(), 1);
        QCOMPARE(device.requests().first().kind, 'F');
    }

    void acknowledgementInPiecesWithExtraBytes()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::Vorn);
        device.setBlockSize(4);
        device.setAckInPieces(true);
        device.setAckExtraBytes(2);
        HostPort host(device.portPath(), 115200);
        const QByteArray frame = hex("554D46010203042931CF42");
        QCOMPARE(host.send(frame, frame.size() + 8), frame + vornOk + hex("0000"));
        const QList<Arrival> arrivals = host.arrivals();
        QVERIFY2(arrivals.size() >= 4, "acknowledgement came in one go");
        // Six single bytes, 20 ms apart, none of the gaps much longer.
        QVERIFY(arrivals.last().atMs >= 95);
        for (int i = 1; i < arrivals.size(); ++i)
            QVERIFY(arrivals.at(i).atMs - arrivals.at(i - 1).atMs < 50);
    }

    void refusedBlockIsNeverAcknowledged()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::Kelpa);
        device.setBlockSize(4);
        device.neverAcknowledgeBlock(1);
        HostPort host(device.portPath(), 9600);
        const QByteArray frame = hex("554D46010203042BA1");
        QCOMPARE(host.send(frame, 12), frame + shortOk);
        QCOMPARE(host.send(frame, 12, silenceMs), frame);
        QCOMPARE(host.send(frame, 12, silenceMs), frame);
        QCOMPARE(device.receivedBlocks().size(), 3);
    }

    void uploadChangesTheReportedFirmware()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::Kelpa);
        device.setIdentity(7, 1, 1, 4, 13, 0);
        device.setBlockSize(4);
        device.setFirmwareAfterUpload(5, 2, 0, 1);
        HostPort host(device.portPath(), 9600);
        const QByteArray frame = hex("554D46010203042BA1");
        const QByteArray readMajor = hex("554D52413010");
        QCOMPARE(host.send(frame, 12), frame + shortOk);
        QCOMPARE(host.send(readMajor, 9), readMajor + hex("4D0451"));
        QCOMPARE(host.send(frame, 12), frame + shortOk);
        QCOMPARE(host.send(readMajor, 9), readMajor + hex("4D0552"));
    }

    void ulmaBootloaderEntry()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::UlmaSlow);
        HostPort host(device.portPath(), 4800);
        const QByteArray entry = hex("4D75706496");
        QCOMPARE(host.send(entry, 8), entry + shortOk);
        QCOMPARE(device.bootloaderEntries(), 1);
        QCOMPARE(device.requests().first().kind, 'U');
    }

    void wireTimingTakesTenBitsPerByte()
    {
        SimulatedDevice device;
        device.setWireTiming(true);
        HostPort host(device.portPath(), 9600);
        const QByteArray bytes(100, 'x');
        QCOMPARE(host.send(bytes, 100), bytes);
        // 100 bytes of 10 bits at 9600 baud: 104 ms.
        const qint64 took = host.arrivals().last().atMs;
        QVERIFY2(took >= 95 && took < 400, qPrintable(QString::number(took)));
        // Paced, not sent in one burst at the end.
        QVERIFY(host.arrivals().size() >= 3);

        host.setBaudRate(115200);
        QCOMPARE(host.send(bytes, 100), bytes);
        QVERIFY(host.arrivals().last().atMs < 60);
    }

    void wireTimingPacesTheReplyAfterTheEcho()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::UlmaSlow);
        device.setWireTiming(true);
        device.setAnswerLatencyMs(20);
        HostPort host(device.portPath(), 4800);
        // 5 bytes echo + 20 ms + 3 bytes reply, 2.08 ms per byte: about 37 ms.
        QCOMPARE(host.send(ulmaPing, 8), ulmaPing + shortOk);
        const qint64 took = host.arrivals().last().atMs;
        QVERIFY2(took >= 33 && took < 200, qPrintable(QString::number(took)));
    }

    void requestLog()
    {
        SimulatedDevice device;
        device.attachDevice(Protocol::Vorn);
        QList<char> heard;
        device.setRequestListener([&heard](const SimRequest &request) { heard.append(request.kind); });
        HostPort host(device.portPath(), 115200);
        QElapsedTimer clock;
        clock.start();
        const qint64 before = clock.msecsSinceReference();
        host.send(vornPing, 14);
        host.send(hex("554D52C8D5B2319A"), 14);
        QVERIFY(device.waitForRequests(2, testsupport::ConditionWaitMs));
        QVERIFY(!device.waitForRequests(3, 50));
        const QList<SimRequest> log = device.requests();
        QCOMPARE(log.at(0).kind, 'S');
        QCOMPARE(log.at(1).kind, 'R');
        QVERIFY(log.at(0).atMs >= before - 1);
        QVERIFY(log.at(1).atMs >= log.at(0).atMs);
        clock.start();
        QVERIFY(log.at(1).atMs <= clock.msecsSinceReference());
        QCOMPARE(heard, (QList<char>{'S', 'R'}));
        QCOMPARE(device.rawReceived(), vornPing + hex("554D52C8D5B2319A"));

        device.clearRequests();
        device.clearRawReceived();
        QVERIFY(device.requests().isEmpty());
        QVERIFY(device.rawReceived().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSimulatedDevice)
#include "tst_simulateddevice.moc"
