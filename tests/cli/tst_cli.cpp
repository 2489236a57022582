// kova-cli end to end, in process: its entry with the real QSerialPort
// against the simulated controller on a pseudo-terminal, in every dialect.
#include "cli.h"
#include "commandtable.h"
#include "pseudoterminal.h"
#include "simulateddevice.h"
#include "support/bytes.h"
#include "support/exampledevice.h"
#include "support/firmwarepackage.h"
#include "support/portpuller.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>

#include <unistd.h>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

struct Example {
    const char *device;
    SimulatedDevice::Protocol protocol;
    const char *package;  // fits the example controller
    const char *otherPackage;  // fits another controller
    const char *outOfRange;  // NAME=VALUE beyond the description's range
    int blockSize;  // the description's, so that the simulator sees blocks
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

Run runCli(const SimulatedDevice &sim, const Example &example, const QStringList &arguments,
           const Terminal &terminal = Terminal())
{
    Run run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    const QStringList global{"--port", sim.portPath(), "--description",
                             testsupport::exampleDescription(example.device)};
    run.status = runCli(global + arguments, out, err, terminal);
    return run;
}

// Runs without --port, so that the port comes from wherever the program finds it.
Run runWithoutPort(const QStringList &arguments)
{
    Run run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = runCli(arguments, out, err, Terminal());
    return run;
}

// The installed program itself, for what only its own process shows: standard
// input and whether standard error is a terminal.
struct Program {
    QProcess process;
    QByteArray out;
    QByteArray err;
    int status = -1;

    bool run(const SimulatedDevice &sim, const Example &example, const QStringList &arguments,
             const QByteArray &input = QByteArray())
    {
        process.setProgram(KOVA_CLI_PROGRAM);
        process.setArguments(QStringList{"-p", sim.portPath(), "-d", testsupport::exampleDescription(example.device)}
                             + arguments);
        process.start();
        if (!process.waitForStarted(testsupport::ConditionWaitMs))
            return false;
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return false;
        out = process.readAllStandardOutput();
        err = process.readAllStandardError();
        status = process.exitCode();
        return true;
    }
};

// What the program wrote to the terminal's other end.
QByteArray drain(const PseudoTerminal &terminal)
{
    QByteArray bytes;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(terminal.masterFd(), buffer, sizeof buffer)) > 0)
        bytes.append(buffer, int(count));
    return bytes;
}

// The cells read other than the identity's, which every command reads.
QSet<int> parameterCellsRead(const SimulatedDevice &sim, const QSet<int> &identityCells)
{
    QSet<int> cells;
    for (const SimRequest &request : sim.requests())
        if (request.kind == 'R' && !identityCells.contains(request.cell))
            cells << request.cell;
    return cells;
}

const QRegularExpression CellBar(QStringLiteral("\\r\\[[#-]+\\] +\\d+/\\d+ cells"));

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

bool writeJson(const QString &path, const QJsonObject &object)
{
    QFile file(path);
    const QByteArray bytes = QJsonDocument(object).toJson();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
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

// Replaces fields of the saved file's parameters: "NAME/KEY" -> value.
// False when the file has no parameter of such a name.
bool changeSettings(QJsonObject &settings, const QVariantMap &changes)
{
    QJsonArray parameters = settings.value("parameters").toArray();
    for (auto change = changes.begin(); change != changes.end(); ++change) {
        const QString name = change.key().section('/', 0, 0);
        int found = 0;
        for (int i = 0; i < parameters.size(); ++i) {
            QJsonObject parameter = parameters.at(i).toObject();
            if (parameter.value("name").toString() != name)
                continue;
            parameter.insert(change.key().section('/', 1), QJsonValue::fromVariant(change.value()));
            parameters.replace(i, parameter);
            ++found;
        }
        if (found != 1)
            return false;
    }
    settings.insert("parameters", parameters);
    return true;
}

QSet<int> writtenCells(const SimulatedDevice &sim)
{
    QSet<int> cells;
    for (const SimRequest &request : sim.requests())
        if (request.kind == 'W')
            cells << request.cell;
    return cells;
}

QVector<quint8> allCells(const SimulatedDevice &sim)
{
    QVector<quint8> cells;
    for (int cell = 0; cell < 256; ++cell)
        cells << sim.cell(cell);
    return cells;
}

// The names of the parameters a JSON report gives a state.
QStringList namesInState(const QString &json, const QString &state)
{
    QStringList names;
    for (const QJsonValue &parameter : QJsonDocument::fromJson(json.toUtf8()).object().value("parameters").toArray())
        if (parameter.toObject().value("state").toString() == state)
            names << parameter.toObject().value("name").toString();
    return names;
}

// A copy of a package without the second half of its data lines.
QString damagedCopy(const QString &package, const QTemporaryDir &folder)
{
    QFile in(testsupport::examplePackage(package));
    in.open(QIODevice::ReadOnly);
    QList<QByteArray> lines = in.readAll().split('\n');
    const int firmwareLine =
        lines.indexOf("[Firmware]\r") >= 0 ? lines.indexOf("[Firmware]\r") : lines.indexOf("[Firmware]");
    lines = lines.mid(0, firmwareLine + 1 + (lines.size() - firmwareLine) / 2);
    const QString path = folder.filePath("damaged.upd");
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(lines.join('\n') + '\n');
    return path;
}

// A copy of a package with one data line edited: `at` characters into it,
// `cut` characters replaced by `with` ("*": another hexadecimal digit).
QString editedCopy(const QString &package, const QTemporaryDir &folder, int line, int at, int cut, QByteArray with)
{
    QFile in(testsupport::examplePackage(package));
    in.open(QIODevice::ReadOnly);
    QByteArray content = in.readAll();
    int start = 0;
    for (int skipped = 1; skipped < line; ++skipped)
        start = content.indexOf('\n', start) + 1;
    if (with == "*")
        with = content.at(start + at) == '0' ? "1" : "0";
    content.replace(start + at, cut, with);
    const QString path = folder.filePath("edited.upd");
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(content);
    return path;
}

// The blocks a package's image makes, read straight from its text.
QList<QByteArray> packageBlocks(const QString &package, int recordDigits, int blockSize)
{
    const QByteArray image = testsupport::packageImage(testsupport::examplePackage(package), recordDigits);
    QList<QByteArray> blocks;
    for (int at = 0; at + blockSize <= image.size(); at += blockSize)
        blocks << image.mid(at, blockSize);
    return blocks;
}

using Prompt = std::function<QString(SimulatedDevice &, const QString &package)>;

}  // namespace

Q_DECLARE_METATYPE(Prompt)

class CliTest : public QObject
{
    Q_OBJECT

    QTemporaryDir savedFolder;
    QMap<int, QJsonObject> savedByExample;

    // What `save` writes for an example controller, saved once. A save that
    // fails fails the test that asked, with what kova-cli said.
    QJsonObject savedSettings(int example)
    {
        if (!savedByExample.contains(example)) {
            const QString file = savedFolder.filePath(QString("example%1.json").arg(example));
            auto sim = startDevice(Examples[example]);
            const Run run = runCli(*sim, Examples[example], {"save", file});
            const QJsonObject saved = run.status == 0 ? readJson(file) : QJsonObject();
            if (saved.isEmpty()) {
                QTest::qFail(
                    qPrintable(
                        QString("preparing a settings file: save ended with %1: %2").arg(run.status).arg(run.err)),
                    __FILE__, __LINE__);
                return {};
            }
            savedByExample.insert(example, saved);
        }
        return savedByExample.value(example);
    }

    // The saved file of the first example with `changes` ("NAME/KEY" ->
    // value), in `folder`; empty when it cannot be made.
    QString changedSettings(const QTemporaryDir &folder, const QVariantMap &changes, bool otherFirmware)
    {
        QJsonObject settings = savedSettings(0);
        if (settings.isEmpty() || !changeSettings(settings, changes))
            return QString();
        if (otherFirmware) {
            QJsonObject device = settings.value("device").toObject();
            device.insert("firmwareBuild", device.value("firmwareBuild").toInt() + 1);
            settings.insert("device", device);
        }
        const QString file = folder.filePath("settings.json");
        return writeJson(file, settings) ? file : QString();
    }

    // "{saved}" becomes a saved settings file, "{file}" one to be written.
    bool withFiles(QStringList *arguments, const QTemporaryDir &folder)
    {
        const QString saved = folder.filePath("saved.json");
        arguments->replaceInStrings("{file}", folder.filePath("written.json"));
        arguments->replaceInStrings("{saved}", saved);
        return writeJson(saved, savedSettings(0));
    }

private slots:
    // Every cell the window could change; a parameter that the file's values
    // disable keeps the device's value, as the window's control would.
    void saveThenLoadReproducesEveryCell_data()
    {
        QTest::addColumn<int>("example");
        QTest::addColumn<QStringList>("disabled");
        const QStringList disabled[] = {
            {"Governor head speed", "Governor gain"}, {"NiMH cut-off"}, {"Governor speed"}, {"Governor speed"}};
        for (int i = 0; i < int(std::size(Examples)); ++i)
            QTest::newRow(qPrintable(rowName(Examples[i], "save, load"))) << i << disabled[i];
    }

    void saveThenLoadReproducesEveryCell()
    {
        QFETCH(int, example);
        QFETCH(QStringList, disabled);
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
        const QVector<quint8> before = allCells(*target);
        QCOMPARE(runCli(*target, e, {"diff", file}).status, 1);
        target->clearRequests();

        const Run load = runCli(*target, e, {"--json", "load", file});
        QCOMPARE(load.status, 0);
        QVERIFY2(load.err.isEmpty(), qPrintable(load.err));
        QCOMPARE(namesInState(load.out, "disabled"), disabled);
        QSet<int> kept;
        for (const QJsonValue &parameter : readJson(file).value("parameters").toArray())
            if (disabled.contains(parameter.toObject().value("name").toString()))
                for (const QJsonValue &cell : parameter.toObject().value("cells").toArray())
                    kept << cell.toInt();
        QCOMPARE(countRequests(*target, "W"), cells.size() - kept.size());
        for (int cell = 0; cell < 256; ++cell)
            QCOMPARE(target->cell(cell), kept.contains(cell) ? before.at(cell) : source->cell(cell));
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
            row("package with a CR inside a record") << "" << QStringList{"flash", "CR", "--yes"} << 2;
            row("package with a wrong line sum") << "" << QStringList{"flash", "SUM", "--yes"} << 2;
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
            if (QTest::currentTestFailed())
                return;
            QJsonObject device = settings.value("device").toObject();
            if (fileKey == "format")
                settings.insert("format", "something else");
            else if (fileKey == "name")
                device.insert(fileKey, "Other");
            else if (!fileKey.isEmpty())
                device.insert(fileKey, device.value(fileKey).toInt() + 1);
            settings.insert("device", device);
            QVERIFY(writeJson(file, settings));
            // The file differs from the device, so a load would write.
            const int cell = savedCells(file).at(0);
            sim->setCell(cell, quint8(sim->cell(cell) + 1));
        }
        arguments.replaceInStrings("FILE", file);
        arguments.replaceInStrings("DAMAGED", damagedCopy(e.package, folder));
        // Line 12 holds data in every example package.
        if (arguments.contains("CR"))
            arguments.replaceInStrings("CR", editedCopy(e.package, folder, 12, 5, 1, "\r"));
        if (arguments.contains("SUM"))
            arguments.replaceInStrings("SUM", editedCopy(e.package, folder, 12, 5, 1, "*"));
        sim->clearRequests();

        const Run run = runCli(*sim, e, arguments);
        QCOMPARE(run.status, status);
        QCOMPARE(run.err.count('\n'), status == 0 ? 0 : 1);
        QCOMPARE(countRequests(*sim, "WFU"), 0);
    }

    // The prompt waits while the world may change: the package checked and
    // confirmed is the one sent, to the device it was checked against.
    void flashAfterThePrompt_data()
    {
        QTest::addColumn<Prompt>("prompt");
        QTest::addColumn<bool>("newFirmware");  // the device runs 4.13 after the upload
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("flashed");
        QTest::addColumn<QString>("said");  // on standard error

        const auto yes = [](SimulatedDevice &, const QString &) { return QString("y"); };
        QTest::newRow("confirmed") << Prompt(yes) << true << 0 << true << "";
        QTest::newRow("declined") << Prompt([](SimulatedDevice &, const QString &) { return QString("n"); }) << true
                                  << 1 << false << "Nothing was flashed.";
        QTest::newRow("no answer") << Prompt([](SimulatedDevice &, const QString &) { return QString(); }) << true << 1
                                   << false << "Nothing was flashed.";
        QTest::newRow("file replaced by another hardware's package")
            << Prompt([](SimulatedDevice &, const QString &package) {
                   QFile::remove(package);
                   QFile::copy(testsupport::examplePackage("vorn-hw3-5.0.upd"), package);
                   return QString("y");
               })
            << true << 0 << true << "";
        QTest::newRow("controller exchanged")
            << Prompt([](SimulatedDevice &sim, const QString &) {
                   sim.setIdentity(21, 3, 3, 5, 0, 0);
                   return QString("yes");
               })
            << true << 5 << false
            << "The device now reports identifier 21, hardware 3, bootloader 3, firmware 5.0.0, not identifier "
               "21, hardware 2, bootloader 3, firmware 4.12.7 that the package was checked against; nothing "
               "was sent.";
        QTest::newRow("controller keeps its old firmware")
            << Prompt(yes) << false << 6 << false
            << "The device reports firmware 4.12.7 after the upload, not 4.13 of the package.";
    }

    void flashAfterThePrompt()
    {
        QFETCH(Prompt, prompt);
        QFETCH(bool, newFirmware);
        QFETCH(int, status);
        QFETCH(bool, flashed);
        QFETCH(QString, said);
        const Example &e = Examples[0];
        QTemporaryDir folder;
        const QString package = folder.filePath("vorn-4.13.upd");
        QVERIFY(QFile::copy(testsupport::examplePackage(e.package), package));
        auto sim = startDevice(e);
        sim->setBlockSize(e.blockSize);
        if (newFirmware)
            sim->setFirmwareAfterUpload(4, 13, 0, 32);
        sim->setKeepsVersion(!newFirmware);
        SimulatedDevice *device = sim.get();
        bool asked = false;
        const Terminal terminal{false, [&] {
                                    asked = true;
                                    return prompt(*device, package);
                                }};

        const Run run = runCli(*sim, e, {"--json", "flash", package}, terminal);
        QVERIFY(asked);
        const bool uploaded = status == 0 || status == 6;
        if (uploaded)
            QCOMPARE(sim->receivedBlocks(), packageBlocks(e.package, 128, e.blockSize));
        else
            QCOMPARE(countRequests(*sim, "FU"), 0);
        QCOMPARE(run.status, status);
        QVERIFY2(run.err.contains(said), qPrintable(run.err));
        const QJsonObject result = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(result.value("flashed").toBool(!flashed), flashed);
        QCOMPARE(result.value("status").toInt(), status);
        if (uploaded)
            QCOMPARE(result.value("firmware").toString(), newFirmware ? QString("4.13.0") : QString("4.12.7"));
    }

    // A "FW" that is no version turns off the check after the upload: said
    // before the prompt, while the user can still decline.
    void flashWarnsOfAVersionItCannotCheck()
    {
        const Example &e = Examples[0];
        QTemporaryDir folder;
        const QString package = folder.filePath("vorn-4.13beta.upd");
        QByteArray bytes = testsupport::readFile(testsupport::examplePackage(e.package));
        QVERIFY(bytes.contains("FW=4.13\r\n"));
        QVERIFY(testsupport::writeFile(package, bytes.replace("FW=4.13\r\n", "FW=4.13beta\r\n")));
        auto sim = startDevice(e);
        sim->setBlockSize(e.blockSize);
        const Terminal terminal{false, [] { return QString("n"); }};

        const Run run = runCli(*sim, e, {"flash", package}, terminal);
        QCOMPARE(run.status, 1);
        const int warning = int(run.err.indexOf("gives no version in FW (\"4.13beta\"): the firmware version after "
                                                "the upload cannot be checked."));
        QVERIFY2(warning >= 0, qPrintable(run.err));
        QVERIFY2(warning < run.err.indexOf("[y/N]"), qPrintable(run.err));
    }

    // The settings from before an update come back into the new firmware's
    // description by name: one parameter is gone, one range narrowed, and one
    // cell held a value that no description allows. What is left at the
    // update's value has a status of its own; a failed write keeps 6.
    void flashKeepsTheSettings_data()
    {
        QTest::addColumn<bool>("keepSettings");
        QTest::addColumn<int>("stuckCell");  // the device keeps it at 0; -1: none
        QTest::addColumn<int>("status");
        QTest::addColumn<QVariantMap>("cellsAfter");  // cell -> value
        QTest::addColumn<QStringList>("states");  // "state name" beside "equal" and "not saved"

        const QVariantMap defaults{{"10", 0}, {"12", 8}, {"18", 0}, {"21", 5}, {"24", 50}};
        QTest::newRow("backup only") << false << -1 << 0 << defaults << QStringList();
        QTest::newRow("kept") << true << -1 << 7 << QVariantMap{{"10", 1}, {"12", 8}, {"18", 1}, {"21", 5}, {"24", 50}}
                              << QStringList{"restored Motor direction", "refused Start power", "restored Governor",
                                             "refused Temperature protection", "dropped Governor gain"};
        QTest::newRow("a write fails") << true << 10 << 6
                                       << QVariantMap{{"10", 0}, {"12", 8}, {"18", 1}, {"21", 5}, {"24", 50}}
                                       << QStringList{"failed Motor direction", "refused Start power",
                                                      "restored Governor", "refused Temperature protection",
                                                      "dropped Governor gain"};
    }

    void flashKeepsTheSettings()
    {
        QFETCH(bool, keepSettings);
        QFETCH(int, stuckCell);
        QFETCH(int, status);
        QFETCH(QVariantMap, cellsAfter);
        QFETCH(QStringList, states);
        const Example &e = Examples[0];
        QTemporaryDir folder;
        // Firmware 4.13 has no "Governor gain" and takes at most 20 % of start power.
        const QString description = folder.filePath("vorn.dsc");
        QByteArray text = testsupport::readFile(testsupport::exampleDescription("vorn"));
        const int from = text.indexOf("fwm=\"13\"");
        const int to = text.indexOf("</ESC>", from);
        QVERIFY(from > 0 && to > from);
        QByteArray entry = text.mid(from, to - from);
        const int gain = entry.indexOf("<Parameter type=\"range\" name=\"Governor gain\"");
        QVERIFY(gain > 0);
        entry.remove(gain, entry.indexOf('\n', gain) + 1 - gain);
        QVERIFY(entry.contains("name=\"Start power\" cell=\"12\" min=\"1\" max=\"25\""));
        entry.replace("max=\"25\"", "max=\"20\"");
        QVERIFY(testsupport::writeFile(description, text.replace(from, to - from, entry)));

        auto sim = startDevice(e);
        sim->setBlockSize(e.blockSize);
        sim->setFirmwareAfterUpload(4, 13, 0, 32);
        sim->setCellsAfterUpload(testsupport::exampleCells("vorn"));
        const QMap<int, quint8> technician{{10, 1}, {12, 22}, {18, 1}, {21, 7}, {24, 3}};
        sim->setCells(technician);
        if (stuckCell >= 0)
            sim->setCellLimits(stuckCell, 0, 0);
        QStringList arguments{"--port", sim->portPath(), "--description", description,
                              "--json", "flash",         "--yes",         testsupport::examplePackage(e.package)};
        if (keepSettings)
            arguments << "--keep-settings";
        Run run;
        QTextStream out(&run.out);
        QTextStream err(&run.err);
        run.status = runCli(arguments, out, err, Terminal());

        QCOMPARE(run.status, status);
        const QJsonObject result = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QVERIFY(result.value("flashed").toBool());
        const QString backup = result.value("backup").toString();
        QVERIFY2(backup.startsWith(qEnvironmentVariable("XDG_DATA_HOME") + "/kova/backups/Vorn-Kestrel-80-"),
                 qPrintable(backup));
        QVERIFY2(run.err.contains(backup) || !keepSettings, qPrintable(run.err));
        QMap<QString, QString> saved;
        for (const QJsonValue &parameter : readJson(backup).value("parameters").toArray())
            saved.insert(parameter.toObject().value("name").toString(), parameter.toObject().value("shown").toString());
        QCOMPARE(saved.value("Start power"), QString("22 %"));
        QCOMPARE(saved.value("Governor gain"), QString("7"));
        QCOMPARE(saved.value("Motor direction"), QString("Reversed"));
        QCOMPARE(saved.value("Temperature protection"), QString("63 °C (raw 3, out of the range 70 to 130)"));

        QStringList seen;
        QMap<QString, QString> reasons;
        for (const QJsonValue &value : result.value("parameters").toArray()) {
            const QJsonObject parameter = value.toObject();
            const QString state = parameter.value("state").toString();
            if (state != "equal" && state != "not saved")
                seen << state + ' ' + parameter.value("name").toString();
            reasons.insert(parameter.value("name").toString(), parameter.value("reason").toString());
        }
        QCOMPARE(seen, states);
        if (keepSettings) {
            QCOMPARE(reasons.value("Start power"), QString("22 % is out of the range of \"Start power\" (1 to 20)."));
            QVERIFY2(reasons.value("Temperature protection").contains("did not allow"),
                     qPrintable(reasons.value("Temperature protection")));
        }
        for (auto it = cellsAfter.cbegin(); it != cellsAfter.cend(); ++it)
            QCOMPARE(int(sim->cell(it.key().toInt())), it.value().toInt());
    }

    // Without FILE the newest backup of this controller, not an older one nor
    // a newer one of another; a dry run writes nothing.
    void restorePutsBackABackup_data()
    {
        QTest::addColumn<QStringList>("arguments");  // "{saved}": a settings file outside the backup folder
        QTest::addColumn<bool>("backups");  // the backup folder holds this controller's
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("state");  // of "Motor direction"; empty: no parameter listed
        QTest::newRow("newest backup") << QStringList{"restore"} << true << 0 << "restored";
        QTest::newRow("file") << QStringList{"restore", "{saved}"} << false << 0 << "restored";
        QTest::newRow("dry run") << QStringList{"restore", "-n"} << true << 0 << "would restore";
        QTest::newRow("no backup") << QStringList{"restore"} << false << 5 << "";
    }

    void restorePutsBackABackup()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, backups);
        QFETCH(int, status);
        QFETCH(QString, state);
        const Example &e = Examples[0];
        QTemporaryDir folder;
        QVERIFY(withFiles(&arguments, folder));
        const QString backupFolder = qEnvironmentVariable("XDG_DATA_HOME") + "/kova/backups";
        QVERIFY(QDir(backupFolder).removeRecursively() && QDir().mkpath(backupFolder));
        const auto cleanUp = qScopeGuard([&] { QDir(backupFolder).removeRecursively(); });
        QJsonObject reversed = savedSettings(0);
        QVERIFY(changeSettings(reversed, {{"Motor direction/raw", 1}, {"Motor direction/shown", "Reversed"}}));
        QJsonObject otherDevice = reversed;
        QJsonObject device = otherDevice.value("device").toObject();
        device.insert("name", "Vorn Kestrel 60");
        otherDevice.insert("device", device);
        QStringList listed{"Vorn-Kestrel-60-20261208-070000.json"};
        QVERIFY(writeJson(backupFolder + "/" + listed.first(), otherDevice));
        if (backups) {
            listed << "Vorn-Kestrel-80-20261207-094512.json"
                   << "Vorn-Kestrel-80-20261101-000000.json";
            QVERIFY(writeJson(backupFolder + "/" + listed.at(1), savedSettings(0)));
            QVERIFY(writeJson(backupFolder + "/" + listed.at(2), reversed));
        }
        const Run list = runWithoutPort({"--json", "backups"});
        QCOMPARE(list.status, 0);
        QStringList files;
        for (const QJsonValue &backup : QJsonDocument::fromJson(list.out.toUtf8()).object().value("backups").toArray())
            files << QFileInfo(backup.toObject().value("file").toString()).fileName();
        QCOMPARE(files, listed);

        auto sim = startDevice(e);
        const quint8 before = sim->cell(10);
        sim->setCell(10, quint8(before + 1));
        const Run run = runCli(*sim, e, QStringList{"--json"} + arguments);
        QCOMPARE(run.status, status);
        QCOMPARE(namesInState(run.out, state), state.isEmpty() ? QStringList() : QStringList{"Motor direction"});
        QCOMPARE(int(sim->cell(10)), state == "restored" ? before : before + 1);
        QCOMPARE(countRequests(*sim, "W") > 0, state == "restored");
        if (status != 0)
            QVERIFY2(run.err.startsWith("No settings backup of this Vorn Kestrel 80 "), qPrintable(run.err));
    }

    // A file the window could not have made refuses the whole load before
    // anything is written, with --force too; so does diff.
    void loadRefusesForbiddenFile_data()
    {
        QTest::addColumn<QVariantMap>("changes");  // "NAME/KEY" -> value in the saved file
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");

        const QStringList load{"load", "FILE"};
        QTest::newRow("moved to another cell")
            << QVariantMap{{"Motor timing/cells", QVariantList{12}}} << load
            << "\"Motor timing\" lies in cell 12 in the file but in cell 11 on the device";
        QTest::newRow("shown text of another value")
            << QVariantMap{{"Start power/raw", 12}} << load
            << "\"Start power\" shows as \"8 %\" in the file, but its raw value 12 is \"12 %\"";
        QTest::newRow("unknown parameter") << QVariantMap{{"Start power/name", "Start force"}} << load
                                           << "the device has no parameter \"Start force\"";
        QTest::newRow("endless device") << QVariantMap() << QStringList{"load", "/dev/zero"}
                                        << "/dev/zero is not a usable settings file: it cannot be read (Not a "
                                           "regular file)";
    }

    void loadRefusesForbiddenFile()
    {
        QFETCH(QVariantMap, changes);
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const Example &e = Examples[0];
        QTemporaryDir folder;
        const QString file = changedSettings(folder, changes, false);
        QVERIFY(!file.isEmpty());
        arguments.replaceInStrings("FILE", file);
        auto sim = startDevice(e);
        // Every row would be written.
        sim->setCell(12, 9);
        sim->setCell(25, 0);
        const QVector<quint8> before = allCells(*sim);

        const Run run = runCli(*sim, e, arguments);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QCOMPARE(countRequests(*sim, "W"), 0);
        QCOMPARE(allCells(*sim), before);
    }

    // A file value that the description does not allow (one a device held
    // when it was saved, or an edit) is left out: load writes the rest,
    // names it with the reason and ends with its own status.
    void loadLeavesOutWhatTheDescriptionForbids_data()
    {
        QTest::addColumn<QVariantMap>("changes");  // "NAME/KEY" -> value in the saved file
        QTest::addColumn<bool>("otherFirmware");  // the file's, loaded with --force
        QTest::addColumn<QString>("name");  // left out
        QTest::addColumn<QString>("reason");

        QTest::newRow("range above max, as earlier releases saved it")
            << QVariantMap{{"Start power/raw", 200}, {"Start power/shown", "25 %"}} << false << "Start power"
            << "raw 200 is out of the range 1 to 25.";
        QTest::newRow("range above max, marked")
            << QVariantMap{{"Start power/raw", 200},
                           {"Start power/shown", "200 % (raw 200, out of the range 1 to 25)"},
                           {"Start power/allowed", false}}
            << false << "Start power"
            << "raw 200 is out of the range 1 to 25.";
        QTest::newRow("two cells above max") << QVariantMap{{"Governor/raw", 1},
                                                            {"Governor/shown", "On"},
                                                            {"Governor head speed/raw", 65535},
                                                            {"Governor head speed/shown", "4000 rpm"}}
                                             << false << "Governor head speed"
                                             << "raw 65535 is out of the range 1000 to 4000.";
        QTest::newRow("shifted range above max")
            << QVariantMap{{"Temperature protection/raw", 250}, {"Temperature protection/shown", "130 °C"}} << false
            << "Temperature protection"
            << "raw 250 is out of the range 70 to 130.";
        QTest::newRow("beyond the list") << QVariantMap{{"Motor timing/raw", 77}, {"Motor timing/shown", ""}} << false
                                         << "Motor timing"
                                         << "raw 77 is none of its 6 entries.";
        QTest::newRow("between two entries")
            << QVariantMap{{"PWM frequency/raw", 17}, {"PWM frequency/shown", "16 kHz"}} << false << "PWM frequency"
            << "raw 17 is none of its 4 entries.";
        QTest::newRow("check neither on nor off, after a good row")
            << QVariantMap{{"Motor direction/raw", 1}, {"Motor direction/shown", "Reversed"}, {"Startup beeps/raw", 2}}
            << false << "Startup beeps"
            << "raw 2 is neither off (0) nor on (1).";
        QTest::newRow("forced onto other firmware")
            << QVariantMap{{"Start power/raw", 200}, {"Start power/shown", "25 %"}} << true << "Start power"
            << "raw 200 is out of the range 1 to 25.";
    }

    void loadLeavesOutWhatTheDescriptionForbids()
    {
        QFETCH(QVariantMap, changes);
        QFETCH(bool, otherFirmware);
        QFETCH(QString, name);
        QFETCH(QString, reason);
        const Example &e = Examples[0];
        QTemporaryDir folder;
        const QString file = changedSettings(folder, changes, otherFirmware);
        QVERIFY(!file.isEmpty());
        auto sim = startDevice(e);
        sim->setCell(12, 9);
        sim->setCell(25, 0);
        const QVector<quint8> before = allCells(*sim);
        QStringList arguments{"--json", "load", file};
        if (otherFirmware)
            arguments << "--force";

        const Run run = runCli(*sim, e, arguments);
        QCOMPARE(run.status, 7);
        QVERIFY2(run.err.contains("1 setting was not restored"), qPrintable(run.err));
        const QJsonObject result = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(result.value("notRestored").toInt(), 1);
        QCOMPARE(namesInState(run.out, "refused"), QStringList{name});
        for (const QJsonValue &value : result.value("parameters").toArray())
            if (value.toObject().value("name") == name)
                QCOMPARE(value.toObject().value("reason").toString(), reason);
        // Everything else holds the file's value.
        for (const QJsonValue &value : readJson(file).value("parameters").toArray()) {
            const QJsonObject parameter = value.toObject();
            const QJsonArray cells = parameter.value("cells").toArray();
            const int raw = parameter.value("raw").toInt();
            for (int byte = 0; byte < cells.size(); ++byte) {
                const int cell = cells.at(byte).toInt();
                const int expected = parameter.value("name") == name ? before.at(cell) : (raw >> (8 * byte)) & 0xFF;
                QCOMPARE(int(sim->cell(cell)), expected);
            }
        }
    }

    // A cell that holds a value its description does not allow is shown as
    // what it is, saved with a warning, and never written back; the file is
    // the device's, so diff and load take it as it stands.
    void forbiddenDeviceValueRoundTrip_data()
    {
        QTest::addColumn<QVariantMap>("cells");  // cell -> value on the device
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");

        QTest::newRow("range above max") << QVariantMap{{"12", 200}} << "Start power"
                                         << "200 % (raw 200, out of the range 1 to 25)";
        QTest::newRow("shifted range below min") << QVariantMap{{"24", 3}} << "Temperature protection"
                                                 << "63 °C (raw 3, out of the range 70 to 130)";
        QTest::newRow("two cells") << QVariantMap{{"18", 1}, {"19", 255}, {"20", 255}} << "Governor head speed"
                                   << "65535 rpm (raw 65535, out of the range 1000 to 4000)";
        QTest::newRow("beyond the list") << QVariantMap{{"11", 9}} << "Motor timing"
                                         << "raw 9 (none of its 6 entries)";
        QTest::newRow("check neither on nor off") << QVariantMap{{"25", 2}} << "Startup beeps"
                                                  << "raw 2 (neither off (0) nor on (1))";
    }

    void forbiddenDeviceValueRoundTrip()
    {
        QFETCH(QVariantMap, cells);
        QFETCH(QString, name);
        QFETCH(QString, shown);
        const Example &e = Examples[0];
        QTemporaryDir folder;
        const QString file = folder.filePath("settings.json");
        auto sim = startDevice(e);
        for (auto it = cells.cbegin(); it != cells.cend(); ++it)
            sim->setCell(it.key().toInt(), quint8(it.value().toInt()));

        const Run read = runCli(*sim, e, {"--json", "read", name});
        QCOMPARE(read.status, 0);
        const QJsonObject entry =
            QJsonDocument::fromJson(read.out.toUtf8()).object().value("parameters").toArray().at(0).toObject();
        QCOMPARE(entry.value("shown").toString(), shown);
        QCOMPARE(entry.value("allowed").toBool(true), false);
        const Run save = runCli(*sim, e, {"save", file});
        QCOMPARE(save.status, 0);
        QVERIFY2(save.err.contains(QString("\"%1\" holds %2").arg(name, shown)), qPrintable(save.err));
        QCOMPARE(runCli(*sim, e, {"diff", file}).status, 0);
        QCOMPARE(runCli(*sim, e, {"load", file}).status, 0);

        // Another motor direction, and the forbidden value replaced by the delivered one.
        const QMap<int, quint8> delivered = testsupport::exampleCells(e.device);
        sim->setCell(10, quint8(1 - sim->cell(10)));
        QList<int> forbiddenCells;
        for (const QJsonValue &parameter : readJson(file).value("parameters").toArray())
            if (parameter.toObject().value("name") == name)
                for (const QJsonValue &cell : parameter.toObject().value("cells").toArray())
                    forbiddenCells << cell.toInt();
        QVERIFY(!forbiddenCells.isEmpty());
        for (int cell : forbiddenCells)
            sim->setCell(cell, delivered.value(cell));
        const Run diff = runCli(*sim, e, {"--json", "diff", file});
        QCOMPARE(diff.status, 1);
        QCOMPARE(namesInState(diff.out, "differs"), (QStringList{"Motor direction", name}));
        sim->clearRequests();
        const Run load = runCli(*sim, e, {"--json", "load", file});
        QCOMPARE(load.status, 7);
        QCOMPARE(namesInState(load.out, "changed"), QStringList{"Motor direction"});
        QCOMPARE(namesInState(load.out, "refused"), QStringList{name});
        QCOMPARE(writtenCells(*sim), QSet<int>{10});
        for (int cell : forbiddenCells)
            QCOMPARE(sim->cell(cell), delivered.value(cell));
    }

    // diff takes the file as load would: a file it refuses is reported so,
    // and under another firmware values are compared by name and shown
    // value, as a restore after an update takes them.
    void diffJudgesAsLoadWould_data()
    {
        QTest::addColumn<QVariantMap>("changes");  // "NAME/KEY" -> value in the saved file
        QTest::addColumn<bool>("otherFirmware");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("differs");
        QTest::addColumn<QString>("message");  // on standard error

        QTest::newRow("shown text of another value")
            << QVariantMap{{"Start power/shown", "12 %"}} << false << 2 << QStringList()
            << "would not be loaded: \"Start power\" shows as \"12 %\" in the file, but its raw value 8 is \"8 %\".";
        QTest::newRow("moved to another cell")
            << QVariantMap{{"Motor timing/cells", QVariantList{12}}} << false << 2 << QStringList()
            << "would not be loaded: \"Motor timing\" lies in cell 12 in the file but in cell 11 on the device.";
        QTest::newRow("other firmware, same shown value")
            << QVariantMap{{"Brake/raw", 2}} << true << 0 << QStringList() << "";
        QTest::newRow("other firmware, another shown value")
            << QVariantMap{{"Start power/shown", "22 %"}} << true << 1 << QStringList{"Start power"} << "";
        QTest::newRow("other firmware, a shown value beyond the range")
            << QVariantMap{{"Start power/shown", "30 %"}} << true << 1 << QStringList{"Start power"} << "";
    }

    void diffJudgesAsLoadWould()
    {
        QFETCH(QVariantMap, changes);
        QFETCH(bool, otherFirmware);
        QFETCH(int, status);
        QFETCH(QStringList, differs);
        QFETCH(QString, message);
        const Example &e = Examples[0];
        QTemporaryDir folder;
        const QString file = changedSettings(folder, changes, otherFirmware);
        QVERIFY(!file.isEmpty());
        auto sim = startDevice(e);

        const Run run = runCli(*sim, e, {"--json", "diff", file});
        QCOMPARE(run.status, status);
        QCOMPARE(namesInState(run.out, "differs"), differs);
        QVERIFY2(message.isEmpty() ? run.err.isEmpty() : run.err.contains(message), qPrintable(run.err));
    }

    // Two parameters of one name are told apart by their cells: what save
    // or a flash kept of each comes back into each.
    void sameNamedParametersComeBack_data()
    {
        QTest::addColumn<QStringList>("arguments");  // FILE: the saved file
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("states");  // beside "equal" and "not saved"

        const QStringList twice{"Throttle low end", "Throttle low end"};
        QTest::newRow("diff") << QStringList{"diff", "FILE"} << 1 << QStringList{"differs", "differs"};
        QTest::newRow("load") << QStringList{"load", "FILE"} << 0 << QStringList{"changed", "changed"};
        QTest::newRow("flash --keep-settings")
            << QStringList{"flash", "--yes", "--keep-settings", "PACKAGE"} << 0 << QStringList{"restored", "restored"};
    }

    void sameNamedParametersComeBack()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QStringList, states);
        const Example &e = Examples[0];
        QTemporaryDir folder;
        const QString description = folder.filePath("vorn.dsc");
        QByteArray text = testsupport::readFile(testsupport::exampleDescription("vorn"));
        QVERIFY(text.contains("name=\"Throttle high end\""));
        QVERIFY(testsupport::writeFile(description,
                                       text.replace("name=\"Throttle high end\"", "name=\"Throttle low end\"")));
        const QString file = folder.filePath("settings.json");
        auto sim = startDevice(e);
        sim->setBlockSize(e.blockSize);
        sim->setFirmwareAfterUpload(4, 13, 0, 32);
        const QMap<int, quint8> delivered = testsupport::exampleCells("vorn");
        sim->setCellsAfterUpload(delivered);
        const QMap<int, quint8> technician{{22, 10}, {23, 70}};
        sim->setCells(technician);
        const QStringList global{"--port", sim->portPath(), "--description", description, "--json"};
        const auto run = [&](const QStringList &arguments) {
            Run run;
            QTextStream out(&run.out);
            QTextStream err(&run.err);
            run.status = runCli(global + arguments, out, err, Terminal());
            return run;
        };
        if (arguments.contains("FILE")) {
            QCOMPARE(run({"save", file}).status, 0);
            sim->setCells(delivered);
        }
        arguments.replaceInStrings("FILE", file);
        arguments.replaceInStrings("PACKAGE", testsupport::examplePackage(e.package));

        const Run result = run(arguments);
        QCOMPARE(result.status, status);
        QStringList seen, names;
        const QJsonObject report = QJsonDocument::fromJson(result.out.toUtf8()).object();
        for (const QJsonValue &value : report.value("parameters").toArray()) {
            const QJsonObject parameter = value.toObject();
            const QString state = parameter.value("state").toString();
            if (state != "equal" && state != "not saved" && state != "dropped") {
                seen << state;
                names << parameter.value("name").toString();
            }
        }
        QCOMPARE(seen, states);
        QCOMPARE(names, (QStringList{"Throttle low end", "Throttle low end"}));
        if (arguments.first() != "diff")
            for (auto it = technician.cbegin(); it != technician.cend(); ++it)
                QCOMPARE(sim->cell(it.key()), it.value());
    }

    // A settings file or package that cannot be used is refused before the
    // port is opened: here a port that does not exist.
    void filesRefusedBeforeThePort_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("content");  // null: no file; "/": a folder; "|": a FIFO
        QTest::addColumn<QString>("message");

        const QByteArray head = "{\n  \"format\": \"kova-settings\",\n  \"version\": 1,\n";
        const QByteArray device = "  \"device\": {\"name\": \"Vorn Kestrel 80\", \"id\": 21, \"hardware\": 2, "
                                  "\"bootloader\": 3, \"firmwareMajor\": 4, \"firmwareMinor\": 12, "
                                  "\"firmwareBuild\": 7},\n";
        const QByteArray power = "{\"name\": \"Start power\", \"cells\": [12], \"raw\": 8, \"shown\": \"8 %\"}";
        for (const QString command : {"load", "diff"}) {
            const auto row = [&](const char *what) -> QTestData & {
                return QTest::newRow(qPrintable(command + ": " + what)) << command;
            };
            row("missing") << QByteArray() << "settings.json is not a usable settings file: it cannot be read (";
            row("a folder") << QByteArray("/") << "settings.json is not a usable settings file: it cannot be read (";
            row("a FIFO") << QByteArray("|")
                          << "settings.json is not a usable settings file: it cannot be read (Not a regular file).";
            row("no separator") << QByteArray(head).replace("\"version\":", "\"version\"") + device + "}"
                                << "it is not valid JSON at line 3, column 13: expected ':' after a name.";
            row("open object") << head + device + "  \"parameters\": [" + power + "]\n"
                               << "it is not valid JSON at line 6, column 1: expected ',' or '}'.";
            row("repeated name") << head + device + "  \"parameters\": [" + power + ", " + power + "]}\n"
                                 << "parameter \"Start power\" appears twice.";
        }
        const auto flash = [](const char *what) -> QTestData & {
            return QTest::newRow(qPrintable(QString("flash: ") + what)) << "flash";
        };
        flash("missing") << QByteArray() << "package.upd cannot be read: ";
        flash("a folder") << QByteArray("/") << "package.upd cannot be read: ";
        flash("a FIFO") << QByteArray("|") << "package.upd cannot be read: Not a regular file.";
        flash("no [Device] group") << QByteArray("[Version]\nFW=4.13\n[Firmware]\n00112233\n")
                                   << "package.upd:1: no [Device] group with keys: not a firmware package.";
        flash("no [Firmware] line") << QByteArray("[Device]\nID=21\nHW=2\nBL=3\nFW=4.13\n")
                                    << "package.upd:1: no line [Firmware]: not a firmware package.";
    }

    void filesRefusedBeforeThePort()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QTemporaryDir folder;
        const QString name = command == "flash" ? "package.upd" : "settings.json";
        const QString file = folder.filePath(name);
        if (content == "/") {
            QVERIFY(QDir(folder.path()).mkdir(name));
        } else if (content == "|") {
            QVERIFY(testsupport::makeFifo(file));
        } else if (!content.isNull()) {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            QCOMPARE(out.write(content), qint64(content.size()));
        }
        QString output, errors;
        QTextStream out(&output);
        QTextStream err(&errors);
        const QStringList arguments{"--port", folder.filePath("no-such-port"), command, file};
        QCOMPARE(runCli(arguments, out, err, Terminal()), 2);
        QVERIFY2(errors.startsWith(file) && errors.contains(message), qPrintable(errors));
    }

    // A parameter that a dependency disables, judged on the values after the
    // load or set, is not written: load names it and goes on, set refuses.
    void disabledParametersAreNotWritten_data()
    {
        QTest::addColumn<QStringList>("arguments");  // FILE: the saved file with `changes`
        QTest::addColumn<QVariantMap>("changes");
        QTest::addColumn<QVariantMap>("deviceCells");  // cell -> value before
        QTest::addColumn<int>("status");
        QTest::addColumn<QList<int>>("written");  // cells
        QTest::addColumn<QStringList>("disabled");
        QTest::addColumn<QString>("message");  // on standard error

        const QStringList load{"--json", "load", "FILE"};
        const QVariantMap headSpeed3000{{"Governor head speed/raw", 3000}, {"Governor head speed/shown", "3000 rpm"}};
        QVariantMap governorOn = headSpeed3000;
        governorOn.insert("Governor/raw", 1);
        governorOn.insert("Governor/shown", "On");
        QVariantMap governorOff = headSpeed3000;
        governorOff.insert("Governor gain/raw", 7);
        governorOff.insert("Governor gain/shown", "7");

        QTest::newRow("load: governor stays off")
            << load << headSpeed3000 << QVariantMap() << 0 << QList<int>() << QStringList{"Governor head speed"} << "";
        QTest::newRow("load: the file turns the governor off")
            << load << governorOff << QVariantMap{{"18", 1}} << 0 << QList<int>{18}
            << QStringList{"Governor head speed", "Governor gain"} << "";
        QTest::newRow("load: the file turns the governor on")
            << load << governorOn << QVariantMap() << 0 << QList<int>{18, 19, 20} << QStringList() << "";
        QTest::newRow("load: threshold while the cut-off is off")
            << load
            << QVariantMap{{"Low-voltage cut-off/raw", 0},
                           {"Low-voltage cut-off/shown", "Off"},
                           {"Cut-off threshold/raw", 28},
                           {"Cut-off threshold/shown", "2.8 V/cell"}}
            << QVariantMap() << 0 << QList<int>{15} << QStringList{"Cut-off threshold"} << "";
        QTest::newRow("load: a disabled value the window could not hold")
            << load << QVariantMap{{"Governor head speed/raw", 65535}, {"Governor head speed/shown", "4000 rpm"}}
            << QVariantMap() << 0 << QList<int>() << QStringList{"Governor head speed"} << "";
        QTest::newRow("set: a disabled parameter")
            << QStringList{"set", "Governor head speed=3000"} << QVariantMap() << QVariantMap() << 2 << QList<int>()
            << QStringList() << "\"Governor head speed\" cannot be set while \"Governor\" is Off; nothing was written.";
        QTest::newRow("set: one that the other assignment turns off")
            << QStringList{"set", "Governor head speed=3000", "Governor=Off"} << QVariantMap() << QVariantMap{{"18", 1}}
            << 2 << QList<int>() << QStringList() << "\"Governor head speed\" cannot be set while \"Governor\" is Off";
        QTest::newRow("set: enabled by the same command")
            << QStringList{"set", "Governor=On", "Governor head speed=3000"} << QVariantMap() << QVariantMap() << 0
            << QList<int>{18, 19, 20} << QStringList() << "";
    }

    void disabledParametersAreNotWritten()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QVariantMap, changes);
        QFETCH(QVariantMap, deviceCells);
        QFETCH(int, status);
        QFETCH(QList<int>, written);
        QFETCH(QStringList, disabled);
        QFETCH(QString, message);
        const Example &e = Examples[0];
        QTemporaryDir folder;
        const QString file = folder.filePath("settings.json");
        QJsonObject settings = savedSettings(0);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(changeSettings(settings, changes));
        QVERIFY(writeJson(file, settings));
        arguments.replaceInStrings("FILE", file);
        auto sim = startDevice(e);
        for (auto cell = deviceCells.begin(); cell != deviceCells.end(); ++cell)
            sim->setCell(cell.key().toInt(), quint8(cell.value().toInt()));
        const QVector<quint8> before = allCells(*sim);

        const Run run = runCli(*sim, e, arguments);
        QCOMPARE(run.status, status);
        QVERIFY2(message.isEmpty() ? run.err.isEmpty() : run.err.contains(message), qPrintable(run.err));
        const QSet<int> expected(written.begin(), written.end());
        QCOMPARE(writtenCells(*sim), expected);
        for (int cell = 0; cell < 256; ++cell)
            if (!expected.contains(cell))
                QCOMPARE(sim->cell(cell), before.at(cell));
        if (arguments.contains("load"))
            QCOMPARE(namesInState(run.out, "disabled"), disabled);
    }

    // Values as people type them: an entry in any case, a number with or
    // without its unit; a number the device will show otherwise says so.
    void setTakesValuesAsTyped_data()
    {
        QTest::addColumn<QString>("assignment");
        QTest::addColumn<int>("cell");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("line");

        QTest::newRow("entry in small letters")
            << "Motor timing=auto" << 11 << 0 << "changed       Motor timing: 15° -> Auto\n";
        QTest::newRow("entry in capitals") << "Brake=FULL" << 13 << 2 << "changed       Brake: Proportional -> Full\n";
        QTest::newRow("number without unit")
            << "Start power=12" << 12 << 12 << "changed       Start power: 8 % -> 12 %\n";
        QTest::newRow("unit without space")
            << "Start power=12%" << 12 << 12 << "changed       Start power: 8 % -> 12 %\n";
        QTest::newRow("unit in another case") << "Temperature protection=100 °c" << 24 << 40
                                              << "changed       Temperature protection: 110 °C -> 100 °C\n";
        QTest::newRow("rounded to the decimals")
            << "Brake strength=42.4" << 14 << 42
            << "changed       Brake strength: 40 % -> 42 % (42.4 rounded to 42 %)\n";
        QTest::newRow("rounded to the scale's step")
            << "Throttle low end=1101" << 22 << 25
            << "equal         Throttle low end: 1100 µs (1101 rounded to 1100 µs)\n";
    }

    void setTakesValuesAsTyped()
    {
        QFETCH(QString, assignment);
        QFETCH(int, cell);
        QFETCH(int, value);
        QFETCH(QString, line);
        const Example &e = Examples[0];
        auto sim = startDevice(e);
        const Run run = runCli(*sim, e, {"set", assignment});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, line);
        QCOMPARE(int(sim->cell(cell)), value);
    }

    // One cell of a two-cell value takes its byte, the other does not answer:
    // the user learns which cells hold what, and the value the device has now.
    void halfWrittenValueSaysWhatTheDeviceHolds_data()
    {
        QTest::addColumn<int>("example");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::addColumn<QString>("message");

        const QString vorn = "Writing \"Governor head speed\" failed: the device did not answer; cell 19 was "
                             "written, cell 20 was not, so the device now holds 2744 rpm, neither 2600 rpm "
                             "nor 3000 rpm.";
        const QString ulma = "Writing \"Governor speed\" failed: the device did not answer; cell 6 was "
                             "written, cell 7 was not, so the device now holds 2856 rpm, neither 3000 rpm "
                             "nor 2600 rpm.";
        QTest::newRow("vorn") << 0 << QStringList{"set", "Governor=On", "Governor head speed=3000"} << 19 << 20 << vorn;
        QTest::newRow("ulma fast") << 2 << QStringList{"set", "Governor mode=Set", "Governor speed=2600"} << 6 << 7
                                   << ulma;
        QTest::newRow("ulma slow") << 3 << QStringList{"set", "Governor mode=Set", "Governor speed=2600"} << 6 << 7
                                   << ulma;
    }

    void halfWrittenValueSaysWhatTheDeviceHolds()
    {
        QFETCH(int, example);
        QFETCH(QStringList, arguments);
        QFETCH(int, low);
        QFETCH(int, high);
        QFETCH(QString, message);
        const Example &e = Examples[example];
        auto sim = startDevice(e);
        // The high cell stops answering once the low one took its byte, and
        // answers again when the low one is read back.
        SimulatedDevice *device = sim.get();
        auto stage = std::make_shared<std::atomic<int>>(0);
        sim->setRequestListener([device, stage, low, high](const SimRequest &request) {
            if (*stage == 0 && request.kind == 'W' && request.cell == low) {
                device->failCell(high);
                *stage = 1;
            } else if (*stage == 1 && request.kind == 'R' && request.cell == low) {
                device->reviveCell(high);
                *stage = 2;
            }
        });

        const Run run = runCli(*sim, e, arguments);
        QCOMPARE(run.status, 6);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QCOMPARE(*stage, 2);
    }

    void unopenablePortSaysWhy_data()
    {
        QTest::addColumn<bool>("held");  // by another open of this process, else a port that is not there
        QTest::addColumn<QString>("why");
        QTest::newRow("no such port") << false << "there is no such port";
        QTest::newRow("held") << true
                              << QString("(process %1, from its lock file)").arg(QCoreApplication::applicationPid());
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

    // A link stands for the port it points to: the port is opened, locked
    // and diagnosed as that device and called by the link. A serial number
    // no port has is refused before any port is opened.
    void namedPortForms_data()
    {
        QTest::addColumn<QString>("port");  // "{link}": a link to the simulated port
        QTest::addColumn<bool>("held");  // the simulated port by another open of this process
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");  // "{link}" as above
        QTest::newRow("link") << "{link}" << false << 0 << "Port: {link}\n";
        QTest::newRow("link to a held port")
            << "{link}" << true << 3
            << QString("Port {link} (from --port) does not open: it is in use by %1 (process %2, from its lock file).")
                   .arg(QCoreApplication::applicationName())
                   .arg(QCoreApplication::applicationPid());
        QTest::newRow("serial number no port has")
            << "serial:KOVA-NONE" << false << 3 << "No port has the adapter with serial number KOVA-NONE.\n";
    }

    void namedPortForms()
    {
        QFETCH(QString, port);
        QFETCH(bool, held);
        QFETCH(int, status);
        QFETCH(QString, said);
        const Example &e = Examples[0];
        auto sim = startDevice(e);
        QTemporaryDir folder;
        const QString link = folder.filePath("kova-cable");
        QVERIFY(QFile::link(sim->portPath(), link));
        QSerialPort holder(sim->portPath());
        QVERIFY(!held || holder.open(QIODevice::ReadWrite));
        port.replace("{link}", link);
        said.replace("{link}", link);
        const Run run = runWithoutPort({"-p", port, "-d", testsupport::exampleDescription(e.device), "info"});
        QCOMPARE(run.status, status);
        QVERIFY2((run.out + run.err).contains(said), qPrintable(run.out + run.err));
        QCOMPARE(sim->requests().isEmpty(), status != 0);
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
            const bool ulma =
                e.protocol == SimulatedDevice::Protocol::UlmaFast || e.protocol == SimulatedDevice::Protocol::UlmaSlow;
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

    // A device that keeps another value than the one written is told as
    // what it holds, also when the description does not allow it.
    void readBackSaysWhatTheDeviceHolds_data()
    {
        QTest::addColumn<QString>("assignment");
        QTest::addColumn<int>("cell");
        QTest::addColumn<int>("held");  // the only value the cell keeps
        QTest::addColumn<QString>("message");

        QTest::newRow("allowed") << "Start power=12" << 12 << 20
                                 << "\"Start power\" reads back as 20 % instead of 12 %.";
        QTest::newRow("below the range") << "Start power=12" << 12 << 0
                                         << "\"Start power\" reads back as 0 % (raw 0, out of the range 1 to 25) "
                                            "instead of 12 %.";
        QTest::newRow("no such entry") << "Motor timing=Auto" << 11 << 9
                                       << "\"Motor timing\" reads back as raw 9 (none of its 6 entries) instead of "
                                          "Auto.";
    }

    void readBackSaysWhatTheDeviceHolds()
    {
        QFETCH(QString, assignment);
        QFETCH(int, cell);
        QFETCH(int, held);
        QFETCH(QString, message);
        const Example &e = Examples[0];
        auto sim = startDevice(e);
        sim->setCellLimits(cell, quint8(held), quint8(held));

        const Run run = runCli(*sim, e, {"set", assignment});
        QCOMPARE(run.status, 6);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
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

    void progressOnATerminalOnly_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("onTerminal");
        for (const QStringList &arguments :
             {QStringList{"read"}, {"save", "OTHER"}, {"load", "FILE"}, {"diff", "FILE"}}) {
            QTest::newRow(qPrintable(arguments.first() + ", terminal")) << arguments << true;
            QTest::newRow(qPrintable(arguments.first() + ", pipe")) << arguments << false;
        }
    }

    void progressOnATerminalOnly()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, onTerminal);
        const Example &e = Examples[0];
        QTemporaryDir folder;
        auto sim = startDevice(e);
        QCOMPARE(runCli(*sim, e, {"save", folder.filePath("settings.json")}).status, 0);
        arguments.replaceInStrings("OTHER", folder.filePath("other.json"));
        arguments.replaceInStrings("FILE", folder.filePath("settings.json"));

        const Run run = runCli(*sim, e, arguments, Terminal{onTerminal, {}});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.err.contains(CellBar), onTerminal);
        // The bar ends erased, and nothing of it reaches the result.
        QCOMPARE(run.err.endsWith("\r\x1b[K"), onTerminal);
        QVERIFY(!run.out.contains('\r'));
        QVERIFY(!run.out.isEmpty());
    }

    void readOnlyTheNamedParameters_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("status");
        QTest::addColumn<QList<int>>("cells");  // read besides the identity's
        QTest::newRow("one") << QStringList{"Start power"} << 0 << QList<int>{12};
        QTest::newRow("two cells, and the cell that enables it")
            << QStringList{"Governor head speed"} << 0 << QList<int>{18, 19, 20};
        QTest::newRow("in the order asked, each once")
            << QStringList{"Governor", "Start power", "Governor"} << 0 << QList<int>{12, 18};
        QTest::newRow("no such parameter") << QStringList{"Start power", "Top speed"} << 2 << QList<int>{};
    }

    void readOnlyTheNamedParameters()
    {
        QFETCH(QStringList, names);
        QFETCH(int, status);
        QFETCH(QList<int>, cells);
        const Example &e = Examples[0];
        auto sim = startDevice(e);
        QCOMPARE(runCli(*sim, e, {"info"}).status, 0);
        const QSet<int> identityCells = parameterCellsRead(*sim, {});
        sim->clearRequests();

        const Run run = runCli(*sim, e, QStringList{"--json", "read"} + names);
        QCOMPARE(run.status, status);
        QCOMPARE(parameterCellsRead(*sim, identityCells), QSet<int>(cells.begin(), cells.end()));
        if (status != 0)
            return;
        QStringList shown;
        for (const QJsonValue &parameter :
             QJsonDocument::fromJson(run.out.toUtf8()).object().value("parameters").toArray())
            shown << parameter.toObject().value("name").toString();
        names.removeDuplicates();
        QCOMPARE(shown, names);
    }

    void diffListsWhatDiffersAndAllEverything()
    {
        const Example &e = Examples[0];
        QTemporaryDir folder;
        const QString file = folder.filePath("settings.json");
        auto sim = startDevice(e);
        QCOMPARE(runCli(*sim, e, {"save", file}).status, 0);
        const QList<int> cells = savedCells(file);
        sim->setCell(cells.at(0), quint8(sim->cell(cells.at(0)) + 1));

        const Run differences = runCli(*sim, e, {"diff", file});
        QCOMPARE(differences.status, 1);
        QCOMPARE(differences.out.count("\ndiffers "), 0);
        QVERIFY(differences.out.startsWith("differs "));
        QVERIFY(!differences.out.contains("equal "));
        const Run all = runCli(*sim, e, {"diff", "--all", file});
        QCOMPARE(all.status, 1);
        QCOMPARE(all.out.count(QRegularExpression("^(equal|differs) ", QRegularExpression::MultilineOption)),
                 readJson(file).value("parameters").toArray().size());
    }

    void saveToStandardOutput_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("dash") << "-";
        QTest::newRow("/dev/stdout") << "/dev/stdout";
    }

    void saveToStandardOutput()
    {
        QFETCH(QString, path);
        const Example &e = Examples[0];
        auto sim = startDevice(e);
        const Run run = runCli(*sim, e, {"save", path});
        QCOMPARE(run.status, 0);
        const QJsonObject saved = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(saved.value("format").toString(), QString("kova-settings"));
        QVERIFY(!saved.value("parameters").toArray().isEmpty());
        QVERIFY2(run.err.contains("Saved: " + path), qPrintable(run.err));
    }

    // Where the port's name came from, as the program says it when the port
    // does not open, or uses it when it does.
    void portSourceIsNamed_data()
    {
        QTest::addColumn<QString>("source");  // option, environment or kova.ini
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("said");
        QTest::newRow("option") << "option" << false << "(from --port) does not open";
        QTest::newRow("environment") << "environment" << false << "(from KOVA_PORT) does not open";
        QTest::newRow("environment opens") << "environment" << true << "";
        QTest::newRow("kova.ini") << "kova.ini" << false
                                  << QString("(from kova.ini at %1) does not open").arg(testsupport::portSettingPath());
    }

    void portSourceIsNamed()
    {
        QFETCH(QString, source);
        QFETCH(bool, opens);
        QFETCH(QString, said);
        const Example &e = Examples[0];
        auto sim = startDevice(e);
        const QString port = opens ? sim->portPath() : sim->portPath() + "-gone";
        QStringList arguments{"-d", testsupport::exampleDescription(e.device), "info"};
        if (source == "option")
            arguments << "-p" << port;
        if (source == "environment")
            qputenv("KOVA_PORT", port.toLocal8Bit());
        if (source == "kova.ini")
            testsupport::writePortSetting(port);
        const Run run = runWithoutPort(arguments);
        qunsetenv("KOVA_PORT");
        QFile::remove(testsupport::portSettingPath());
        QCOMPARE(run.status, opens ? 0 : 3);
        QVERIFY2(run.err.contains(said), qPrintable(run.err));
    }

    // The program reads the window's kova.ini: in the build tree the one in
    // the window's folder, elsewhere (package, portable folder) the one beside
    // both programs. -v names it.
    void readsTheWindowsPortSetting_data()
    {
        QTest::addColumn<bool>("inBuildTree");
        QTest::newRow("build tree") << true;
        QTest::newRow("beside the window") << false;
    }

    void readsTheWindowsPortSetting()
    {
        QFETCH(bool, inBuildTree);
        const Example &e = Examples[0];
        auto sim = startDevice(e);
        QTemporaryDir folder;
        const QString program = inBuildTree ? QString(KOVA_CLI_PROGRAM) : folder.filePath("kova-cli");
        const QString setting = (inBuildTree ? QString(KOVA_WINDOW_FOLDER) : folder.path()) + "/kova.ini";
        if (!inBuildTree)
            QVERIFY(QFile::copy(KOVA_CLI_PROGRAM, program));
        // The build tree's own file stays as it was.
        const bool existed = QFile::exists(setting);
        const QByteArray before = testsupport::readFile(setting);
        const auto restore = qScopeGuard([&] {
            if (existed)
                testsupport::writeFile(setting, before);
            else
                QFile::remove(setting);
        });
        QVERIFY(testsupport::writeFile(setting, "[PORT]\nName=" + sim->portPath().toLocal8Bit() + "\n"));

        QProcess run;
        run.start(program, {"-v", "-d", testsupport::exampleDescription(e.device), "info"});
        QVERIFY(run.waitForFinished(60000));
        const QString errors = QString::fromLocal8Bit(run.readAllStandardError());
        QCOMPARE(run.exitCode(), 0);
        QVERIFY2(errors.contains(QString("Port %1 (from kova.ini at %2).").arg(sim->portPath(), setting)),
                 qPrintable(errors));
    }

    // A key has one type in every command's JSON document, and lists and a
    // flash's outcome are there however the command ends.
    void jsonKeysKeepTheirType_data()
    {
        QTest::addColumn<bool>("device");
        QTest::addColumn<QStringList>("arguments");  // "{file}": a file to write; "{saved}": a saved one
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("type");
        const QStringList noPort{"--port", "/nonexistent/port"};
        const int list = QJsonValue::Array;
        QTest::newRow("save: parameters") << true << QStringList{"save", "{file}"} << "parameters" << list;
        QTest::newRow("save: their count")
            << true << QStringList{"save", "{file}"} << "saved" << int(QJsonValue::Double);
        QTest::newRow("read: parameters") << true << QStringList{"read"} << "parameters" << list;
        QTest::newRow("diff without differences") << true << QStringList{"diff", "{saved}"} << "parameters" << list;
        QTest::newRow("clean check: problems")
            << false << QStringList{"check", testsupport::exampleDescription("vorn")} << "problems" << list;
        QTest::newRow("flash of a missing package")
            << false << noPort + QStringList{"flash", "/nonexistent/package.upd"} << "flashed" << int(QJsonValue::Bool);
        QTest::newRow("flash without a port")
            << false << noPort + QStringList{"flash", testsupport::examplePackage("vorn-4.13.upd")} << "flashed"
            << int(QJsonValue::Bool);
    }

    void jsonKeysKeepTheirType()
    {
        QFETCH(bool, device);
        QFETCH(QStringList, arguments);
        QFETCH(QString, key);
        QFETCH(int, type);
        const Example &e = Examples[0];
        QTemporaryDir folder;
        QVERIFY(withFiles(&arguments, folder));
        auto sim = startDevice(e);
        const Run run = device ? runCli(*sim, e, QStringList{"--json"} + arguments)
                               : runWithoutPort(QStringList{"--json"} + arguments);
        const QJsonObject document = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QVERIFY2(document.contains("status"), qPrintable(run.out + run.err));
        QCOMPARE(int(document.value(key).type()), type);
    }

    // Each command of the table runs its own handler; a name that is no
    // command, a bare package among them, is bad usage and reaches no device.
    void dispatch_data()
    {
        QTest::addColumn<QStringList>("arguments");  // "{saved}": a saved file, "{file}": one to write
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");  // on standard output or error
        QTest::addColumn<int>("requests");  // 1: the device was asked, 0: it was not, -1: not judged

        struct Case {
            QStringList arguments;
            int status;
            QString said;
            int requests;
        };
        const QString package = testsupport::examplePackage("vorn-4.13.upd");
        // ports tries the machine's own ports, not the simulated one.
        const QMap<QString, Case> cases{
            {"ports", {{"ports"}, 0, "\"ports\"", -1}},
            {"info", {{"info"}, 0, "\"blockSize\"", 1}},
            {"read", {{"read", "Governor"}, 0, "\"raw\"", 1}},
            {"save", {{"save", "{file}"}, 0, "\"saved\"", 1}},
            {"load", {{"load", "{saved}"}, 0, "\"changed\"", 1}},
            {"diff", {{"diff", "{saved}"}, 0, "\"differences\"", 1}},
            {"set", {{"set", "Governor=On"}, 0, "\"state\"", 1}},
            {"flash", {{"flash", "/nonexistent/package.upd"}, 2, "\"flashed\"", 0}},
            {"batch", {{"batch", "--flash", "/nonexistent/package.upd"}, 2, "\"records\"", 0}},
            {"backups", {{"backups"}, 0, "\"backups\"", 0}},
            {"restore", {{"restore", "{saved}"}, 0, "\"restored\"", 1}},
            {"check", {{"check", testsupport::exampleDescription("vorn")}, 0, "\"problems\"", 0}},
            {"help", {{"help"}, 0, "Usage: kova-cli [options] COMMAND", 0}},
        };
        for (const CommandInfo &command : commandTable()) {
            const Case c = cases.value(command.name, {{}, -1, "no case for this command", 0});
            QTest::newRow(qPrintable(command.name)) << c.arguments << c.status << c.said << c.requests;
        }
        QTest::newRow("unknown command") << QStringList{"erase"} << 2 << "Unknown command erase; see kova-cli --help."
                                         << 0;
        QTest::newRow("a package without flash")
            << QStringList{package} << 2 << QString("Unknown command %1; see kova-cli --help.").arg(package) << 0;
    }

    void dispatch()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, said);
        QFETCH(int, requests);
        QVERIFY2(!arguments.isEmpty(), qPrintable(said));
        const Example &e = Examples[0];
        QTemporaryDir folder;
        QVERIFY(withFiles(&arguments, folder));
        auto sim = startDevice(e);
        const Run run = runCli(*sim, e, QStringList{"--json"} + arguments);
        QCOMPARE(run.status, status);
        QVERIFY2((run.out + run.err).contains(said), qPrintable(run.out + run.err));
        if (requests >= 0)
            QCOMPARE(!sim->requests().isEmpty(), requests == 1);
    }

    void quietAndVerbose()
    {
        const Example &e = Examples[0];
        auto sim = startDevice(e);
        const Run quiet = runCli(*sim, e, {"-q", "read"});
        QCOMPARE(quiet.status, 0);
        QVERIFY(quiet.out.isEmpty());
        QVERIFY(quiet.err.isEmpty());
        const Run quietJson = runCli(*sim, e, {"-q", "--json", "read"});
        QVERIFY(QJsonDocument::fromJson(quietJson.out.toUtf8()).object().contains("parameters"));

        const Run verbose = runCli(*sim, e, {"-v", "info"});
        QCOMPARE(verbose.status, 0);
        for (const QString &line :
             {QString("Port %1 (from --port).").arg(sim->portPath()), QString("Ping Vorn at 115200 baud: answered."),
              QString("Description %1 (from --description), the entry at line 4.")
                  .arg(testsupport::exampleDescription(e.device))})
            QVERIFY2(verbose.err.contains(line), qPrintable(verbose.err));
    }

    // The program's own standard streams: a settings file through a pipe in
    // and out, and the progress on a terminal but not on a pipe.
    void standardStreamsOfTheProgram()
    {
        const Example &e = Examples[0];
        auto sim = startDevice(e);
        Program save;
        QVERIFY(save.run(*sim, e, {"save", "-"}));
        QCOMPARE(save.status, 0);
        QVERIFY2(save.err.startsWith("Saved: -"), save.err.constData());  // a pipe: no progress
        const QJsonArray parameters = QJsonDocument::fromJson(save.out).object().value("parameters").toArray();
        QVERIFY(!parameters.isEmpty());
        const int cell = parameters.at(0).toObject().value("cells").toArray().at(0).toInt();
        const quint8 saved = sim->cell(cell);

        sim->setCell(cell, quint8(saved + 1));
        Program diff;
        QVERIFY(diff.run(*sim, e, {"diff", "-"}, save.out));
        QCOMPARE(diff.status, 1);
        Program load;
        QVERIFY(load.run(*sim, e, {"load", "-"}, save.out));
        QCOMPARE(load.status, 0);
        QCOMPARE(sim->cell(cell), saved);

        PseudoTerminal terminal;
        QVERIFY(terminal.isOpen());
        Program read;
        read.process.setStandardErrorFile(terminal.slavePath());
        QVERIFY(read.run(*sim, e, {"read"}));
        QCOMPARE(read.status, 0);
        QVERIFY(QString::fromUtf8(drain(terminal)).contains(CellBar));
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
