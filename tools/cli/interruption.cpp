#include "interruption.h"

#include <atomic>
#include <csignal>

#include <unistd.h>

namespace interruption {

namespace {

std::atomic<int> presses{0};
std::atomic<bool> duringUpload{false};

const char UploadWarning[] =
    "\nStopping now leaves the controller with partly written firmware. "
    "Press Ctrl+C again to stop after the current block.\n";

void onInterrupt(int)
{
    // Only async-signal-safe calls here.
    if (++presses == 1 && duringUpload)
        (void)!::write(STDERR_FILENO, UploadWarning, sizeof UploadWarning - 1);
}

}  // namespace

void install()
{
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

void setUploading(bool uploading)
{
    // A press during the upload was only a warning once it is over.
    if (!uploading && duringUpload && presses == 1)
        presses = 0;
    duringUpload = uploading;
}

bool stopRequested()
{
    return presses >= (duringUpload ? 2 : 1);
}

}  // namespace interruption
