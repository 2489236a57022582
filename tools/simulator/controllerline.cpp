#include "controllerline.h"

#include <QVector>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

struct Tally {
    int bootloaderEntries = 0;
    int blocks = 0;
};

}  // namespace

class ControllerLine::Play
{
public:
    Play(SimulatedDevice &device, QList<LineUnit> units, int gapMs, LineListeners listeners)
        : device(device), units(std::move(units)), gap(std::chrono::milliseconds(gapMs)),
          listeners(std::move(listeners)), tallies(this->units.size()), nextArrival(Clock::now() + gap)
    {
    }

    void run();
    void hear(const SimRequest &request);
    // No arrival and no listener call after this returns but the one the
    // line's thread may be making; the device stops calling the line.
    void stop();

    int arrived() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return arrivedCount;
    }
    int left() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return leftCount;
    }
    Tally tally(int index) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return index >= 0 && index < tallies.size() ? tallies.at(index) : Tally{};
    }
    bool waitUntilAllLeft(int timeoutMs) const
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this] { return leftCount == units.size(); });
    }

private:
    void prepare(const LineUnit &unit);
    int countAndMaybeLeave(const SimRequest &request);

    SimulatedDevice &device;
    const QList<LineUnit> units;
    const Clock::duration gap;
    const LineListeners listeners;

    // Taken before the device's own lock, never while it is held: the device
    // calls its listener without locks.
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool stopping = false;
    int listenerCalls = 0;  // in progress on the device's thread
    int onCable = -1;
    int pingsInRow = 0;
    int arrivedCount = 0;
    int leftCount = 0;
    QVector<Tally> tallies;
    Clock::time_point nextArrival;
};

// The unit is made up while the cable only echoes, so nobody sees half of it.
void ControllerLine::Play::prepare(const LineUnit &unit)
{
    device.replaceDevice(unit.protocol);
    const IdentityOption &id = unit.identity;
    device.setIdentity(id.deviceId, id.hwVersion, id.blVersion, id.fwMajor, id.fwMinor, id.fwBuild);
    device.setCells(unit.cells);
    for (auto it = unit.stuckCells.cbegin(); it != unit.stuckCells.cend(); ++it) {
        device.setCell(it.key(), it.value());
        device.setCellLimits(it.key(), it.value(), it.value());
    }
}

void ControllerLine::Play::run()
{
    for (int index = 0; index < units.size(); ++index) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (changed.wait_until(lock, nextArrival, [this] { return stopping; }))
                return;
        }
        prepare(units.at(index));
        // Told before the unit can answer, so that its arrival is never told after its departure.
        if (listeners.arrived)
            listeners.arrived(index);
        std::unique_lock<std::mutex> lock(mutex);
        if (stopping)
            return;
        device.attachDevice(units.at(index).protocol);
        onCable = index;
        pingsInRow = 0;
        ++arrivedCount;
        changed.notify_all();
        changed.wait(lock, [this] { return stopping || onCable < 0; });
        if (stopping)
            return;
        nextArrival = Clock::now() + gap;
    }
}

// Called with the mutex held; the unit that left, or -1.
int ControllerLine::Play::countAndMaybeLeave(const SimRequest &request)
{
    if (onCable < 0)
        return -1;
    Tally &tally = tallies[onCable];
    if (request.kind == 'U')
        ++tally.bootloaderEntries;
    else if (request.kind == 'F')
        ++tally.blocks;
    pingsInRow = request.kind == 'S' && request.answered ? pingsInRow + 1 : 0;
    if (pingsInRow < units.at(onCable).leavesAfterPings)
        return -1;
    // At once, on the device's thread, so the very next request finds only the cable.
    device.detachDevice();
    const int leaving = onCable;
    onCable = -1;
    ++leftCount;
    return leaving;
}

void ControllerLine::Play::hear(const SimRequest &request)
{
    int leaving = -1;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping)
            return;
        ++listenerCalls;
        leaving = countAndMaybeLeave(request);
    }
    if (listeners.request)
        listeners.request(request);
    if (leaving >= 0 && listeners.left)
        listeners.left(leaving);
    std::lock_guard<std::mutex> lock(mutex);
    --listenerCalls;
    changed.notify_all();
}

void ControllerLine::Play::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        changed.notify_all();
    }
    device.setRequestListener({});
    // A call already under way may still reach the listeners the owner gave.
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return listenerCalls == 0; });
}

ControllerLine::ControllerLine(SimulatedDevice &device, QList<LineUnit> units, int gapMs, LineListeners listeners)
    : play(std::make_shared<Play>(device, std::move(units), gapMs, std::move(listeners)))
{
    device.detachDevice();
    device.setRequestListener([play = play](const SimRequest &request) { play->hear(request); });
    lineThread = std::thread([play = play] { play->run(); });
}

ControllerLine::~ControllerLine()
{
    play->stop();
    lineThread.join();
}

int ControllerLine::arrivedCount() const
{
    return play->arrived();
}

int ControllerLine::leftCount() const
{
    return play->left();
}

int ControllerLine::bootloaderEntries(int index) const
{
    return play->tally(index).bootloaderEntries;
}

int ControllerLine::blocksReceived(int index) const
{
    return play->tally(index).blocks;
}

bool ControllerLine::waitUntilAllLeft(int timeoutMs) const
{
    return play->waitUntilAllLeft(timeoutMs);
}
