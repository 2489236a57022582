// kova-cli end to end, in process: its entry with the real QSerialPort
// against the simulated controller on a pseudo-terminal, in every dialect.
#include "cli.h"
#include "simulateddevice.h"
#include "support/exampledevice.h"
#include "support/portpuller.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <memory>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

struct Example {
    const char *device;
    SimulatedDevice::Protocol protocol;
    const char *package;             // fits the example controller
    const char *otherPackage;        // fits another controller
    const char *outOfRange;          // NAME=VALUE beyond the description's range
    int blockSize;                   // the description's, so that the simulator sees blocks
};

const Example Examples[] = {
    {"vorn", SimulatedDevice::Protocol::Vorn, "vorn-4.13.upd", "vorn-hw3-5.0.upd", "Start power=26", 256},
    {"kelpa", SimulatedDevice::Protocol::Kelpa, "kelpa-2.7.upd", "kelpa-id8-3.0.upd", "Start power=21", 64},
    {"ulma", SimulatedDevice::Protocol::UlmaFast, "ulma-2.0.upd", "ulma-hw2-2.1.upd", "Throttle response=11", 128},
    {"ulma", SimulatedDevice::Protocol::UlmaSlow, "ulma-2.0.upd", "ulma-hw2-2.1.upd", "Motor timing=-1", 128},
};

QString rowName(const Example &example, const char *what)
{
    return QString("%1 %2 %3").arg(example.device).arg(int(example.protocol)).arg(what);
}

// An example controller on the simulated cable.
std::unique_ptr<SimulatedDevice> startDevice(const Example &example)
{
    auto sim = std::make_unique<SimulatedDevice>();
    sim->setCells(testsupport::exampleCells(example.device));
    sim->attachDevice(example.protocol);
    return sim;
}

Run runCli(const SimulatedDevice &sim, const Example &example, const QStringList &arguments)
{
    Run run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    const QStringList global{"--port", sim.portPath(), "--description",
                             testsupport::exampleDescription(example.device)};
    run.status = runCli(global + arguments, out, err, Terminal());
    return run;
}

int countRequests(const SimulatedDevice &sim, const QByteArray &kinds)
{
    int count = 0;
    for (const SimRequest &request : sim.requests())
        count += kinds.contains(request.kind) ? 1 : 0;
    return count;
}

QJsonObject readJson(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll()).object();
}

void writeJson(const QString &path, const QJsonObject &object)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(QJsonDocument(object).toJson());
}

// Every cell of every parameter in a saved file.
QList<int> savedCells(const QString &path)
{
    QList<int> cells;
    for (const QJsonValue &parameter : readJson(path).value("parameters").toArray())
        for (const QJsonValue &cell : parameter.toObject().value("cells").toArray())
            cells << cell.toInt();
    return cells;
}

// A copy of a package without the second half of its data lines.
QString damagedCopy(const QString &package, const QTemporaryDir &folder)
{
    QFile in(testsupport::examplePackage(package));
    in.open(QIODevice::ReadOnly);
    QList<QByteArray> lines = in.readAll().split('\n');
    const int firmwareLine = lines.indexOf("[Firmware]\r") >= 0 ? lines.indexOf("[Firmware]\r")
                                                                 : lines.indexOf("[Firmware]");
    lines = lines.mid(0, firmwareLine + 1 + (lines.size() - firmwareLine) / 2);
    const QString path = folder.filePath("damaged.upd");
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(lines.join('\n') + '\n');
    return path;
}

}  // namespace

class CliTest : public QObject
{
    Q_OBJECT

    QTemporaryDir savedFolder;
    QMap<int, QJsonObject> savedByExample;

    // What `save` writes for an example controller, saved once.
    QJsonObject savedSettings(int example)
    {
        if (!savedByExample.contains(example)) {
            const QString file = savedFolder.filePath(QString("example%1.json").arg(example));
            auto sim = startDevice(Examples[example]);
            if (runCli(*sim, Examples[example], {"save", file}).status == 0)
                savedByExample.insert(example, readJson(file));
        }
        return savedByExample.value(example);
    }

private slots:
    void saveThenLoadReproducesEveryCell_data()
    {
        QTest::addColumn<int>("example");
        for (int i = 0; i < int(std::size(Examples)); ++i)
            QTest::newRow(qPrintable(rowName(Examples[i], "save, load"))) << i;
    }

    void saveThenLoadReproducesEveryCell()
    {
        QFETCH(int, example);
        const Example &e = Examples[example];
        QTemporaryDir folder;
        const QString file = folder.filePath("settings.json");
        auto source = startDevice(e);
        QCOMPARE(runCli(*source, e, {"save", file}).status, 0);

        // The same controller, every described value different.
        auto target = startDevice(e);
        const QList<int> cells = savedCells(file);
        QVERIFY(!cells.isEmpty());
        for (int cell : cells)
            target->setCell(cell, quint8(source->cell(cell) + 1));
        QCOMPARE(runCli(*target, e, {"diff", file}).status, 1);
        target->clearRequests();

        const Run load = runCli(*target, e, {"load", file});
        QCOMPARE(load.status, 0);
        QVERIFY2(load.err.isEmpty(), qPrintable(load.err));
        QCOMPARE(countRequests(*target, "W"), cells.size());
        for (int cell = 0; cell < 256; ++cell)
            QCOMPARE(target->cell(cell), source->cell(cell));
        QCOMPARE(runCli(*target, e, {"diff", file}).status, 0);
    }

    // Each refusal, and the dry run, before anything is sent that changes
    // the controller.
    void refusalsChangeNothing_data()
    {
        QTest::addColumn<int>("example");
        QTest::addColumn<QString>("fileKey");  // the saved file's device field to change
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        for (int i = 0; i < int(std::size(Examples)); ++i) {
            const Example &e = Examples[i];
            const auto row = [&](const char *what) -> QTestData & {
                return QTest::newRow(qPrintable(rowName(e, what))) << i;
            };
            row("other identifier") << "id" << QStringList{"load", "FILE"} << 5;
            row("other name") << "name" << QStringList{"load", "FILE"} << 5;
            row("other hardware") << "hardware" << QStringList{"load", "FILE"} << 5;
            row("other firmware") << "firmwareMinor" << QStringList{"load", "FILE"} << 5;
            row("not a settings file") << "format" << QStringList{"load", "FILE"} << 2;
            row("dry run") << "" << QStringList{"load", "FILE", "--dry-run"} << 0;
            row("set out of range") << "" << QStringList{"set", e.outOfRange} << 2;
            row("damaged package") << "" << QStringList{"flash", "DAMAGED", "--yes"} << 2;
            row("package of another device")
                << "" << QStringList{"flash", testsupport::examplePackage(e.otherPackage), "--yes"} << 5;
        }
    }

    void refusalsChangeNothing()
    {
        QFETCH(int, example);
        QFETCH(QString, fileKey);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        const Example &e = Examples[example];
        QTemporaryDir folder;
        const QString file = folder.filePath("settings.json");
        auto sim = startDevice(e);
        sim->setBlockSize(e.blockSize);
        if (arguments.contains("FILE")) {
            QJsonObject settings = savedSettings(example);
            QJsonObject device = settings.value("device").toObject();
            if (fileKey == "format")
                settings.insert("format", "something else");
            else if (fileKey == "name")
                device.insert(fileKey, "Other");
            else if (!fileKey.isEmpty())
                device.insert(fileKey, device.value(fileKey).toInt() + 1);
            settings.insert("device", device);
            writeJson(file, settings);
            // The file differs from the device, so a load would write.
            const int cell = savedCells(file).at(0);
            sim->setCell(cell, quint8(sim->cell(cell) + 1));
        }
        arguments.replaceInStrings("FILE", file);
        arguments.replaceInStrings("DAMAGED", damagedCopy(e.package, folder));
        sim->clearRequests();

        const Run run = runCli(*sim, e, arguments);
        QCOMPARE(run.status, status);
        QCOMPARE(run.err.count('\n'), status == 0 ? 0 : 1);
        QCOMPARE(countRequests(*sim, "WFU"), 0);
    }

    void unopenablePortSaysWhy_data()
    {
        QTest::addColumn<bool>("held");  // by another open of this process, else a port that is not there
        QTest::addColumn<QString>("why");
        QTest::newRow("no such port") << false << "there is no such port";
        QTest::newRow("held") << true << QString("(process %1, from its lock file)").arg(QCoreApplication::applicationPid());
    }

    void unopenablePortSaysWhy()
    {
        QFETCH(bool, held);
        QFETCH(QString, why);
        const Example &e = Examples[0];
        auto sim = startDevice(e);
        QSerialPort holder(sim->portPath());
        QVERIFY(!held || holder.open(QIODevice::ReadWrite));
        const QString port = held ? sim->portPath() : sim->portPath() + "-gone";
        QString output;
        QString errors;
        QTextStream out(&output);
        QTextStream err(&errors);
        QCOMPARE(runCli({"--port", port, "info"}, out, err, Terminal()), 3);
        QVERIFY2(errors.contains(why), qPrintable(errors));
    }

    // An adapter pulled in the middle of a command ends it at once as a
    // port that is gone, not as a device that stopped answering.
    void pulledAdapterEndsTheCommand_data()
    {
        QTest::addColumn<int>("example");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("pullAfter");  // requests the device sees first
        for (int i = 0; i < int(std::size(Examples)); ++i) {
            const Example &e = Examples[i];
            // The answered ping and the identity cells come first.
            const int identified = 1 + (e.protocol == SimulatedDevice::Protocol::Vorn ? 6 : 3);
            const bool ulma = e.protocol == SimulatedDevice::Protocol::UlmaFast
                              || e.protocol == SimulatedDevice::Protocol::UlmaSlow;
            QTest::newRow(qPrintable(rowName(e, "read"))) << i << QStringList{"read"} << identified + 2;
            // Cell 0, Ulma's bootloader entry, then three blocks.
            QTest::newRow(qPrintable(rowName(e, "flash")))
                << i << QStringList{"flash", testsupport::examplePackage(e.package), "--yes"}
                << identified + 1 + (ulma ? 1 : 0) + 3;
        }
    }

    void pulledAdapterEndsTheCommand()
    {
        QFETCH(int, example);
        QFETCH(QStringList, arguments);
        QFETCH(int, pullAfter);
        const Example &e = Examples[example];
        auto sim = startDevice(e);
        sim->setBlockSize(e.blockSize);
        Run run;
        {
            PortPuller puller(*sim, pullAfter);
            run = runCli(*sim, e, arguments);
            QVERIFY(puller.pulled());
        }
        QVERIFY2(run.err.contains("The port closed"), qPrintable(run.err));
        QCOMPARE(run.status, 3);
    }

    void failedWriteNamesParameter_data()
    {
        QTest::addColumn<int>("example");
        for (int i = 0; i < int(std::size(Examples)); ++i)
            QTest::newRow(qPrintable(rowName(Examples[i], "dead cell"))) << i;
    }

    void failedWriteNamesParameter()
    {
        QFETCH(int, example);
        const Example &e = Examples[example];
        QTemporaryDir folder;
        const QString file = folder.filePath("settings.json");
        auto sim = startDevice(e);
        QCOMPARE(runCli(*sim, e, {"save", file}).status, 0);
        const QJsonObject first = readJson(file).value("parameters").toArray().at(0).toObject();
        const int cell = first.value("cells").toArray().at(0).toInt();
        sim->setCell(cell, quint8(sim->cell(cell) + 1));
        // The cell dies as the first write reaches it, after the read of all cells.
        SimulatedDevice *device = sim.get();
        sim->setRequestListener([device](const SimRequest &request) {
            if (request.kind == 'W')
                device->failCell(request.cell);
        });

        const Run run = runCli(*sim, e, {"load", file});
        QCOMPARE(run.status, 6);
        QVERIFY2(run.err.contains(first.value("name").toString()), qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
