#include "controlreceiver.h"
#include "support/descriptionfiles.h"

#include "app/parameterpage.h"
#include "device/deviceimage.h"
#include "params/mcheckbox.h"
#include "params/mcombobox.h"
#include "params/mspinbox.h"
#include "description/descriptionreader.h"
#include "params/xmlcontrolsreader.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QListView>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>
#include <QTreeWidget>
#include <QWheelEvent>

#include <sys/stat.h>

using namespace descriptionfiles;

namespace {

// The identity every test device reports.
constexpr int Id = 21, Hw = 2, Fw = 4, Fwm = 12;

QString ours(const QString &name, const QString &parameters = QString(), const QString &extra = QString())
{
    return device(Id, Hw, Fw, Fwm, name, parameters, extra);
}

QString range(const QString &name, int cell, const QString &extra = QString())
{
    return QStringLiteral("<Parameter type=\"range\" name=\"%1\" cell=\"%2\" %3/>\n").arg(name).arg(cell).arg(extra);
}

QString check(const QString &name, int cell, const QString &extra = QString())
{
    return QStringLiteral("<Parameter type=\"check\" name=\"%1\" cell=\"%2\" %3/>\n").arg(name).arg(cell).arg(extra);
}

QString list(const QString &name, int cell, const QStringList &entries, const QString &extra = QString())
{
    QString values;
    for (const QString &entry : entries)
        values += QStringLiteral("  <Value string=\"%1\"/>\n").arg(entry);
    return QStringLiteral("<Parameter type=\"list\" name=\"%1\" cell=\"%2\" %3>\n%4</Parameter>\n")
        .arg(name)
        .arg(cell)
        .arg(extra, values);
}

}  // namespace

class TestXmlControlsReader : public QObject
{
    Q_OBJECT

    DeviceImage image;
    ControlReceiver receiver;
    QTreeWidget *tree = nullptr;

    bool readDescription()
    {
        XmlControlsReader reader(&receiver, tree, &image);
        return reader.readDescription();
    }

    QStringList rowNames() const
    {
        QStringList names;
        for (int row = 0; row < tree->topLevelItemCount(); ++row)
            names << tree->topLevelItem(row)->text(0);
        return names;
    }

    QList<int> usedCells() const
    {
        QList<int> cells;
        for (int cell = 0; cell < CellCount; ++cell)
            if (image.cells[cell].used)
                cells << cell;
        return cells;
    }

    template <typename Control>
    Control *control(int row) const
    {
        return qobject_cast<Control *>(tree->itemWidget(tree->topLevelItem(row), 1));
    }

    // Builds the single row of `parameter` inside our device's description.
    template <typename Control>
    Control *buildOne(const QString &parameter)
    {
        writePrimary(document(ours(QStringLiteral("Dev"), parameter)));
        if (!readDescription() || tree->topLevelItemCount() != 1)
            return nullptr;
        return control<Control>(0);
    }

private slots:
    void init()
    {
        removeAll();
        image.clear();
        image.deviceId = Id;
        image.hwVersion = Hw;
        image.fwMajor = Fw;
        image.fwMinor = Fwm;
        image.blVersion = 3;
        image.fwBuild = 7;
        image.deviceName = QStringLiteral("unchanged");
        image.fwPageCount = 9;
        image.fwPageSize = 99;
        receiver.controlSenders.clear();
        receiver.checkboxSenders.clear();
        tree = new QTreeWidget;
        tree->setColumnCount(2);
    }

    void cleanup()
    {
        delete tree;
        tree = nullptr;
        removeAll();
    }

    // Which description is taken. "folder" holds pairs of file name and content.
    void choosesDescription_data()
    {
        QTest::addColumn<QString>("primary");  // null: no primary file
        QTest::addColumn<QStringList>("folder");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("name");

        const QString unchanged = QStringLiteral("unchanged");
        const QString other = device(Id + 1, Hw, Fw, Fwm, QStringLiteral("Other"));
        QTest::newRow("first matching element wins")
            << document(ours("First") + ours("Second")) << QStringList() << true << "First";
        QTest::newRow("id mismatch skipped") << document(other + ours("Right")) << QStringList() << true << "Right";
        QTest::newRow("hw mismatch skipped")
            << document(device(Id, Hw + 1, Fw, Fwm, "Hw") + ours("Right")) << QStringList() << true << "Right";
        QTest::newRow("fw mismatch skipped")
            << document(device(Id, Hw, Fw + 1, Fwm, "Fw") + ours("Right")) << QStringList() << true << "Right";
        QTest::newRow("fwm mismatch skipped")
            << document(device(Id, Hw, Fw, Fwm + 1, "Fwm") + ours("Right")) << QStringList() << true << "Right";
        QTest::newRow("description at any depth")
            << document("<Group><Sub>" + ours("Deep") + "</Sub></Group>") << QStringList() << true << "Deep";
        QTest::newRow("description as the document element") << ours("Alone") << QStringList() << true << "Alone";
        QTest::newRow("names compared case-sensitively")
            << document(ours("Lower").replace("<ESC", "<esc").replace("</ESC", "</esc")) << QStringList() << false
            << unchanged;
        QTest::newRow("no match anywhere")
            << document(other) << QStringList{"a.dsc", document(other)} << false << unchanged;
        QTest::newRow("primary wins over the folder")
            << document(ours("Primary")) << QStringList{"z.dsc", document(ours("Folder"))} << true << "Primary";
        QTest::newRow("folder in descending name order")
            << document(other) << QStringList{"a.dsc", document(ours("A")), "b.dsc", document(ours("B"))} << true
            << "B";
        QTest::newRow("folder names compared case-sensitively")
            << document(other) << QStringList{"B.dsc", document(ours("Upper")), "a.dsc", document(ours("Lower"))}
            << true << "Lower";
        QTest::newRow("folder files without a match passed over")
            << document(other)
            << QStringList{"c.dsc", document(other), "b.dsc", document(ours("B")), "a.dsc", document(ours("A"))} << true
            << "B";
        QTest::newRow("only .dsc files of the folder")
            << document(other) << QStringList{"z.txt", document(ours("Text")), "y.dsc.bak", document(ours("Backup")),
                                              "a.dsc", document(ours("A"))}
            << true << "A";
        QTest::newRow("missing primary: folder not searched")
            << QString() << QStringList{"a.dsc", document(ours("A"))} << false << unchanged;
        QTest::newRow("malformed primary: folder still searched")
            << QString("<Devices><ESC id=\"1\"></Devices>") << QStringList{"a.dsc", document(ours("A"))} << true << "A";
        QTest::newRow("an error ends the scan of its file")
            << QString("<Devices><x></y>" + ours("Late") + "</Devices>") << QStringList() << false << unchanged;
        QTest::newRow("empty primary") << QString("") << QStringList() << false << unchanged;
    }

    void choosesDescription()
    {
        QFETCH(QString, primary);
        QFETCH(QStringList, folder);
        QFETCH(bool, found);
        QFETCH(QString, name);

        if (!primary.isNull())
            writePrimary(primary);
        for (int i = 0; i + 1 < folder.size(); i += 2)
            writeFirmwaresFile(folder[i], folder[i + 1]);
        if (primary.isNull())
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Error: Cannot read file"));

        QCOMPARE(readDescription(), found);
        QCOMPARE(image.deviceName, name);
        if (!found) {
            QCOMPARE(int(image.fwPageCount), 9);
            QCOMPARE(int(image.fwPageSize), 99);
            QCOMPARE(tree->topLevelItemCount(), 0);
            QVERIFY(usedCells().isEmpty());
        }
    }

    void folderListsFilesOnly()
    {
        writePrimary(document(device(1, 1, 1, 1, "Other")));
        QVERIFY(QDir().mkpath(firmwaresFolder() + "/zz.dsc"));
        writeFirmwaresFile("a.dsc", document(ours("A")));
        QVERIFY(readDescription());
        QCOMPARE(image.deviceName, QString("A"));
    }

    void openFailureLine()
    {
        writeFirmwaresFile("a.dsc", document(ours("A")));
        QTest::ignoreMessage(QtDebugMsg, "Error: Cannot read file Tellur.dsc :  \"No such file or directory\"");
        QVERIFY(!readDescription());
    }

    void unreadablePrimary()
    {
        QVERIFY(QDir().mkpath(Primary));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Error: Cannot read file Tellur.dsc :  "));
        QVERIFY(!readDescription());
        QCOMPARE(tree->topLevelItemCount(), 0);
    }

    void takesFirmwareGeometry_data()
    {
        QTest::addColumn<QString>("attributes");
        QTest::addColumn<int>("pageCount");
        QTest::addColumn<uint>("pageSize");

        QTest::newRow("plain") << "fwnp=\"32\" fwps=\"256\"" << 32 << 256u;
        QTest::newRow("page count keeps its low 8 bits") << "fwnp=\"300\" fwps=\"64\"" << 44 << 64u;
        QTest::newRow("page size kept whole") << "fwnp=\"1\" fwps=\"4294967295\"" << 1 << 4294967295u;
        QTest::newRow("absent") << "" << 0 << 0u;
        QTest::newRow("not numbers") << "fwnp=\"many\" fwps=\"-1\"" << 0 << 0u;
    }

    void takesFirmwareGeometry()
    {
        QFETCH(QString, attributes);
        QFETCH(int, pageCount);
        QFETCH(uint, pageSize);

        writePrimary(document(ours("Geometry", QString(), attributes)));
        QVERIFY(readDescription());
        QCOMPARE(image.deviceName, QString("Geometry"));
        QCOMPARE(int(image.fwPageCount), pageCount);
        QCOMPARE(uint(image.fwPageSize), pageSize);
    }

    // Which parameters get rows and which cells are marked, by the token rules.
    void buildsRows_data()
    {
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QList<int>>("used");
        QTest::addColumn<int>("skipped");  // parameters left out for their cells

        QTest::newRow("no parameters") << QString() << QStringList() << QList<int>() << 0;
        QTest::newRow("check between ranges")
            << range("A", 1) + check("B", 2) + range("C", 3) << QStringList{"A", "B", "C"} << QList<int>{1, 2, 3} << 0;
        QTest::newRow("list without values")
            << list("L", 4, {}) + range("R", 5) << QStringList{"L", "R"} << QList<int>{4, 5} << 0;
        QTest::newRow("foreign empty element ends the list")
            << range("A", 1) + "<Note/>\n" + range("B", 2) << QStringList{"A"} << QList<int>{1} << 0;
        QTest::newRow("foreign element's end tag ends the list")
            << range("A", 1) + "<Group>\n" + range("B", 2) + "</Group>\n" + range("C", 3) << QStringList{"A", "B"}
            << QList<int>{1, 2} << 0;
        QTest::newRow("range with content ends the list")
            << "<Parameter type=\"range\" name=\"A\" cell=\"1\"><Extra/></Parameter>\n" + range("B", 2)
            << QStringList{"A"} << QList<int>{1} << 0;
        QTest::newRow("unknown type ends the list")
            << range("A", 1) + "<Parameter type=\"slider\" name=\"U\" cell=\"3\"/>\n" + range("B", 2)
            << QStringList{"A"} << QList<int>{1} << 0;
        QTest::newRow("type compared case-sensitively")
            << "<Parameter type=\"Range\" name=\"U\" cell=\"3\"/>\n" + range("B", 2) << QStringList() << QList<int>()
            << 0;
        QTest::newRow("nested description ends the list")
            << range("A", 1) + "<ESC id=\"1\"/>\n" + range("B", 2) << QStringList{"A"} << QList<int>{1} << 0;
        QTest::newRow("comments and text between parameters") << range("A", 1) + "<!-- note -->\ntext\n" + check("B", 2)
                                                              << QStringList{"A", "B"} << QList<int>{1, 2} << 0;
        QTest::newRow("foreign element inside a list") << "<Parameter type=\"list\" name=\"L\" cell=\"6\">"
                                                          "<Note/><Value string=\"x\"/></Parameter>"
                                                              + range("B", 2)
                                                       << QStringList{"L", "B"} << QList<int>{2, 6} << 0;
        QTest::newRow("high cells marked") << range("A", 10, "hcell=\"11\"") + list("L", 12, {"x"}, "hcell=\"13\"")
                                           << QStringList{"A", "L"} << QList<int>{10, 11, 12, 13} << 0;
        QTest::newRow("empty hcell marks nothing")
            << range("A", 10, "hcell=\"\"") << QStringList{"A"} << QList<int>{10} << 0;
        QTest::newRow("hcell 0 marks cell 0")
            << range("A", 10, "hcell=\"0\"") << QStringList{"A"} << QList<int>{0, 10} << 0;
        QTest::newRow("check has no high cell")
            << check("C", 2, "hcell=\"999\"") << QStringList{"C"} << QList<int>{2} << 0;
        QTest::newRow("no attributes: cell 0") << "<Parameter type=\"check\"/>\n"
                                               << QStringList{""} << QList<int>{0} << 0;
        QTest::newRow("cells outside the image: no rows, rest read")
            << range("A", 255) + list("L", -1, {"x", "y"}) + check("C", 300) + range("B", 7) << QStringList{"B"}
            << QList<int>{7} << 3;
        QTest::newRow("high cells outside the image: no rows, rest read")
            << range("A", 1, "hcell=\"255\"") + list("L", 2, {"x"}, "hcell=\"-3\"") + check("B", 7) << QStringList{"B"}
            << QList<int>{7} << 2;
    }

    void buildsRows()
    {
        QFETCH(QString, parameters);
        QFETCH(QStringList, rows);
        QFETCH(QList<int>, used);
        QFETCH(int, skipped);

        writePrimary(document(ours("Dev", parameters) + ours("Second", range("Z", 9))));
        for (int i = 0; i < skipped; ++i)
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("skipped: cell"));
        QVERIFY(readDescription());
        QCOMPARE(image.deviceName, QString("Dev"));
        QCOMPARE(rowNames(), rows);
        QCOMPARE(usedCells(), used);
        for (int row = 0; row < tree->topLevelItemCount(); ++row)
            QVERIFY(tree->itemWidget(tree->topLevelItem(row), 1));
    }

    void skippedCellSaysWhy()
    {
        writePrimary(document(ours("Dev", range("Wide", 255))));
        QTest::ignoreMessage(QtDebugMsg, "Parameter \"Wide\" skipped: cell 255 or hcell 0 outside 0 to 254");
        QVERIFY(readDescription());
        QCOMPARE(tree->topLevelItemCount(), 0);
    }

    void listControlSetUp()
    {
        auto *timing =
            buildOne<MComboBox>("<Parameter type=\"list\" name=\"Timing\" cell=\"11\" hcell=\"12\" depcell=\"1000\""
                                " depval=\"1002\" offset=\"1.5\" scale=\"2\" shift=\"-3\">"
                                "<Value string=\"Auto\"/><Value string=\"Low\"></Value><Other string=\"no\"/>"
                                "<Value/><Value string=\"High\"/></Parameter>");
        QVERIFY(timing);
        QCOMPARE(timing->name, QString("Timing"));
        QCOMPARE(timing->cell, 11);
        QCOMPARE(timing->hcell, 12);
        QCOMPARE(timing->depcell, 1000);
        QCOMPARE(timing->depval, 1002);
        QCOMPARE(timing->offset, 1.5);
        QCOMPARE(timing->scale, 2.0);
        QCOMPARE(timing->shift, -3.0);
        QCOMPARE(timing->count(), 4);
        const QStringList entries{"Auto", "Low", "", "High"};
        for (int i = 0; i < entries.size(); ++i)
            QCOMPARE(timing->itemText(i), entries[i]);
        // The popup comes with the first opening, with a plain list view
        // whose entries the style sheet can reach.
        QVERIFY(!timing->findChild<QAbstractItemView *>());
        timing->showPopup();
        QCOMPARE(timing->view()->metaObject(), &QListView::staticMetaObject);
        QVERIFY(static_cast<QListView *>(timing->view())->uniformItemSizes());
        QCOMPARE(timing->view()->model()->rowCount(), entries.size());
        timing->hidePopup();
        QCOMPARE(tree->topLevelItem(0)->text(0), QString("Timing"));
    }

    void listWithoutValues()
    {
        auto *empty = buildOne<MComboBox>(list("Empty", 4, {}));
        QVERIFY(empty);
        QCOMPARE(empty->count(), 0);
        QCOMPARE(empty->currentIndex(), -1);
        QVERIFY(receiver.controlSenders.isEmpty());
    }

    void rangeControlSetUp()
    {
        auto *temperature =
            buildOne<MSpinBox>("<Parameter type=\"range\" name=\"Temperature\" cell=\"20\" hcell=\"21\" depcell=\"4\""
                               " depval=\"1\" offset=\"40\" scale=\"0\" shift=\"2\" min=\"-40\" max=\"120.5\""
                               " step=\"0.5\" decimals=\"1\" suffix=\" C\"/>");
        QVERIFY(temperature);
        QCOMPARE(temperature->name, QString("Temperature"));
        QCOMPARE(temperature->cell, 20);
        QCOMPARE(temperature->hcell, 21);
        QCOMPARE(temperature->depcell, 4);
        QCOMPARE(temperature->depval, 1);
        QCOMPARE(temperature->offset, 40.0);
        QCOMPARE(temperature->scale, 1.0);
        QCOMPARE(temperature->shift, 2.0);
        QCOMPARE(temperature->minimum(), -40.0);
        QCOMPARE(temperature->maximum(), 120.5);
        QCOMPARE(temperature->singleStep(), 0.5);
        QCOMPARE(temperature->decimals(), 1);
        QCOMPARE(temperature->suffix(), QString(" C"));
        QVERIFY(temperature->findChild<QLineEdit *>()->isReadOnly());
        QVERIFY(!temperature->isReadOnly());  // the step buttons still work
    }

    void numbersThatDoNotRead_data()
    {
        QTest::addColumn<QString>("attributes");
        QTest::addColumn<double>("scale");
        QTest::addColumn<double>("offset");

        QTest::newRow("scale absent") << "" << 1.0 << 0.0;
        QTest::newRow("scale 0") << "scale=\"0\"" << 1.0 << 0.0;
        QTest::newRow("scale not a number") << "scale=\"ten\"" << 1.0 << 0.0;
        QTest::newRow("decimal comma does not read") << "offset=\"1,5\"" << 1.0 << 0.0;
        QTest::newRow("infinite and NaN count as 0") << "scale=\"inf\" offset=\"nan\"" << 1.0 << 0.0;
        QTest::newRow("exponent reads") << "scale=\"1e1\" offset=\"-2.5\"" << 10.0 << -2.5;
    }

    void numbersThatDoNotRead()
    {
        QFETCH(QString, attributes);
        QFETCH(double, scale);
        QFETCH(double, offset);

        auto *value = buildOne<MSpinBox>(range("V", 1, attributes));
        QVERIFY(value);
        QCOMPARE(value->scale, scale);
        QCOMPARE(value->offset, offset);
    }

    void checkControlSetUp()
    {
        auto *beep =
            buildOne<MCheckBox>("<Parameter type=\"check\" name=\"Beep\" cell=\"9\" depcell=\"3\" depval=\"1\"/>");
        QVERIFY(beep);
        QCOMPARE(beep->name, QString("Beep"));
        QCOMPARE(beep->cell, 9);
        QCOMPARE(beep->depcell, 3);
        QCOMPARE(beep->depval, 1);
        QVERIFY(beep->isChecked());
        QVERIFY(beep->text().isEmpty());
        QCOMPARE(tree->topLevelItem(0)->text(0), QString("Beep"));
    }

    // The wheel over a control the user has not focused scrolls the page.
    void wheelNeedsFocus_data()
    {
        QTest::addColumn<int>("row");  // of a list and a range in turn
        QTest::addColumn<bool>("focused");

        QTest::newRow("list") << 0 << false;
        QTest::newRow("range") << 1 << false;
        QTest::newRow("focused list") << 0 << true;
        QTest::newRow("focused range") << 1 << true;
    }

    void wheelNeedsFocus()
    {
        QFETCH(int, row);
        QFETCH(bool, focused);

        QString parameters;
        for (int cell = 0; cell < 30; cell += 2)
            parameters += list("L", cell, {"a", "b", "c"}) + range("R", cell + 1, "max=\"9\" step=\"1\"");
        writePrimary(document(ours("Dev", parameters)));
        QVERIFY(readDescription());
        tree->resize(400, 300);
        tree->show();
        tree->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(tree));
        QWidget *control = this->control<QWidget>(row);
        if (auto *list = qobject_cast<MComboBox *>(control))
            list->setCurrentIndex(1);
        else
            qobject_cast<MSpinBox *>(control)->setValue(5);
        if (focused)
            control->setFocus();
        else if (QWidget *focus = QApplication::focusWidget())
            focus->clearFocus();  // activating the window focused the first control
        receiver.controlSenders.clear();

        // Where the pointer is: the range's own line edit, or the list.
        QWidget *target = control->findChild<QLineEdit *>();
        target = target ? target : control;
        const QPoint centre = target->rect().center();
        QWheelEvent wheel(centre, target->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        // As from the window system: only such events travel on to the parents.
        QSpontaneKeyEvent::setSpontaneous(&wheel);
        qApp->notify(target, &wheel);

        QCOMPARE(receiver.controlSenders.size(), focused ? 1 : 0);
        QCOMPARE(tree->verticalScrollBar()->value() > 0, !focused);
    }

    void stylesParse()
    {
        static QStringList complaints;
        complaints.clear();
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &message) {
                // The offscreen platform's notes on the tree's native window are no complaint.
                if (!message.startsWith("This plugin does not support"))
                    complaints << message;
            });
        parameterpage::setUpTree(tree);
        writePrimary(document(ours("Dev", list("L", 1, {"a"}) + range("R", 2) + check("C", 3))));
        const bool found = readDescription();
        tree->show();
        for (int row = 0; row < tree->topLevelItemCount(); ++row)
            control<QWidget>(row)->setEnabled(false);  // the disabled looks are parsed too
        QCoreApplication::processEvents();
        qInstallMessageHandler(previous);
        QVERIFY(found);
        QCOMPARE(tree->topLevelItemCount(), 3);
        QVERIFY2(complaints.isEmpty(), qPrintable(complaints.join('\n')));
    }

    // Moving between list entries that read alike is a change too.
    void controlsReachTheReceiver()
    {
        const QString parameters = list("L", 1, {"a", "a"}) + range("R", 2, "max=\"10\" step=\"1\"") + check("C", 3);
        writePrimary(document(ours("Dev", parameters)));
        QVERIFY(readDescription());
        auto *listControl = control<MComboBox>(0);
        auto *rangeControl = control<MSpinBox>(1);
        auto *checkControl = control<MCheckBox>(2);
        QVERIFY(listControl && rangeControl && checkControl);
        QVERIFY(receiver.controlSenders.isEmpty());  // building sends nothing
        QVERIFY(receiver.checkboxSenders.isEmpty());

        listControl->setCurrentIndex(1);
        rangeControl->setValue(4);
        checkControl->setChecked(false);
        QCOMPARE(receiver.controlSenders, (QVector<QObject *>{listControl, rangeControl}));
        QCOMPARE(receiver.checkboxSenders, QVector<QObject *>{checkControl});
    }

    void controlsBelongToTheTree()
    {
        writePrimary(document(ours("Dev", list("L", 1, {"a"}) + range("R", 2) + check("C", 3))));
        QVERIFY(readDescription());
        QList<QPointer<QWidget>> controls;
        for (int row = 0; row < 3; ++row)
            controls << tree->itemWidget(tree->topLevelItem(row), 1);
        delete tree;
        tree = nullptr;
        for (const QPointer<QWidget> &widget : controls)
            QVERIFY(widget.isNull());
        tree = new QTreeWidget;
    }

    // Broken or hostile files end in rows built so far, never in a crash.
    void survivesHostileInput_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QStringList>("rows");

        const QByteArray head = "<Devices>" + ours("Dev").section("\n", 0, 0).toUtf8();
        QTest::newRow("document ends inside the description") << head + range("A", 1).toUtf8()
                                                                     + "<Parameter type=\"list\" name=\"L\" cell=\"2\">"
                                                                       "<Value string=\"x\"/>"
                                                              << true << QStringList{"A", "L"};
        QTest::newRow("error inside the description")
            << head + range("A", 1).toUtf8() + "<Parameter type=\"check\" name=\"C\" cell=\"3\"<<>" << true
            << QStringList{"A"};
        QTest::newRow("error inside a list")
            << head + "<Parameter type=\"list\" name=\"L\" cell=\"2\"><Value string=\"x\"/><&&>" << true
            << QStringList{"L"};
        QTest::newRow("unclosed quote") << head + "<Parameter type=\"range name=\"A\"/>" << true << QStringList();
        QByteArray garbage(4096, '\0');
        for (int i = 0; i < garbage.size(); ++i)
            garbage[i] = char((i * 7919) % 251);
        QTest::newRow("binary garbage") << garbage << false << QStringList();
        QByteArray entities = "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY e0 \"lol\">";
        for (int level = 1; level < 10; ++level)
            entities +=
                QString("<!ENTITY e%1 \"%2\">").arg(level).arg(QString("&e%1;").arg(level - 1).repeated(10)).toUtf8();
        entities += "]><d>" + ours("&e9;", range("A", 1)).toUtf8() + "</d>";
        QTest::newRow("entity expansion bomb") << entities << false << QStringList();
    }

    void survivesHostileInput()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, found);
        QFETCH(QStringList, rows);

        writeFile(Primary, content);
        QCOMPARE(readDescription(), found);
        QCOMPARE(rowNames(), rows);
        QVERIFY(image.deviceName.size() < 1000);
    }

    // Content beyond the bounds is not parsed and the search goes on; at the
    // bounds it is read. An empty `refusal` means read.
    void boundsContent_data()
    {
        using namespace descriptionreader;
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("refusal");

        auto file = [](const QString &parameters, const QString &between = QString()) {
            return document(ours("Big", parameters) + between).toUtf8();
        };
        auto attributes = [](int count, int valueBytes) {
            QString text;
            for (int i = 0; i < count; ++i)
                text += QString(" a%1=\"%2\"").arg(i).arg(QString(valueBytes, 'v'));
            return "<Parameter type=\"check\"" + text + "/>";
        };
        const QString longText(MaxTextBytes - 1, 't');  // a line break before it

        QTest::newRow("at every bound") << file(
            attributes(MaxAttributes - 1, 64)
                + range("R", 1, "suffix=\"" + QString(MaxAttributeValueBytes, 's') + "\""),
            longText + "<!--" + QString(MaxTextBytes - 7, 'c') + "-->")
                                        << "";
        QTest::newRow("declared single-byte encoding")
            << QByteArray("<?xml version=\"1.0\" encoding=\"windows-1251\"?>")
                   + ours("Big", range("\xd2", 1)).toLatin1()
            << "";
        QTest::newRow("file too large") << file(QString(), QString(int(MaxFileBytes), ' ')) << "file too large";
        QTest::newRow("too many attributes") << file(attributes(MaxAttributes + 1, 1)) << "too many attributes";
        QTest::newRow("attribute value too long")
            << file(range("R", 1, "suffix=\"" + QString(MaxAttributeValueBytes + 1, 's') + "\""))
            << "attribute value too long";
        QTest::newRow("tag too long") << file(attributes(20, 250)) << "tag too long";
        QTest::newRow("end tag too long")
            << file(QString(), "<x></x" + QString(MaxTagBytes, ' ') + ">") << "tag too long";
        QTest::newRow("unterminated declaration")
            << QByteArray("<?xml version=\"1.0\"") + QByteArray(MaxTagBytes, ' ') << "tag too long";
        QTest::newRow("text too long") << file(QString(), longText + "t") << "text too long";
        QTest::newRow("comment too long") << file(QString(), "<!--" + longText + "-->") << "text too long";
        QTest::newRow("CDATA too long") << file(QString(), "<![CDATA[" + longText + "]]>") << "text too long";
        // The document element and "ESC" are open around the nested ones.
        auto nested = [](int levels) {
            return document(QString("<a>").repeated(levels) + ours("Big", range("R", 1))
                            + QString("</a>").repeated(levels))
                .toUtf8();
        };
        QTest::newRow("nested to the bound") << nested(MaxDepth - 2) << "";
        QTest::newRow("nested too deeply") << nested(MaxDepth - 1) << "elements nested too deeply";
        QTest::newRow("document type") << "<!DOCTYPE d>" + file(QString()) << "document type or entity declaration";
        const QString text = file(QString());
        QTest::newRow("UTF-16") << QByteArray("\xff\xfe")
                                       + QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2)
                                << "unsupported encoding";
        QTest::newRow("declared multi-byte encoding")
            << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?>") + file(QString())
            << "unsupported encoding";
    }

    void boundsContent()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, refusal);

        writeFile(Primary, content);
        writeFirmwaresFile("a.dsc", document(ours("A")));
        if (!refusal.isEmpty())
            QTest::ignoreMessage(QtDebugMsg, qPrintable("Description file \"tellur.dsc\" skipped: " + refusal));
        QVERIFY(readDescription());
        QCOMPARE(image.deviceName, QString(refusal.isEmpty() ? "Big" : "A"));
    }

    void fifoRefusedWithoutBlocking()
    {
        QVERIFY(mkfifo(qPrintable(Primary), 0600) == 0);
        writeFirmwaresFile("a.dsc", document(ours("A")));
        QTest::ignoreMessage(QtDebugMsg, "Error: Cannot read file Tellur.dsc :  \"Not a regular file\"");
        QVERIFY(!readDescription());
        QCOMPARE(image.deviceName, QString("unchanged"));
    }

    void rowsCapped()
    {
        QString parameters;
        for (int i = 0; i < descriptionreader::MaxParameters + 200; ++i)
            parameters += check(QString::number(i), i % CellCount);
        writePrimary(document(ours("Many", parameters)));
        QTest::ignoreMessage(QtDebugMsg,
                             qPrintable(QString("Description has more than %1 parameters, the rest are left out")
                                            .arg(descriptionreader::MaxParameters)));
        QVERIFY(readDescription());
        QCOMPARE(tree->topLevelItemCount(), descriptionreader::MaxParameters);
        QCOMPARE(tree->topLevelItem(descriptionreader::MaxParameters - 1)->text(0),
                 QString::number(descriptionreader::MaxParameters - 1));
    }

    void listEntriesCapped()
    {
        QStringList entries;
        for (int i = 0; i < descriptionreader::MaxListEntries + 500; ++i)
            entries << QString::number(i);
        writePrimary(document(ours("Long", list("L", 1, entries) + range("After", 2))));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("more than 1000 entries"));
        QVERIFY(readDescription());
        QCOMPARE(rowNames(), (QStringList{"L", "After"}));
        auto *longList = control<MComboBox>(0);
        QCOMPARE(longList->count(), descriptionreader::MaxListEntries);
        QCOMPARE(longList->itemText(descriptionreader::MaxListEntries - 1),
                 QString::number(descriptionreader::MaxListEntries - 1));
    }
};

QTEST_MAIN(TestXmlControlsReader)
#include "tst_xmlcontrolsreader.moc"
