// Kept apart: <asm/termbits.h> and <termios.h> cannot share a translation unit.
#include "pseudoterminal.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

int slaveBaudRate(int masterFd)
{
    // termios2 carries the plain number, also for rates without a B-constant
    // such as 19000; the kernel fills it for the classic rates as well.
    struct termios2 settings {};
    if (ioctl(masterFd, TCGETS2, &settings) != 0)
        return 0;
    return static_cast<int>(settings.c_ospeed);
}

int PseudoTerminal::baudRate()
{
    return slaveBaudRate(master);
}
