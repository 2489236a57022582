#pragma once

#include "simoptions.h"
#include "simulateddevice.h"

#include <QList>

#include <functional>
#include <memory>
#include <thread>

// What a line tells as it plays. `arrived` comes on the line's own thread,
// `request` and `left` on the device's; none of them with a lock held.
struct LineListeners {
    std::function<void(int unit)> arrived;
    std::function<void(const SimRequest &request)> request;  // every request the device heard
    std::function<void(int unit)> left;
};

// Controller after controller behind one cable: a unit arrives, answers
// until it has been pinged enough in a row, leaves (the cable keeps
// echoing), and the next one arrives after a gap. Each arrival replaces the
// device (SimulatedDevice::replaceDevice), so nothing of one unit is left for
// the next; block frames are recognised at the block size set on the device.
// The line holds the device's request listener while it lives. All public
// calls are thread-safe.
class ControllerLine
{
public:
    // The first unit arrives `gapMs` after construction; each next one `gapMs` after the one before left.
    ControllerLine(SimulatedDevice &device, QList<LineUnit> units, int gapMs = 200, LineListeners listeners = {});
    ~ControllerLine();
    ControllerLine(const ControllerLine &) = delete;
    ControllerLine &operator=(const ControllerLine &) = delete;

    int arrivedCount() const;
    int leftCount() const;
    // Bootloader entries and good blocks while unit `index` was on the cable.
    int bootloaderEntries(int index) const;
    int blocksReceived(int index) const;
    bool waitUntilAllLeft(int timeoutMs) const;

private:
    class Play;
    // Shared with the device's listener, which may still run when the line goes.
    std::shared_ptr<Play> play;
    std::thread lineThread;
};
