// Times the window thread's work on hostile description files: finding the
// description and building its rows, for files at the reader's bounds and
// for files beyond them, which must be refused quickly.

#include "support/pagehost.h"
#include "params/controlreceiver.h"

#include "device/deviceimage.h"
#include "description/descriptionreader.h"
#include "params/xmlcontrolsreader.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include <sys/stat.h>

using namespace descriptionreader;

namespace {

constexpr int Runs = 3;
constexpr double GoalMs = 500.0;
constexpr int Id = 21, Hw = 2, Fw = 4, Fwm = 12;

QByteArray padded(int bytes, char fill)
{
    return QByteArray(bytes, fill);
}

QByteArray escHead()
{
    return QString("<ESC id=\"%1\" hw=\"%2\" fw=\"%3\" fwm=\"%4\" name=\"Hostile\" fwnp=\"32\""
                   " fwps=\"256\">\n")
        .arg(Id)
        .arg(Hw)
        .arg(Fw)
        .arg(Fwm)
        .toUtf8();
}

// Our device's description around `parameters`, filled up with `filler`
// (repeated before it) while the file stays within the size bound.
QByteArray fileOf(const QByteArray &parameters, const QByteArray &filler = QByteArray())
{
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<D>\n";
    const QByteArray tail = escHead() + parameters + "</ESC>\n</D>\n";
    QByteArray content = head;
    if (!filler.isEmpty()) {
        const qint64 room = MaxFileBytes - head.size() - tail.size();
        content += filler.repeated(int(std::max<qint64>(room / filler.size(), 0)));
    }
    return content + tail;
}

QByteArray repeatedUpTo(const QByteArray &unit, int count, qint64 budget)
{
    return unit.repeated(int(std::min<qint64>(count, budget / unit.size())));
}

QByteArray value(int bytes, char fill)
{
    return padded(bytes, fill);
}

QByteArray rangesWithLongTexts()
{
    const QByteArray one = "<Parameter type=\"range\" name=\"" + value(MaxAttributeValueBytes, 'n')
                           + "\" cell=\"1\" min=\"0\" max=\"100\" step=\"1\" suffix=\""
                           + value(MaxAttributeValueBytes, 's') + "\"/>\n";
    return repeatedUpTo(one, MaxParameters, MaxFileBytes - 1024);
}

QByteArray rangesWithWideNumbers()
{
    const QByteArray one = "<Parameter type=\"range\" name=\"R\" cell=\"1\" min=\"-1e300\""
                           " max=\"1e300\" step=\"1e299\" decimals=\"4294967295\"/>\n";
    return repeatedUpTo(one, MaxParameters, MaxFileBytes - 1024);
}

QByteArray checksWithLongNames()
{
    const QByteArray one =
        "<Parameter type=\"check\" name=\"" + value(MaxAttributeValueBytes, 'W') + "\" cell=\"2\"/>\n";
    return repeatedUpTo(one, MaxParameters, MaxFileBytes - 1024);
}

QByteArray listsOf(int entryBytes)
{
    const QByteArray entry = "<Value string=\"" + value(entryBytes, 'e') + "\"/>";
    const QByteArray list =
        "<Parameter type=\"list\" name=\"L\" cell=\"3\">" + entry.repeated(MaxListEntries) + "</Parameter>\n";
    QByteArray lists;
    while (lists.size() + list.size() < MaxFileBytes - 1024)
        lists += list;
    // The rest of the room in a last, shorter list.
    const int room = int(MaxFileBytes - 1024 - lists.size() - 64);
    return lists + "<Parameter type=\"list\" name=\"L\" cell=\"3\">"
           + entry.repeated(std::max(int(room / entry.size()), 0)) + "</Parameter>\n";
}

QByteArray foreignDevices()
{
    QByteArray attributes;
    for (int i = 0; i < MaxAttributes - 4; ++i)
        attributes += " a" + QByteArray::number(i) + "=\"" + value(100, 'x') + "\"";
    return "<ESC id=\"1\" hw=\"1\" fw=\"1\" fwm=\"1\"" + attributes + "/>\n";
}

// Prefixes declared at every level of the deepest nesting, and elements
// that use the outermost one, which the parser looks up past all the others.
QByteArray namespacesInDepth()
{
    QByteArray open, close;
    for (int level = 0; level < MaxDepth - 4; ++level) {
        open += "<a";
        for (int i = 0; i < MaxAttributes; ++i)
            open += " xmlns:p" + QByteArray::number(level * MaxAttributes + i) + "=\"u\"";
        open += ">";
        close += "</a>";
    }
    const QByteArray use = "<p0:x p0:a=\"1\"/>";
    return open + use.repeated(int((MaxFileBytes - open.size() - close.size() - 1024) / use.size())) + close;
}

QByteArray oneTagWithAttributes(qint64 bytes)
{
    QByteArray tag = "<?xml version=\"1.0\"?><D><ESC";
    for (int i = 0; tag.size() < bytes - 32; ++i)
        tag += " a" + QByteArray::number(i) + "=\"1\"";
    return tag + "/></D>";
}

struct Case {
    const char *name;
    QByteArray content;  // empty: a FIFO
};

std::vector<Case> cases()
{
    return {
        {"512 ranges, longest names and suffixes", fileOf(rangesWithLongTexts())},
        {"512 ranges, widest numbers", fileOf(rangesWithWideNumbers())},
        {"512 checks with longest names", fileOf(checksWithLongNames())},
        {"lists full of short entries", fileOf(listsOf(1))},
        {"lists full of longest entries", fileOf(listsOf(MaxAttributeValueBytes))},
        {"foreign devices with 28 attributes each", fileOf(QByteArray(), foreignDevices())},
        {"namespace prefixes at the deepest nesting", fileOf(namespacesInDepth())},
        {"entity references in attributes",
         fileOf(QByteArray(), "<x a=\"" + QByteArray("&amp;").repeated(50) + "\"/>")},
        {"comments and text at their bound",
         fileOf(QByteArray(), "<!--" + padded(MaxTextBytes - 8, 'c') + "-->" + padded(MaxTextBytes - 1, ' '))},
        {"refused: one tag, 1 MiB of attributes", oneTagWithAttributes(MaxFileBytes)},
        {"refused: 8 MiB file", padded(8 * 1024 * 1024, ' ')},
        {"refused: 1 MiB of text", fileOf(QByteArray(), " ")},
        {"refused: nesting to the size bound", fileOf(QByteArray(), "<a>")},
        {"refused: FIFO", QByteArray()},
    };
}

bool writePrimary(const QByteArray &content)
{
    QFile::remove(QStringLiteral("tellur.dsc"));
    if (content.isEmpty())
        return mkfifo("tellur.dsc", 0600) == 0;
    QFile file(QStringLiteral("tellur.dsc"));
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

struct Timing {
    double read = 0;  // finding the description and building the rows
    double show = 0;  // the page's first layout and paint
};

Timing timeOnce(ControlReceiver &receiver, int *rows)
{
    DeviceImage image;
    image.deviceId = Id;
    image.hwVersion = Hw;
    image.fwMajor = Fw;
    image.fwMinor = Fwm;
    PageHost host;
    QCoreApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    XmlControlsReader(&receiver, host.tree, &image).readDescription();
    Timing timing;
    timing.read = timer.nsecsElapsed() / 1e6;
    timer.restart();
    host.showPage();
    QCoreApplication::processEvents();
    timing.show = timer.nsecsElapsed() / 1e6;
    *rows = host.tree->topLevelItemCount();
    return timing;
}

// The reader's debug lines and the offscreen platform's notes.
void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

}  // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quiet);
    QApplication app(argc, argv);
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    QTemporaryDir folder;
    if (!folder.isValid() || !QDir::setCurrent(folder.path()))
        return 1;

    ControlReceiver receiver;  // the controls' signals need one
    std::printf("Description files on the window thread, ms, median and max of %d runs\n(goal: no single read or show "
                "over %.0f ms)\n",
                Runs, GoalMs);
    std::printf("  %-48s %6s %5s %17s %17s\n", "file", "KiB", "rows", "read median/max", "show median/max");
    double worst = 0;
    // An argument picks the cases whose name contains it, for profiling.
    const QString only = app.arguments().value(1);
    for (const Case &c : cases()) {
        if (!QString(c.name).contains(only))
            continue;
        if (!writePrimary(c.content))
            return 1;
        std::vector<double> reads, shows;
        int rows = 0;
        for (int run = 0; run < Runs; ++run) {
            const Timing timing = timeOnce(receiver, &rows);
            reads.push_back(timing.read);
            shows.push_back(timing.show);
        }
        std::sort(reads.begin(), reads.end());
        std::sort(shows.begin(), shows.end());
        worst = std::max({worst, reads.back(), shows.back()});
        std::printf("  %-48s %6.0f %5d %8.1f %8.1f %8.1f %8.1f\n", c.name, c.content.size() / 1024.0, rows,
                    reads[Runs / 2], reads.back(), shows[Runs / 2], shows.back());
    }
    std::printf("  longest single hold %.1f ms: %s\n", worst, worst < GoalMs ? "within the goal" : "ABOVE THE GOAL");
    return 0;
}
