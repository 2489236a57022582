// Times the device link against the simulated cable with the line's own speed
// in force (10 bit times per byte at the port's rate, no answer latency): the
// read of 100 used cells, kova-cli's save of 100 cells and the upload of 64
// blocks of 256 bytes in every dialect setting, each against the floor that
// its waits and its line speed allow. A ratio near 1 means the link adds next
// to nothing of its own.

#include "cli.h"
#include "device/buscontroller.h"
#include "device/deviceimage.h"
#include "firmware/firmwarepackage.h"
#include "simulateddevice.h"
#include "support/firmwarepackage.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int Cells = 100;
constexpr int ReadRuns = 3;
constexpr int BlockSize = 256;
constexpr int BlockCount = 64;

struct Setting {
    const char *name;
    SimProtocol protocol;
    int baud;
    // reading one cell
    double readPauseMs;
    int readRequestBytes;
    int readReplyBytes;
    // sending one block
    double blockPauseMs;
    int frameBytesAroundBlock;  // head and check
    int ackBytes;
    int passes;  // Kelpa takes the whole image twice
    int recordDigits;
    // finding and identifying the device
    int pingRequestBytes;
    int pingReplyBytes;
    int identityCells;
};

const Setting Settings[] = {
    {"Vorn 115200", SimProtocol::Vorn, 115200, 15, 8, 6, 150, 7, 6, 1, 128, 8, 6, 6},
    {"Kelpa 9600", SimProtocol::Kelpa, 9600, 50, 6, 3, 150, 5, 3, 2, 16, 6, 3, 3},
    {"Ulma 19000", SimProtocol::UlmaFast, 19000, 0, 5, 3, 130, 4, 3, 1, 32, 5, 3, 3},
    {"Ulma 4800", SimProtocol::UlmaSlow, 4800, 0, 5, 3, 130, 4, 3, 1, 32, 5, 3, 3},
};
constexpr double PingPauseMs = 150;
// The save's parameters sit above every dialect's identity cells.
constexpr int FirstSavedCell = 100;

double wireMs(int bytes, int baud)
{
    return bytes * 10.0 * 1000.0 / baud;
}

// Each exchange costs at least the longer of its pause and the request's
// own time on the wire (the echo comes back as it goes out), then the reply.
// A reply short enough to arrive while the link still sleeps its pause is
// counted all the same, so reads with a long pause may come in under 1.
double cellReadFloorMs(const Setting &s)
{
    return std::max(s.readPauseMs, wireMs(s.readRequestBytes, s.baud)) + wireMs(s.readReplyBytes, s.baud);
}

double readFloorMs(const Setting &s)
{
    return Cells * cellReadFloorMs(s);
}

// The settings are pinged in the settings' order up to the device's own,
// whose ping is answered; then the identity and the cells are read.
double saveFloorMs(const Setting &device)
{
    double ms = 0;
    for (const Setting &s : Settings) {
        ms += std::max(PingPauseMs, wireMs(s.pingRequestBytes, s.baud));
        if (&s == &device)
            break;
    }
    return ms + wireMs(device.pingReplyBytes, device.baud) + (device.identityCells + Cells) * cellReadFloorMs(device);
}

double uploadFloorMs(const Setting &s)
{
    const int frameBytes = BlockSize + s.frameBytesAroundBlock;
    return BlockCount * s.passes * (std::max(s.blockPauseMs, wireMs(frameBytes, s.baud)) + wireMs(s.ackBytes, s.baud));
}

// The link, created in this thread, after it has found and identified the
// simulated device on its own poll ticks.
class Connection
{
public:
    explicit Connection(const Setting &setting)
    {
        sim.attachDevice(setting.protocol);
        sim.setWireTiming(true);
        sim.setAnswerLatencyMs(0);
        sim.setBlockSize(BlockSize);
        testsupport::writePortSetting(sim.portPath());
        link = std::make_unique<BusController>(nullptr, &image, [] { return QStringList(); });
        QObject::connect(link.get(), &BusController::doConstructDevice, link.get(), [this] { image.constructed = 1; });
        QObject::connect(link.get(), &BusController::allCellsReady, link.get(), [this] { ++cellsReady; });
        QObject::connect(link.get(), &BusController::firmwareUpdated, link.get(), [this] { ++updated; });
    }

    bool waitForDevice(int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (image.constructed == 0 && clock.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return image.constructed != 0;
    }

    SimulatedDevice sim;
    DeviceImage image;
    std::unique_ptr<BusController> link;
    int cellsReady = 0;
    int updated = 0;
};

double elapsedMs(const QElapsedTimer &clock)
{
    return clock.nsecsElapsed() / 1e6;
}

// Median of the runs; every run must have read every value.
bool timeRead(Connection &connection, double *medianMs)
{
    for (int cell = 0; cell < Cells; ++cell) {
        connection.sim.setCell(cell, quint8(cell * 7 + 3));
        connection.image.cells[cell].used = 1;
    }
    std::vector<double> runs;
    for (int run = 0; run < ReadRuns; ++run) {
        for (int cell = 0; cell < Cells; ++cell)
            connection.image.cells[cell].value = 0;
        const int readyBefore = connection.cellsReady;
        QElapsedTimer clock;
        clock.start();
        connection.link->readDeviceAllCells();
        runs.push_back(elapsedMs(clock));
        if (connection.cellsReady != readyBefore + 1)
            return false;
        for (int cell = 0; cell < Cells; ++cell)
            if (connection.image.cells[cell].value != quint8(cell * 7 + 3))
                return false;
    }
    std::sort(runs.begin(), runs.end());
    *medianMs = runs[runs.size() / 2];
    return true;
}

QString writeSaveDescription(const QTemporaryDir &folder)
{
    const QString path = folder.filePath("save.dsc");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write("<Devices><ESC id=\"42\" hw=\"1\" fw=\"1\" fwm=\"0\" name=\"Bench\">\n");
    for (int cell = FirstSavedCell; cell < FirstSavedCell + Cells; ++cell)
        file.write(
            QString("<Parameter type=\"range\" name=\"P%1\" cell=\"%1\" min=\"0\" max=\"255\"/>\n").arg(cell).toUtf8());
    file.write("</ESC></Devices>\n");
    return path;
}

// kova-cli's save, from finding the device to the written file; median of
// the runs, each of which must have saved every value.
bool timeSave(const Setting &setting, double *medianMs)
{
    QTemporaryDir folder;
    const QString description = writeSaveDescription(folder);
    const QString saved = folder.filePath("settings.json");
    SimulatedDevice sim;
    sim.attachDevice(setting.protocol);
    sim.setWireTiming(true);
    sim.setAnswerLatencyMs(0);
    sim.setIdentity(42, 1, 1, 1, 0, 0);
    for (int cell = FirstSavedCell; cell < FirstSavedCell + Cells; ++cell)
        sim.setCell(cell, quint8(cell * 7 + 3));
    std::vector<double> runs;
    for (int run = 0; run < ReadRuns; ++run) {
        QFile::remove(saved);
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        QElapsedTimer clock;
        clock.start();
        const int status = runCli({"--port", sim.portPath(), "--description", description, "save", saved}, outStream,
                                  errStream, Terminal());
        runs.push_back(elapsedMs(clock));
        QFile file(saved);
        file.open(QIODevice::ReadOnly);
        const QJsonArray parameters = QJsonDocument::fromJson(file.readAll()).object().value("parameters").toArray();
        if (status != 0 || parameters.size() != Cells)
            return false;
        for (int i = 0; i < Cells; ++i)
            if (parameters.at(i).toObject().value("raw").toInt() != quint8((FirstSavedCell + i) * 7 + 3))
                return false;
    }
    std::sort(runs.begin(), runs.end());
    *medianMs = runs[runs.size() / 2];
    return true;
}

bool timeUpload(Connection &connection, const Setting &setting, double *ms, int *framesSent)
{
    // The cells the read wrote may include identity cells: the upload asks
    // the device again, so the link must know it as it is now.
    connection.image.constructed = 0;
    if (!connection.waitForDevice(5000))
        return false;
    const DeviceImage &device = connection.image;
    QTemporaryDir folder;
    const QString path = folder.filePath("bench.upd");
    const QByteArray image = testsupport::patternImage(BlockSize * BlockCount);
    const testsupport::PackageIdentity identity{device.deviceId, device.hwVersion, device.blVersion, "9.9"};
    if (!folder.isValid() || !testsupport::writePackage(path, identity, image, setting.recordDigits))
        return false;
    connection.image.fwPageSize = BlockSize;
    connection.image.fwPageCount = BlockCount;
    connection.sim.clearRequests();

    QElapsedTimer clock;
    clock.start();
    connection.link->doUpdateFirmware(path, readPackageFile(path).bytes);
    *ms = elapsedMs(clock);

    const QList<SimRequest> requests = connection.sim.requests();
    *framesSent = int(
        std::count_if(requests.begin(), requests.end(), [](const SimRequest &request) { return request.kind == 'F'; }));
    QList<QByteArray> expected;
    for (int pass = 0; pass < setting.passes; ++pass)
        for (int block = 0; block < BlockCount; ++block)
            expected << image.mid(block * BlockSize, BlockSize);
    return connection.updated == 1 && connection.sim.receivedBlocks() == expected;
}

// One row per setting: the measured time against its floor.
bool printTimes(const std::function<bool(const Setting &, double *)> &measure,
                const std::function<double(const Setting &)> &floorOf)
{
    std::printf("%-12s %12s %10s %16s\n", "setting", "measured ms", "floor ms", "measured/floor");
    bool allGood = true;
    for (const Setting &setting : Settings) {
        double ms = 0;
        if (!measure(setting, &ms)) {
            std::printf("%-12s failed\n", setting.name);
            allGood = false;
            continue;
        }
        const double floor = floorOf(setting);
        std::printf("%-12s %12.1f %10.1f %16.3f\n", setting.name, ms, floor, ms / floor);
        std::fflush(stdout);
    }
    return allGood;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The link's debug lines ("ping Vorn", ...) would drown the figures.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    std::printf("Link timing against the simulated cable: 10 bit times per byte at the port's rate, "
                "answer latency 0 ms\n\n");
    std::printf("Read of %d used cells (median of %d runs)\n", Cells, ReadRuns);
    bool allGood = printTimes(
        [](const Setting &setting, double *ms) {
            Connection connection(setting);
            return connection.waitForDevice(20000) && timeRead(connection, ms);
        },
        readFloorMs);

    std::printf("\nkova-cli save of %d cells: ping, identity, read, file (median of %d runs)\n", Cells, ReadRuns);
    allGood &= printTimes(timeSave, saveFloorMs);

    std::printf("\nUpload of %d blocks of %d bytes (Kelpa sends every block twice)\n", BlockCount, BlockSize);
    std::printf("%-12s %7s %12s %10s %16s\n", "setting", "frames", "measured ms", "floor ms", "measured/floor");
    for (const Setting &setting : Settings) {
        Connection connection(setting);
        double ms = 0;
        int frames = 0;
        if (!connection.waitForDevice(20000) || !timeUpload(connection, setting, &ms, &frames)) {
            std::printf("%-12s failed (%d frames)\n", setting.name, frames);
            allGood = false;
            continue;
        }
        const double floor = uploadFloorMs(setting);
        std::printf("%-12s %7d %12.1f %10.1f %16.3f\n", setting.name, frames, ms, floor, ms / floor);
        std::fflush(stdout);
    }
    return allGood ? 0 : 1;
}
