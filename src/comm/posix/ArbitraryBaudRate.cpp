#include "comm/posix/ArbitraryBaudRate.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

// <sys/ioctl.h> would pull in the libc termios definitions, so declare ioctl directly.
extern "C" int ioctl(int fd, unsigned long request, ...);

bool SetArbitraryBaudRate(int fd, uint32_t rate) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ospeed = rate;
    t.c_ispeed = rate;
    return ioctl(fd, TCSETS2, &t) == 0;
}

bool GetArbitraryBaudRate(int fd, uint32_t* outputRate, uint32_t* inputRate) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    *outputRate = t.c_ospeed;
    *inputRate = t.c_ispeed;
    return true;
}
