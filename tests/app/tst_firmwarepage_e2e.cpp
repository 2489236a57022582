// The firmware page as a user meets it: the real window, worker thread and
// serial port against the simulated controller, from the listed packages
// through the warning box and the upload to the re-identified device.
#include "support/firmwarepackage.h"
#include "support/windowharness.h"

#include "device/buscontroller.h"
#include "firmware/firmwarepackage.h"

#include <QAction>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QStatusBar>
#include <QPushButton>
#include <QTextEdit>
#include <QScopeGuard>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

using Protocol = SimulatedDevice::Protocol;
using testsupport::packageImage;

// What a user saw of a message box.
struct SeenBox {
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    // False when the test had to close the box itself.
    bool answered = false;
    // The status bar at the moment the box came up.
    QString statusText;
    QImage led;
};

SeenBox describe(QMessageBox *box)
{
    SeenBox seen;
    seen.seen = true;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    for (QAbstractButton *button : box->buttons())
        seen.buttons << button->text();
    return seen;
}

QImage ledImage(const char *resource)
{
    return QPixmap(resource).scaled(15, 15, Qt::IgnoreAspectRatio, Qt::FastTransformation).toImage();
}

QList<QByteArray> blocksOf(const QByteArray &image, int blockSize, int blockCount, int passes)
{
    QList<QByteArray> blocks;
    for (int pass = 0; pass < passes; ++pass)
        for (int block = 0; block < blockCount; ++block)
            blocks << image.mid(block * blockSize, blockSize);
    return blocks;
}

QList<int> recorded(const QSignalSpy &spy)
{
    QList<int> values;
    for (const QList<QVariant> &emission : spy)
        values << emission.at(0).toInt();
    return values;
}

int countOf(const QList<SimRequest> &requests, char kind, int cell = -1)
{
    return int(std::count_if(requests.begin(), requests.end(), [&](const SimRequest &request) {
        return request.kind == kind && (cell < 0 || request.cell == cell);
    }));
}

// Notes of the two fitting packages of each example device, newest file first.
QString notes(const QString &title, const QStringList &versions, const QStringList &descriptions)
{
    QStringList paragraphs;
    for (int i = 0; i < versions.size(); ++i)
        paragraphs << title + " controller firmware " + versions.at(i) << descriptions.at(i);
    return paragraphs.join('\n');
}

// Where the window and kova-cli keep the settings from before an update.
QString backupFolder()
{
    return qEnvironmentVariable("XDG_DATA_HOME") + "/kova/backups";
}

}  // namespace

class FirmwarePageTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowHarness> harness;
    QList<SeenBox> shownBoxes;

    template <typename T>
    T *child(const char *name) const
    {
        return harness->child<T>(name);
    }
    QProgressBar *progressBar() const { return child<QProgressBar>("progressBar"); }
    QListWidget *firmwareList() const { return child<QListWidget>("firmwareList"); }
    QTextEdit *firmwareInfo() const { return child<QTextEdit>("firmwareInfo"); }
    QPushButton *updateButton() const { return child<QPushButton>("updateButton"); }
    QString label(const char *name) const { return child<QLabel>(name)->text(); }
    bool menuBarEnabled() const { return harness->window->menuBar()->isEnabled(); }
    // The window's device link, caught as it moves into its worker thread,
    // so that a test can send what the link would.
    QPointer<BusController> link;

    // Every message box that comes up is noted with the status bar of that
    // moment: the link's next poll tick overwrites a failure status soon after.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (auto *caught = qobject_cast<BusController *>(watched); caught && event->type() == QEvent::ThreadChange)
            link = caught;
        auto *box = qobject_cast<QMessageBox *>(watched);
        if (box && event->type() == QEvent::Show && harness && harness->window) {
            SeenBox seen = describe(box);
            seen.statusText = label("statusLabel");
            seen.led = child<QLabel>("ledLabel")->pixmap(Qt::ReturnByValue).toImage();
            shownBoxes << seen;
        }
        return QObject::eventFilter(watched, event);
    }

    QList<SeenBox> criticalBoxes() const
    {
        QList<SeenBox> critical;
        for (const SeenBox &box : shownBoxes)
            if (box.icon == QMessageBox::Critical)
                critical << box;
        return critical;
    }

    // Answers the next modal box as a user would. A box that `act` leaves
    // open is rejected, so a test never hangs in the box's own event loop.
    std::shared_ptr<SeenBox> whenModalBoxShows(std::function<void(QMessageBox *)> act)
    {
        auto seen = std::make_shared<SeenBox>();
        pollForModalBox(seen, std::move(act), 250);
        return seen;
    }

    void pollForModalBox(std::shared_ptr<SeenBox> seen, std::function<void(QMessageBox *)> act, int triesLeft)
    {
        QTimer::singleShot(20, this, [=] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box) {
                if (triesLeft > 0)
                    pollForModalBox(seen, act, triesLeft - 1);
                return;
            }
            *seen = describe(box);
            act(box);
            seen->answered = !box->isVisible();
            if (!seen->answered)
                box->reject();
        });
    }

    static std::function<void(QMessageBox *)> clickButton(const QString &text)
    {
        return [text](QMessageBox *box) {
            for (QAbstractButton *button : box->buttons())
                if (button->text() == text)
                    QTest::mouseClick(button, Qt::LeftButton);
        };
    }

    // The example device on the simulated cable, every example package beside
    // the program; the window is not started yet.
    void prepare(const QString &device, Protocol protocol, int blockSize)
    {
        harness = std::make_unique<WindowHarness>(device, protocol);
        WindowHarness::installPackages("");  // only the fitting ones may show
        harness->sim.setBlockSize(blockSize);
    }

    // Starts the window, waits for the parameter page and opens the firmware page.
    void showFirmwarePage()
    {
        harness->startWindow();
        QVERIFY(QTest::qWaitForWindowExposed(harness->window.get()));
        QTRY_COMPARE_WITH_TIMEOUT(harness->page(), int(WindowHarness::ParameterPage), testsupport::ConditionWaitMs);
        auto *firmwareAction = child<QAction>("firmwareAction");
        QCOMPARE(firmwareAction->text(), QString("&Firmware Update"));
        QVERIFY(firmwareAction->isEnabled());
        firmwareAction->trigger();
        QCOMPARE(harness->page(), int(WindowHarness::FirmwarePage));
    }

    void selectRow(int row)
    {
        QListWidgetItem *item = firmwareList()->item(row);
        QVERIFY(item);
        QTest::mouseClick(firmwareList()->viewport(), Qt::LeftButton, {},
                          firmwareList()->visualItemRect(item).center());
        QCOMPARE(firmwareList()->currentRow(), row);
        QVERIFY(updateButton()->isEnabled());
    }

    // Clicks "Update" and confirms the warning with "&Ok".
    void startUpdate()
    {
        const auto warning = whenModalBoxShows(clickButton("&Ok"));
        QTest::mouseClick(updateButton(), Qt::LeftButton);
        QVERIFY(warning->seen);
        QVERIFY(warning->answered);
        QCOMPARE(warning->icon, QMessageBox::Warning);
        QCOMPARE(warning->title, QString("Warning"));
        QCOMPARE(warning->buttons, (QStringList{"&Ok", "&Cancel"}));
        QVERIFY(warning->text.startsWith("Do not disconnect the device"));
    }

    // Ctrl with `key`, as the user types it into the window.
    void pressShortcut(Qt::Key key)
    {
        harness->window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(harness->window.get()));
        QTest::keyClick(harness->window.get(), key, Qt::ControlModifier);
    }

    void verifyBrowsing()
    {
        QVERIFY(menuBarEnabled());
        QVERIFY(firmwareList()->isEnabled());
        QVERIFY(firmwareInfo()->isEnabled());
        QVERIFY(!updateButton()->isEnabled());
        QVERIFY(!progressBar()->isVisible());
        QCOMPARE(harness->page(), int(WindowHarness::FirmwarePage));
    }

private slots:
    void initTestCase()
    {
        qApp->installEventFilter(this);
        // A window that closes by itself must not end the test's application.
        QGuiApplication::setQuitOnLastWindowClosed(false);
    }

    void init() { shownBoxes.clear(); }

    void cleanup() { harness.reset(); }

    void updateFromPageToNewVersion_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("protocol");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<int>("blockCount");
        QTest::addColumn<int>("recordDigits");
        QTest::addColumn<int>("passes");
        QTest::addColumn<QStringList>("identity");  // name, hardware, bootloader, firmware
        QTest::addColumn<QStringList>("versions");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("package");
        QTest::addColumn<QList<int>>("newFirmware");
        QTest::addColumn<QString>("shownAfter");

        // The older package on purpose: the chosen row, not the first, is sent.
        QTest::newRow("vorn") << "vorn" << int(Protocol::Vorn) << 256 << 32 << 128 << 1
                              << QStringList{"Vorn Kestrel 80", "2", "3", "4.12.7"} << QStringList{"4.14", "4.13"}
                              << notes("Vorn", {"4.14", "4.13"},
                                       {QString::fromUtf8(
                                            "Brake ramp can be set in 0.1 s steps, fixed overheat warning. / "
                                            "Шаг настройки торможения 0,1 с, исправлено предупреждение о "
                                            "перегреве."),
                                        QString::fromUtf8("Smoother throttle response at low speed, faster start-up. / "
                                                          "Плавнее отклик газа на малой скорости, быстрее запуск.")})
                              << 1 << "vorn-4.13.upd" << QList<int>{4, 13, 2} << "4.13.2";
        QTest::newRow("kelpa") << "kelpa" << int(Protocol::Kelpa) << 64 << 16 << 16 << 2
                               << QStringList{"Kelpa Reef 30", "1", "1", "2.5.0"} << QStringList{"2.7", "2.6"}
                               << notes(
                                      "Kelpa", {"2.7", "2.6"},
                                      {QString::fromUtf8("Reverse delay added, timing table corrected. / "
                                                         "Добавлена задержка реверса, исправлена таблица опережения."),
                                       QString::fromUtf8("Battery cut-off is more precise, quieter motor at idle. / "
                                                         "Точнее отсечка по батарее, тише мотор на холостом ходу.")})
                               << 0 << "kelpa-2.7.upd" << QList<int>{2, 7, 0} << "2.7.0";
        QTest::newRow("ulma")
            << "ulma" << int(Protocol::UlmaFast) << 128 << 16 << 32 << 1
            << QStringList{"Ulma Tern 45", "1", "1", "1.8.0"} << QStringList{"2.0", "1.9"}
            << notes("Ulma", {"2.0", "1.9"},
                     {QString::fromUtf8("New governor mode, faster arming. / "
                                        "Новый режим стабилизации оборотов, быстрее готовность к работе."),
                      QString::fromUtf8("Soft start is gentler, fixed a rare lost signal alarm. / "
                                        "Мягче плавный старт, исправлена редкая тревога потери сигнала.")})
            << 0 << "ulma-2.0.upd" << QList<int>{2, 0, 0} << "2.0.0";
    }

    void updateFromPageToNewVersion()
    {
        QFETCH(QString, device);
        QFETCH(int, protocol);
        QFETCH(int, blockSize);
        QFETCH(int, blockCount);
        QFETCH(int, recordDigits);
        QFETCH(int, passes);
        QFETCH(QStringList, identity);
        QFETCH(QStringList, versions);
        QFETCH(QString, notes);
        QFETCH(int, row);
        QFETCH(QString, package);
        QFETCH(QList<int>, newFirmware);
        QFETCH(QString, shownAfter);

        prepare(device, Protocol(protocol), blockSize);
        harness->sim.setFirmwareAfterUpload(quint8(newFirmware[0]), quint8(newFirmware[1]), quint8(newFirmware[2]),
                                            blockCount);
        showFirmwarePage();
        if (QTest::currentTestFailed())
            return;

        QCOMPARE(harness->window->size(), QSize(400, 600));
        QCOMPARE((QStringList{label("deviceNameValue"), label("hardwareRevisionValue"), label("bootloaderVersionValue"),
                              label("firmwareVersionValue")}),
                 identity);
        QStringList listed;
        for (int i = 0; i < firmwareList()->count(); ++i)
            listed << firmwareList()->item(i)->text();
        QCOMPARE(listed, versions);
        QCOMPARE(firmwareInfo()->toPlainText(), notes);
        QVERIFY(!updateButton()->isEnabled());

        selectRow(row);
        const int parameterRows = harness->tree()->topLevelItemCount();
        QVERIFY(parameterRows > 0);

        QSignalSpy progress(progressBar(), &QProgressBar::valueChanged);
        QSignalSpy asked(harness->window.get(), &MainWindow::doUpdateFirmware);
        harness->sim.clearRequests();
        startUpdate();
        if (QTest::currentTestFailed())
            return;
        const QString path = WindowHarness::firmwaresFolder() + "/" + package;
        QCOMPARE(asked.count(), 1);
        QCOMPARE(asked.at(0).at(0).toString(), path);

        // Updating: nothing to touch but the progress bar to watch.
        QVERIFY(!menuBarEnabled());
        QVERIFY(!firmwareList()->isEnabled());
        QVERIFY(!firmwareInfo()->isEnabled());
        QVERIFY(!updateButton()->isEnabled());
        QCOMPARE(label("deviceNameValue"), identity[0]);
        QCOMPARE(label("hardwareRevisionValue"), identity[1]);
        QCOMPARE(label("bootloaderVersionValue"), QString("-"));
        QCOMPARE(label("firmwareVersionValue"), QString("-"));
        QVERIFY(progressBar()->isVisible());
        QCOMPARE(progressBar()->minimum(), 0);
        QCOMPARE(progressBar()->maximum(), blockCount);
        // Nor by the menus' shortcuts: no settings come up under an upload.
        pressShortcut(Qt::Key_R);
        pressShortcut(Qt::Key_F);
        QCOMPARE(harness->page(), int(WindowHarness::FirmwarePage));
        QVERIFY(!firmwareList()->isEnabled());

        // Browsing again once the link reports success; the cells and the
        // parameter rows of the old firmware are gone.
        QTRY_VERIFY_WITH_TIMEOUT(firmwareList()->isEnabled(), 20000);
        verifyBrowsing();
        QCOMPARE(harness->tree()->topLevelItemCount(), 0);
        QVERIFY(criticalBoxes().isEmpty());

        // The settings wait until the device has been identified and read
        // again: rows built but not yet filled would write empty cells.
        harness->sim.setWireTiming(true);
        QVERIFY(QTest::qWaitFor([&] { return harness->tree()->topLevelItemCount() > 0; }, 8000));
        pressShortcut(Qt::Key_R);

        // The bar counts each pass from 0; the link's first 0 repeats the
        // value the page started the bar with, so it shows no change.
        QList<int> expectedProgress;
        for (int pass = 0; pass < passes; ++pass)
            for (int block = 0; block < blockCount; ++block)
                expectedProgress << block;
        QCOMPARE(recorded(progress), expectedProgress);

        const QByteArray image = packageImage(path, recordDigits);
        QCOMPARE(image.size(), blockSize * blockCount);
        const QList<SimRequest> sent = harness->sim.requests();
        QCOMPARE(countOf(sent, 'F'), blockCount * passes);
        QCOMPARE(harness->sim.receivedBlocks(), blocksOf(image, blockSize, blockCount, passes));
        if (Protocol(protocol) == Protocol::UlmaFast) {
            QCOMPARE(harness->sim.bootloaderEntries(), 1);
            const auto first = [&](char kind) {
                return std::find_if(sent.begin(), sent.end(), [&](const SimRequest &r) { return r.kind == kind; });
            };
            QVERIFY(first('U') < first('F'));
        }

        // The link identifies the device afresh; the page stays and shows
        // what the device now runs.
        QTRY_COMPARE_WITH_TIMEOUT(label("firmwareVersionValue"), shownAfter, testsupport::ConditionWaitMs);
        verifyBrowsing();
        QCOMPARE(label("bootloaderVersionValue"), identity[2]);
        QCOMPARE(firmwareList()->count(), versions.size());
        QCOMPARE(firmwareInfo()->toPlainText(), "Firmware " + versions[row] + " is installed.\n" + notes);
        QVERIFY(child<QAction>("setupAction")->isEnabled());
        QCOMPARE(countOf(harness->sim.requests(), 'W'), 0);
    }

    // Before the first block the settings the page holds are saved as
    // kova-cli flash saves them; kova-cli restore puts them back after the
    // update. A read that gave up leaves out what it did not reach.
    void updateLeavesABackupThatRestorePutsBack_data()
    {
        QTest::addColumn<int>("unreadFrom");  // the cell the read gave up at; 0: it did not
        QTest::newRow("every cell read") << 0;
        QTest::newRow("read gave up at cell 19") << 19;
    }

    void updateLeavesABackupThatRestorePutsBack()
    {
        QFETCH(int, unreadFrom);
        prepare("vorn", Protocol::Vorn, 256);
        QDir(backupFolder()).removeRecursively();
        const auto cleanUp = qScopeGuard([] { QDir(backupFolder()).removeRecursively(); });
        QMap<int, quint8> cells = testsupport::exampleCells("vorn");
        harness->sim.setCellsAfterUpload(cells);
        cells[10] = 1;  // "Motor direction" Reversed, which the update takes back to Normal
        harness->sim.setCells(cells);
        harness->sim.setFirmwareAfterUpload(4, 13, 2, 32);
        showFirmwarePage();
        if (QTest::currentTestFailed())
            return;
        if (unreadFrom > 0) {
            QVERIFY(link);
            emit link->allCellsIncomplete(uchar(unreadFrom));
        }
        selectRow(1);
        const QString without = unreadFrom > 0
                                    ? QString(", without the \\d+ settings from the unread cell %1 up").arg(unreadFrom)
                                    : QString();
        QTest::ignoreMessage(QtDebugMsg,
                             QRegularExpression("^Settings backup: " + QRegularExpression::escape(backupFolder())
                                                + "/Vorn-Kestrel-80-\\d{8}-\\d{6}\\.json" + without + "$"));
        harness->sim.clearRequests();
        startUpdate();
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE_WITH_TIMEOUT(label("firmwareVersionValue"), QString("4.13.2"), testsupport::ConditionWaitMs);
        QVERIFY(criticalBoxes().isEmpty());
        QCOMPARE(countOf(harness->sim.requests(), 'W'), 0);
        QCOMPARE(int(harness->sim.cell(10)), 0);

        const QStringList backups = QDir(backupFolder()).entryList({"*.json"}, QDir::Files);
        QCOMPARE(backups.size(), 1);
        QFile file(backupFolder() + "/" + backups.first());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject saved = QJsonDocument::fromJson(file.readAll()).object();
        QCOMPARE(saved.value("device").toObject().value("firmwareMinor").toInt(), 12);
        QMap<QString, QString> shown;
        for (const QJsonValue &value : saved.value("parameters").toArray()) {
            const QJsonObject parameter = value.toObject();
            shown.insert(parameter.value("name").toString(), parameter.value("shown").toString());
            for (const QJsonValue &cell : parameter.value("cells").toArray())
                QVERIFY2(unreadFrom == 0 || cell.toInt() < unreadFrom, qPrintable(parameter.value("name").toString()));
        }
        QCOMPARE(shown.value("Motor direction"), QString("Reversed"));
        QCOMPARE(shown.contains("Temperature protection"), unreadFrom == 0);

        // The window lets go of the port for kova-cli.
        harness->window.reset();
        QProcess restore;
        restore.start(KOVA_CLI_PROGRAM, {"-p", harness->sim.portPath(), "-d", testsupport::exampleDescription("vorn"),
                                         "--json", "restore"});
        QVERIFY(restore.waitForFinished(60000));
        const QByteArray said = restore.readAllStandardOutput() + restore.readAllStandardError();
        QVERIFY2(restore.exitStatus() == QProcess::NormalExit && restore.exitCode() == 0, said.constData());
        QVERIFY2(said.contains(backups.first().toUtf8()), said.constData());
        QCOMPARE(int(harness->sim.cell(10)), 1);
    }

    // A controller on firmware 0.0 has no description and so no named
    // settings: the update that may give it a described firmware goes on to
    // the link, which judges the package as for any other.
    void updateWithoutDescriptionGoesOnWithoutBackup()
    {
        prepare("vorn", Protocol::Vorn, 256);
        harness->sim.setCell(205, 0);
        harness->sim.setCell(206, 0);
        QDir(backupFolder()).removeRecursively();
        harness->startWindow();
        QTRY_COMPARE_WITH_TIMEOUT(harness->page(), int(WindowHarness::FirmwarePage), testsupport::ConditionWaitMs);
        QCOMPARE(label("firmwareVersionValue"), QString("0.0.7"));
        selectRow(0);
        QSignalSpy asked(harness->window.get(), &MainWindow::doUpdateFirmware);
        QTest::ignoreMessage(QtDebugMsg, "Settings backup: none, no description fits the device");
        startUpdate();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(asked.count(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(firmwareList()->isEnabled(), testsupport::ConditionWaitMs);
        QVERIFY(!QFileInfo::exists(backupFolder()));
    }

    // A backup that cannot be written stops the update with a box that
    // says why, before anything is sent.
    void unwritableBackupStopsTheUpdate()
    {
        prepare("vorn", Protocol::Vorn, 256);
        QDir(backupFolder()).removeRecursively();
        QVERIFY(QDir().mkpath(QFileInfo(backupFolder()).path()));
        QVERIFY(QFile(backupFolder()).open(QIODevice::WriteOnly));  // a file where the folder belongs
        const auto cleanUp = qScopeGuard([] { QFile::remove(backupFolder()); });
        showFirmwarePage();
        if (QTest::currentTestFailed())
            return;
        selectRow(0);
        QSignalSpy asked(harness->window.get(), &MainWindow::doUpdateFirmware);
        harness->sim.clearRequests();
        startUpdate();
        if (QTest::currentTestFailed())
            return;

        QTRY_COMPARE_WITH_TIMEOUT(criticalBoxes().size(), 1, testsupport::ConditionWaitMs);
        QCOMPARE(criticalBoxes().first().title, QString("Firmware update failed"));
        QCOMPARE(criticalBoxes().first().text,
                 QString("The backup folder %1 cannot be made. Nothing was sent.").arg(backupFolder()));
        QCOMPARE(asked.count(), 0);
        QVERIFY(menuBarEnabled());
        QVERIFY(firmwareList()->isEnabled());
        QVERIFY(!progressBar()->isVisible());
        QTest::qWait(300);
        QCOMPARE(countOf(harness->sim.requests(), 'F'), 0);
        QVERIFY(!harness->sim.rawReceived().contains("UMF"));
    }

    // The firmware now running has no description: the page must not keep
    // the old name, and the status says what was looked for and where.
    void updateToFirmwareWithoutDescription()
    {
        prepare("vorn", Protocol::Vorn, 256);
        // Packages that install 4.99, which no description knows.
        for (const QString &name : {QStringLiteral("vorn-4.13.upd"), QStringLiteral("vorn-4.14.upd")}) {
            QFile package(WindowHarness::firmwaresFolder() + "/" + name);
            QVERIFY(package.open(QIODevice::ReadOnly));
            QByteArray bytes = package.readAll();
            package.close();
            QVERIFY(bytes.contains("\nFW=4.1"));
            bytes.replace(QByteArray("\nFW=4.13"), QByteArray("\nFW=4.99"))
                .replace(QByteArray("\nFW=4.14"), QByteArray("\nFW=4.99"));
            QVERIFY(package.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QCOMPARE(package.write(bytes), qint64(bytes.size()));
            package.close();
        }
        harness->sim.setFirmwareAfterUpload(4, 99, 0, 32);
        showFirmwarePage();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(label("deviceNameValue"), QString("Vorn Kestrel 80"));
        selectRow(0);
        startUpdate();
        if (QTest::currentTestFailed())
            return;

        QTRY_COMPARE_WITH_TIMEOUT(label("firmwareVersionValue"), QString("4.99.0"), 30000);
        verifyBrowsing();
        QCOMPARE(label("deviceNameValue"), QString());
        QTRY_VERIFY_WITH_TIMEOUT(
            label("statusLabel").startsWith(" No description for id 21, hardware 2, firmware 4.99: looked in "),
            testsupport::ConditionWaitMs);
        QVERIFY2(label("statusLabel").contains("tellur.dsc"), qPrintable(label("statusLabel")));
        QVERIFY(criticalBoxes().isEmpty());
    }

    void declinedWarningSendsNothing_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("cancel button") << false;
        QTest::newRow("escape key") << true;
    }

    void declinedWarningSendsNothing()
    {
        QFETCH(bool, escape);
        prepare("vorn", Protocol::Vorn, 256);
        showFirmwarePage();
        if (QTest::currentTestFailed())
            return;
        selectRow(0);

        QSignalSpy asked(harness->window.get(), &MainWindow::doUpdateFirmware);
        harness->sim.clearRequests();
        const auto warning = escape ? whenModalBoxShows([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Escape); })
                                    : whenModalBoxShows(clickButton("&Cancel"));
        QTest::mouseClick(updateButton(), Qt::LeftButton);
        QVERIFY(warning->seen);
        QVERIFY(warning->answered);
        QCOMPARE(warning->icon, QMessageBox::Warning);

        QCOMPARE(asked.count(), 0);
        QVERIFY(menuBarEnabled());
        QVERIFY(firmwareList()->isEnabled());
        QVERIFY(firmwareInfo()->isEnabled());
        QVERIFY(updateButton()->isEnabled());
        QVERIFY(!progressBar()->isVisible());
        QCOMPARE(label("bootloaderVersionValue"), QString("3"));
        QCOMPARE(label("firmwareVersionValue"), QString("4.12.7"));

        // Long enough for an upload to have read cell 0 and sent a block.
        QTest::qWait(800);
        const QList<SimRequest> sent = harness->sim.requests();
        QCOMPARE(countOf(sent, 'F'), 0);
        QCOMPARE(countOf(sent, 'R', 0), 0);
        QVERIFY(countOf(sent, 'S') > 0);  // the link went on polling
    }

    void unacknowledgedBlockEndsTheUpdate()
    {
        prepare("vorn", Protocol::Vorn, 256);
        showFirmwarePage();
        if (QTest::currentTestFailed())
            return;
        selectRow(0);
        const int parameterRows = harness->tree()->topLevelItemCount();

        QSignalSpy progress(progressBar(), &QProgressBar::valueChanged);
        harness->sim.clearRequests();
        harness->sim.neverAcknowledgeBlock(2);
        startUpdate();
        if (QTest::currentTestFailed())
            return;

        QTRY_COMPARE_WITH_TIMEOUT(criticalBoxes().size(), 1, testsupport::ConditionWaitMs);
        const SeenBox failure = criticalBoxes().first();
        QCOMPARE(failure.title, QString("Firmware update failed"));
        QVERIFY(!failure.text.isEmpty());
        QCOMPARE(failure.statusText, QString(" Firmware update failed"));
        QCOMPARE(failure.led, ledImage(":/maps/RLED"));

        // Two blocks went through, the third was tried five times.
        const QByteArray image = packageImage(WindowHarness::firmwaresFolder() + "/vorn-4.14.upd", 128);
        QList<QByteArray> expectedBlocks = blocksOf(image, 256, 2, 1);
        for (int attempt = 0; attempt < 5; ++attempt)
            expectedBlocks << image.mid(2 * 256, 256);
        QCOMPARE(harness->sim.receivedBlocks(), expectedBlocks);
        QCOMPARE(recorded(progress), (QList<int>{0, 1}));

        // Browsing again, with the old identity and the parameter rows kept:
        // nothing was reported as updated.
        verifyBrowsing();
        QCOMPARE(label("bootloaderVersionValue"), QString("3"));
        QCOMPARE(label("firmwareVersionValue"), QString("4.12.7"));
        QCOMPARE(harness->tree()->topLevelItemCount(), parameterRows);

        QMessageBox *box = harness->window->findChild<QMessageBox *>();
        QVERIFY(box);
        QVERIFY(box->isVisible());
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!harness->window->findChild<QMessageBox *>(), testsupport::ConditionWaitMs);

        // The link polls on, without another block and without reading the
        // identity again, which it would after a success.
        harness->sim.clearRequests();
        QTest::qWait(1200);
        const QList<SimRequest> later = harness->sim.requests();
        QVERIFY(countOf(later, 'S') > 0);
        QCOMPARE(countOf(later, 'F'), 0);
        QCOMPARE(countOf(later, 'R', 200), 0);
        QCOMPARE(harness->sim.receivedBlocks().size(), expectedBlocks.size());
        QCOMPARE(label("firmwareVersionValue"), QString("4.12.7"));
    }

    void packageOfOtherBlockCountIsRefused()
    {
        prepare("kelpa", Protocol::Kelpa, 64);
        // The packages hold 16 blocks; this description expects 15.
        QFile description("tellur.dsc");
        QVERIFY(description.open(QIODevice::ReadOnly));
        QByteArray text = description.readAll();
        description.close();
        QVERIFY(text.contains("fwnp=\"16\""));
        text.replace("fwnp=\"16\"", "fwnp=\"15\"");
        QVERIFY(description.open(QIODevice::WriteOnly | QIODevice::Truncate));
        description.write(text);
        description.close();

        showFirmwarePage();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(firmwareList()->count(), 2);  // listed all the same
        selectRow(0);

        QSignalSpy progress(progressBar(), &QProgressBar::valueChanged);
        harness->sim.clearRequests();
        harness->sim.clearRawReceived();
        startUpdate();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(progressBar()->maximum(), 15);

        QTRY_COMPARE_WITH_TIMEOUT(criticalBoxes().size(), 1, testsupport::ConditionWaitMs);
        const SeenBox refusal = criticalBoxes().first();
        QCOMPARE(refusal.title, QString("Firmware update failed"));
        QVERIFY2(refusal.text.contains("its image of 1024 bytes is not 15 blocks of 64 bytes"),
                 qPrintable(refusal.text));
        QCOMPARE(refusal.statusText, QString(" Firmware update failed"));
        QCOMPARE(refusal.led, ledImage(":/maps/RLED"));
        verifyBrowsing();
        QCOMPARE(label("firmwareVersionValue"), QString("2.5.0"));

        QMessageBox *box = harness->window->findChild<QMessageBox *>();
        QVERIFY(box);
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!harness->window->findChild<QMessageBox *>(), testsupport::ConditionWaitMs);

        QTest::qWait(600);
        QCOMPARE(countOf(harness->sim.requests(), 'F'), 0);
        // Not even a frame of another size: no block head went out at all.
        QVERIFY(!harness->sim.rawReceived().contains("UMF"));
        QCOMPARE(recorded(progress), QList<int>{0});  // only the page's own reset
    }

    // A damaged line of the data part refuses the package before anything is
    // sent, cell 0's read included, and the user learns which line it is.
    void damagedPackageIsRefusedWithItsLine_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("cut");
        QTest::addColumn<QByteArray>("replacement");  // "*": another hexadecimal digit
        QTest::addColumn<QString>("why");
        QTest::newRow("letter O for a zero in line 40")
            << 40 << 14 << 1 << QByteArray("O") << "line 40 holds a character that is not a hexadecimal digit";
        // Four characters must follow the record, the line end counted as one.
        QTest::newRow("trailer one character short in line 12")
            << 12 << 130 << 2 << QByteArray() << "line 12 is too short";
        QTest::newRow("CR for a digit in line 40")
            << 40 << 14 << 1 << QByteArray("\r") << "line 40 holds a carriage return that does not end it";
        // The line feed after it goes: line 20 ends in a lone CR.
        QTest::newRow("lone CR as the end of line 20")
            << 20 << 133 << 1 << QByteArray() << "line 20 holds a carriage return that does not end it";
        QTest::newRow("one record digit changed in line 30")
            << 30 << 14 << 1 << QByteArray("*") << "line 30 does not carry the sum of its digits";
    }

    void damagedPackageIsRefusedWithItsLine()
    {
        QFETCH(int, line);
        QFETCH(int, at);
        QFETCH(int, cut);
        QFETCH(QByteArray, replacement);
        QFETCH(QString, why);
        prepare("vorn", Protocol::Vorn, 256);
        QFile package(WindowHarness::firmwaresFolder() + "/vorn-4.14.upd");
        QVERIFY(package.open(QIODevice::ReadWrite));
        QByteArray content = package.readAll();
        int start = 0;
        for (int skipped = 1; skipped < line; ++skipped)
            start = content.indexOf('\n', start) + 1;
        // 128 digits, a trailer of 4 and the CR of the line end.
        QCOMPARE(content.indexOf('\n', start) - start, 133);
        if (replacement == "*")
            replacement = content.at(start + at) == '0' ? "1" : "0";
        content.replace(start + at, cut, replacement);
        package.resize(0);
        package.write(content);
        package.close();

        showFirmwarePage();
        if (QTest::currentTestFailed())
            return;
        selectRow(0);
        harness->sim.clearRequests();
        harness->sim.clearRawReceived();
        startUpdate();
        if (QTest::currentTestFailed())
            return;

        QTRY_COMPARE_WITH_TIMEOUT(criticalBoxes().size(), 1, testsupport::ConditionWaitMs);
        QVERIFY2(criticalBoxes().first().text.contains(why), qPrintable(criticalBoxes().first().text));
        verifyBrowsing();
        QTest::qWait(300);
        QCOMPARE(countOf(harness->sim.requests(), 'F'), 0);
        QCOMPARE(countOf(harness->sim.requests(), 'R', 0), 0);
        QVERIFY(!harness->sim.rawReceived().contains("UMF"));
    }

    // However the request reaches the link, a package whose "ID", "HW" or
    // "BL" does not name the connected device is refused before anything is sent.
    void packageForAnotherDeviceIsRefused()
    {
        prepare("vorn", Protocol::Vorn, 256);
        showFirmwarePage();
        if (QTest::currentTestFailed())
            return;
        harness->sim.clearRequests();
        harness->sim.clearRawReceived();
        const QString other = WindowHarness::firmwaresFolder() + "/vorn-hw3-5.0.upd";
        emit harness->window->doUpdateFirmware(other, readPackageFile(other).bytes);

        QTRY_COMPARE_WITH_TIMEOUT(criticalBoxes().size(), 1, testsupport::ConditionWaitMs);
        QVERIFY2(criticalBoxes().first().text.contains("not meant for the connected device"),
                 qPrintable(criticalBoxes().first().text));
        QTest::qWait(300);
        QCOMPARE(countOf(harness->sim.requests(), 'R', 0), 0);
        QVERIFY(!harness->sim.rawReceived().contains("UMF"));
    }

    // The warning box runs its own event loop while the link keeps polling.
    void deviceChangedDuringWarningSendsNothing_data()
    {
        QTest::addColumn<bool>("replugged");
        QTest::newRow("device lost") << false;
        QTest::newRow("back on firmware 0.0") << true;
    }

    void deviceChangedDuringWarningSendsNothing()
    {
        QFETCH(bool, replugged);
        prepare("vorn", Protocol::Vorn, 256);
        showFirmwarePage();
        if (QTest::currentTestFailed())
            return;
        selectRow(1);

        QSignalSpy asked(harness->window.get(), &MainWindow::doUpdateFirmware);
        SimulatedDevice &sim = harness->sim;
        bool changed = false;
        const auto warning = whenModalBoxShows([&](QMessageBox *box) {
            sim.setUnplugged(true);
            changed = QTest::qWaitFor([&] { return harness->page() == WindowHarness::SplashPage; }, 8000);
            if (replugged) {
                sim.setCell(205, 0);
                sim.setCell(206, 0);
                sim.setUnplugged(false);
                changed = QTest::qWaitFor([&] { return harness->page() == WindowHarness::FirmwarePage; }, 15000);
            }
            sim.clearRequests();
            clickButton("&Ok")(box);
        });
        QTest::mouseClick(updateButton(), Qt::LeftButton);
        QVERIFY(warning->answered);
        QVERIFY(changed);
        QCOMPARE(harness->page(), replugged ? int(WindowHarness::FirmwarePage) : int(WindowHarness::SplashPage));

        QCOMPARE(asked.count(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(std::any_of(shownBoxes.begin(), shownBoxes.end(),
                                             [](const SeenBox &box) {
                                                 return box.icon == QMessageBox::Information
                                                        && box.text.contains("Nothing was sent");
                                             }),
                                 testsupport::ConditionWaitMs);
        QTest::qWait(600);
        QCOMPARE(countOf(sim.requests(), 'F'), 0);
        QCOMPARE(countOf(sim.requests(), 'R', 0), 0);
        QVERIFY(!progressBar()->isVisible());
    }

    // What the user confirmed is what goes out, whatever happens to the file
    // or the cable while the warning is open; the device is asked again
    // right before the first block.
    void changesDuringTheWarning_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<QString>("why");
        // Same identity, other image: the confirmed bytes are sent, not the file's new ones.
        QTest::newRow("file replaced by another release") << "file" << true << "";
        // Exchanged quicker than the pings that drop a device notice.
        QTest::newRow("controller of other hardware plugged in")
            << "hardware" << false
            << "now reports identifier 21, hardware 3, bootloader 3, firmware 5.0.0, not identifier 21, "
               "hardware 2, bootloader 3, firmware 4.12.7";
    }

    void changesDuringTheWarning()
    {
        QFETCH(QString, change);
        QFETCH(bool, sent);
        QFETCH(QString, why);
        prepare("vorn", Protocol::Vorn, 256);
        harness->sim.setFirmwareAfterUpload(4, 14, 0, 32);
        showFirmwarePage();
        if (QTest::currentTestFailed())
            return;
        selectRow(0);
        const QString path = WindowHarness::firmwaresFolder() + "/vorn-4.14.upd";
        const QByteArray confirmed = packageImage(path, 128);

        SimulatedDevice &sim = harness->sim;
        sim.clearRequests();
        bool changed = false;
        const auto warning = whenModalBoxShows([&](QMessageBox *box) {
            if (change == "file") {
                changed = QFile::remove(path) && QFile::copy(testsupport::examplePackage("vorn-4.13.upd"), path);
            } else {
                sim.setIdentity(21, 3, 3, 5, 0, 0);
                changed = true;
            }
            clickButton("&Ok")(box);
        });
        QTest::mouseClick(updateButton(), Qt::LeftButton);
        QVERIFY(warning->answered);
        QVERIFY(changed);

        if (sent) {
            QTRY_VERIFY_WITH_TIMEOUT(firmwareList()->isEnabled(), 20000);
            QCOMPARE(harness->sim.receivedBlocks(), blocksOf(confirmed, 256, 32, 1));
            QVERIFY(packageImage(path, 128) != confirmed);
            QTRY_COMPARE_WITH_TIMEOUT(label("firmwareVersionValue"), QString("4.14.0"), testsupport::ConditionWaitMs);
            QVERIFY(criticalBoxes().isEmpty());
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(criticalBoxes().size(), 1, testsupport::ConditionWaitMs);
        const SeenBox failure = criticalBoxes().first();
        QVERIFY2(failure.text.contains(why) && failure.text.contains("Nothing was sent"), qPrintable(failure.text));
        QCOMPARE(failure.led, ledImage(":/maps/RLED"));
        QVERIFY(sim.receivedBlocks().isEmpty());
        QCOMPARE(countOf(sim.requests(), 'F'), 0);
        // The window lets the old controller go and identifies the one that
        // is there (its identity read once before the first block, once after).
        QTRY_VERIFY_WITH_TIMEOUT(harness->page() != WindowHarness::FirmwarePage, testsupport::ConditionWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(countOf(sim.requests(), 'R', 202) >= 2, testsupport::ConditionWaitMs);
        QCOMPARE(countOf(sim.requests(), 'F'), 0);
    }

    // Every block acknowledged, yet the controller still runs its old
    // firmware: a failure, not an update.
    void deviceThatKeepsItsOldVersionIsAFailure()
    {
        prepare("vorn", Protocol::Vorn, 256);
        harness->sim.setKeepsVersion(true);
        showFirmwarePage();
        if (QTest::currentTestFailed())
            return;
        selectRow(0);
        startUpdate();
        if (QTest::currentTestFailed())
            return;

        QTRY_COMPARE_WITH_TIMEOUT(criticalBoxes().size(), 1, 20000);
        QCOMPARE(harness->sim.receivedBlocks().size(), 32);
        const SeenBox failure = criticalBoxes().first();
        QCOMPARE(failure.title, QString("Firmware update failed"));
        QVERIFY2(failure.text.contains("4.12.7") && failure.text.contains("4.14"), qPrintable(failure.text));
        QCOMPARE(failure.statusText, QString(" Firmware 4.12.7 after the update, not 4.14"));
        QCOMPARE(failure.led, ledImage(":/maps/RLED"));
        QTRY_COMPARE_WITH_TIMEOUT(label("firmwareVersionValue"), QString("4.12.7"), testsupport::ConditionWaitMs);
        verifyBrowsing();
        QVERIFY(!firmwareInfo()->toPlainText().contains("installed"));
        // Polls that the device answers do not turn it green again behind the box.
        const int polled = harness->sim.requests().size();
        QTRY_VERIFY_WITH_TIMEOUT(harness->sim.requests().size() >= polled + 3, testsupport::ConditionWaitMs);
        QCOMPARE(label("statusLabel"), failure.statusText);
        QCOMPARE(child<QLabel>("ledLabel")->pixmap(Qt::ReturnByValue).toImage(), ledImage(":/maps/RLED"));
    }

    // Lost and found again while the warning was open, with Ok pressed while
    // the link still reads the cells of the device it found: nothing is
    // sent, and no control is offered before the page is whole.
    void okDuringTheReadAfterAReconnectSendsNothing()
    {
        prepare("vorn", Protocol::Vorn, 256);
        showFirmwarePage();
        if (QTest::currentTestFailed())
            return;
        selectRow(0);

        QSignalSpy asked(harness->window.get(), &MainWindow::doUpdateFirmware);
        SimulatedDevice &sim = harness->sim;
        bool duringRead = false;
        const auto warning = whenModalBoxShows([&](QMessageBox *box) {
            sim.setUnplugged(true);
            if (!QTest::qWaitFor([&] { return harness->page() == WindowHarness::SplashPage; }, 8000))
                return;
            sim.setWireTiming(true);  // a read of all cells that takes a while
            sim.setUnplugged(false);
            // The page is built from the description, its cells not yet read.
            duringRead = QTest::qWaitFor([&] { return harness->tree()->topLevelItemCount() > 0; }, 15000)
                         && harness->page() == WindowHarness::SplashPage;
            sim.clearRequests();
            clickButton("&Ok")(box);
        });
        QTest::mouseClick(updateButton(), Qt::LeftButton);
        QVERIFY(warning->answered);
        QVERIFY(duringRead);

        QTRY_VERIFY_WITH_TIMEOUT(std::any_of(shownBoxes.begin(), shownBoxes.end(),
                                             [](const SeenBox &box) {
                                                 return box.icon == QMessageBox::Information
                                                        && box.text.contains("Nothing was sent");
                                             }),
                                 testsupport::ConditionWaitMs);
        QCOMPARE(asked.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(harness->page(), int(WindowHarness::ParameterPage), testsupport::ConditionWaitMs);
        QTest::qWait(600);
        QCOMPARE(countOf(sim.requests(), 'F'), 0);
        QCOMPARE(countOf(sim.requests(), 'W'), 0);
    }

    // Closing cuts nothing off: the window stays, says why, and closes once
    // every block is in.
    void closingDuringUploadWaitsForIt()
    {
        prepare("vorn", Protocol::Vorn, 256);
        showFirmwarePage();
        if (QTest::currentTestFailed())
            return;
        selectRow(0);
        harness->sim.clearRequests();
        startUpdate();
        if (QTest::currentTestFailed())
            return;
        QTRY_VERIFY_WITH_TIMEOUT(countOf(harness->sim.requests(), 'F') >= 3, testsupport::ConditionWaitMs);

        QVERIFY(!harness->window->close());
        QVERIFY(harness->window->isVisible());
        const QString notice(" The window closes when the firmware update has ended");
        QCOMPARE(label("statusLabel"), notice);
        // The notice gives way to the progress bar and keeps its words in its tooltip.
        QCOMPARE(child<QLabel>("statusLabel")->toolTip(), notice);
        // The bar keeps its half of the status bar: it and the notice share by
        // equal stretch, whatever the notice's length.
        QStatusBar *status = harness->window->statusBar();
        QVERIFY(status->layout());
        status->layout()->activate();
        const int textWidth = child<QLabel>("statusLabel")->width();
        QVERIFY2(progressBar()->width() >= textWidth - 2,
                 qPrintable(
                     QString("progress bar %1 px beside a text of %2 px").arg(progressBar()->width()).arg(textWidth)));
        const int sentAtClose = countOf(harness->sim.requests(), 'F');
        QTRY_VERIFY_WITH_TIMEOUT(countOf(harness->sim.requests(), 'F') >= sentAtClose + 2,
                                 testsupport::ConditionWaitMs);
        QCOMPARE(label("statusLabel"), notice);  // the blocks' own statuses keep it

        QTRY_VERIFY_WITH_TIMEOUT(!harness->window->isVisible(), 20000);
        QCOMPARE(countOf(harness->sim.requests(), 'F'), 32);
        const QByteArray image = packageImage(WindowHarness::firmwaresFolder() + "/vorn-4.14.upd", 128);
        QCOMPARE(harness->sim.receivedBlocks(), blocksOf(image, 256, 32, 1));
    }
};

QTEST_MAIN(FirmwarePageTest)
#include "tst_firmwarepage_e2e.moc"
