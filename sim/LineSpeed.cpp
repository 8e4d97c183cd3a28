#include "sim/LineSpeed.h"

#if defined(__linux__)
// termios2 lives in the kernel's headers, which clash with <termios.h>: keep them apart.
#include <asm/termbits.h>
#include <sys/ioctl.h>

int lineSpeed(int fd)
{
    struct termios2 tio;
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return 0;
    return int(tio.c_ospeed);
}

bool setLineSpeed(int fd, int baud)
{
    struct termios2 tio;
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    tio.c_cflag &= ~tcflag_t(CBAUD);
    tio.c_cflag |= BOTHER;
    tio.c_ispeed = tio.c_ospeed = speed_t(baud);
    return ioctl(fd, TCSETS2, &tio) == 0;
}

#else
#include <termios.h>

int lineSpeed(int fd)
{
    struct termios tio;
    if (tcgetattr(fd, &tio) != 0)
        return 0;
    // BSD and macOS keep the rate itself in the speed field.
    return int(cfgetospeed(&tio));
}

bool setLineSpeed(int fd, int baud)
{
    struct termios tio;
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfsetispeed(&tio, speed_t(baud));
    cfsetospeed(&tio, speed_t(baud));
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}
#endif
