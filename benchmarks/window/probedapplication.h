#pragma once

#include <QApplication>
#include <QEvent>
#include <QString>

#include <QMutex>

#include <deque>
#include <vector>

class BusController;
class QTimer;

// Nanoseconds on the monotonic clock, comparable between processes.
qint64 monotonicNs();

// A stretch of the window thread's time.
struct Span {
    qint64 startNs = 0;
    qint64 endNs = 0;
    double ms() const { return (endNs - startNs) / 1e6; }
    bool overlaps(const Span &other) const { return startNs < other.endNs && other.startNs < endNs; }
};

// A pause of the event loop: the time between two ticks of a 1 ms timer,
// and the CPU time the thread itself spent in it (the rest is waiting for
// a core on a busy machine).
struct LoopGap {
    Span span;
    qint64 cpuNs = 0;
};

struct GapSummary {
    LoopGap longestOutsidePageBuild;
    // The gap with the most CPU time of the thread itself: the window's own
    // work, whatever the machine's load.
    LoopGap busiestOutsidePageBuild;
    QString cause;  // the longest event inside the busiest gap
    double atSeconds = 0;  // when the busiest gap began, from the start of the phase
    LoopGap longestInPageBuild;
    int pageBuildEvents = 0;
    int gapsOver16MsOutside = 0;
};

// The application object of the latency probe. It notes how long every
// event of the window's thread takes and keeps a 1 ms timer ticking in that
// thread to see each pause of its event loop. The window's slot calls from
// the device link are named by the link's signal that sent them: the link
// posts them in the order it emits, and a direct connection of our own,
// made before the window's, notes each emission just before it is posted.
// The page build answers two of them, the device identified and all cells
// read, and ends with the first paint of the filled page.
class ProbedApplication : public QApplication
{
public:
    ProbedApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    void startTicking();
    GapSummary summarize(const Span &phase) const;
    int pageBuildCount() const { return int(pageBuilds.size()); }

private:
    struct HandledEvent {
        Span span;
        const char *receiverClass = nullptr;
        QEvent::Type type = QEvent::None;
        const char *linkSignal = nullptr;  // for the window's calls from the link
    };

    void tick();
    void watchLink(BusController *link);
    const char *takeLinkSignal();
    QString causeWithin(const Span &gap) const;

    QTimer *ticker = nullptr;
    qint64 lastTickNs = 0;
    qint64 lastTickCpuNs = 0;
    std::vector<LoopGap> gaps;
    std::vector<HandledEvent> slowEvents;
    std::vector<Span> pageBuilds;
    bool filledPageUnpainted = false;
    QMutex emittedMutex;
    std::deque<const char *> emitted;  // by the link, not yet delivered to the window
};
