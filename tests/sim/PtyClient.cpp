#include "PtyClient.h"

#include "sim/LineSpeed.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

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
    return tcsetattr(m_fd, TCSANOW, &tio) == 0 && setLineSpeed(m_fd, baud) &&
           lineSpeed(m_fd) == baud;
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
