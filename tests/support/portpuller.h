#pragma once

// Pulls the simulated cable's port from the computer in the middle of an
// operation that blocks the test's thread: from a thread of its own, once
// the device has seen a number of requests.
#include "simulateddevice.h"

#include <atomic>
#include <thread>

class PortPuller
{
public:
    PortPuller(SimulatedDevice &sim, int requests)
        : worker([this, &sim, requests] {
              if (sim.waitForRequests(requests, 30000)) {
                  sim.setPortGone(true);
                  done = true;
              }
          })
    {
    }
    ~PortPuller() { pulled(); }
    PortPuller(const PortPuller &) = delete;
    PortPuller &operator=(const PortPuller &) = delete;

    // Waits for the pull; false when the device never saw that many requests.
    bool pulled()
    {
        if (worker.joinable())
            worker.join();
        return done;
    }

private:
    std::atomic<bool> done{false};
    std::thread worker;
};
