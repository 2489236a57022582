// kova-simulator: a cable with a speed controller behind it on a pseudo
// terminal, for trying the program without hardware.

#include "controllerline.h"
#include "emulatorline.h"
#include "pseudoterminal.h"
#include "simoptions.h"
#include "simulateddevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstdio>

namespace {

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "kova-simulator: %s\n", qPrintable(message));
    std::exit(2);
}

SimLineFactory lineFactory(const QCommandLineParser &parser)
{
    if (!parser.isSet("emulator"))
        return [] { return std::unique_ptr<SimLine>(std::make_unique<PseudoTerminal>()); };
    if (!parser.isSet("emulator-trace"))
        fail(QStringLiteral("--emulator needs --emulator-trace"));
    QList<int> rates;
    for (const SimProtocol protocol : dialectsByName())
        rates.append(baudRateOf(protocol));
    const QString socket = parser.value("emulator");
    const QString trace = parser.value("emulator-trace");
    return [=] { return std::unique_ptr<SimLine>(std::make_unique<EmulatorLine>(socket, trace, rates)); };
}

void writeBlocks(const QString &path, const QList<QByteArray> &blocks)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write %1").arg(path));
    for (const QByteArray &block : blocks)
        file.write(block);
}

QString describe(const SimRequest &request)
{
    QString line;
    switch (request.kind) {
    case 'S': line = QStringLiteral("ping"); break;
    case 'R': line = QStringLiteral("read cell %1 -> %2").arg(request.cell).arg(request.value); break;
    case 'W': line = QStringLiteral("write cell %1 = %2").arg(request.cell).arg(request.value); break;
    case 'F': line = QStringLiteral("firmware block #%1").arg(request.value); break;
    case 'U': line = QStringLiteral("bootloader entry"); break;
    }
    return request.answered ? line : line + QStringLiteral(" (no answer)");
}

std::optional<QString> textOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    return QString::fromUtf8(file.readAll());
}

QString readTextFile(const QString &path)
{
    const std::optional<QString> text = textOf(path);
    if (!text)
        fail(QStringLiteral("cannot read %1").arg(path));
    return *text;
}

QMap<int, quint8> readCellFile(const QString &path)
{
    QString error;
    const auto cells = parseCellList(readTextFile(path), &error);
    if (!cells)
        fail(QStringLiteral("%1: %2").arg(path, error));
    return *cells;
}

// The files a line file names are beside it.
QList<LineUnit> readLineFile(const QString &path)
{
    const QDir folder = QFileInfo(path).absoluteDir();
    const LineFileReader readBeside = [folder](const QString &name) { return textOf(folder.filePath(name)); };
    QString error;
    const auto units = parseLineFile(readTextFile(path), readBeside, &error);
    if (!units)
        fail(QStringLiteral("%1: %2").arg(path, error));
    return *units;
}

int nonNegativeValue(const QCommandLineParser &parser, const QString &option, const QString &refusal)
{
    bool ok = false;
    const int value = parser.value(option).toInt(&ok);
    if (!ok || value < 0)
        fail(refusal);
    return value;
}

// What the device behind the cable is like; a line brings its own devices.
const QStringList DeviceOptions{
    "dialect", "cells", "cell", "identity", "after-upload", "keep-version", "defaults-after-upload", "late-reply"};

void configureDevice(SimulatedDevice &device, const QCommandLineParser &parser)
{
    const QString dialect = parser.value("dialect");
    if (!dialectsByName().contains(dialect))
        fail(QStringLiteral("unknown dialect \"%1\"").arg(dialect));
    device.attachDevice(dialectsByName().value(dialect));

    if (parser.isSet("cells"))
        device.setCells(readCellFile(parser.value("cells")));
    if (parser.isSet("identity")) {
        const auto identity = parseIdentity(parser.value("identity"));
        if (!identity)
            fail(QStringLiteral("--identity wants id,hw,bl,major,minor,build"));
        device.setIdentity(identity->deviceId, identity->hwVersion, identity->blVersion, identity->fwMajor,
                           identity->fwMinor, identity->fwBuild);
    }
    // Single cells last, so they can override the file and the identity.
    for (const QString &assignment : parser.values("cell")) {
        const auto cell = parseCellAssignment(assignment);
        if (!cell)
            fail(QStringLiteral("--cell wants N=V, got \"%1\"").arg(assignment));
        device.setCell(cell->first, cell->second);
    }
    if (parser.isSet("after-upload")) {
        const auto after = parseAfterUpload(parser.value("after-upload"));
        if (!after)
            fail(QStringLiteral("--after-upload wants major.minor.build,blocks"));
        device.setFirmwareAfterUpload(after->fwMajor, after->fwMinor, after->fwBuild, after->blockCount);
    }
    device.setKeepsVersion(parser.isSet("keep-version"));
    if (parser.isSet("defaults-after-upload"))
        device.setCellsAfterUpload(readCellFile(parser.value("defaults-after-upload")));
    if (parser.isSet("late-reply")) {
        const auto late = parseLateReply(parser.value("late-reply"));
        if (!late)
            fail(QStringLiteral("--late-reply wants ms or ms,chunks"));
        device.setLateReplies(late->ms, late->chunks);
    }
}

void configureCable(SimulatedDevice &device, const QCommandLineParser &parser)
{
    if (parser.isSet("block-size")) {
        bool ok = false;
        const int size = parser.value("block-size").toInt(&ok);
        if (!ok || size <= 0)
            fail(QStringLiteral("--block-size wants a positive number"));
        device.setBlockSize(size);
    }
    device.setWireTiming(parser.isSet("wire-timing"));
    device.setEchoInPackets(parser.isSet("echo-packets"));
    if (parser.isSet("latency"))
        device.setAnswerLatencyMs(nonNegativeValue(parser, "latency", QStringLiteral("--latency wants milliseconds")));
}

struct LinePlan {
    QList<LineUnit> units;
    int gapMs;
};

std::optional<LinePlan> linePlan(const QCommandLineParser &parser)
{
    if (!parser.isSet("line")) {
        if (parser.isSet("line-gap"))
            fail(QStringLiteral("--line-gap needs --line"));
        return std::nullopt;
    }
    for (const QString &option : DeviceOptions) {
        if (parser.isSet(option))
            fail(QStringLiteral("--%1 is for a single device; the line file describes its own").arg(option));
    }
    return LinePlan{readLineFile(parser.value("line")),
                    nonNegativeValue(parser, "line-gap", QStringLiteral("--line-gap wants milliseconds"))};
}

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// The identity a unit reports, "-" where its dialect has no cell.
QString identityText(const SimulatedDevice &device, SimProtocol protocol)
{
    QStringList fields;
    for (const int cell : identityCellList(familyOf(protocol)))
        fields.append(cell < 0 ? QStringLiteral("-") : QString::number(device.cell(cell)));
    return fields.join(',');
}

// Started once the port is printed, so that no arrival is told before it.
std::unique_ptr<ControllerLine> playLine(SimulatedDevice &device, const LinePlan &plan,
                                         const std::function<void(const SimRequest &)> &printRequest, bool quiet)
{
    LineListeners listeners{{}, printRequest, {}};
    if (!quiet) {
        const QList<LineUnit> units = plan.units;
        listeners.arrived = [&device, units](int unit) {
            say(QStringLiteral("Unit %1 arrived: identity %2")
                    .arg(unit + 1)
                    .arg(identityText(device, units.at(unit).protocol)));
        };
        listeners.left = [](int unit) { say(QStringLiteral("Unit %1 left").arg(unit + 1)); };
    }
    return std::make_unique<ControllerLine>(device, plan.units, plan.gapMs, listeners);
}

}  // namespace

int main(int argc, char *argv[])
{
    // Blocked before the device's thread exists, so only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("kova-simulator");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Simulated USB-to-serial cable with a speed controller behind it.\n"
        "Prints the pseudo terminal to open (or the socket) on the first line, then one line per request.");
    parser.addHelpOption();
    parser.addOptions({
        {"dialect", "Protocol of the device: vorn, kelpa, ulma-fast or ulma-slow.", "name", "vorn"},
        {"cells", "Initial cells, lines \"cell value\" in decimal, '#' comments.", "file"},
        {"cell", "Set one cell (repeatable; applied after --cells and --identity).", "N=V"},
        {"identity", "Identity cells of the dialect.", "id,hw,bl,major,minor,build"},
        {"block-size", "Firmware block size in bytes (block frames need it).", "bytes"},
        {"after-upload",
         "Firmware version the identity reports after an upload of that many blocks "
         "(else the version the uploaded image names, if it names one).",
         "major.minor.build,blocks"},
        {"keep-version", "An update that does not take: the identity keeps its firmware version."},
        {"defaults-after-upload", "Cells the new firmware of --after-upload resets, lines as in --cells.", "file"},
        {"wire-timing", "Send every byte at the speed the port is set to."},
        {"echo-packets", "Hand back the echo of each write in one piece once it is through, "
                         "as a USB adapter delivers a packet (the port scan needs it with --wire-timing)."},
        {"latency", "Delay before each reply.", "ms", "0"},
        {"late-reply",
         "Complete every reply but a ping's this long after the echo, "
         "in that many chunks spread evenly up to then.",
         "ms[,chunks]"},
        {"line",
         "Play a production line: controller after controller, one a line of the file, with words "
         "dialect=NAME identity=id,hw,bl,major,minor,build cells=FILE stuck=N=V leaves-after=PINGS "
         "(cell files beside the line file). A unit leaves after that many answered pings in a row "
         "(3 unless given) and the cable keeps echoing. The options of a single device do not go with it.",
         "file"},
        {"line-gap", "Time before the first unit of --line arrives and between two units.", "ms", "200"},
        {"quiet", "Do not print the requests (nor the arrivals and departures of a line)."},
        {"blocks", "Keep the data of every good firmware block received so far in this file, in order.", "file"},
        {"emulator",
         "Play the device behind an emulated USB-serial adapter: connect to the emulator's "
         "character device socket instead of making a pseudo terminal.",
         "socket"},
        {"emulator-trace",
         "The emulator's trace file of usb_serial_set_baud events, the only place where the "
         "speed the program sets shows (--emulator needs it).",
         "file"},
    });
    parser.process(app);

    SimulatedDevice device(lineFactory(parser));
    if (device.portPath().isEmpty())
        fail(parser.isSet("emulator") ? QStringLiteral("cannot connect to %1").arg(parser.value("emulator"))
                                      : QStringLiteral("cannot open a pseudo terminal"));
    configureCable(device, parser);
    const std::optional<LinePlan> plan = linePlan(parser);
    if (!plan)
        configureDevice(device, parser);
    const bool quiet = parser.isSet("quiet");
    const QString blocksFile = parser.value("blocks");
    const auto printRequest = [&device, quiet, blocksFile](const SimRequest &request) {
        if (request.kind == 'F' && !blocksFile.isEmpty())
            writeBlocks(blocksFile, device.receivedBlocks());
        if (!quiet)
            say(describe(request));
    };

    if (!plan)
        device.setRequestListener(printRequest);
    say(device.portPath());
    const std::unique_ptr<ControllerLine> line = plan ? playLine(device, *plan, printRequest, quiet) : nullptr;

    int received = 0;
    sigwait(&stopSignals, &received);
    return 0;
}
