#include "controlreceiver.h"

#include "app/parameterpage.h"
#include "device/deviceimage.h"
#include "params/mcheckbox.h"
#include "params/mcombobox.h"
#include "params/mspinbox.h"
#include "support/testsupport.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <malloc.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

using parameterpage::CellWrite;

namespace {

enum Kind { List, Range, Check };

// One control as the description reader would have built it.
struct ControlRecipe {
    Kind kind = Range;
    int cell = 0;
    int hcell = 0;
    double offset = 0.0;
    double scale = 1.0;
    double shift = 0.0;
    int decimals = 0;
    double max = 1000.0;
    int entries = 4;
    int depcell = 0;
    int depval = 0;
};

template <typename Control>
void setConversion(Control *control, const ControlRecipe &recipe)
{
    control->cell = recipe.cell;
    control->hcell = recipe.hcell;
    control->depcell = recipe.depcell;
    control->depval = recipe.depval;
    control->offset = recipe.offset;
    control->scale = recipe.scale;
    control->shift = recipe.shift;
}

QWidget *makeControl(const ControlRecipe &recipe)
{
    switch (recipe.kind) {
    case List: {
        auto *list = new MComboBox;
        setConversion(list, recipe);
        for (int i = 0; i < recipe.entries; ++i)
            list->addItem(QString::number(i));
        return list;
    }
    case Range: {
        auto *range = new MSpinBox;
        setConversion(range, recipe);
        range->setMinimum(-1000);
        range->setMaximum(recipe.max);
        range->setDecimals(recipe.decimals);
        return range;
    }
    case Check: break;
    }
    auto *check = new MCheckBox;
    check->cell = recipe.cell;
    check->depcell = recipe.depcell;
    check->depval = recipe.depval;
    check->setChecked(true);
    return check;
}

}  // namespace

Q_DECLARE_METATYPE(ControlRecipe)
Q_DECLARE_METATYPE(std::optional<CellWrite>)

class TestParameterPage : public QObject
{
    Q_OBJECT

    DeviceImage image;
    ControlReceiver receiver;
    QTreeWidget *tree = nullptr;

    template <typename Control = QWidget>
    Control *addRow(const ControlRecipe &recipe)
    {
        QWidget *control = makeControl(recipe);
        if (auto *check = qobject_cast<MCheckBox *>(control))
            connect(check, SIGNAL(stateChanged(int)), &receiver, SLOT(checkboxChanged(int)));
        else if (qobject_cast<MComboBox *>(control))
            connect(control, SIGNAL(currentTextChanged(QString)), &receiver, SLOT(controlChanged(QString)));
        else
            connect(control, SIGNAL(textChanged(QString)), &receiver, SLOT(controlChanged(QString)));
        auto *item = new QTreeWidgetItem;
        tree->addTopLevelItem(item);
        tree->setItemWidget(item, 1, control);
        return qobject_cast<Control *>(control);
    }

    void setCell(int cell, int value) { image.cells[cell].value = quint8(value); }

private slots:
    void init()
    {
        image.clear();
        receiver.controlSenders.clear();
        receiver.checkboxSenders.clear();
        tree = new QTreeWidget;
        tree->setColumnCount(2);
    }

    void cleanup()
    {
        delete tree;
        tree = nullptr;
    }

    void decodesRange_data()
    {
        QTest::addColumn<ControlRecipe>("recipe");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::addColumn<double>("value");

        ControlRecipe tenths;
        tenths.cell = 5;
        tenths.scale = 10;
        tenths.decimals = 1;
        QTest::newRow("scale 10, one decimal") << tenths << 123 << 0 << 12.3;
        ControlRecipe wide;
        wide.cell = 5;
        wide.hcell = 6;
        wide.max = 70000;
        QTest::newRow("high byte") << wide << 232 << 3 << 1000.0;
        ControlRecipe narrow;
        narrow.cell = 5;
        QTest::newRow("no high byte ignores the next cell") << narrow << 232 << 3 << 232.0;
        ControlRecipe temperature;
        temperature.cell = 5;
        temperature.offset = 40;
        QTest::newRow("offset 40 at 0") << temperature << 0 << 0 << -40.0;
        QTest::newRow("offset 40 at 125") << temperature << 125 << 0 << 85.0;
        ControlRecipe bounded = narrow;
        bounded.max = 100;
        QTest::newRow("bounded to the range") << bounded << 200 << 0 << 100.0;
        ControlRecipe whole = narrow;
        whole.scale = 4;
        QTest::newRow("rounded to the decimals") << whole << 10 << 0 << 3.0;
        ControlRecipe cellZero;
        QTest::newRow("cell 0") << cellZero << 9 << 0 << 9.0;
    }

    void decodesRange()
    {
        QFETCH(ControlRecipe, recipe);
        QFETCH(int, low);
        QFETCH(int, high);
        QFETCH(double, value);

        auto *range = addRow<MSpinBox>(recipe);
        setCell(recipe.cell, low);
        setCell(recipe.cell + 1, high);
        QCOMPARE(parameterpage::decodeControls(tree, image), 1);
        QCOMPARE(range->value(), value);
    }

    void decodesList_data()
    {
        QTest::addColumn<ControlRecipe>("recipe");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("index");

        ControlRecipe plain;
        plain.kind = List;
        plain.cell = 8;
        QTest::newRow("plain") << plain << 3 << 3;
        ControlRecipe offset = plain;
        offset.offset = 1;
        QTest::newRow("offset 1") << offset << 3 << 2;
        ControlRecipe halves = plain;
        halves.scale = 2;
        QTest::newRow("scale 2") << halves << 3 << 1;
        QTest::newRow("beyond the entries: no selection") << plain << 4 << -1;
        QTest::newRow("below the entries: no selection") << offset << 0 << -1;
    }

    void decodesList()
    {
        QFETCH(ControlRecipe, recipe);
        QFETCH(int, low);
        QFETCH(int, index);

        auto *list = addRow<MComboBox>(recipe);
        setCell(recipe.cell, low);
        parameterpage::decodeControls(tree, image);
        QCOMPARE(list->currentIndex(), index);
    }

    // Lists and ranges announce a decoded change like an edit; check boxes
    // show the device's state silently.
    void decodingSignals()
    {
        ControlRecipe listRecipe;
        listRecipe.kind = List;
        listRecipe.cell = 1;
        ControlRecipe rangeRecipe;
        rangeRecipe.cell = 2;
        ControlRecipe checkRecipe;
        checkRecipe.kind = Check;
        checkRecipe.cell = 3;
        ControlRecipe offRecipe = checkRecipe;
        offRecipe.cell = 4;
        auto *list = addRow<MComboBox>(listRecipe);
        auto *range = addRow<MSpinBox>(rangeRecipe);
        auto *on = addRow<MCheckBox>(checkRecipe);
        auto *off = addRow<MCheckBox>(offRecipe);
        tree->addTopLevelItem(new QTreeWidgetItem);  // a row without control still counts
        setCell(1, 2);
        setCell(2, 7);
        setCell(3, 5);
        setCell(4, 0);

        QCOMPARE(parameterpage::decodeControls(tree, image), 5);
        QCOMPARE(receiver.controlSenders, (QVector<QObject *>{list, range}));
        QVERIFY(receiver.checkboxSenders.isEmpty());
        QVERIFY(on->isChecked());
        QVERIFY(!off->isChecked());

        receiver.controlSenders.clear();
        QCOMPARE(parameterpage::decodeControls(tree, image), 5);
        QVERIFY(receiver.controlSenders.isEmpty());  // unchanged values send nothing

        off->setChecked(true);  // the user's click still goes out
        QCOMPARE(receiver.checkboxSenders, QVector<QObject *>{off});
    }

    void encodesControl_data()
    {
        QTest::addColumn<ControlRecipe>("recipe");
        QTest::addColumn<double>("value");  // index for a list, 0/1 for a check
        QTest::addColumn<uint>("raw");
        QTest::addColumn<int>("cell");
        QTest::addColumn<int>("hcell");

        ControlRecipe tenths;
        tenths.cell = 5;
        tenths.scale = 10;
        tenths.decimals = 1;
        QTest::newRow("range scale 10") << tenths << 12.3 << 123u << 5 << 0;
        ControlRecipe wide;
        wide.cell = 5;
        wide.hcell = 6;
        wide.max = 70000;
        QTest::newRow("range with high cell") << wide << 1000.0 << 1000u << 5 << 6;
        QTest::newRow("range beyond 16 bits") << wide << 70000.0 << 70000u << 5 << 6;
        ControlRecipe temperature;
        temperature.cell = 7;
        temperature.offset = 40;
        QTest::newRow("range offset 40 at -40") << temperature << -40.0 << 0u << 7 << 0;
        QTest::newRow("range offset 40 at 85") << temperature << 85.0 << 125u << 7 << 0;
        ControlRecipe negative;
        negative.cell = 9;
        QTest::newRow("negative range in two's complement") << negative << -2.0 << 0xFFFFFFFFu << 9 << 0;
        ControlRecipe noHigh = negative;
        noHigh.hcell = -1;
        QTest::newRow("negative hcell means none") << noHigh << 3.0 << 3u << 9 << 0;
        ControlRecipe list;
        list.kind = List;
        list.cell = 254;
        list.offset = 1;
        QTest::newRow("list offset 1") << list << 0.0 << 1u << 254 << 0;
        ControlRecipe pwm = list;
        pwm.scale = 8;
        pwm.hcell = 3;
        QTest::newRow("list scale and high cell") << pwm << 2.0 << 24u << 254 << 3;
        ControlRecipe check;
        check.kind = Check;
        check.cell = 12;
        check.hcell = 13;
        QTest::newRow("check on") << check << 1.0 << 1u << 12 << 0;
        QTest::newRow("check off") << check << 0.0 << 0u << 12 << 0;
    }

    void encodesControl()
    {
        QFETCH(ControlRecipe, recipe);
        QFETCH(double, value);
        QFETCH(uint, raw);
        QFETCH(int, cell);
        QFETCH(int, hcell);

        QWidget *control = addRow(recipe);
        if (auto *list = qobject_cast<MComboBox *>(control))
            list->setCurrentIndex(int(value));
        else if (auto *range = qobject_cast<MSpinBox *>(control))
            range->setValue(value);
        else
            qobject_cast<MCheckBox *>(control)->setChecked(value != 0);

        const std::optional<CellWrite> write = parameterpage::encodeControl(control);
        QVERIFY(write.has_value());
        QCOMPARE(write->raw, raw);
        QCOMPARE(int(write->cell), cell);
        QCOMPARE(int(write->hcell), hcell);
    }

    void encodesNothing()
    {
        ControlRecipe listRecipe;
        listRecipe.kind = List;
        auto *list = addRow<MComboBox>(listRecipe);
        list->setCurrentIndex(-1);
        QVERIFY(!parameterpage::encodeControl(list));  // never chosen, never sent

        QObject stranger;
        QVERIFY(!parameterpage::encodeControl(&stranger));
        QVERIFY(!parameterpage::encodeControl(nullptr));
    }

    // Source control with cell 4 (or 0), one dependent; is the dependent enabled?
    void dependencies_data()
    {
        QTest::addColumn<ControlRecipe>("source");
        QTest::addColumn<double>("sourceValue");
        QTest::addColumn<ControlRecipe>("dependent");
        QTest::addColumn<bool>("enabled");  // the dependent's state after the update...
        QTest::addColumn<bool>("touched");  // ...or, when not touched, its state before it

        ControlRecipe list;
        list.kind = List;
        list.cell = 4;
        ControlRecipe range;
        range.cell = 4;
        range.decimals = 1;
        auto dependent = [](Kind kind, int depcell, int depval) {
            ControlRecipe recipe;
            recipe.kind = kind;
            recipe.cell = 20;
            recipe.depcell = depcell;
            recipe.depval = depval;
            return recipe;
        };

        QTest::newRow("list on list, at depval") << list << 2.0 << dependent(List, 4, 2) << true << true;
        QTest::newRow("list on list, elsewhere") << list << 1.0 << dependent(List, 4, 2) << false << true;
        QTest::newRow("list on list 1002, at 2") << list << 2.0 << dependent(List, 4, 1002) << false << true;
        QTest::newRow("list on list 1002, at 0") << list << 0.0 << dependent(List, 4, 1002) << true << true;
        QTest::newRow("list on list 1000, at 0") << list << 0.0 << dependent(List, 4, 1000) << false << true;
        QTest::newRow("range on list, at depval") << list << 1.0 << dependent(Range, 4, 1) << true << true;
        QTest::newRow("range on list, elsewhere") << list << 0.0 << dependent(Range, 4, 1) << false << true;
        QTest::newRow("range on list: 1000 not inverted") << list << 1.0 << dependent(Range, 4, 1001) << false << true;
        QTest::newRow("list on range at 3.0") << range << 3.0 << dependent(List, 4, 3) << true << true;
        QTest::newRow("list on range at 3.5") << range << 3.5 << dependent(List, 4, 3) << false << true;
        QTest::newRow("range on range at 3.0") << range << 3.0 << dependent(Range, 4, 3) << true << true;
        QTest::newRow("range on range at 3.5") << range << 3.5 << dependent(Range, 4, 3) << false << true;
        QTest::newRow("range on range: 1000 not inverted")
            << range << 3.0 << dependent(Range, 4, 1003) << false << true;
        ControlRecipe listAtZero = list;
        listAtZero.cell = 0;
        QTest::newRow("1000 stands for cell 0") << listAtZero << 1.0 << dependent(List, 1000, 2) << false << true;
        QTest::newRow("depcell 0 is no dependency") << listAtZero << 1.0 << dependent(List, 0, 2) << true << false;
        QTest::newRow("other cell left alone") << list << 1.0 << dependent(List, 5, 2) << true << false;
        QTest::newRow("check boxes take no part") << list << 1.0 << dependent(Check, 4, 2) << true << false;
    }

    void dependencies()
    {
        QFETCH(ControlRecipe, source);
        QFETCH(double, sourceValue);
        QFETCH(ControlRecipe, dependent);
        QFETCH(bool, enabled);
        QFETCH(bool, touched);

        QWidget *sourceControl = addRow(source);
        QWidget *dependentControl = addRow(dependent);
        if (auto *list = qobject_cast<MComboBox *>(sourceControl))
            list->setCurrentIndex(int(sourceValue));
        else
            qobject_cast<MSpinBox *>(sourceControl)->setValue(sourceValue);

        for (const bool before : {true, false}) {
            dependentControl->setEnabled(before);
            parameterpage::updateDependents(tree, sourceControl);
            QCOMPARE(dependentControl->isEnabled(), touched ? enabled : before);
            dependentControl->setEnabled(before);
            parameterpage::updateAllDependents(tree);
            QCOMPARE(dependentControl->isEnabled(), touched ? enabled : before);
        }
    }

    void dependenciesFollowEdits()
    {
        ControlRecipe brake;
        brake.kind = List;
        brake.cell = 13;
        ControlRecipe strength;
        strength.cell = 14;
        strength.depcell = 13;
        strength.depval = 1;
        auto *brakeList = addRow<MComboBox>(brake);
        auto *strengthRange = addRow<MSpinBox>(strength);

        parameterpage::updateAllDependents(tree);
        QVERIFY(!strengthRange->isEnabled());
        brakeList->setCurrentIndex(1);
        parameterpage::updateDependents(tree, brakeList);
        QVERIFY(strengthRange->isEnabled());

        QObject stranger;
        brakeList->setCurrentIndex(0);
        parameterpage::updateDependents(tree, &stranger);
        QVERIFY(strengthRange->isEnabled());
        parameterpage::updateDependents(tree, strengthRange);  // a source with no dependents
        QVERIFY(strengthRange->isEnabled());
    }

    // Cells from 20 up were never read; a control showing one of them is
    // greyed, keeps what it shows, and neither writes nor follows its source.
    void holdsControlsOfUnreadCells_data()
    {
        QTest::addColumn<ControlRecipe>("recipe");
        QTest::addColumn<bool>("held");

        ControlRecipe range;
        range.cell = 19;
        range.depcell = 4;
        QTest::newRow("range below") << range << false;
        ControlRecipe wide = range;
        wide.hcell = 20;
        wide.max = 70000;
        QTest::newRow("range with unread high cell") << wide << true;
        ControlRecipe list;
        list.kind = List;
        list.cell = 20;
        list.depcell = 4;
        QTest::newRow("list at the failed cell") << list << true;
        ControlRecipe check;
        check.kind = Check;
        check.cell = 30;
        QTest::newRow("check above") << check << true;
        check.cell = 0;
        QTest::newRow("check at cell 0") << check << false;
    }

    void holdsControlsOfUnreadCells()
    {
        QFETCH(ControlRecipe, recipe);
        QFETCH(bool, held);

        ControlRecipe sourceRecipe;
        sourceRecipe.kind = List;
        sourceRecipe.cell = 4;
        auto *source = addRow<MComboBox>(sourceRecipe);
        QWidget *control = addRow(recipe);
        setCell(4, 0);
        setCell(recipe.cell, 1);
        parameterpage::holdUnreadControls(tree, 20);
        parameterpage::holdUnreadControls(tree, CellCount);  // a later full refresh keeps the hold
        receiver.controlSenders.clear();
        parameterpage::decodeControls(tree, image);
        parameterpage::updateAllDependents(tree);

        QCOMPARE(receiver.controlSenders.contains(control), !held && recipe.kind != Check);
        QCOMPARE(control->isEnabled(), !held);
        QCOMPARE(parameterpage::encodeControl(control).has_value(), !held);
        source->setCurrentIndex(1);
        parameterpage::updateDependents(tree, source);
        source->setCurrentIndex(0);
        parameterpage::updateDependents(tree, source);
        QCOMPARE(control->isEnabled(), !held);
    }

    // The page goes at once: rows gone, controls hidden and cut off from the
    // window; the tree's delegate deletes them over the next event-loop turns.
    void tearsDown()
    {
        parameterpage::setUpTree(tree);
        QVector<QPointer<QWidget>> controls;
        for (Kind kind : {List, Range, Check}) {
            ControlRecipe recipe;
            recipe.kind = kind;
            controls << addRow(recipe);
        }

        // Whoever else watches a control still learns that it went: Qt's
        // style-sheet caches forget a deleted widget that way.
        std::vector<std::unique_ptr<QSignalSpy>> destroyed;
        for (const QPointer<QWidget> &control : controls)
            destroyed.push_back(std::make_unique<QSignalSpy>(control.data(), &QObject::destroyed));

        parameterpage::tearDown(tree);
        QCOMPARE(tree->topLevelItemCount(), 0);
        for (const QPointer<QWidget> &control : controls)
            QVERIFY(control && control->isHidden());
        qobject_cast<MComboBox *>(controls[0])->setCurrentIndex(2);
        qobject_cast<MSpinBox *>(controls[1])->setValue(7);
        qobject_cast<MCheckBox *>(controls[2])->setChecked(false);
        QVERIFY(receiver.controlSenders.isEmpty());
        QVERIFY(receiver.checkboxSenders.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(controls.begin(), controls.end(),
                                             [](const QPointer<QWidget> &control) { return control.isNull(); }),
                                 testsupport::ConditionWaitMs);
        for (const auto &spy : destroyed)
            QCOMPARE(spy->count(), 1);

        parameterpage::tearDown(tree);  // an empty tree is fine
        QCOMPARE(tree->topLevelItemCount(), 0);
    }

    // Qt's style-sheet style caches what it draws for every control and the
    // widgets inside it; pages torn down and built again and again must not
    // leave any of that behind.
    void tornDownPagesLeaveNoHeapBehind()
    {
        if (mallinfo2().arena == 0)
            QSKIP("This allocator gives no heap statistics");
        parameterpage::setUpTree(tree);
        const auto buildAndTearDown = [this] {
            QVector<QPointer<QWidget>> controls;
            for (int row = 0; row < 150; ++row) {
                ControlRecipe recipe;
                recipe.kind = Kind(row % 3);
                recipe.cell = row;
                controls << addRow(recipe);
            }
            parameterpage::tearDown(tree);
            return QTest::qWaitFor(
                [&] { return std::all_of(controls.begin(), controls.end(), [](const auto &c) { return c.isNull(); }); },
                10000);
        };
        for (int round = 0; round < 5; ++round)
            QVERIFY(buildAndTearDown());
        const qint64 before = qint64(mallinfo2().uordblks);
        for (int round = 0; round < 20; ++round)
            QVERIFY(buildAndTearDown());
        const qint64 grownKb = (qint64(mallinfo2().uordblks) - before) / 1024;
        QVERIFY2(grownKb < 64, qPrintable(QString("%1 KB more in use after 20 pages").arg(grownKb)));
    }

    void pageHeight_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("height");

        QTest::newRow("0 rows") << 0 << 45;
        QTest::newRow("1 row") << 1 << 79;
        QTest::newRow("5 rows") << 5 << 215;
        QTest::newRow("19 rows") << 19 << 691;
        QTest::newRow("20 rows") << 20 << 700;
        QTest::newRow("250 rows") << 250 << 700;
        QTest::newRow("no overflow") << INT_MAX << 700;
    }

    void pageHeight()
    {
        QFETCH(int, rows);
        QFETCH(int, height);
        QCOMPARE(parameterpage::pageHeight(rows), height);
    }
};

QTEST_MAIN(TestParameterPage)
#include "tst_parameterpage.moc"
