// The window's parameter page and kova-cli, given the same cells, show each
// allowed value alike and disable the same ones; a value the description does
// not allow the window shows as its control holds it, kova-cli as it is.
#include "parametervalues.h"
#include "support/descriptionfiles.h"
#include "support/exampledevice.h"

#include "app/parameterpage.h"
#include "device/describing.h"
#include "device/deviceimage.h"
#include "device/devicesession.h"
#include "description/descriptionlookup.h"
#include "params/mcheckbox.h"
#include "params/mcombobox.h"
#include "params/mspinbox.h"
#include "params/xmlcontrolsreader.h"

#include <QFile>
#include <QTreeWidget>
#include <QtTest>

// Stands in for the main window's slots, which the page's controls need.
class PageReceiver : public QObject
{
    Q_OBJECT

public slots:
    void controlChanged(QString) {}
    void checkboxChanged(int) {}
};

Q_DECLARE_METATYPE(DescriptionIdentity)

namespace {

QList<int> usedCells(const DeviceImage &image)
{
    QList<int> cells;
    for (int cell = 0; cell < CellCount; ++cell)
        if (image.cells[cell].used)
            cells << cell;
    return cells;
}

QString shownByControl(QWidget *control)
{
    if (auto *list = qobject_cast<MComboBox *>(control))
        return list->currentText();
    if (auto *range = qobject_cast<MSpinBox *>(control))
        return range->text();
    if (auto *check = qobject_cast<MCheckBox *>(control))
        return check->isChecked() ? "on" : "off";
    return QString();
}

}  // namespace

class FrontEndsTest : public QObject
{
    Q_OBJECT

private slots:
    void agree_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<DescriptionIdentity>("identity");
        QTest::newRow("vorn") << "vorn" << DescriptionIdentity{21, 2, 4, 12};
        QTest::newRow("kelpa") << "kelpa" << DescriptionIdentity{7, 1, 2, 5};
        QTest::newRow("ulma") << "ulma" << DescriptionIdentity{12, 1, 1, 8};
    }

    // The example's cells, then every value of one used cell at a time:
    // each source passes its dependents' values and each value its bounds.
    void agree()
    {
        QFETCH(QString, device);
        QFETCH(DescriptionIdentity, identity);
        const QString primary = "tellur.dsc";
        QFile::remove(primary);
        QVERIFY(QFile::copy(testsupport::exampleDescription(device), primary));
        const descriptionlookup::Result found = descriptionlookup::findIn(primary, identity);
        QCOMPARE(found.outcome, descriptionlookup::Result::Found);
        const DeviceDescription &description = found.device;

        DeviceImage image;
        image.deviceId = quint8(identity.id);
        image.hwVersion = quint8(identity.hw);
        image.fwMajor = quint8(identity.fw);
        image.fwMinor = quint8(identity.fwm);
        PageReceiver receiver;
        QTreeWidget tree;
        tree.setColumnCount(2);
        QVERIFY(XmlControlsReader(&receiver, &tree, &image).readDescription());
        QCOMPARE(tree.topLevelItemCount(), description.parameters.size());

        const QMap<int, quint8> example = testsupport::exampleCells(device);
        QVERIFY(!example.isEmpty());
        QList<int> used;
        for (int cell = 0; cell < CellCount; ++cell)
            if (image.cells[cell].used)
                used << cell;
        int disabledSeen = 0;
        for (int varied : used) {
            for (int value = 0; value < 256; ++value) {
                for (int cell = 0; cell < CellCount; ++cell)
                    image.cells[cell].value = example.value(cell);
                image.cells[varied].value = quint8(value);
                parameterpage::decodeControls(&tree, image);
                parameterpage::updateAllDependents(&tree);
                const QVector<ParameterValue> values = valuesOf(description, image);
                for (int row = 0; row < values.size(); ++row) {
                    QWidget *control = tree.itemWidget(tree.topLevelItem(row), 1);
                    const QByteArray where =
                        QString("%1, cell %2 at %3").arg(values.at(row).name).arg(varied).arg(value).toUtf8();
                    const ParameterValue &shown = values.at(row);
                    const QString held = shown.outside == valuetext::Refusal::None
                                             ? shown.shown
                                             : valuetext::toText(description.parameters.at(row), shown.raw);
                    QVERIFY2(held == shownByControl(control), where);
                    QVERIFY2(values.at(row).disabled == !control->isEnabled(), where);
                    disabledSeen += values.at(row).disabled ? 1 : 0;
                }
            }
        }
        QVERIFY(disabledSeen > 0);
        parameterpage::tearDown(&tree);
    }

    // A parameter whose cell has no slot on the wire: the window's page gets
    // no row for it and kova-cli no value, and neither marks a cell for it.
    void cellsWithoutSlotSkippedAlike_data()
    {
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QList<int>>("used");
        QTest::addColumn<int>("skipped");
        const QString range("<Parameter type=\"range\" name=\"%1\" cell=\"%2\" %3/>\n");
        const QString check("<Parameter type=\"check\" name=\"%1\" cell=\"%2\" %3/>\n");
        QTest::newRow("cell 255") << range.arg("A").arg(255).arg("") + range.arg("B").arg(7).arg("") << QStringList{"B"}
                                  << QList<int>{7} << 1;
        QTest::newRow("cells below 0 and above 255")
            << range.arg("A").arg(-1).arg("") + check.arg("C").arg(300).arg("") + range.arg("B").arg(7).arg("")
            << QStringList{"B"} << QList<int>{7} << 2;
        QTest::newRow("high cell 255") << range.arg("A").arg(1).arg("hcell=\"255\"") + check.arg("B").arg(7).arg("")
                                       << QStringList{"B"} << QList<int>{7} << 1;
        QTest::newRow("a check's high cell is never used")
            << check.arg("C").arg(2).arg("hcell=\"999\"") << QStringList{"C"} << QList<int>{2} << 0;
    }

    void cellsWithoutSlotSkippedAlike()
    {
        QFETCH(QString, parameters);
        QFETCH(QStringList, kept);
        QFETCH(QList<int>, used);
        QFETCH(int, skipped);
        using namespace descriptionfiles;
        const DeviceIdentity identity{21, 2, 3, 4, 12, 7};
        removeAll();
        writePrimary(document(device(21, 2, 4, 12, "Dev", parameters)));
        // Each front end reads the file once.
        for (int i = 0; i < 2 * skipped; ++i)
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("skipped: cell"));

        DeviceImage windowImage;
        identity.storeIn(windowImage);
        PageReceiver receiver;
        QTreeWidget tree;
        tree.setColumnCount(2);
        QVERIFY(XmlControlsReader(&receiver, &tree, &windowImage).readDescription());
        QStringList rows;
        for (int row = 0; row < tree.topLevelItemCount(); ++row)
            rows << tree.topLevelItem(row)->text(0);

        // kova-cli given the file with --description.
        DeviceImage cliImage;
        const descriptionlookup::Result found = describing::describe(identity, cliImage, Primary);
        QCOMPARE(found.outcome, descriptionlookup::Result::Found);
        QStringList values;
        for (const ParameterValue &value : valuesOf(found.device, cliImage))
            values << value.name;

        QCOMPARE(rows, kept);
        QCOMPARE(values, kept);
        QCOMPARE(usedCells(windowImage), used);
        QCOMPARE(usedCells(cliImage), used);
        parameterpage::tearDown(&tree);
        removeAll();
    }
};

QTEST_MAIN(FrontEndsTest)
#include "tst_frontends.moc"
