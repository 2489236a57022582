// The device link end to end: the real BusController and QSerialPort against
// the simulated cable and controller on a pseudo-terminal.
#include "device/buscontroller.h"
#include "device/deviceimage.h"
#include "firmware/firmwarepackage.h"
#include "link/portsettingfile.h"
#include "link/untrustedini.h"
#include "simulateddevice.h"
#include "support/bytes.h"
#include "support/portpuller.h"
#include "support/testsupport.h"

#include <QSerialPort>
#include <QtTest>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace {

const QByteArray VornPing = QByteArray::fromHex("554D5354FB5C937A");
const QByteArray KelpaPing = QByteArray::fromHex("554D53455439");
const QByteArray UlmaPing = QByteArray::fromHex("4D73657499");

QList<int> cellsOf(const QList<SimRequest> &requests, char kind)
{
    QList<int> cells;
    for (const SimRequest &request : requests)
        if (request.kind == kind)
            cells << request.cell;
    return cells;
}

// A cable that answers whatever it receives with fixed bytes: for echo
// scans that come back short or too long.
class OddCable
{
public:
    explicit OddCable(QByteArray answer) : answer(std::move(answer))
    {
        char name[64] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        path = QString::fromLatin1(name);
        worker = std::thread([this] { run(); });
    }
    ~OddCable()
    {
        stop = true;
        if (worker.joinable())
            worker.join();
        ::close(master);
        ::close(slave);
    }
    QString path;

private:
    void run()
    {
        char buffer[64];
        while (!stop) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(master, &readable);
            timeval wait{0, 20000};
            if (select(master + 1, &readable, nullptr, nullptr, &wait) > 0 && ::read(master, buffer, sizeof buffer) > 0)
                (void)!::write(master, answer.constData(), size_t(answer.size()));
        }
    }
    QByteArray answer;
    int master = -1;
    int slave = -1;
    std::atomic<bool> stop{false};
    std::thread worker;
};

using Request = std::function<void(BusController &)>;

}  // namespace

Q_DECLARE_METATYPE(Request)

class BusControllerTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimulatedDevice> sim;
    std::unique_ptr<DeviceImage> image;
    std::unique_ptr<BusController> link;
    std::unique_ptr<QSignalSpy> constructs;
    std::unique_ptr<QSignalSpy> destroys;
    std::unique_ptr<QSignalSpy> statuses;

    void startLink(BusController::PortLister lister = [] { return QStringList(); })
    {
        link = std::make_unique<BusController>(nullptr, image.get(), lister);
        constructs = std::make_unique<QSignalSpy>(link.get(), &BusController::doConstructDevice);
        destroys = std::make_unique<QSignalSpy>(link.get(), &BusController::doDestroyDevice);
        statuses = std::make_unique<QSignalSpy>(link.get(), qOverload<QString, QString>(&BusController::sendStatus));
        // What the window does on these signals, as far as the link can see.
        connect(link.get(), &BusController::doConstructDevice, link.get(), [this] { image->constructed = 1; });
        connect(link.get(), &BusController::doDestroyDevice, link.get(), [this] { image->constructed = 0; });
    }

    void connectTo(SimulatedDevice::Protocol protocol)
    {
        sim->attachDevice(protocol);
        testsupport::writePortSetting(sim->portPath());
        startLink();
        QTRY_COMPARE_WITH_TIMEOUT(constructs->count(), 1, testsupport::ConditionWaitMs);
        sim->clearRequests();
        sim->clearRawReceived();
    }

    static bool writeSettingFile(const QByteArray &content)
    {
        return testsupport::writeFile(testsupport::portSettingPath(), content);
    }

    static QByteArray settingFile() { return testsupport::readFile(testsupport::portSettingPath()); }

    // A byte array as the toolkit's settings writer serialises it, raw.
    static QByteArray serialisedText(const QByteArray &bytes)
    {
        QByteArray object("@Variant(\0\0\0\x0c", 13);
        for (int shift = 24; shift >= 0; shift -= 8)
            object += char(bytes.size() >> shift);
        return object + bytes + ')';
    }

    bool sawStatus(const QString &color, const QString &text) const
    {
        for (const QList<QVariant> &status : *statuses)
            if (status.at(0).toString() == color && status.at(1).toString() == text)
                return true;
        return false;
    }

    void useCells(std::initializer_list<int> cells)
    {
        for (int cell : cells)
            image->cells[cell].used = 1;
    }

private slots:
    void init()
    {
        QFile::remove(testsupport::portSettingPath());
        sim = std::make_unique<SimulatedDevice>();
        QVERIFY(!sim->portPath().isEmpty());
        image = std::make_unique<DeviceImage>();
    }

    void cleanup()
    {
        statuses.reset();
        destroys.reset();
        constructs.reset();
        link.reset();
        sim.reset();
    }

    // First on purpose: the miss count lives for the whole process and
    // starts out as if no device had ever answered.
    void echoOnlyCyclesThroughTheDialects()
    {
        testsupport::writePortSetting(sim->portPath());
        startLink();
        const QByteArray cycle = VornPing + KelpaPing + UlmaPing + UlmaPing + VornPing + KelpaPing;
        QTRY_VERIFY_WITH_TIMEOUT(sim->rawReceived().size() >= cycle.size(), testsupport::ConditionWaitMs);
        QCOMPARE(sim->rawReceived().left(cycle.size()).toHex(' '), cycle.toHex(' '));
        const QString portName = QString(sim->portPath()).remove("/dev/");
        QVERIFY(sawStatus("yellow", " USB-cable connected to " + portName));
        QCOMPARE(destroys->count(), 0);  // nothing was there to lose
    }

    void identityPerDialect_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QList<int>>("identityCells");
        QTest::addColumn<int>("pingsBeforeAnswer");
        QTest::newRow("Vorn") << int(SimulatedDevice::Protocol::Vorn) << QList<int>{200, 203, 202, 205, 206, 212} << 1;
        QTest::newRow("Kelpa") << int(SimulatedDevice::Protocol::Kelpa) << QList<int>{64, 65, 66} << 2;
        QTest::newRow("Ulma 19000") << int(SimulatedDevice::Protocol::UlmaFast) << QList<int>{64, 65, 66} << 3;
        QTest::newRow("Ulma 4800") << int(SimulatedDevice::Protocol::UlmaSlow) << QList<int>{64, 65, 66} << 4;
    }

    void identityPerDialect()
    {
        QFETCH(int, protocol);
        QFETCH(QList<int>, identityCells);
        QFETCH(int, pingsBeforeAnswer);
        sim->attachDevice(SimulatedDevice::Protocol(protocol));
        sim->setIdentity(21, 2, 3, 4, 12, 0xFF);
        testsupport::writePortSetting(sim->portPath());
        startLink();
        QTRY_COMPARE_WITH_TIMEOUT(constructs->count(), 1, testsupport::ConditionWaitMs);

        const QList<SimRequest> requests = sim->requests();
        QCOMPARE(cellsOf(requests, 'R'), identityCells);
        QCOMPARE(
            int(std::count_if(requests.begin(), requests.end(), [](const SimRequest &r) { return r.kind == 'S'; })),
            1);  // pings at the wrong speed are not even understood
        QCOMPARE(image->deviceId.load(), quint8(21));
        QCOMPARE(image->fwMajor.load(), quint8(4));
        QCOMPARE(image->fwMinor.load(), quint8(12));
        QCOMPARE(image->fwBuild.load(), quint8(0));  // 0xFF reads as 0 in Vorn; always 0 elsewhere
        const bool vorn = protocol == int(SimulatedDevice::Protocol::Vorn);
        QCOMPARE(image->hwVersion.load(), quint8(vorn ? 2 : 1));
        QCOMPARE(image->blVersion.load(), quint8(vorn ? 3 : 1));
        QTRY_VERIFY_WITH_TIMEOUT(sawStatus("dark_green", " Device connected"), testsupport::ConditionWaitMs);
        // How often Vorn is pinged first depends on what an earlier case left
        // behind in the process-wide miss count; the cycle after it does not.
        QByteArray raw = sim->rawReceived();
        QVERIFY(raw.startsWith(VornPing));
        while (raw.startsWith(VornPing))
            raw.remove(0, VornPing.size());
        const QByteArray laterPings =
            (KelpaPing + UlmaPing + UlmaPing).left(QList<int>{0, 6, 11, 16}.at(pingsBeforeAnswer - 1));
        QVERIFY2(raw.startsWith(laterPings), raw.left(40).toHex(' ').constData());
    }

    void failedIdentityReadStopsAtOnceAndIsRetried()
    {
        sim->attachDevice(SimulatedDevice::Protocol::Vorn);
        sim->setIdentity(21, 2, 3, 4, 12, 7);
        sim->failCell(203);
        testsupport::writePortSetting(sim->portPath());
        startLink();
        QTRY_VERIFY_WITH_TIMEOUT(cellsOf(sim->requests(), 'R').count(200) >= 2, testsupport::ConditionWaitMs);
        const QList<int> reads = cellsOf(sim->requests(), 'R');
        QCOMPARE(reads.mid(0, 7), (QList<int>{200, 203, 203, 203, 203, 203, 200}));
        QCOMPARE(constructs->count(), 0);
        QCOMPARE(image->deviceId.load(), quint8(21));
        QCOMPARE(image->blVersion.load(), quint8(0));
        QVERIFY(sawStatus("dark_green", " Device connected"));
    }

    void lostDeviceIsRetriedThreeTimesThenDropped()
    {
        connectTo(SimulatedDevice::Protocol::Vorn);
        sim->detachDevice();
        QTRY_COMPARE_WITH_TIMEOUT(destroys->count(), 1, testsupport::ConditionWaitMs);
        const QByteArray expected = VornPing + VornPing + VornPing + VornPing + KelpaPing;
        QTRY_VERIFY_WITH_TIMEOUT(sim->rawReceived().size() >= expected.size(), testsupport::ConditionWaitMs);
        QCOMPARE(sim->rawReceived().left(expected.size()).toHex(' '), expected.toHex(' '));
        QTest::qWait(300);
        QCOMPARE(destroys->count(), 1);
    }

    void silentPingDropsTheDeviceAtOnce()
    {
        connectTo(SimulatedDevice::Protocol::Kelpa);
        statuses->clear();
        sim->setUnplugged(true);
        QTRY_COMPARE_WITH_TIMEOUT(destroys->count(), 1, testsupport::ConditionWaitMs);
        QVERIFY(sawStatus("red", " USB-cable not connected"));

        // The adapter is back but the controller is not: the next echo-only
        // tick drops the device once more and moves on.
        sim->detachDevice();
        sim->clearRawReceived();
        sim->setUnplugged(false);
        QTRY_COMPARE_WITH_TIMEOUT(destroys->count(), 2, testsupport::ConditionWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(sim->rawReceived().contains(UlmaPing), testsupport::ConditionWaitMs);
        QVERIFY(sim->rawReceived().startsWith(KelpaPing));
    }

    void portThatDoesNotOpen_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << "/dev/pts/kova-missing";
        QTest::newRow("empty") << "";
    }

    void portThatDoesNotOpen()
    {
        QFETCH(QString, name);
        testsupport::writePortSetting(name);
        startLink();
        QTRY_COMPARE_WITH_TIMEOUT(statuses->count(), 2, testsupport::ConditionWaitMs);
        QCOMPARE(statuses->at(0).at(0).toString(), QString("red"));
        QCOMPARE(statuses->at(1).at(1).toString(), QString(" USB-cable not connected"));
        QCOMPARE(destroys->count(), 0);
    }

    // Another program's QSerialPort leaves a lock file with its process id.
    void portHeldByAnotherProgramNamesIt()
    {
        QSerialPort holder(sim->portPath());
        QVERIFY(holder.open(QIODevice::ReadWrite));
        QFile comm("/proc/self/comm");
        QVERIFY(comm.open(QIODevice::ReadOnly));
        const QString expected = QString(" %1 is in use by %2 (process %3)")
                                     .arg(sim->portPath(), QString(comm.readAll().trimmed()))
                                     .arg(QCoreApplication::applicationPid());
        testsupport::writePortSetting(sim->portPath());
        startLink();
        QTRY_VERIFY_WITH_TIMEOUT(sawStatus("red", expected), testsupport::ConditionWaitMs);
    }

    // A pseudo-terminal is in no system list, yet the scan keeps finding it.
    void scanTriesTheRememberedPortTheSystemDoesNotList()
    {
        testsupport::writePortSetting(sim->portPath());
        startLink();
        link->findUSBCable();
        QCOMPARE(readPortName(testsupport::portSettingPath()), sim->portPath());
    }

    void firstRunScansAndWritesTheSettingFile()
    {
        SimulatedDevice second;
        SimulatedDevice unplugged;
        unplugged.setUnplugged(true);
        OddCable shortEcho("KOV");
        OddCable longEcho("KOVAKOVA");
        const QStringList candidates{sim->portPath(), second.portPath(), unplugged.portPath(), shortEcho.path,
                                     longEcho.path};
        startLink([candidates] { return candidates; });
        QCOMPARE(readPortName(testsupport::portSettingPath()), second.portPath());

        // The user asks again after unplugging that cable: the first one wins now.
        second.setUnplugged(true);
        link->findUSBCable();
        QCOMPARE(readPortName(testsupport::portSettingPath()), sim->portPath());
    }

    // "&Find USB-cable" changes the port's line and nothing else of the file.
    void scanRewritesOnlyThePortName()
    {
        const QByteArray rest = "; kept as it is\r\n[Window]\r\nState=" + serialisedText("x") + "\r\n";
        QVERIFY(writeSettingFile(rest + "[PORT]\r\nName=/dev/pts/kova-missing\r\nBaud=19200\r\n"));
        startLink([this] { return QStringList{sim->portPath()}; });
        link->findUSBCable();
        QCOMPARE(settingFile(), rest + "[PORT]\r\nName=" + sim->portPath().toLatin1() + "\r\nBaud=19200\r\n");
    }

    // What a hand-edited "kova.ini" holds is read as text, never as an object.
    void settingFileWithoutAPortName_data()
    {
        QTest::addColumn<QString>("corpusFile");  // else the port's name written as an object
        QTest::newRow("the text that crashed the settings reader")
            << "tests/fuzz/corpus/ini/device-id-behind-a-dropped-escape-is-an-object.ini";
        QTest::newRow("the port written as an object") << "";
    }

    void settingFileWithoutAPortName()
    {
        QFETCH(QString, corpusFile);
        QByteArray content;
        if (corpusFile.isEmpty()) {
            // Lengths of 10 and 13 would be line ends in the object's bytes.
            QString port = sim->portPath();
            if (port.size() == 10 || port.size() == 13)
                port.replace("/dev/", "/dev/./");
            content = "[PORT]\nName=\\q" + serialisedText(port.toLatin1()) + "\n";
        } else {
            QFile corpus(testsupport::sourcePath(corpusFile));
            QVERIFY(corpus.open(QIODevice::ReadOnly));
            content = corpus.readAll();
        }
        QVERIFY(writeSettingFile(content));
        sim->attachDevice(SimulatedDevice::Protocol::Vorn);
        startLink();
        QTRY_COMPARE_WITH_TIMEOUT(statuses->count(), 2, testsupport::ConditionWaitMs);
        QCOMPARE(statuses->at(1).at(0).toString(), QString("red"));
        QCOMPARE(statuses->at(1).at(1).toString(), QString(" USB-cable not connected"));
        QCOMPARE(constructs->count(), 0);
        QCOMPARE(readPortName(testsupport::portSettingPath()), QString());
    }

    // The cable plugged in after the start, or back under another name, is
    // found by the ticks; a port that was there before gets "KOVA" once only.
    void cableThatArrivesLaterIsFound_data()
    {
        QTest::addColumn<QByteArray>("settingFile");  // empty: none
        QTest::newRow("first start without the cable") << QByteArray();
        QTest::newRow("no port stored") << QByteArray("[PORT]\nName=\n");
        QTest::newRow("back under another name") << QByteArray("[PORT]\nName=/dev/pts/kova-missing\n");
    }

    void cableThatArrivesLaterIsFound()
    {
        QFETCH(QByteArray, settingFile);
        if (!settingFile.isEmpty())
            QVERIFY(writeSettingFile(settingFile));
        SimulatedDevice deaf;  // a port of the system with no cable behind it
        deaf.setUnplugged(true);
        auto listed = std::make_shared<QStringList>(QStringList{deaf.portPath()});
        sim->attachDevice(SimulatedDevice::Protocol::Kelpa);
        startLink([listed] { return *listed; });
        QTRY_VERIFY_WITH_TIMEOUT(deaf.rawReceived() == "KOVA", 30000);
        QTRY_VERIFY_WITH_TIMEOUT(sawStatus("red", " USB-cable not connected"), 30000);
        QVERIFY(sim->rawReceived().isEmpty());

        listed->append(sim->portPath());
        QTRY_COMPARE_WITH_TIMEOUT(constructs->count(), 1, 30000);
        QCOMPARE(readPortName(testsupport::portSettingPath()), sim->portPath());
        QVERIFY(sim->rawReceived().startsWith("KOVA"));
        QCOMPARE(deaf.rawReceived(), QByteArray("KOVA"));
    }

    void scanWithoutCableStoresAnEmptyName()
    {
        startLink([] { return QStringList{"/dev/pts/kova-missing"}; });
        QCOMPARE(iniGroup(settingFile(), "PORT", IniEncoding::Latin1), (QMap<QString, QString>{{"Name", ""}}));
    }

    void readsUsedCellsInAscendingOrder()
    {
        connectTo(SimulatedDevice::Protocol::UlmaFast);
        sim->setCells({{0, 9}, {5, 50}, {130, 13}, {254, 254}});
        useCells({254, 0, 130, 5});
        QSignalSpy ready(link.get(), &BusController::allCellsReady);
        statuses->clear();
        link->readDeviceAllCells();
        QCOMPARE(ready.count(), 1);
        QCOMPARE(cellsOf(sim->requests(), 'R'), (QList<int>{0, 5, 130, 254}));
        QCOMPARE(image->cells[0].value.load(), quint8(9));
        QCOMPARE(image->cells[130].value.load(), quint8(13));
        QCOMPARE(image->cells[254].value.load(), quint8(254));
        QCOMPARE(statuses->first().at(0).toString(), QString("green"));
        QCOMPARE(statuses->first().at(1).toString(), QString());
    }

    void readWithNothingUsedMakesNoExchange()
    {
        connectTo(SimulatedDevice::Protocol::Vorn);
        QSignalSpy ready(link.get(), &BusController::allCellsReady);
        link->readDeviceAllCells();
        QCOMPARE(ready.count(), 1);
        QVERIFY(cellsOf(sim->requests(), 'R').isEmpty());
    }

    void deadCellIsRecoveredOncePerDevice()
    {
        connectTo(SimulatedDevice::Protocol::Vorn);
        sim->setCells({{3, 30}, {4, 40}, {9, 90}});
        sim->failCell(4);
        useCells({3, 4, 9});
        QSignalSpy ready(link.get(), &BusController::allCellsReady);
        QSignalSpy incomplete(link.get(), &BusController::allCellsIncomplete);
        link->readDeviceAllCells();
        QCOMPARE(ready.count(), 0);
        QCOMPARE(cellsOf(sim->requests(), 'R'), (QList<int>{3, 4, 4, 4, 4, 4}));
        QCOMPARE(image->cells[3].value.load(), quint8(30));
        QCOMPARE(image->cells[9].value.load(), quint8(0));
        // the window goes back to its start page; the next answered ping
        // identifies and reads the device again
        QCOMPARE(destroys->count(), 1);

        // The same device fails again: told where the read ended, not dropped.
        link->readDeviceAllCells();
        QCOMPARE(destroys->count(), 1);
        QCOMPARE(incomplete.count(), 1);
        QCOMPARE(incomplete.first().first().value<uchar>(), uchar(4));

        // Another device gets its own recovery.
        image->deviceId = image->deviceId + 1;
        link->readDeviceAllCells();
        QCOMPARE(destroys->count(), 2);

        // A complete read starts the count afresh.
        image->cells[4].used = 0;
        link->readDeviceAllCells();
        QCOMPARE(ready.count(), 1);
        image->cells[4].used = 1;
        link->readDeviceAllCells();
        QCOMPARE(destroys->count(), 3);
        QCOMPARE(incomplete.count(), 1);
    }

    void repliesThatNeedRetries()
    {
        connectTo(SimulatedDevice::Protocol::Vorn);
        sim->setCell(7, 77);
        useCells({7});
        sim->dropReplies(2);
        link->readDeviceAllCells();
        QCOMPARE(cellsOf(sim->requests(), 'R'), (QList<int>{7, 7, 7}));
        QCOMPARE(image->cells[7].value.load(), quint8(77));

        sim->clearRequests();
        image->cells[7].value = 0;
        sim->setGarbleReplies(true);
        link->readDeviceAllCells();
        QCOMPARE(cellsOf(sim->requests(), 'R').size(), 5);
        QCOMPARE(image->cells[7].value.load(), quint8(0));
    }

    void splitRepliesAreGathered()
    {
        connectTo(SimulatedDevice::Protocol::UlmaFast);
        sim->setCell(8, 88);
        sim->setSplitReplies(3, 5);
        useCells({8});
        QSignalSpy ready(link.get(), &BusController::allCellsReady);
        link->readDeviceAllCells();
        QCOMPARE(ready.count(), 1);
        QCOMPARE(cellsOf(sim->requests(), 'R'), QList<int>{8});
        QCOMPARE(image->cells[8].value.load(), quint8(88));
    }

    void writeLowThenHighAndReadBoth_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::newRow("Vorn") << int(SimulatedDevice::Protocol::Vorn);
        QTest::newRow("Kelpa") << int(SimulatedDevice::Protocol::Kelpa);
        QTest::newRow("Ulma") << int(SimulatedDevice::Protocol::UlmaSlow);
    }

    void writeLowThenHighAndReadBoth()
    {
        QFETCH(int, protocol);
        connectTo(SimulatedDevice::Protocol(protocol));
        QSignalSpy updated(link.get(), &BusController::updatedDeviceValue);
        statuses->clear();
        link->writeDeviceValue(1000, 20, 21);
        const QList<SimRequest> requests = sim->requests();
        QCOMPARE(requests.size(), 4);
        QCOMPARE(QString(QChar(requests[0].kind)) + QString::number(requests[0].cell) + "="
                     + QString::number(requests[0].value),
                 QString("W20=232"));
        QCOMPARE(requests[1].cell, 21);
        QCOMPARE(requests[1].value, 3);
        QCOMPARE(cellsOf(requests, 'R'), (QList<int>{20, 21}));
        QCOMPARE(sim->cell(20), quint8(232));
        QCOMPARE(sim->cell(21), quint8(3));
        QCOMPARE(image->cells[20].value.load(), quint8(232));
        QCOMPARE(image->cells[21].value.load(), quint8(3));
        QCOMPARE(statuses->count(), 2);
        QCOMPARE(statuses->at(0).at(0).toString(), QString("green"));
        QCOMPARE(statuses->at(1).at(0).toString(), QString("dark_green"));
        QCOMPARE(updated.count(), 0);

        // The image already holds it: nothing goes on the wire.
        sim->clearRequests();
        statuses->clear();
        link->writeDeviceValue(1000, 20, 21);
        QVERIFY(sim->requests().isEmpty());
        QCOMPARE(statuses->count(), 1);
    }

    // A write that fails within its attempts: what was written or tried is
    // read back, so the image and the controls show what the device holds;
    // when that cannot be read, the device is dropped to be read afresh.
    void failedWriteShowsWhatTheDeviceHolds_data()
    {
        QTest::addColumn<uint>("value");
        QTest::addColumn<int>("hcell");
        QTest::addColumn<int>("deadCell");
        QTest::addColumn<int>("lostReplies");
        QTest::addColumn<QList<int>>("writes");
        QTest::addColumn<QList<int>>("reads");
        QTest::addColumn<QList<int>>("imageAfter");  // cells 20 and 21
        QTest::addColumn<int>("drops");

        const QList<int> fiveTimes20{20, 20, 20, 20, 20};
        QTest::newRow("one cell, never answers")
            << 6u << 0 << 20 << 0 << fiveTimes20 << fiveTimes20 << QList<int>{5, 1} << 1;
        QTest::newRow("one cell, stored but every reply lost")
            << 6u << 0 << -1 << 5 << fiveTimes20 << QList<int>{20} << QList<int>{6, 1} << 0;
        QTest::newRow("two cells, low never answers")
            << 0x0706u << 21 << 20 << 0 << fiveTimes20 << fiveTimes20 << QList<int>{5, 1} << 1;
        QTest::newRow("two cells, high never answers") << 0x0706u << 21 << 21 << 0 << QList<int>{20, 21, 21, 21, 21, 21}
                                                       << QList<int>{20, 21, 21, 21, 21, 21} << QList<int>{6, 1} << 1;
    }

    void failedWriteShowsWhatTheDeviceHolds()
    {
        QFETCH(uint, value);
        QFETCH(int, hcell);
        QFETCH(int, deadCell);
        QFETCH(int, lostReplies);
        QFETCH(QList<int>, writes);
        QFETCH(QList<int>, reads);
        QFETCH(QList<int>, imageAfter);
        QFETCH(int, drops);
        connectTo(SimulatedDevice::Protocol::Vorn);
        sim->setCells({{20, 5}, {21, 1}});
        image->cells[20].value = 5;
        image->cells[21].value = 1;
        sim->failCell(deadCell);
        sim->dropReplies(lostReplies);
        QSignalSpy updated(link.get(), &BusController::updatedDeviceValue);
        QSignalSpy dropped(link.get(), &BusController::doDestroyDevice);
        statuses->clear();

        link->writeDeviceValue(value, 20, uchar(hcell));
        QCOMPARE(cellsOf(sim->requests(), 'W'), writes);
        QCOMPARE(cellsOf(sim->requests(), 'R'), reads);
        QCOMPARE((QList<int>{image->cells[20].value, image->cells[21].value}), imageAfter);
        QCOMPARE(statuses->last().at(0).toString(), QString("green"));
        QCOMPARE(updated.count(), 1);
        QCOMPARE(dropped.count(), drops);
    }

    // A port that is closed under an operation, or whose adapter is pulled
    // during it, ends the operation at once as a lost cable: the device is
    // dropped, the status turns red, and the port's own warnings stay out.
    void lostPortEndsTheOperation_data()
    {
        QTest::addColumn<Request>("request");
        QTest::addColumn<int>("pullAfter");  // requests the device sees first; -1: the port is closed before
        QTest::addColumn<bool>("upload");
        const Request write([](BusController &link) { link.writeDeviceValue(0x0102, 20, 21); });
        const Request readAll([](BusController &link) { link.readDeviceAllCells(); });
        const Request upload([](BusController &link) {
            const QString path = testsupport::sourcePath("examples/firmwares/vorn-4.14.upd");
            link.doUpdateFirmware(path, readPackageFile(path).bytes);
        });
        QTest::newRow("write, port closed") << write << -1 << false;
        QTest::newRow("write, adapter pulled") << write << 1 << false;
        QTest::newRow("read of all cells, port closed") << readAll << -1 << false;
        QTest::newRow("read of all cells, adapter pulled") << readAll << 2 << false;
        QTest::newRow("upload, port closed") << upload << -1 << true;
        // The identity is read again (six cells) before the first block.
        QTest::newRow("upload, adapter pulled while the device is identified again") << upload << 3 << true;
        QTest::newRow("upload, adapter pulled between blocks") << upload << 9 << true;
    }

    void lostPortEndsTheOperation()
    {
        QFETCH(Request, request);
        QFETCH(int, pullAfter);
        QFETCH(bool, upload);
        sim->setIdentity(21, 2, 3, 4, 14, 0);
        sim->setBlockSize(256);
        connectTo(SimulatedDevice::Protocol::Vorn);
        useCells({3, 4, 5, 6, 7, 8});
        image->fwPageSize = 256;
        image->fwPageCount = 32;
        auto *port = link->findChild<QSerialPort *>();
        if (pullAfter < 0)
            port->close();
        QSignalSpy failure(link.get(), &BusController::firmwareUpdateFailed);

        testsupport::WarningCatcher catcher;
        {
            std::unique_ptr<PortPuller> puller;
            if (pullAfter >= 0)
                puller = std::make_unique<PortPuller>(*sim, pullAfter);
            request(*link);
            QVERIFY(!puller || puller->pulled());
        }
        QCOMPARE(catcher.warnings(), QStringList());
        QCOMPARE(destroys->count(), 1);
        QVERIFY(sawStatus("red", " USB-cable not connected"));
        QCOMPARE(failure.count(), upload ? 1 : 0);
        if (upload)
            QCOMPARE(failure.first().first().value<UploadFailure>().reason, UploadFailure::PortClosed);
        // A closed port opens again at once. Whether a pulled one is open now
        // is not asked: a test beside this one may have been given its name.
        if (pullAfter < 0) {
            QVERIFY(port->isOpen());
            QVERIFY(sim->requests().isEmpty());
        }
    }

    // The upload is of the device the user confirmed, or of none: a device
    // exchanged without being dropped (it answered every ping) gets nothing.
    void exchangedDeviceGetsNothing()
    {
        sim->setIdentity(21, 2, 3, 4, 12, 7);
        connectTo(SimulatedDevice::Protocol::Vorn);
        image->fwPageSize = 256;
        image->fwPageCount = 32;
        sim->setBlockSize(256);
        sim->setIdentity(21, 3, 3, 5, 0, 0);  // the other hardware, same model
        QSignalSpy failed(link.get(), &BusController::firmwareUpdateFailed);
        QSignalSpy updated(link.get(), &BusController::firmwareUpdated);

        const QString path = testsupport::sourcePath("examples/firmwares/vorn-4.14.upd");
        link->doUpdateFirmware(path, readPackageFile(path).bytes);
        QCOMPARE(updated.count(), 0);
        QCOMPARE(failed.count(), 1);
        const UploadFailure failure = failed.at(0).at(0).value<UploadFailure>();
        QCOMPARE(failure.reason, UploadFailure::DeviceChanged);
        QCOMPARE(failure.found, (DeviceIdentity{21, 3, 3, 5, 0, 0}));
        QCOMPARE(failure.confirmed, (DeviceIdentity{21, 2, 3, 4, 12, 7}));
        QVERIFY(sim->receivedBlocks().isEmpty());
        QVERIFY(!sim->rawReceived().contains("UMF"));
        // Dropped, so that the window shows the device that is there.
        QCOMPARE(destroys->count(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(constructs->count(), 2, testsupport::ConditionWaitMs);
        QCOMPARE(image->hwVersion.load(), quint8(3));
    }

    // Every block acknowledged is not yet the new firmware: the identity
    // read after the upload tells.
    void flashedVersionIsChecked_data()
    {
        QTest::addColumn<bool>("updated");
        QTest::newRow("device runs the package's version") << true;
        QTest::newRow("device keeps its old version") << false;
    }

    void flashedVersionIsChecked()
    {
        QFETCH(bool, updated);
        sim->setIdentity(21, 2, 3, 4, 12, 7);
        connectTo(SimulatedDevice::Protocol::Vorn);
        image->fwPageSize = 256;
        image->fwPageCount = 32;
        sim->setBlockSize(256);
        if (updated)
            sim->setFirmwareAfterUpload(4, 14, 3, 32);
        sim->setKeepsVersion(!updated);
        QSignalSpy failed(link.get(), &BusController::firmwareUpdateFailed);
        QSignalSpy done(link.get(), &BusController::firmwareUpdated);
        QString statusAtFailure;
        connect(link.get(), &BusController::firmwareUpdateFailed, link.get(),
                [&] { statusAtFailure = statuses->last().at(1).toString(); });

        const QString path = testsupport::sourcePath("examples/firmwares/vorn-4.14.upd");
        link->doUpdateFirmware(path, readPackageFile(path).bytes);
        QCOMPARE(done.count(), 1);
        QCOMPARE(sim->receivedBlocks().size(), 32);
        QTRY_COMPARE_WITH_TIMEOUT(constructs->count(), 2, testsupport::ConditionWaitMs);
        if (updated) {
            QCOMPARE(failed.count(), 0);
            QCOMPARE(image->fwMinor.load(), quint8(14));
            return;
        }
        QCOMPARE(failed.count(), 1);
        const UploadFailure failure = failed.at(0).at(0).value<UploadFailure>();
        QCOMPARE(failure.reason, UploadFailure::VersionDiffers);
        QCOMPARE(failure.found, (DeviceIdentity{21, 2, 3, 4, 12, 7}));
        QCOMPARE(failure.packageVersion, QString("4.14"));
        // After the tick's own status, so that the window's red one stays.
        QCOMPARE(statusAtFailure, QString(" Device connected"));
        // Said once: the next identification is not compared again.
        emit link->doDestroyDevice();
        QTRY_COMPARE_WITH_TIMEOUT(constructs->count(), 3, testsupport::ConditionWaitMs);
        QCOMPARE(failed.count(), 1);
    }

    void writeEdgeCases()
    {
        connectTo(SimulatedDevice::Protocol::Vorn);
        QSignalSpy updated(link.get(), &BusController::updatedDeviceValue);

        // Without a high cell only the low byte counts.
        image->cells[30].value = 0x34;
        link->writeDeviceValue(0x1234, 30, 0);
        QVERIFY(sim->requests().isEmpty());

        // A change of the high byte alone still writes and reads back both.
        image->cells[31].value = 0x34;
        image->cells[32].value = 0x11;
        link->writeDeviceValue(0x1234, 31, 32);
        QCOMPARE(cellsOf(sim->requests(), 'W'), (QList<int>{31, 32}));
        QCOMPARE(cellsOf(sim->requests(), 'R'), (QList<int>{31, 32}));
        QCOMPARE(updated.count(), 0);

        // A bounded device keeps its own value; the controls are told.
        sim->clearRequests();
        sim->setCellLimits(40, 0, 100);
        QTest::ignoreMessage(QtDebugMsg, "LO Write error!!!");
        link->writeDeviceValue(200, 40, 0);
        QCOMPARE(image->cells[40].value.load(), quint8(100));
        QCOMPARE(statuses->last().at(0).toString(), QString("dark_green"));
        QCOMPARE(updated.count(), 1);

        // Cell 255 has no slot in the image: refused, nothing on the wire.
        sim->clearRequests();
        QTest::ignoreMessage(QtDebugMsg, "Cell out of range");
        link->writeDeviceValue(1, 255, 0);
        QTest::ignoreMessage(QtDebugMsg, "Cell out of range");
        link->writeDeviceValue(0x0101, 10, 255);
        QVERIFY(sim->requests().isEmpty());
    }
};

QTEST_GUILESS_MAIN(BusControllerTest)
#include "tst_buscontroller.moc"
