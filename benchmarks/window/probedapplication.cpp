#include "probedapplication.h"

#include "device/buscontroller.h"

#include <QMetaEnum>
#include <QThread>
#include <QTimer>

#include <ctime>

namespace {

constexpr qint64 NsPerMs = 1000000;
// Events shorter than this cannot explain a gap worth reporting.
constexpr qint64 SlowEventNs = NsPerMs;
constexpr qint64 FrameNs = 16 * NsPerMs;

qint64 clockNs(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

qint64 threadCpuNs()
{
    return clockNs(CLOCK_THREAD_CPUTIME_ID);
}

}  // namespace

qint64 monotonicNs()
{
    return clockNs(CLOCK_MONOTONIC);
}

ProbedApplication::ProbedApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    ticker = new QTimer(this);
    ticker->setTimerType(Qt::PreciseTimer);
    ticker->setInterval(1);
    connect(ticker, &QTimer::timeout, this, &ProbedApplication::tick);
}

bool ProbedApplication::notify(QObject *receiver, QEvent *event)
{
    if (QThread::currentThread() != thread())
        return QApplication::notify(receiver, event);
    // The window moves its link into the worker thread once, right after
    // creating it and before connecting to it.
    if (event->type() == QEvent::ThreadChange)
        if (auto *link = qobject_cast<BusController *>(receiver))
            watchLink(link);

    // The receiver may be gone once the event is handled.
    HandledEvent handled{{monotonicNs(), 0}, receiver->metaObject()->className(), event->type(), nullptr};
    if (handled.type == QEvent::MetaCall && qstrcmp(handled.receiverClass, "MainWindow") == 0)
        handled.linkSignal = takeLinkSignal();
    const bool result = QApplication::notify(receiver, event);
    handled.span.endNs = monotonicNs();
    const bool paints = handled.type == QEvent::UpdateRequest || handled.type == QEvent::Expose;
    if (handled.linkSignal && qstrcmp(handled.linkSignal, "doConstructDevice") == 0) {
        pageBuilds.push_back(handled.span);
    } else if (handled.linkSignal && qstrcmp(handled.linkSignal, "allCellsReady") == 0) {
        pageBuilds.push_back(handled.span);
        filledPageUnpainted = true;
    } else if (filledPageUnpainted && paints) {
        pageBuilds.push_back(handled.span);
        filledPageUnpainted = false;
    }
    if (handled.span.endNs - handled.span.startNs >= SlowEventNs)
        slowEvents.push_back(handled);
    return result;
}

void ProbedApplication::watchLink(BusController *link)
{
    const auto note = [this](const char *name) {
        return [this, name] {
            QMutexLocker lock(&emittedMutex);
            emitted.push_back(name);
        };
    };
    connect(link, qOverload<QString, QString>(&BusController::sendStatus), note("sendStatus"));
    connect(link, &BusController::setProgressBar, note("setProgressBar"));
    connect(link, &BusController::doDestroyDevice, note("doDestroyDevice"));
    connect(link, &BusController::doConstructDevice, note("doConstructDevice"));
    connect(link, &BusController::allCellsReady, note("allCellsReady"));
    connect(link, &BusController::updatedDeviceValue, note("updatedDeviceValue"));
    connect(link, &BusController::firmwareUpdated, note("firmwareUpdated"));
    connect(link, &BusController::firmwareUpdateFailed, note("firmwareUpdateFailed"));
}

const char *ProbedApplication::takeLinkSignal()
{
    QMutexLocker lock(&emittedMutex);
    if (emitted.empty())
        return "an unknown call";
    const char *name = emitted.front();
    emitted.pop_front();
    return name;
}

void ProbedApplication::startTicking()
{
    lastTickNs = monotonicNs();
    lastTickCpuNs = threadCpuNs();
    ticker->start();
}

void ProbedApplication::tick()
{
    const qint64 now = monotonicNs();
    const qint64 cpu = threadCpuNs();
    gaps.push_back({{lastTickNs, now}, cpu - lastTickCpuNs});
    lastTickNs = now;
    lastTickCpuNs = cpu;
}

GapSummary ProbedApplication::summarize(const Span &phase) const
{
    GapSummary summary;
    for (const Span &build : pageBuilds)
        summary.pageBuildEvents += phase.overlaps(build) ? 1 : 0;
    for (const LoopGap &gap : gaps) {
        if (gap.span.endNs <= phase.startNs || gap.span.endNs > phase.endNs)
            continue;
        bool inPageBuild = false;
        for (const Span &build : pageBuilds)
            inPageBuild = inPageBuild || gap.span.overlaps(build);
        LoopGap &longest = inPageBuild ? summary.longestInPageBuild : summary.longestOutsidePageBuild;
        if (gap.span.ms() > longest.span.ms())
            longest = gap;
        if (!inPageBuild && gap.cpuNs > summary.busiestOutsidePageBuild.cpuNs)
            summary.busiestOutsidePageBuild = gap;
        if (!inPageBuild && gap.span.endNs - gap.span.startNs > FrameNs)
            ++summary.gapsOver16MsOutside;
    }
    summary.cause = causeWithin(summary.busiestOutsidePageBuild.span);
    summary.atSeconds = (summary.busiestOutsidePageBuild.span.startNs - phase.startNs) / 1e9;
    return summary;
}

QString ProbedApplication::causeWithin(const Span &gap) const
{
    const HandledEvent *longest = nullptr;
    for (const HandledEvent &event : slowEvents)
        if (event.span.startNs >= gap.startNs && event.span.endNs <= gap.endNs
            && (!longest || event.span.ms() > longest->span.ms()))
            longest = &event;
    if (!longest)
        return QStringLiteral("no single event over 1 ms");
    const char *eventName = QMetaEnum::fromType<QEvent::Type>().valueToKey(longest->type);
    const QString what = longest->linkSignal
                             ? QStringLiteral("%1 answering %2").arg(longest->receiverClass, longest->linkSignal)
                             : QStringLiteral("%1 to %2").arg(eventName, longest->receiverClass);
    return QStringLiteral("%1, %2 ms").arg(what).arg(longest->span.ms(), 0, 'f', 1);
}
