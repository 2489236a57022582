// Every operation under every fault the cable, the controller and the port
// can show, through the real window, worker thread and serial port. Whether
// an operation succeeds depends on timing; what must hold either way: no
// success claimed for a failure, no value shown that the device does not
// hold, a window the user can go on with, and the device found again once
// the fault has ended (replies that come late within their wait never end:
// the device must be shown as it is all the same).
#include "app/parameterpage.h"
#include "params/mspinbox.h"
#include "support/windowharness.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPort>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

using Protocol = SimulatedDevice::Protocol;

enum class Operation { Identify, ReadAll, WriteOneCell, WriteTwoCells, Upload };
enum class Fault {
    Unplug,
    Detach,
    Garble,
    DropReplies,
    Split,
    LateReply,
    DeadCell,
    PortGone,
    PortUnopenable,
    PortHeld
};

const QMap<Operation, const char *> operationNames{{Operation::Identify, "identify"},
                                                   {Operation::ReadAll, "read all"},
                                                   {Operation::WriteOneCell, "write one cell"},
                                                   {Operation::WriteTwoCells, "write two cells"},
                                                   {Operation::Upload, "upload"}};
const QMap<Fault, const char *> faultNames{
    {Fault::Unplug, "unplug"},      {Fault::Detach, "detach"},      {Fault::Garble, "garble"},
    {Fault::DropReplies, "drop 6"}, {Fault::Split, "split"},        {Fault::LateReply, "late reply"},
    {Fault::DeadCell, "dead cell"}, {Fault::PortGone, "port gone"}, {Fault::PortUnopenable, "port unopenable"},
    {Fault::PortHeld, "port held"}};

// An example controller and what the operations touch on it.
struct DeviceCase {
    const char *device;
    Protocol protocol;
    int idCell;
    QList<int> firmwareCells;  // major, minor[, build]
    QString oneCellControl;
    double oneCellValue;
    QString twoCellControl;  // empty: the description has no two-cell value
    double twoCellValue;
    int highCell;
    int blockSize;
    int blockCount;
    int packageRow;
    QList<int> firmwareAfterUpload;
    int faultMs;  // long enough for the operation to meet the fault in every attempt
    QMap<Operation, QList<Fault>> cells;  // the faults each operation meets
};

const QList<Fault> everyFault = faultNames.keys();
// How a port comes back does not depend on what its going cut off, and an
// upload's acknowledgements meet the faults of any reply.
const QList<Fault> portGoes{Fault::Unplug, Fault::Detach,    Fault::Garble,   Fault::DropReplies,
                            Fault::Split,  Fault::LateReply, Fault::DeadCell, Fault::PortGone};
const QList<Fault> uploadFaults{Fault::Unplug, Fault::Garble,    Fault::DropReplies,
                                Fault::Split,  Fault::LateReply, Fault::PortGone};

// Every reply but a ping's comes in three chunks, the last at 90 % of the
// shortest reply wait of the dialect's cell commands after the echo.
int lateReplyMs(Protocol protocol)
{
    return protocol == Protocol::Kelpa ? 900 : 90;
}

// The fast dialect carries the table. A row of a slower one costs several
// seconds (Kelpa waits 1 s for each unanswered reply, both search the
// dialects after a drop), so they keep the faults their frames and waits
// make different, and every operation meets at least one port fault.
const QList<DeviceCase> devices{
    {"vorn",
     Protocol::Vorn,
     200,
     {205, 206, 212},
     "Start power",
     9,
     "Governor head speed",
     2900,
     20,
     256,
     32,
     1,
     {4, 13, 2},
     500,
     {{Operation::Identify, everyFault},
      {Operation::ReadAll, portGoes},
      {Operation::WriteOneCell, {Fault::Unplug, Fault::Garble, Fault::LateReply, Fault::DeadCell, Fault::PortGone}},
      {Operation::WriteTwoCells, everyFault},
      {Operation::Upload, uploadFaults}}},
    {"kelpa",
     Protocol::Kelpa,
     64,
     {65, 66},
     "Start power",
     7,
     "",
     0,
     0,
     64,
     16,
     0,
     {2, 7, 0},
     1500,
     {{Operation::Identify, {Fault::LateReply, Fault::PortHeld}},
      {Operation::WriteOneCell, {Fault::PortGone}},
      {Operation::Upload, {Fault::PortGone}}}},
    {"ulma",
     Protocol::UlmaFast,
     64,
     {65, 66},
     "Throttle response",
     6,
     "Governor speed",
     3300,
     7,
     128,
     16,
     0,
     {2, 0, 0},
     1500,
     {{Operation::WriteTwoCells, {Fault::Garble, Fault::DeadCell, Fault::PortGone}},
      {Operation::Upload, {Fault::Split, Fault::LateReply, Fault::PortGone}}}},
};

}  // namespace

Q_DECLARE_METATYPE(Operation)
Q_DECLARE_METATYPE(Fault)

class FaultMatrixTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowHarness> harness;
    std::unique_ptr<QSerialPort> holder;
    QStringList unsound;  // what was wrong with the window, and when
    int failureBoxes = 0;
    int infoBoxes = 0;

    static QString cablePath() { return QDir::current().filePath("cable"); }
    static QString folderPath() { return QDir::current().filePath("not-a-port"); }

    // The program knows the port by a link, as by a name under
    // /dev/serial/by-id, so that a port that comes back elsewhere is the same port.
    static void pointCableAt(const QString &target)
    {
        QFile::remove(cablePath());
        QFile::link(target, cablePath());
    }

    QString label(const char *name) const { return harness->child<QLabel>(name)->text(); }
    QTreeWidget *tree() const { return harness->tree(); }

    QString simFirmware() const
    {
        QStringList parts;
        for (int cell : devices.at(currentDevice).firmwareCells)
            parts << QString::number(harness->sim.cell(cell));
        if (parts.size() == 2)
            parts << "0";
        return parts.join('.');
    }

    // Controls whose value is not what the device holds; held controls claim nothing.
    QStringList wrongControls() const
    {
        QStringList wrong;
        for (int row = 0; row < tree()->topLevelItemCount(); ++row) {
            QTreeWidgetItem *item = tree()->topLevelItem(row);
            const auto write = parameterpage::encodeControl(tree()->itemWidget(item, 1));
            if (!write)
                continue;
            if ((write->raw & 0xFF) != harness->sim.cell(write->cell)
                || (write->hcell != 0 && ((write->raw >> 8) & 0xFF) != harness->sim.cell(write->hcell)))
                wrong << item->text(0);
        }
        return wrong;
    }

    bool uploadRunning() const { return harness->child<QProgressBar>("progressBar")->isVisible(); }

    // What must hold at every moment, fault or not.
    QString unsoundState() const
    {
        const int page = harness->page();
        if (page == WindowHarness::FirmwarePage && label("deviceNameValue").isEmpty())
            return "firmware page for no device";
        if (page == WindowHarness::ParameterPage && tree()->topLevelItemCount() == 0)
            return "empty parameter page";
        if (!uploadRunning() && !harness->window->menuBar()->isEnabled())
            return "menus disabled with no upload running";
        return {};
    }

    // The device is back, shown as it is.
    bool recovered() const
    {
        const int page = harness->page();
        if (page == WindowHarness::SplashPage || uploadRunning() || tree()->topLevelItemCount() == 0)
            return false;
        if (page == WindowHarness::FirmwarePage && label("firmwareVersionValue") != simFirmware())
            return false;
        return wrongControls().isEmpty();
    }

    bool watch(int timeoutMs, const std::function<bool()> &done)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            const QString problem = unsoundState();
            if (!problem.isEmpty() && unsound.size() < 5)
                unsound << QString("%1 after %2 ms").arg(problem).arg(clock.elapsed());
            if (done && done())
                return true;
            QTest::qWait(20);
        }
        return false;
    }

    // Boxes that tell of an outcome are counted and closed, as a user would.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *box = qobject_cast<QMessageBox *>(watched);
        if (box && event->type() == QEvent::Show && box->icon() != QMessageBox::Warning) {
            ++(box->icon() == QMessageBox::Critical ? failureBoxes : infoBoxes);
            QTimer::singleShot(0, box, &QMessageBox::accept);
        }
        return QObject::eventFilter(watched, event);
    }

    void apply(Fault fault, int deadCell)
    {
        SimulatedDevice &sim = harness->sim;
        switch (fault) {
        case Fault::Unplug: sim.setUnplugged(true); break;
        case Fault::Detach: sim.detachDevice(); break;
        case Fault::Garble: sim.setGarbleReplies(true); break;
        case Fault::DropReplies: sim.dropReplies(6); break;
        case Fault::Split: sim.setSplitReplies(4, 60); break;
        case Fault::LateReply: sim.setLateReplies(lateReplyMs(devices.at(currentDevice).protocol), 3); break;
        case Fault::DeadCell: sim.failCell(deadCell); break;
        // As root no mode bits refuse an open: a path that exists but is no
        // serial port stands in for a port this user may not open. The
        // wording of a refusal is the port diagnosis's own test.
        case Fault::PortUnopenable:
            sim.setPortGone(true);
            pointCableAt(folderPath());
            break;
        // The link goes with the port, as a name under /dev/serial/by-id
        // does: the pty's old name may soon be another program's.
        case Fault::PortGone:
        case Fault::PortHeld:
            sim.setPortGone(true);
            QFile::remove(cablePath());
            break;
        }
    }

    // Once the window has let the gone port go, it comes back held by
    // another program's QSerialPort, which keeps the port's lock file. On a
    // loaded machine the window may take the port first; then it goes again.
    void holdReturningPort()
    {
        holder = std::make_unique<QSerialPort>(cablePath());
        for (int attempt = 0; attempt < 3 && !holder->isOpen(); ++attempt) {
            QVERIFY(watch(testsupport::ConditionWaitMs,
                          [this] { return label("statusLabel") == " USB-cable not connected"; }));
            harness->sim.setPortGone(false);
            pointCableAt(harness->sim.portPath());
            if (!holder->open(QIODevice::ReadWrite)) {
                harness->sim.setPortGone(true);
                QFile::remove(cablePath());
                watch(1500, nullptr);
            }
        }
        QVERIFY2(holder->isOpen(), qPrintable(holder->errorString()));
    }

    void lift(Fault fault, int deadCell)
    {
        SimulatedDevice &sim = harness->sim;
        switch (fault) {
        case Fault::Unplug: sim.setUnplugged(false); break;
        case Fault::Detach: sim.attachDevice(devices.at(currentDevice).protocol); break;
        case Fault::Garble: sim.setGarbleReplies(false); break;
        case Fault::DropReplies: sim.dropReplies(0); break;
        case Fault::Split: sim.setSplitReplies(1, 0); break;
        // Replies within their wait are no fault to recover from: they stay
        // late, and the window must show the device as it is all the same.
        case Fault::LateReply: break;
        case Fault::DeadCell: sim.reviveCell(deadCell); break;
        case Fault::PortGone:
        case Fault::PortUnopenable:
            sim.setPortGone(false);
            pointCableAt(sim.portPath());
            break;
        case Fault::PortHeld: holder.reset(); break;
        }
    }

    // Opens the firmware page, chooses the package and confirms the warning;
    // the fault strikes as "&Ok" is clicked.
    void startUpload(const std::function<void()> &strike)
    {
        harness->child<QAction>("firmwareAction")->trigger();
        harness->child<QListWidget>("firmwareList")->setCurrentRow(devices.at(currentDevice).packageRow);
        auto struck = std::make_shared<bool>(false);
        QTimer::singleShot(50, this, [strike, struck] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            strike();
            *struck = true;
            for (QAbstractButton *button : box->buttons())
                if (button->text() == "&Ok")
                    button->click();
        });
        QTest::mouseClick(harness->child<QPushButton>("updateButton"), Qt::LeftButton);
        QVERIFY(*struck);
    }

    int currentDevice = 0;

private slots:
    void initTestCase()
    {
        qApp->installEventFilter(this);
        QDir().mkpath(folderPath());
    }

    void cleanup()
    {
        holder.reset();
        harness.reset();
        QFile::remove(cablePath());
    }

    void faultDuringOperation_data()
    {
        QTest::addColumn<int>("device");
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<Fault>("fault");
        for (int device = 0; device < devices.size(); ++device) {
            const DeviceCase &d = devices.at(device);
            for (auto cell = d.cells.cbegin(); cell != d.cells.cend(); ++cell) {
                for (Fault fault : cell.value())
                    QTest::addRow("%s/%s/%s", d.device, operationNames[cell.key()], faultNames[fault])
                        << device << cell.key() << fault;
            }
        }
    }

    void faultDuringOperation()
    {
        QFETCH(int, device);
        QFETCH(Operation, operation);
        QFETCH(Fault, fault);
        currentDevice = device;
        const DeviceCase &d = devices.at(device);
        unsound.clear();
        failureBoxes = infoBoxes = 0;

        harness = std::make_unique<WindowHarness>(d.device, d.protocol);
        WindowHarness::installPackages(d.device);
        harness->sim.setBlockSize(d.blockSize);
        harness->sim.setFirmwareAfterUpload(quint8(d.firmwareAfterUpload[0]), quint8(d.firmwareAfterUpload[1]),
                                            quint8(d.firmwareAfterUpload[2]), d.blockCount);
        pointCableAt(harness->sim.portPath());
        testsupport::writePortSetting(cablePath());
        // The cell the operation needs first or last; an upload reads cell 0 first.
        int deadCell = operation == Operation::Identify        ? d.idCell
                       : operation == Operation::WriteTwoCells ? d.highCell
                                                               : 0;

        if (operation == Operation::Identify) {
            apply(fault, deadCell);
            harness->startWindow();
        } else {
            harness->startWindow();
            QVERIFY(watch(testsupport::ConditionWaitMs,
                          [this] { return harness->page() == WindowHarness::ParameterPage; }));
            QCOMPARE(wrongControls(), QStringList());
            MSpinBox *one = harness->control<MSpinBox>(d.oneCellControl);
            MSpinBox *two = harness->control<MSpinBox>(d.twoCellControl);
            QVERIFY(one);
            if (operation == Operation::ReadAll || operation == Operation::WriteOneCell)
                deadCell = one->cell;
            switch (operation) {
            case Operation::ReadAll:
                apply(fault, deadCell);
                emit harness->window->loadAllCells();
                break;
            case Operation::WriteOneCell:
                apply(fault, deadCell);
                one->setValue(d.oneCellValue);
                break;
            case Operation::WriteTwoCells:
                QVERIFY(two);
                apply(fault, deadCell);
                two->setValue(d.twoCellValue);
                break;
            case Operation::Upload: startUpload([&] { apply(fault, 0); }); break;
            case Operation::Identify: break;
            }
        }
        if (fault == Fault::PortHeld)
            holdReturningPort();
        if (QTest::currentTestFailed())
            return;

        watch(d.faultMs, nullptr);
        lift(fault, deadCell);
        const bool back = watch(testsupport::ConditionWaitMs, [this] { return recovered(); });
        QVERIFY2(unsound.isEmpty(), qPrintable(unsound.join("; ")));
        QVERIFY2(back, qPrintable(QString("not recovered: page %1, firmware shown %2, device %3, wrong: %4")
                                      .arg(harness->page())
                                      .arg(label("firmwareVersionValue"), simFirmware(), wrongControls().join(", "))));
        QVERIFY(failureBoxes <= 1);
        // An upload that was not reported as failed has put the whole image on the device.
        if (operation == Operation::Upload && failureBoxes == 0 && infoBoxes == 0) {
            const QList<int> &v = d.firmwareAfterUpload;
            QCOMPARE(simFirmware(), QString("%1.%2.%3").arg(v[0]).arg(v[1]).arg(v[2]));
        }
    }
};

QTEST_MAIN(FaultMatrixTest)
#include "tst_faultmatrix.moc"
