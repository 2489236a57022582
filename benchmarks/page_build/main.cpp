// Times building and filling a parameter page of 250 parameters: the
// description read, the first refresh pass and the dependency pass; then
// showing the page and tearing it down.

#include "support/bytes.h"
#include "support/pagehost.h"

#include "app/parameterpage.h"
#include "device/deviceimage.h"
#include "params/xmlcontrolsreader.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QStyleFactory>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int Parameters = 250;
constexpr int Runs = 9;
constexpr int Id = 21, Hw = 2, Fw = 4, Fwm = 12;

// Stands in for the window: every change is encoded and its dependents updated.
class PageWindow : public QObject
{
    Q_OBJECT

public:
    QTreeWidget *tree = nullptr;
    int writes = 0;

public slots:
    void controlChanged(QString)
    {
        if (parameterpage::encodeControl(sender()))
            ++writes;
        parameterpage::updateDependents(tree, sender());
    }
    void checkboxChanged(int)
    {
        if (parameterpage::encodeControl(sender()))
            ++writes;
    }
};

// Lists, ranges and checks in turn; every fifth parameter depends on the
// list before it, and every range of the first hundred cells has a high cell.
QByteArray description()
{
    QString text;
    QTextStream out(&text);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Descriptions>\n"
        << QString("<ESC id=\"%1\" hw=\"%2\" fw=\"%3\" fwm=\"%4\" name=\"Bench\" fwnp=\"32\""
                   " fwps=\"256\">\n")
               .arg(Id)
               .arg(Hw)
               .arg(Fw)
               .arg(Fwm);
    int lastList = -1;
    for (int cell = 0; cell < Parameters; ++cell) {
        const QString dependency =
            cell % 5 == 4 && lastList >= 0
                ? QString(" depcell=\"%1\" depval=\"%2\"").arg(lastList == 0 ? 1000 : lastList).arg(1)
                : QString();
        switch (cell % 3) {
        case 0:
            out << QString("<Parameter type=\"list\" name=\"List %1\" cell=\"%1\" offset=\"1\""
                           " scale=\"2\"%2>\n")
                       .arg(cell)
                       .arg(dependency);
            for (int entry = 0; entry < 8; ++entry)
                out << QString("  <Value string=\"Entry %1\"/>\n").arg(entry);
            out << "</Parameter>\n";
            lastList = cell;
            break;
        case 1:
            out << QString("<Parameter type=\"range\" name=\"Range %1\" cell=\"%1\"%2 min=\"0\""
                           " max=\"6000\" step=\"0.5\" decimals=\"1\" scale=\"2\" shift=\"3\""
                           " suffix=\" V\"%3/>\n")
                       .arg(cell)
                       .arg(cell < 100 ? QString(" hcell=\"%1\"").arg(254 - cell) : QString())
                       .arg(dependency);
            break;
        default: out << QString("<Parameter type=\"check\" name=\"Check %1\" cell=\"%1\"/>\n").arg(cell);
        }
    }
    out << "</ESC>\n</Descriptions>\n";
    out.flush();
    return text.toUtf8();
}

void fillCells(DeviceImage &image)
{
    for (int cell = 0; cell < CellCount; ++cell)
        image.cells[cell].value = quint8((cell * 37 + 11) % 16);
}

struct Timings {
    double read = 0, decode = 0, dependents = 0, show = 0, tearDown = 0, longestDisposalTurn = 0;
    double total() const { return read + decode + dependents; }
};

double millisecondsSince(QElapsedTimer &timer)
{
    const double ms = timer.nsecsElapsed() / 1e6;
    timer.restart();
    return ms;
}

Timings buildOnce(PageWindow &window, int *rows)
{
    auto image = std::make_unique<DeviceImage>();
    image->deviceId = Id;
    image->hwVersion = Hw;
    image->fwMajor = Fw;
    image->fwMinor = Fwm;
    fillCells(*image);
    PageHost host;
    QCoreApplication::processEvents();
    window.tree = host.tree;

    Timings t;
    QElapsedTimer timer;
    timer.start();
    XmlControlsReader(&window, host.tree, image.get()).readDescription();
    t.read = millisecondsSince(timer);
    *rows = parameterpage::decodeControls(host.tree, *image);
    t.decode = millisecondsSince(timer);
    parameterpage::updateAllDependents(host.tree);
    t.dependents = millisecondsSince(timer);
    host.showPage();
    QCoreApplication::processEvents();
    t.show = millisecondsSince(timer);
    parameterpage::tearDown(host.tree);
    t.tearDown = millisecondsSince(timer);
    // The controls go over later turns of the event loop; each turn is timed.
    while (!host.tree->viewport()->findChildren<QAbstractSpinBox *>().isEmpty()
           || !host.tree->viewport()->findChildren<QComboBox *>().isEmpty()
           || !host.tree->viewport()->findChildren<QCheckBox *>().isEmpty()) {
        timer.restart();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        t.longestDisposalTurn = std::max(t.longestDisposalTurn, millisecondsSince(timer));
    }
    window.tree = nullptr;
    return t;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(quietNativeWindowNotes);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);

    // The reader looks for its description in the current folder.
    QTemporaryDir folder;
    if (!folder.isValid() || !QDir::setCurrent(folder.path()))
        return 1;
    if (!testsupport::writeFile(QStringLiteral("tellur.dsc"), description()))
        return 1;

    PageWindow window;
    std::vector<Timings> runs;
    int rows = 0;
    for (int run = 0; run < Runs; ++run)
        runs.push_back(buildOnce(window, &rows));

    std::printf("Parameter page of %d rows, %d runs (first included), platform %s, style %s\n", rows, Runs,
                qPrintable(QGuiApplication::platformName()), qPrintable(QApplication::style()->objectName()));
    auto report = [&](const char *phase, double (*value)(const Timings &)) {
        std::vector<double> values;
        for (const Timings &t : runs)
            values.push_back(value(t));
        std::printf("  %-34s median %8.2f ms   min %8.2f ms   max %8.2f ms\n", phase, median(values),
                    *std::min_element(values.begin(), values.end()), *std::max_element(values.begin(), values.end()));
        return median(values);
    };
    report("readDescription", [](const Timings &t) { return t.read; });
    report("decodeControls", [](const Timings &t) { return t.decode; });
    report("updateAllDependents", [](const Timings &t) { return t.dependents; });
    const double total = report("read + decode + dependents", [](const Timings &t) { return t.total(); });
    report("show the page (extra)", [](const Timings &t) { return t.show; });
    report("tearDown (extra)", [](const Timings &t) { return t.tearDown; });
    report("longest turn deleting (extra)", [](const Timings &t) { return t.longestDisposalTurn; });
    std::printf("Build and fill, median: %.2f ms (goal: under 50 ms)\n", total);
    std::printf("  writes offered while decoding: %d per run\n", window.writes / Runs);
    return 0;
}

#include "main.moc"
