#include "support/linesettingwatch.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdarg>

// The toolkit's serial port reaches the driver through these two calls of the
// C library; defined here, they stand in front of the library's for the whole
// test program and hand every call on unchanged.
namespace {

std::atomic<int> watchedHandle{-1};
std::atomic<int> writeCount{0};

void noteWrite(int handle)
{
    if (handle >= 0 && handle == watchedHandle.load())
        ++writeCount;
}

bool setsTheLine(unsigned long request)
{
    switch (request) {
    case TCSETS:
    case TCSETSW:
    case TCSETSF:
    case TCSETS2:
    case TCSETSW2:
    case TCSETSF2: return true;
    default: return false;
    }
}

template <typename Function>
Function next(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int tcsetattr(int handle, int actions, const struct termios *settings)
{
    static const auto forward = next<int (*)(int, int, const struct termios *)>("tcsetattr");
    noteWrite(handle);
    return forward(handle, actions, settings);
}

extern "C" int ioctl(int handle, unsigned long request, ...)
{
    static const auto forward = next<int (*)(int, unsigned long, void *)>("ioctl");
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    if (setsTheLine(request))
        noteWrite(handle);
    return forward(handle, request, argument);
}

namespace linesettingwatch {

void watch(qintptr handle)
{
    watchedHandle = int(handle);
    writeCount = 0;
}

int writes()
{
    return writeCount.load();
}

}  // namespace linesettingwatch
