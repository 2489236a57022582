#pragma once

// The whole program as a user meets it: the real window, its worker thread
// and QSerialPort, talking to the simulated controller on a pseudo-terminal,
// with an example controller's description file, cells and packages.
#include "app/mainwindow.h"
#include "simulateddevice.h"
#include "support/exampledevice.h"

#include <QDir>
#include <QFile>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

class WindowHarness
{
public:
    enum Page { SplashPage = 0, ParameterPage = 1, FirmwarePage = 2 };

    // `device` names an example controller: "vorn", "kelpa" or "ulma".
    WindowHarness(const QString &device, SimulatedDevice::Protocol protocol) : device(device)
    {
        prepareFolders();
        sim.setCells(testsupport::exampleCells(device));
        sim.attachDevice(protocol);
        testsupport::writePortSetting(sim.portPath());
    }

    ~WindowHarness()
    {
        window.reset();
        QDir(firmwaresFolder()).removeRecursively();
        QFile::remove("tellur.dsc");
    }

    void startWindow()
    {
        window = std::make_unique<MainWindow>();
        window->show();
    }

    template <typename T>
    T *child(const char *name) const
    {
        return window->findChild<T *>(name);
    }

    int page() const { return child<QStackedWidget>("pageStack")->currentIndex(); }
    QTreeWidget *tree() const { return child<QTreeWidget>("parameterTree"); }

    // The control in the row labelled `name`.
    template <typename T>
    T *control(const QString &name) const
    {
        for (int row = 0; row < tree()->topLevelItemCount(); ++row) {
            QTreeWidgetItem *item = tree()->topLevelItem(row);
            if (item->text(0) == name)
                return qobject_cast<T *>(tree()->itemWidget(item, 1));
        }
        return nullptr;
    }

    static QString firmwaresFolder() { return QCoreApplication::applicationDirPath() + "/firmwares"; }

    // Copies the example packages whose file names start with `prefix`.
    static void installPackages(const QString &prefix)
    {
        const QDir examples(testsupport::sourcePath("examples/firmwares"));
        for (const QString &name : examples.entryList({prefix + "*.upd"}, QDir::Files))
            QFile::copy(examples.filePath(name), firmwaresFolder() + "/" + name);
    }

    SimulatedDevice sim;
    std::unique_ptr<MainWindow> window;

private:
    void prepareFolders()
    {
        QDir(firmwaresFolder()).removeRecursively();
        QDir().mkpath(firmwaresFolder());
        QFile::remove("tellur.dsc");
        QFile::copy(testsupport::exampleDescription(device), "tellur.dsc");
    }

    QString device;
};
