// The window's shell: initial state, status display, menus, sizes and the
// meta-object interface other parts rely on. No device is attached: the
// port setting file names no port, so every poll tick reports red.
#include "app/mainwindow.h"
#include "app/statuslabel.h"
#include "device/buscontroller.h"
#include "support/bytes.h"
#include "support/testsupport.h"

#include <QtTest>
#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>

namespace {

QImage ledImage(const char *resource)
{
    return QPixmap(resource).scaled(15, 15, Qt::IgnoreAspectRatio, Qt::FastTransformation).toImage();
}

QStringList ownMethods(const QMetaObject &meta)
{
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        const char *kind = method.methodType() == QMetaMethod::Signal ? "signal " : "slot ";
        methods << kind + QString::fromLatin1(method.methodSignature());
    }
    return methods;
}

}  // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MainWindow> window;

    template <typename T>
    T *child(const char *name)
    {
        return window->findChild<T *>(name);
    }
    QAction *action(const QString &text)
    {
        for (QAction *candidate : window->findChildren<QAction *>())
            if (candidate->text() == text)
                return candidate;
        return nullptr;
    }
    QImage shownLed() { return child<QLabel>("ledLabel")->pixmap(Qt::ReturnByValue).toImage(); }
    QString shownText() { return child<QLabel>("statusLabel")->text(); }
    void showStatus(const QString &color, const QString &text)
    {
        QVERIFY(QMetaObject::invokeMethod(window.get(), "showStatus", Q_ARG(QString, color), Q_ARG(QString, text)));
    }

    // A description that matches the cleared identity gives the window a
    // device name without any device.
    void nameTheDevice(const QString &name)
    {
        QVERIFY(testsupport::writeFile(
            "tellur.dsc",
            QString("<ESC id=\"0\" hw=\"0\" fw=\"0\" fwm=\"0\" name=\"%1\"/>").arg(name.toHtmlEscaped()).toUtf8()));
        QVERIFY(QMetaObject::invokeMethod(window.get(), "constructDevice"));
        QFile::remove("tellur.dsc");
    }

private slots:
    void init()
    {
        testsupport::writePortSetting("");
        window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanup() { window.reset(); }

    void initialState()
    {
        QCOMPARE(window->windowTitle(), QString("KOVA II"));
        QCOMPARE(window->size(), QSize(400, 400));
        QCOMPARE(child<QStackedWidget>("pageStack")->currentIndex(), 0);
        QCOMPARE(shownLed(), ledImage(":/maps/YLED"));
        QCOMPARE(shownText(), QString(" "));
        QVERIFY(!child<QProgressBar>("progressBar")->isVisible());
        QCOMPARE(child<QProgressBar>("progressBar")->value(), 50);
        QVERIFY(!child<QAction>("setupAction")->isEnabled());
        QVERIFY(!child<QAction>("firmwareAction")->isEnabled());
        QVERIFY(window->menuBar()->isEnabled());
        QCOMPARE(child<QTreeWidget>("parameterTree")->topLevelItemCount(), 0);
        for (const char *value :
             {"deviceNameValue", "hardwareRevisionValue", "bootloaderVersionValue", "firmwareVersionValue"})
            QCOMPARE(child<QLabel>(value)->text(), QString("-"));
        QVERIFY(!window->windowIcon().isNull());
        QCOMPARE(child<QLabel>("splashLabel")->pixmap(Qt::ReturnByValue).size(), QSize(400, 355));
    }

    void statusWithoutDeviceName_data()
    {
        QTest::addColumn<QString>("color");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("led");
        QTest::addColumn<QString>("shown");
        QTest::newRow("red with text") << "red"
                                       << " USB-cable not connected"
                                       << ":/maps/RLED"
                                       << " USB-cable not connected";
        QTest::newRow("red without text keeps the old one") << "red"
                                                            << ""
                                                            << ":/maps/RLED"
                                                            << "previous";
        QTest::newRow("yellow") << "yellow"
                                << " USB-cable connected to pts/3"
                                << ":/maps/YLED"
                                << " USB-cable connected to pts/3";
        QTest::newRow("dark_green names the (empty) device") << "dark_green"
                                                             << ""
                                                             << ":/maps/DGLED"
                                                             << " ";
        QTest::newRow("capital R is no colour") << "Red"
                                                << "text"
                                                << ":/maps/GLED"
                                                << "text";
        QTest::newRow("unknown word, no text: nothing") << "blue"
                                                        << ""
                                                        << ":/maps/GLED"
                                                        << "previous";
    }

    void statusWithoutDeviceName()
    {
        QFETCH(QString, color);
        QFETCH(QString, text);
        QFETCH(QString, led);
        QFETCH(QString, shown);
        QVERIFY(QMetaObject::invokeMethod(window.get(), "ledColor", Q_ARG(QString, "green")));
        QVERIFY(QMetaObject::invokeMethod(window.get(), "showStatus", Q_ARG(QString, "nothing"),
                                          Q_ARG(QString, "previous")));
        showStatus(color, text);
        QCOMPARE(shownLed(), ledImage(led.toLatin1().constData()));
        QCOMPARE(shownText(), shown);
        QCOMPARE(child<QLabel>("statusLabel")->toolTip(), shown.trimmed().isEmpty() ? QString() : shown);
    }

    // A text too long for the status bar keeps both ends of a port name and
    // as much as fits of what follows it.
    void longStatusText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("portRoom");  // pixels left for the port name; -1: half the rest
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");

        const QString port("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        QTest::newRow("fits: unchanged") << " USB-cable connected to pts/3" << 1000 << " USB-cable connected to pts/3"
                                         << "pts/3";
        QTest::newRow("port at the end") << " USB-cable connected to " + port << 100 << " USB-cable connected to /dev/"
                                         << "port0";
        QTest::newRow("reason after the port")
            << " No permission to open " + port + ": join the group \"dialout\" and log in again" << 100
            << " No permission to open /dev/"
            << "log in again";
        QTest::newRow("port first") << " " + port + " is in use by minicom (process 4242)" << 100 << " /dev/"
                                    << "(process 4242)";
        QTest::newRow("no port: its end goes")
            << " The window closes when the firmware update has ended" << -1 << " The window" << QString(QChar(0x2026));
        QTest::newRow("too narrow for the reason too")
            << " No permission to open " + port + ": join the group \"dialout\" and log in again" << -1
            << " No permission" << QString(QChar(0x2026));
    }

    void longStatusText()
    {
        QFETCH(QString, text);
        QFETCH(int, portRoom);
        QFETCH(QString, start);
        QFETCH(QString, end);
        const QFontMetrics metrics(child<QLabel>("statusLabel")->font());
        QString rest = text;
        rest.remove(QRegularExpression("\\S*/\\S*"));
        const int width =
            portRoom >= 0 ? metrics.horizontalAdvance(rest) + portRoom : metrics.horizontalAdvance(rest) / 2;
        const QString shown = elidedStatusText(text, metrics, width);
        QVERIFY2(metrics.horizontalAdvance(shown) <= width, qPrintable(shown));
        QVERIFY2(shown.startsWith(start), qPrintable(shown));
        QVERIFY2(shown.endsWith(end), qPrintable(shown));
        if (metrics.horizontalAdvance(text) <= width)
            QCOMPARE(shown, text);
        else
            QVERIFY2(shown.contains(QChar(0x2026)), qPrintable(shown));
    }

    void statusLabelShowsWhatFitsAndHoldsAll()
    {
        const QString text(" No permission to open /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0:"
                           " join the group \"dialout\" and log in again");
        showStatus("red", text);
        auto *label = window->findChild<StatusLabel *>("statusLabel");
        QVERIFY(label);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->toolTip(), text);
        const QString shown = label->shownText();
        QVERIFY2(shown.startsWith(" No permission to open /dev") && shown.contains(QChar(0x2026)), qPrintable(shown));
        QVERIFY2(label->fontMetrics().horizontalAdvance(shown) <= label->contentsRect().width(), qPrintable(shown));
    }

    void greenStatusNamesTheDevice_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain name") << "Test Controller";
        QTest::newRow("markup shown as text") << "<b>Test</b> <img src=\"x\">";
    }

    void greenStatusNamesTheDevice()
    {
        QFETCH(QString, name);
        nameTheDevice(name);
        showStatus("green", " any text");
        QCOMPARE(shownLed(), ledImage(":/maps/GLED"));
        QCOMPARE(shownText(), " " + name);
        showStatus("dark_green", "");
        QCOMPARE(shownLed(), ledImage(":/maps/DGLED"));
        QCOMPARE(shownText(), " " + name);
        QTRY_COMPARE_WITH_TIMEOUT(child<QStackedWidget>("pageStack")->currentIndex(), 2, testsupport::ConditionWaitMs);
        QCOMPARE(child<QLabel>("deviceNameValue")->text(), name);
        for (const char *label : {"statusLabel", "deviceNameValue"})
            QCOMPARE(child<QLabel>(label)->textFormat(), Qt::PlainText);
    }

    // What the window knows about the description goes after the device's
    // name: none found, with the identity and the files looked at, or one cut
    // short by malformed XML, with where and how many rows it gave.
    void descriptionTroubleIsSaid_data()
    {
        QTest::addColumn<QString>("description");  // empty: no file
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("onPage");  // the page's note, whole; empty: none

        const QString identity("id 0, hardware 0, firmware 0\\.0");
        QTest::newRow("no description file")
            << ""
            << "^ No description for " + identity + "; cannot read tellur\\.dsc \\(.+\\)$" << 0
            << "^No description for " + identity + "; cannot read tellur\\.dsc \\(.+\\)\nNo settings are shown\\.$";
        QTest::newRow("no element matches")
            << "<ESC id=\"5\" hw=\"0\" fw=\"0\" fwm=\"0\" name=\"Other\"/>"
            << "^ No description for " + identity + ": looked in tellur\\.dsc$" << 0
            << "^No description for " + identity + ": looked in tellur\\.dsc\nNo settings are shown\\.$";
        QTest::newRow("malformed before any match")
            << "<Devices>\n<ESC id=\"5\" hw=\"0\" fw=\"0\" fwm=\"0\" name=\"Other\">\n</Devices>\n"
               "<ESC id=\"0\" hw=\"0\" fw=\"0\" fwm=\"0\" name=\"Test\"/>"
            << "^ No description for " + identity + ": looked in tellur\\.dsc \\(stops at line 3\\)$" << 0
            << "^No description for " + identity
                   + ": looked in tellur\\.dsc \\(stops at line 3\\)\nNo settings are shown\\.$";
        QTest::newRow("malformed inside the match")
            << "<ESC id=\"0\" hw=\"0\" fw=\"0\" fwm=\"0\" name=\"Test\">\n"
               "<Parameter type=\"check\" name=\"A\" cell=\"1\"/>\n"
               "<Parameter type=\"check\" name=\"B\" cell=\"2\"/>\n"
               "<Parameter type=\"check\" name=\"C\" cell=\"3\"\n"
               "<Parameter type=\"check\" name=\"D\" cell=\"4\"/>\n</ESC>\n"
            << "^ Test: tellur\\.dsc stops at line 5, rows read: 2 \\(.+\\)$" << 2
            << "^tellur\\.dsc stops at line 5, rows read: 2 \\(.+\\)\n2 settings are shown\\.$";
        QTest::newRow("read to its end: nothing to say")
            << "<ESC id=\"0\" hw=\"0\" fw=\"0\" fwm=\"0\" name=\"Test\">\n"
               "<Parameter type=\"check\" name=\"A\" cell=\"1\"/>\n</ESC>\n"
            << "^ Test$" << 1 << "";
    }

    void descriptionTroubleIsSaid()
    {
        QFETCH(QString, description);
        QFETCH(QString, pattern);
        QFETCH(int, rows);
        QFETCH(QString, onPage);
        QFile::remove("tellur.dsc");
        if (!description.isEmpty())
            QVERIFY(testsupport::writeFile("tellur.dsc", description.toUtf8()));
        QVERIFY(QMetaObject::invokeMethod(window.get(), "constructDevice"));
        QFile::remove("tellur.dsc");
        showStatus("dark_green", "");
        QVERIFY2(QRegularExpression(pattern).match(shownText()).hasMatch(), qPrintable(shownText()));
        QCOMPARE(child<QLabel>("statusLabel")->toolTip(), shownText());
        QCOMPARE(child<QTreeWidget>("parameterTree")->topLevelItemCount(), rows);
        const QLabel *note = child<QLabel>("descriptionNote");
        QCOMPARE(note->isHidden(), onPage.isEmpty());
        if (!onPage.isEmpty())
            QVERIFY2(QRegularExpression(onPage).match(note->text()).hasMatch(), qPrintable(note->text()));
    }

    // A name wider than its label loses its end to an ellipsis, whole in the tooltip.
    void longDeviceNameIsElided()
    {
        const QString name("Test Controller with a name far too long for the firmware page");
        nameTheDevice(name);
        QTRY_COMPARE_WITH_TIMEOUT(child<QStackedWidget>("pageStack")->currentIndex(), 2, testsupport::ConditionWaitMs);
        const QLabel *value = child<QLabel>("deviceNameValue");
        QVERIFY2(value->text().endsWith(QChar(0x2026)), qPrintable(value->text()));
        QVERIFY(name.startsWith(value->text().chopped(1)));
        QVERIFY(value->fontMetrics().horizontalAdvance(value->text()) <= value->width());
        QCOMPARE(value->toolTip(), name);
    }

    // A refresh queued before the device was dropped arrives with nothing
    // constructed: no firmware page for no device.
    void refreshWithoutDeviceChangesNothing_data()
    {
        QTest::addColumn<bool>("dropped");
        QTest::newRow("never constructed") << false;
        QTest::newRow("device dropped") << true;
    }

    void refreshWithoutDeviceChangesNothing()
    {
        QFETCH(bool, dropped);
        if (dropped) {
            nameTheDevice("Test Controller");
            QTRY_COMPARE_WITH_TIMEOUT(child<QStackedWidget>("pageStack")->currentIndex(), 2,
                                      testsupport::ConditionWaitMs);
            QVERIFY(QMetaObject::invokeMethod(window.get(), "destroyDevice"));
        }
        QVERIFY(QMetaObject::invokeMethod(window.get(), "refreshAllControls"));
        QCOMPARE(child<QStackedWidget>("pageStack")->currentIndex(), 0);
        QCOMPARE(window->size(), QSize(400, 400));
        QVERIFY(!child<QAction>("firmwareAction")->isEnabled());
        QVERIFY(!child<QAction>("setupAction")->isEnabled());
        QVERIFY(window->menuBar()->isEnabled());
    }

    void ledColorLeavesTextAndIgnoresDarkGreen()
    {
        showStatus("red", " kept");
        QVERIFY(QMetaObject::invokeMethod(window.get(), "ledColor", Q_ARG(QString, "dark_green")));
        QCOMPARE(shownLed(), ledImage(":/maps/RLED"));
        QVERIFY(QMetaObject::invokeMethod(window.get(), "ledColor", Q_ARG(QString, "yellow")));
        QCOMPARE(shownLed(), ledImage(":/maps/YLED"));
        QCOMPARE(shownText(), QString(" kept"));
    }

    void progressValueWhileHidden()
    {
        auto *bar = child<QProgressBar>("progressBar");
        QVERIFY(QMetaObject::invokeMethod(window.get(), "setProgressBar", Q_ARG(uint, 7)));
        QCOMPARE(bar->value(), 7);
        QVERIFY(!bar->isVisible());
        QVERIFY(QMetaObject::invokeMethod(window.get(), "setProgressBar", Q_ARG(uint, 1000)));
        QCOMPARE(bar->value(), 7);
    }

    void menusAndShortcuts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shortcut");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("load") << "&Load Settings"
                              << "Ctrl+O" << false;
        QTest::newRow("save") << "&Save Settings"
                              << "Ctrl+S" << false;
        QTest::newRow("export") << "&Export Log to File"
                                << "Ctrl+M" << false;
        QTest::newRow("quit") << "&Quit"
                              << "Ctrl+Q" << true;
        QTest::newRow("setup") << "&Setup"
                               << "Ctrl+R" << false;
        QTest::newRow("firmware") << "&Firmware Update"
                                  << "Ctrl+F" << false;
        QTest::newRow("find") << "&Find USB-cable"
                              << "Ctrl+P" << true;
        QTest::newRow("about") << "&About"
                               << "Ctrl+A" << true;
    }

    void menusAndShortcuts()
    {
        QFETCH(QString, text);
        QFETCH(QString, shortcut);
        QFETCH(bool, enabled);
        QAction *found = action(text);
        QVERIFY(found);
        QCOMPARE(found->shortcut(), QKeySequence(shortcut));
        QCOMPARE(found->isEnabled(), enabled);
    }

    void menuTitlesInOrder()
    {
        QStringList titles;
        for (QAction *menu : window->menuBar()->actions())
            titles << menu->text();
        QCOMPARE(titles, (QStringList{"&File", "&Mode", "&Help"}));
        QCOMPARE(child<QAction>("exportLogAction")->text(), QString("&Export Log to File"));
    }

    void disabledShortcutsDoNothing()
    {
        QTest::keyClick(window.get(), Qt::Key_R, Qt::ControlModifier);
        QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(child<QStackedWidget>("pageStack")->currentIndex(), 0);
        QCOMPARE(window->size(), QSize(400, 400));
    }

    void ctrlAOpensAbout()
    {
        QString title;
        QString body;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            title = box->windowTitle();
            body = box->text();
            box->accept();
        });
        QTest::keyClick(window.get(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(title, QString("About KOVA"));
        QVERIFY(body.startsWith("<h3>KOVA II v1.03</h3>"));
    }

    void ctrlPResetsAndAsksForTheCable()
    {
        nameTheDevice("Test Controller");
        QTRY_COMPARE_WITH_TIMEOUT(child<QStackedWidget>("pageStack")->currentIndex(), 2, testsupport::ConditionWaitMs);
        QSignalSpy asked(window.get(), SIGNAL(findUSBCable()));
        QTest::keyClick(window.get(), Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(asked.count(), 1);
        QCOMPARE(child<QStackedWidget>("pageStack")->currentIndex(), 0);
        QCOMPARE(window->size(), QSize(400, 400));
        QVERIFY(!child<QAction>("firmwareAction")->isEnabled());
    }

    void updateWithoutCurrentRowDoesNothing()
    {
        nameTheDevice("Test Controller");
        QTRY_COMPARE_WITH_TIMEOUT(child<QStackedWidget>("pageStack")->currentIndex(), 2, testsupport::ConditionWaitMs);
        auto *update = child<QPushButton>("updateButton");
        QVERIFY(!update->isEnabled());
        // A selection change enables the button even when no row is current.
        QVERIFY(QMetaObject::invokeMethod(window.get(), "firmwareButtonActivate"));
        QVERIFY(update->isEnabled());

        bool warned = false;
        QTimer::singleShot(200, this, [&] {
            if (QWidget *box = QApplication::activeModalWidget()) {
                warned = true;
                box->close();
            }
        });
        QSignalSpy sent(window.get(), SIGNAL(doUpdateFirmware(QString, QByteArray)));
        QTest::mouseClick(update, Qt::LeftButton);
        QTest::qWait(300);
        QVERIFY(!warned);
        QCOMPARE(sent.count(), 0);
        QVERIFY(!update->isEnabled());
    }

    void ctrlQCloses()
    {
        QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!window->isVisible());
    }

    void widthIsFixedHeightBounded()
    {
        window->resize(1000, 2000);
        QCOMPARE(window->size(), QSize(400, 1050));
        window->resize(10, 10);
        QCOMPARE(window->size(), QSize(400, 200));
    }

    void placeholderCommandsOnlyLog()
    {
        QTest::ignoreMessage(QtDebugMsg, "Save Settings");
        bool saved = false;
        QVERIFY(QMetaObject::invokeMethod(window.get(), "saveSettingsFile", Q_RETURN_ARG(bool, saved)));
        QVERIFY(saved);
        QTest::ignoreMessage(QtDebugMsg, "Load Settings");
        QVERIFY(QMetaObject::invokeMethod(window.get(), "loadSettingsFile"));
        QTest::ignoreMessage(QtDebugMsg, "Export Log to File");
        QVERIFY(QMetaObject::invokeMethod(window.get(), "saveLogFile", Q_RETURN_ARG(bool, saved)));
        QVERIFY(saved);
    }

    void windowInterfaceInOrder()
    {
        const QStringList expected{"signal loadAllCells()",
                                   "signal findUSBCable()",
                                   "signal writeDeviceValue(uint,uchar,uchar)",
                                   "signal doUpdateFirmware(QString,QByteArray)",
                                   "slot ledColor(QString)",
                                   "slot showStatus(QString,QString)",
                                   "slot setProgressBar(uint)",
                                   "slot loadSettingsFile()",
                                   "slot saveSettingsFile()",
                                   "slot saveLogFile()",
                                   "slot setupParametersWindow()",
                                   "slot updateFirmwareWindow()",
                                   "slot firmwareUpdated()",
                                   "slot about()",
                                   "slot findUSBcable()",
                                   "slot constructDevice()",
                                   "slot destroyDevice()",
                                   "slot controlChanged(QString)",
                                   "slot checkboxChanged(int)",
                                   "slot refreshAllControls()",
                                   "slot firmwareButtonActivate()",
                                   "slot firmwareUpdateBegin()"};
        QCOMPARE(ownMethods(MainWindow::staticMetaObject), expected);
    }

    void controllerInterfaceInOrder()
    {
        const QStringList expected{"signal sendStatus(QString,QString)",
                                   "signal sendStatus(QString)",
                                   "signal setProgressBar(uint)",
                                   "signal doDestroyDevice()",
                                   "signal doConstructDevice()",
                                   "signal allCellsReady()",
                                   "signal updatedDeviceValue()",
                                   "signal firmwareUpdated()",
                                   "signal firmwareUpdateFailed(UploadFailure)",
                                   "signal allCellsIncomplete(uchar)",
                                   "slot findUSBCable()",
                                   "slot readDeviceAllCells()",
                                   "slot writeDeviceValue(uint,uchar,uchar)",
                                   "slot doUpdateFirmware(QString,QByteArray)"};
        QCOMPARE(ownMethods(BusController::staticMetaObject), expected);
    }

    void redStatusFromTheLink()
    {
        // "kova.ini" names no port: the link's own ticks report it.
        QTRY_COMPARE_WITH_TIMEOUT(shownText(), QString(" USB-cable not connected"), testsupport::ConditionWaitMs);
        QCOMPARE(shownLed(), ledImage(":/maps/RLED"));
    }

    void quitsPromptlyWhenIdle()
    {
        QElapsedTimer clock;
        clock.start();
        window.reset();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
