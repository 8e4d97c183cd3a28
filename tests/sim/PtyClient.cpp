#include "PtyClient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#if defined(__linux__)
#include <sys/ioctl.h>
// Only for rates without a Bxxx constant; declared here to keep <asm/termbits.h> out.
struct kx4_termios2
{
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};
#define KX4_TCGETS2 _IOR('T', 0x2A, struct kx4_termios2)
#define KX4_TCSETS2 _IOW('T', 0x2B, struct kx4_termios2)
#define KX4_BOTHER 0010000
#endif

namespace {
speed_t standardSpeed(int baud)
{
    switch (baud) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    default:
        return 0;
    }
}
} // namespace

PtyClient::~PtyClient()
{
    close();
}

bool PtyClient::open(const QString &path, int baud)
{
    close();
    m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0)
        return false;
    return setBaud(baud);
}

bool PtyClient::setBaud(int baud)
{
    struct termios tio;
    if (tcgetattr(m_fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    const speed_t s = standardSpeed(baud);
    if (s) {
        cfsetispeed(&tio, s);
        cfsetospeed(&tio, s);
        return tcsetattr(m_fd, TCSANOW, &tio) == 0;
    }
#if defined(__linux__)
    if (tcsetattr(m_fd, TCSANOW, &tio) != 0)
        return false;
    kx4_termios2 t2;
    if (ioctl(m_fd, KX4_TCGETS2, &t2) != 0)
        return false;
    t2.c_cflag &= ~tcflag_t(CBAUD);
    t2.c_cflag |= KX4_BOTHER;
    t2.c_ispeed = t2.c_ospeed = speed_t(baud);
    return ioctl(m_fd, KX4_TCSETS2, &t2) == 0;
#else
    return false;
#endif
}

void PtyClient::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool PtyClient::write(const QByteArray &bytes)
{
    return m_fd >= 0 && ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

QByteArray PtyClient::exchange(const QByteArray &bytes, int timeoutMs)
{
    if (!write(bytes))
        return QByteArray();
    return readFor(timeoutMs);
}

QByteArray PtyClient::readFor(int timeoutMs, bool untilPrompt)
{
    QByteArray out;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        // The simulator runs in this thread's event loop: let it work, then read.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        char buf[1024];
        const ssize_t n = m_fd >= 0 ? ::read(m_fd, buf, sizeof buf) : -1;
        if (n > 0) {
            out.append(buf, int(n));
            if (untilPrompt && out.endsWith('>'))
                break;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        pollfd p{m_fd, POLLIN, 0};
        ::poll(&p, 1, 1);
    }
    return out;
}

bool PtyClient::hungUp()
{
    if (m_fd < 0)
        return true;
    QCoreApplication::processEvents();
    char c;
    const ssize_t n = ::read(m_fd, &c, 1);
    return n == 0 || (n < 0 && errno == EIO);
}
