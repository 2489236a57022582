#pragma once

#include <QString>

// What the program's exit status tells a script.
enum class ExitStatus {
    Done = 0,  // for diff: no difference
    Differences = 1,  // diff found differences
    Declined = 1,  // flash: the user did not confirm
    BadUsage = 2,  // bad arguments, or a file that cannot be used
    NoPort = 3,  // no cable or no port
    NoDevice = 4,  // nothing answered behind the cable
    NoDescription = 5,  // no description, a file made for another device, or no backup of it
    DeviceFailed = 6,  // a write, read-back or upload failed
    NotRestored = 7,  // load, restore or a restore after a flash left saved settings as they were
    // Stopped by a signal, as shells report it: 128 + its number.
    HungUp = 129,  // SIGHUP
    Interrupted = 130,  // Ctrl+C
    Terminated = 143,  // SIGTERM
};

// Why a command ends early, in one plain sentence for standard error.
struct Failure {
    ExitStatus status;
    QString sentence;
};
