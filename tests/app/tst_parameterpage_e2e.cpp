// The parameter page as a user meets it: the real window, its worker thread
// and serial port against the simulated controller on a pseudo-terminal.
// Values are checked on the screen and in the device's cells, writes in the
// device's request log.
#include "support/bytes.h"
#include "support/windowharness.h"

#include "device/buscontroller.h"

#include "params/mcheckbox.h"
#include "params/mcombobox.h"
#include "params/mspinbox.h"

#include <QAction>
#include <QLabel>
#include <QPointer>
#include <QStyleOptionButton>

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

using Protocol = SimulatedDevice::Protocol;

// Finding and identifying the device, reading its cells and building the page.
constexpr int PageTimeoutMs = testsupport::ConditionWaitMs;
// One change: a write and a read-back per cell, queued behind a poll tick.
constexpr int WriteTimeoutMs = testsupport::ConditionWaitMs;

QString shownValue(QWidget *control)
{
    if (auto *list = qobject_cast<MComboBox *>(control))
        return list->currentText();
    if (auto *range = qobject_cast<MSpinBox *>(control))
        return range->text();
    if (auto *check = qobject_cast<MCheckBox *>(control))
        return check->isChecked() ? "[x]" : "[ ]";
    return "<no control>";
}

// What a user reads in one row: its label, what the control shows, and
// whether the control is greyed out.
QString shownRow(QTreeWidget *tree, int row)
{
    QTreeWidgetItem *item = tree->topLevelItem(row);
    QWidget *control = tree->itemWidget(item, 1);
    QString text = item->text(0) + ": " + shownValue(control);
    if (control && !control->isEnabled())
        text += " (greyed)";
    return text;
}

QStringList shownRows(QTreeWidget *tree)
{
    QStringList rows;
    for (int row = 0; row < tree->topLevelItemCount(); ++row)
        rows << shownRow(tree, row);
    return rows;
}

QString shownRow(const WindowHarness &h, const QString &name)
{
    QTreeWidget *tree = h.tree();
    for (int row = 0; row < tree->topLevelItemCount(); ++row)
        if (tree->topLevelItem(row)->text(0) == name)
            return shownRow(tree, row);
    return "<no row " + name + ">";
}

// Cell and value of every write the device received, in order.
QList<int> writesOf(const SimulatedDevice &sim)
{
    QList<int> writes;
    for (const SimRequest &request : sim.requests())
        if (request.kind == 'W')
            writes << request.cell << request.value;
    return writes;
}

int pingsOf(const SimulatedDevice &sim)
{
    int pings = 0;
    for (const SimRequest &request : sim.requests())
        pings += request.kind == 'S' ? 1 : 0;
    return pings;
}

QList<int> readCellsOf(const SimulatedDevice &sim)
{
    QList<int> cells;
    for (const SimRequest &request : sim.requests())
        if (request.kind == 'R')
            cells << request.cell;
    return cells;
}

// The cells of the device for the cells of `writes` (cell, value pairs).
QList<int> deviceCellsFor(const SimulatedDevice &sim, const QList<int> &writes)
{
    QList<int> cells;
    for (int i = 0; i + 1 < writes.size(); i += 2)
        cells << writes.at(i) << sim.cell(writes.at(i));
    return cells;
}

// The writes of the last value per cell, as the device should hold them.
QList<int> lastValuePerCell(const QList<int> &writes)
{
    QMap<int, int> last;
    for (int i = 0; i + 1 < writes.size(); i += 2)
        last[writes.at(i)] = writes.at(i + 1);
    QList<int> cells;
    for (int i = 0; i + 1 < writes.size(); i += 2)
        cells << writes.at(i) << last.value(writes.at(i));
    return cells;
}

// Where the box is depends on its state: a checked box is styled with
// another padding.
void clickCheckBox(MCheckBox *box)
{
    QStyleOptionButton option;
    option.initFrom(box);
    option.state |= box->isChecked() ? QStyle::State_On : QStyle::State_Off;
    const QRect target = box->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, target.center());
}

// The description of the simulated Vorn controller's identity with
// `parameters` of our own.
QString vornDescription(const QString &parameters, int fwMajor = 4, int fwMinor = 12)
{
    return QString("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<ESC id=\"21\" hw=\"2\" fw=\"%1\" fwm=\"%2\" name=\"Test Kestrel\" fwnp=\"32\" fwps=\"256\">\n"
                   "%3</ESC>\n")
        .arg(fwMajor)
        .arg(fwMinor)
        .arg(parameters);
}

// `rows` parameters taking turns as list, range and check, on cells 40 and up.
QString mixedParameters(int rows)
{
    QString parameters;
    for (int row = 0; row < rows; ++row) {
        const int cell = 40 + row;
        switch (row % 3) {
        case 0:
            parameters += QString("  <Parameter type=\"list\" name=\"List %1\" cell=\"%2\">"
                                  "<Value string=\"A\"/><Value string=\"B\"/></Parameter>\n")
                              .arg(row)
                              .arg(cell);
            break;
        case 1:
            parameters += QString("  <Parameter type=\"range\" name=\"Range %1\" cell=\"%2\" min=\"0\" max=\"100\" "
                                  "step=\"1\" decimals=\"0\"/>\n")
                              .arg(row)
                              .arg(cell);
            break;
        default:
            parameters += QString("  <Parameter type=\"check\" name=\"Check %1\" cell=\"%2\"/>\n").arg(row).arg(cell);
            break;
        }
    }
    return parameters;
}

}  // namespace

class ParameterPageE2eTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowHarness> h;

    void prepare(const QString &device, Protocol protocol)
    {
        h = std::make_unique<WindowHarness>(device, protocol);
        QVERIFY(!h->sim.portPath().isEmpty());
    }

    // Replaces the example description in the run folder.
    void describe(const QString &xml) { QVERIFY(testsupport::writeFile("tellur.dsc", xml.toUtf8())); }

    // Nothing to do for the user: the page comes up by itself.
    void startAndWaitForPage(int page = WindowHarness::ParameterPage)
    {
        h->startWindow();
        QTRY_COMPARE_WITH_TIMEOUT(h->page(), page, PageTimeoutMs);
    }

    // Writes the window asked for before now have reached the device once
    // two further poll ticks have pinged it: requests run in order.
    void waitForTwoPolls()
    {
        const int before = pingsOf(h->sim);
        QTRY_VERIFY_WITH_TIMEOUT(pingsOf(h->sim) >= before + 2, WriteTimeoutMs);
    }

    template <typename T>
    T *control(const QString &name)
    {
        T *found = h->control<T>(name);
        if (!found)
            qWarning() << "no such control:" << name;
        return found;
    }

    QAction *action(const char *name) { return h->child<QAction>(name); }

    // The window's device link, caught as it moves into its worker thread,
    // so that a test can send what the link would.
    QPointer<BusController> link;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ThreadChange) {
            if (auto *caught = qobject_cast<BusController *>(watched))
                link = caught;
        }
        return QObject::eventFilter(watched, event);
    }

private slots:
    void initTestCase()
    {
        qApp->installEventFilter(this);
        // The expected texts write numbers with '.', whatever the machine's locale.
        QLocale::setDefault(QLocale::c());
    }

    void cleanup() { h.reset(); }

    void pageShowsTheDeviceAndSendsEdits_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("height");
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("listKey");
        QTest::addColumn<QString>("listAfter");
        QTest::addColumn<QString>("range");
        QTest::addColumn<QString>("rangeAfter");
        QTest::addColumn<QString>("check");
        QTest::addColumn<QList<int>>("writes");  // cell, value, in order

        // The expected values come from the example cell files, decoded by
        // hand: "Cut-off threshold" holds 32 = (index + 14) * 2, "Governor
        // head speed" 40 + 10 * 256, the throttle ends (raw / 0.25) + 1000
        // and + 1700, temperature raw + 60.
        QTest::newRow("vorn") << "vorn" << int(Protocol::Vorn)
                              << QStringList{"Motor direction: Normal",
                                             "Motor timing: 15°",
                                             "Start power: 8 %",
                                             "Brake: Proportional",
                                             "Brake strength: 40 %",
                                             "Low-voltage cut-off: Reduce power",
                                             "Cut-off threshold: 3.2 V/cell",
                                             "PWM frequency: 16 kHz",
                                             "Governor: Off",
                                             "Governor head speed: 2600 rpm (greyed)",
                                             "Governor gain: 5 (greyed)",
                                             "Throttle low end: 1100 µs",
                                             "Throttle high end: 1900 µs",
                                             "Temperature protection: 110 °C",
                                             "Startup beeps: [x]"}
                              << 45 + 15 * 34
                              // Switching the governor on makes its head speed editable.
                              << "Governor" << int(Qt::Key_Down) << "Governor: On"
                              << "Governor head speed"
                              << "Governor head speed: 2650 rpm"
                              << "Startup beeps"
                              // 2650 = 90 + 10 * 256: both bytes go out, low cell first.
                              << QList<int>{18, 1, 19, 90, 20, 10, 25, 0};

        // NiMH cut-off is in tenths of a volt; PWM 8 = (index + 1) * 8.
        QTest::newRow("kelpa") << "kelpa" << int(Protocol::Kelpa)
                               << QStringList{"Brake: Medium",
                                              "Brake delay: 0.1 s",
                                              "Battery type: LiPo",
                                              "LiPo cells: Auto",
                                              "NiMH cut-off: 5.0 V (greyed)",
                                              "Motor timing: Medium",
                                              "Start power: 6 %",
                                              "Reverse rotation: [ ]",
                                              "Throttle calibration: Learn at power-up",
                                              "PWM frequency: 8 kHz"}
                               << 45 + 10 * 34 << "Battery type" << int(Qt::Key_Up) << "Battery type: NiMH"
                               << "NiMH cut-off"
                               << "NiMH cut-off: 5.1 V"
                               << "Reverse rotation" << QList<int>{2, 0, 4, 51, 7, 1};

        // Governor speed 184 + 11 * 256; cut-off (raw / 100) + 2.5; temperature raw + 50.
        QTest::newRow("ulma") << "ulma" << int(Protocol::UlmaFast)
                              << QStringList{"Motor timing: 15°",
                                             "Start power: Medium",
                                             "Throttle response: 5",
                                             "Brake: [ ]",
                                             "Governor mode: Off",
                                             "Governor speed: 3000 rpm (greyed)",
                                             "Cut-off voltage: 3.30 V/cell",
                                             "Temperature limit: 100 °C",
                                             "Beep at power-up: [x]",
                                             "Rotation: Clockwise"}
                              << 45 + 10 * 34 << "Governor mode" << int(Qt::Key_End) << "Governor mode: Set"
                              << "Governor speed"
                              << "Governor speed: 3010 rpm"
                              << "Brake"
                              // 3010 = 194 + 11 * 256: the unchanged high byte is written too.
                              << QList<int>{5, 2, 6, 194, 7, 11, 3, 1};
    }

    void pageShowsTheDeviceAndSendsEdits()
    {
        QFETCH(QString, device);
        QFETCH(int, protocol);
        QFETCH(QStringList, rows);
        QFETCH(int, height);
        QFETCH(QString, list);
        QFETCH(int, listKey);
        QFETCH(QString, listAfter);
        QFETCH(QString, range);
        QFETCH(QString, rangeAfter);
        QFETCH(QString, check);
        QFETCH(QList<int>, writes);

        prepare(device, Protocol(protocol));
        startAndWaitForPage();
        QCOMPARE(shownRows(h->tree()), rows);
        QCOMPARE(h->window->size(), QSize(400, height));
        QVERIFY(action("setupAction")->isEnabled());
        QVERIFY(action("firmwareAction")->isEnabled());

        waitForTwoPolls();
        QCOMPARE(writesOf(h->sim), QList<int>());  // showing the device changes nothing in it

        auto *listControl = control<MComboBox>(list);
        auto *rangeControl = control<MSpinBox>(range);
        auto *checkControl = control<MCheckBox>(check);
        QVERIFY(listControl && rangeControl && checkControl);
        const bool wasChecked = checkControl->isChecked();

        QTest::keyClick(listControl, Qt::Key(listKey));
        QCOMPARE(shownRow(*h, list), listAfter);
        QTest::keyClick(rangeControl, Qt::Key_Up);
        QCOMPARE(shownRow(*h, range), rangeAfter);
        clickCheckBox(checkControl);
        QCOMPARE(checkControl->isChecked(), !wasChecked);

        QTRY_COMPARE_WITH_TIMEOUT(writesOf(h->sim), writes, WriteTimeoutMs);
        QCOMPARE(deviceCellsFor(h->sim, writes), lastValuePerCell(writes));
        waitForTwoPolls();
        QCOMPARE(writesOf(h->sim), writes);  // and nothing after
        QCOMPARE(shownRow(*h, list), listAfter);
        QCOMPARE(shownRow(*h, range), rangeAfter);
        QCOMPARE(checkControl->isChecked(), !wasChecked);
    }

    void vornDependentsFollowTheirSource()
    {
        prepare("vorn", Protocol::Vorn);
        startAndWaitForPage();
        auto *brake = control<MComboBox>("Brake");
        auto *cutOff = control<MComboBox>("Low-voltage cut-off");
        auto *governor = control<MComboBox>("Governor");
        QVERIFY(brake && cutOff && governor);
        auto enabled = [this](const char *name) { return !shownRow(*h, name).endsWith("(greyed)"); };

        // "Brake strength" only for a proportional brake (index 1).
        QVERIFY(enabled("Brake strength"));
        QTest::keyClick(brake, Qt::Key_Down);  // Full
        QVERIFY(!enabled("Brake strength"));
        QVERIFY(enabled("Cut-off threshold"));  // another source's dependent is left alone
        QTest::keyClick(brake, Qt::Key_Home);  // Off
        QVERIFY(!enabled("Brake strength"));
        QTest::keyClick(brake, Qt::Key_Down);  // Proportional
        QVERIFY(enabled("Brake strength"));

        // "Cut-off threshold" unless the cut-off is off (depval 1000: index != 0).
        QVERIFY(enabled("Cut-off threshold"));
        QTest::keyClick(cutOff, Qt::Key_Home);  // Off
        QVERIFY(!enabled("Cut-off threshold"));
        QVERIFY(enabled("Brake strength"));
        QTest::keyClick(cutOff, Qt::Key_End);  // Cut power
        QVERIFY(enabled("Cut-off threshold"));

        // One source, two dependents.
        QVERIFY(!enabled("Governor head speed") && !enabled("Governor gain"));
        QTest::keyClick(governor, Qt::Key_Down);  // On
        QVERIFY(enabled("Governor head speed") && enabled("Governor gain"));
        QTest::keyClick(governor, Qt::Key_Up);  // Off
        QVERIFY(!enabled("Governor head speed") && !enabled("Governor gain"));

        // A greyed control takes no input.
        auto *headSpeed = control<MSpinBox>("Governor head speed");
        QVERIFY(headSpeed);
        QTest::keyClick(headSpeed, Qt::Key_Up);
        QCOMPARE(shownRow(*h, "Governor head speed"), QString("Governor head speed: 2600 rpm (greyed)"));

        const QList<int> writes{13, 2, 13, 0, 13, 1, 15, 0, 15, 2, 18, 1, 18, 0};
        QTRY_COMPARE_WITH_TIMEOUT(writesOf(h->sim), writes, WriteTimeoutMs);
        QCOMPARE(deviceCellsFor(h->sim, writes), lastValuePerCell(writes));
    }

    // The link read the cells below 19 and gave up there: the controls of
    // cells 19 and up show nothing the device gave and must not write.
    void unreadCellsStayLocked()
    {
        prepare("vorn", Protocol::Vorn);
        startAndWaitForPage();
        QVERIFY(link);
        auto enabled = [this](const char *name) { return !shownRow(*h, name).endsWith("(greyed)"); };
        h->sim.clearRequests();
        emit link->allCellsIncomplete(19);

        QCOMPARE(h->page(), int(WindowHarness::ParameterPage));
        for (const char *unread : {"Governor head speed", "Governor gain", "Throttle low end", "Throttle high end",
                                   "Temperature protection", "Startup beeps"})
            QVERIFY2(!enabled(unread), unread);
        QVERIFY(enabled("Start power"));

        QTest::keyClick(control<MComboBox>("Governor"), Qt::Key_Down);  // On, but its dependents are unread
        QVERIFY(!enabled("Governor head speed") && !enabled("Governor gain"));
        auto *temperature = control<MSpinBox>("Temperature protection");
        temperature->setValue(temperature->value() + 5);
        control<MCheckBox>("Startup beeps")->toggle();
        waitForTwoPolls();
        QCOMPARE(writesOf(h->sim), (QList<int>{18, 1}));
        // The poll ticks' statuses keep saying it.
        QVERIFY2(h->child<QLabel>("statusLabel")->text().contains("cell 19"),
                 qPrintable(h->child<QLabel>("statusLabel")->text()));
    }

    // depcell 1000 stands for cell 0, which Kelpa's brake occupies.
    void kelpaDependentOfCellZero()
    {
        prepare("kelpa", Protocol::Kelpa);
        startAndWaitForPage();
        auto *brake = control<MComboBox>("Brake");
        auto *battery = control<MComboBox>("Battery type");
        QVERIFY(brake && battery);

        QCOMPARE(shownRow(*h, "Brake delay"), QString("Brake delay: 0.1 s"));
        QTest::keyClick(brake, Qt::Key_Home);  // Off
        QCOMPARE(shownRow(*h, "Brake delay"), QString("Brake delay: 0.1 s (greyed)"));
        QCOMPARE(shownRow(*h, "LiPo cells"), QString("LiPo cells: Auto"));
        QTest::keyClick(brake, Qt::Key_End);  // Hard
        QCOMPARE(shownRow(*h, "Brake delay"), QString("Brake delay: 0.1 s"));

        // A range as the dependent of a list.
        QTest::keyClick(battery, Qt::Key_Up);  // NiMH
        QCOMPARE(shownRow(*h, "LiPo cells"), QString("LiPo cells: Auto (greyed)"));
        QCOMPARE(shownRow(*h, "NiMH cut-off"), QString("NiMH cut-off: 5.0 V"));

        const QList<int> writes{0, 0, 0, 3, 2, 0};
        QTRY_COMPARE_WITH_TIMEOUT(writesOf(h->sim), writes, WriteTimeoutMs);
        QCOMPARE(deviceCellsFor(h->sim, writes), lastValuePerCell(writes));
    }

    // A range as the source: equal to depval exactly, not nearly.
    void dependentsOfARange()
    {
        prepare("vorn", Protocol::Vorn);
        describe(vornDescription(
            "  <Parameter type=\"range\" name=\"Level\" cell=\"30\" min=\"0\" max=\"5\" step=\"0.5\" decimals=\"1\" "
            "scale=\"10\"/>\n"
            "  <Parameter type=\"list\" name=\"Extra\" cell=\"31\" depcell=\"30\" depval=\"3\">"
            "<Value string=\"No\"/><Value string=\"Yes\"/></Parameter>\n"
            "  <Parameter type=\"range\" name=\"Fine\" cell=\"32\" depcell=\"30\" depval=\"3\" min=\"0\" max=\"9\"/>\n"
            "  <Parameter type=\"check\" name=\"Loose\" cell=\"33\" depcell=\"30\" depval=\"3\"/>\n"));
        h->sim.setCell(30, 25);
        h->sim.setCell(33, 1);
        startAndWaitForPage();
        QCOMPARE(shownRows(h->tree()),
                 (QStringList{"Level: 2.5", "Extra: No (greyed)", "Fine: 0 (greyed)", "Loose: [x]"}));
        auto *level = control<MSpinBox>("Level");
        QVERIFY(level);

        QTest::keyClick(level, Qt::Key_Up);
        QCOMPARE(shownRows(h->tree()), (QStringList{"Level: 3.0", "Extra: No", "Fine: 0", "Loose: [x]"}));
        QTest::keyClick(level, Qt::Key_Up);
        QCOMPARE(shownRows(h->tree()),
                 (QStringList{"Level: 3.5", "Extra: No (greyed)", "Fine: 0 (greyed)", "Loose: [x]"}));

        QTRY_COMPARE_WITH_TIMEOUT(writesOf(h->sim), (QList<int>{30, 30, 30, 35}), WriteTimeoutMs);
    }

    void windowHeightFollowsTheRows_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("height");
        QTest::newRow("none: the window's least height") << 0 << 200;
        QTest::newRow("5") << 5 << 215;
        QTest::newRow("19") << 19 << 691;
        QTest::newRow("20: the most") << 20 << 700;
        QTest::newRow("26: no higher") << 26 << 700;
    }

    void windowHeightFollowsTheRows()
    {
        QFETCH(int, rows);
        QFETCH(int, height);
        prepare("vorn", Protocol::Vorn);
        describe(vornDescription(mixedParameters(rows)));
        startAndWaitForPage();
        QCOMPARE(h->tree()->topLevelItemCount(), rows);
        QCOMPARE(h->window->size(), QSize(400, height));
    }

    void unreleasedFirmwareGoesToTheFirmwarePage()
    {
        prepare("vorn", Protocol::Vorn);
        h->sim.setIdentity(21, 2, 3, 0, 0, 0);
        describe(vornDescription("  <Parameter type=\"range\" name=\"Start power\" cell=\"12\" min=\"1\" max=\"25\"/>\n"
                                 "  <Parameter type=\"check\" name=\"Startup beeps\" cell=\"25\"/>\n",
                                 0, 0));
        startAndWaitForPage(WindowHarness::FirmwarePage);
        // The page came after the read of the description's cells.
        const QList<int> reads = readCellsOf(h->sim);
        QVERIFY(reads.contains(12));
        QVERIFY(reads.contains(25));
        QCOMPARE(h->child<QLabel>("deviceNameValue")->text(), QString("Test Kestrel"));
        QCOMPARE(h->child<QLabel>("firmwareVersionValue")->text(), QString("0.0.0"));
        QVERIFY(!action("setupAction")->isEnabled());
        QVERIFY(action("firmwareAction")->isEnabled());

        QTest::keyClick(h->window.get(), Qt::Key_R, Qt::ControlModifier);  // "&Setup"
        QCOMPARE(h->page(), int(WindowHarness::FirmwarePage));
        waitForTwoPolls();
        QCOMPARE(h->page(), int(WindowHarness::FirmwarePage));
    }

    // A device that stores something else than it was sent: the control
    // ends up showing what the device holds.
    void limitedDeviceValueIsShown()
    {
        prepare("vorn", Protocol::Vorn);
        h->sim.setCell(12, 10);
        h->sim.setCellLimits(12, 1, 10);
        h->sim.setCellLimits(13, 0, 1);  // no full brake
        startAndWaitForPage();
        auto *power = control<MSpinBox>("Start power");
        auto *brake = control<MComboBox>("Brake");
        QVERIFY(power && brake);
        QCOMPARE(shownRow(*h, "Start power"), QString("Start power: 10 %"));

        QTest::keyClick(power, Qt::Key_Up);
        QCOMPARE(shownRow(*h, "Start power"), QString("Start power: 11 %"));
        QTRY_COMPARE_WITH_TIMEOUT(shownRow(*h, "Start power"), QString("Start power: 10 %"), WriteTimeoutMs);
        QCOMPARE(int(h->sim.cell(12)), 10);

        QTest::keyClick(brake, Qt::Key_End);
        QCOMPARE(shownRow(*h, "Brake"), QString("Brake: Full"));
        QCOMPARE(shownRow(*h, "Brake strength"), QString("Brake strength: 40 % (greyed)"));
        QTRY_COMPARE_WITH_TIMEOUT(shownRow(*h, "Brake"), QString("Brake: Proportional"), WriteTimeoutMs);
        QCOMPARE(shownRow(*h, "Brake strength"), QString("Brake strength: 40 %"));
        QCOMPARE(int(h->sim.cell(13)), 1);

        // Showing the device's value again does not send it back.
        waitForTwoPolls();
        QCOMPARE(writesOf(h->sim), (QList<int>{12, 11, 13, 2}));
        QCOMPARE(h->page(), int(WindowHarness::ParameterPage));
    }

    void listWithoutEntryForTheCellWritesNothing()
    {
        prepare("vorn", Protocol::Vorn);
        h->sim.setCell(10, 7);  // "Motor direction" has two entries
        h->sim.setCell(16, 20);  // "Cut-off threshold": 20 / 2 - 14 is below the first entry
        startAndWaitForPage();
        auto *direction = control<MComboBox>("Motor direction");
        auto *threshold = control<MComboBox>("Cut-off threshold");
        QVERIFY(direction && threshold);
        QCOMPARE(direction->currentIndex(), -1);
        QCOMPARE(threshold->currentIndex(), -1);
        QCOMPARE(shownRow(*h, "Motor direction"), QString("Motor direction: "));
        QCOMPARE(shownRow(*h, "Cut-off threshold"), QString("Cut-off threshold: "));

        waitForTwoPolls();
        QCOMPARE(writesOf(h->sim), QList<int>());
        QCOMPARE(int(h->sim.cell(10)), 7);
        QCOMPARE(int(h->sim.cell(16)), 20);

        // The user's first choice is written.
        QTest::keyClick(direction, Qt::Key_Down);
        QCOMPARE(shownRow(*h, "Motor direction"), QString("Motor direction: Normal"));
        QTRY_COMPARE_WITH_TIMEOUT(writesOf(h->sim), (QList<int>{10, 0}), WriteTimeoutMs);
        QCOMPARE(int(h->sim.cell(10)), 0);
    }

    void buildingThePageWritesOnlyBoundedRanges_data()
    {
        QTest::addColumn<int>("beepsCell");
        QTest::addColumn<int>("powerCell");
        QTest::addColumn<QString>("beeps");
        QTest::addColumn<QString>("power");
        QTest::addColumn<QList<int>>("writes");
        QTest::addColumn<int>("powerAfter");
        QTest::newRow("beeps off, power in range") << 0 << 25 << "Startup beeps: [ ]"
                                                   << "Start power: 25 %" << QList<int>{} << 25;
        QTest::newRow("beeps any non-zero, power above range") << 2 << 30 << "Startup beeps: [x]"
                                                               << "Start power: 25 %" << QList<int>{12, 25} << 25;
        // A fresh spin box already stands at its minimum: bounding a lower
        // device value changes nothing, so nothing is sent.
        QTest::newRow("power below range") << 1 << 0 << "Startup beeps: [x]"
                                           << "Start power: 1 %" << QList<int>{} << 0;
    }

    void buildingThePageWritesOnlyBoundedRanges()
    {
        QFETCH(int, beepsCell);
        QFETCH(int, powerCell);
        QFETCH(QString, beeps);
        QFETCH(QString, power);
        QFETCH(QList<int>, writes);
        QFETCH(int, powerAfter);
        prepare("vorn", Protocol::Vorn);
        h->sim.setCell(25, quint8(beepsCell));
        h->sim.setCell(12, quint8(powerCell));
        startAndWaitForPage();
        QCOMPARE(shownRow(*h, "Startup beeps"), beeps);
        QCOMPARE(shownRow(*h, "Start power"), power);

        QTRY_COMPARE_WITH_TIMEOUT(writesOf(h->sim), writes, WriteTimeoutMs);
        waitForTwoPolls();
        QCOMPARE(writesOf(h->sim), writes);
        QCOMPARE(int(h->sim.cell(25)), beepsCell);  // a check box's cell is never rewritten
        QCOMPARE(int(h->sim.cell(12)), powerAfter);
        QCOMPARE(shownRow(*h, "Start power"), power);
    }

    void leavingThePageEmptiesIt_data()
    {
        QTest::addColumn<bool>("byMenu");
        QTest::newRow("Find USB-cable") << true;
        QTest::newRow("link drops the device") << false;
    }

    void leavingThePageEmptiesIt()
    {
        QFETCH(bool, byMenu);
        prepare("vorn", Protocol::Vorn);
        startAndWaitForPage();
        QList<QPointer<QWidget>> controls;
        for (int row = 0; row < h->tree()->topLevelItemCount(); ++row)
            controls << h->tree()->itemWidget(h->tree()->topLevelItem(row), 1);
        QCOMPARE(controls.size(), 15);

        if (byMenu)
            QTest::keyClick(h->window.get(), Qt::Key_P, Qt::ControlModifier);
        else
            QVERIFY(QMetaObject::invokeMethod(h->window.get(), "destroyDevice"));

        QCOMPARE(h->page(), int(WindowHarness::SplashPage));
        QCOMPARE(h->tree()->topLevelItemCount(), 0);
        // The tree lets go of its item widgets by deferred deletion.
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(controls.begin(), controls.end(),
                                             [](const QPointer<QWidget> &control) { return control.isNull(); }),
                                 1000);
        QCOMPARE(h->window->size(), QSize(400, 400));
        QVERIFY(!action("setupAction")->isEnabled());
        QVERIFY(!action("firmwareAction")->isEnabled());

        if (!byMenu) {
            // The device still answers: it is identified and shown afresh.
            QTRY_COMPARE_WITH_TIMEOUT(h->page(), int(WindowHarness::ParameterPage), PageTimeoutMs);
            QCOMPARE(h->tree()->topLevelItemCount(), 15);
            QCOMPARE(shownRow(*h, "Brake strength"), QString("Brake strength: 40 %"));
        }
    }

    // Closing while the link waits on a device that stopped answering in the
    // middle of the read: the window must not hang on it nor crash.
    void quittingWhileTheLinkIsBusy()
    {
        prepare("kelpa", Protocol::Kelpa);
        SimulatedDevice &sim = h->sim;
        auto readingParameters = std::make_shared<std::atomic<bool>>(false);
        // Kelpa's parameters start at cell 0; identity cells are 64 and up.
        sim.setRequestListener([&sim, readingParameters](const SimRequest &request) {
            if (request.kind == 'R' && request.cell == 0 && !readingParameters->exchange(true))
                sim.setUnplugged(true);
        });
        h->startWindow();
        QTRY_VERIFY_WITH_TIMEOUT(readingParameters->load(), PageTimeoutMs);
        QTest::qWait(300);  // inside the first unanswered wait of 1 s, with four more to come
        // The read of all cells has not ended: the link is busy with it.
        QCOMPARE(h->page(), int(WindowHarness::SplashPage));

        QElapsedTimer clock;
        clock.start();
        h->window.reset();
        const QString took = QString::number(clock.elapsed()) + " ms";
        QVERIFY2(clock.elapsed() < 1000, qPrintable(took));
        sim.setRequestListener({});
    }
};

QTEST_MAIN(ParameterPageE2eTest)
#include "tst_parameterpage_e2e.moc"
