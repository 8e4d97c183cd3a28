#include "fuzz/harness/PtyLine.h"

#include <QSerialPort>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

PtyLine &PtyLine::shared()
{
    static PtyLine *line = [] {
        auto *made = new PtyLine;
        qputenv("KX4_EXTRA_PORTS", made->path().toLocal8Bit());
        return made;
    }();
    return *line;
}

PtyLine::PtyLine()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0)
        return;
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        ::close(m_master);
        m_master = -1;
        return;
    }
    m_path = QString::fromLocal8Bit(ptsname(m_master));
    m_slave = ::open(ptsname(m_master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios raw;
    if (m_slave >= 0 && tcgetattr(m_slave, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(m_slave, TCSANOW, &raw);
    }
}

PtyLine::~PtyLine()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

void PtyLine::reset()
{
    if (m_slave >= 0)
        tcflush(m_slave, TCIOFLUSH);
    take();
    m_partial.clear();
}

int PtyLine::pending() const
{
    int n = 0;
    if (m_slave < 0 || ioctl(m_slave, FIONREAD, &n) != 0)
        return 0;
    return n;
}

void PtyLine::feed(const QByteArray &bytes, QSerialPort *port)
{
    if (bytes.isEmpty() || !port || !port->isOpen())
        return;
    int done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += int(n);
        } else if (n < 0 && errno == EAGAIN) {
            // The line is full: let the link read, then go on.
            if (!port->isOpen() || !port->waitForReadyRead(200))
                break;
        } else {
            break;
        }
    }
    // The bytes cross the pty a moment later; the first wait takes them in, further
    // ones pick up what arrived in more than one piece.
    if (port->isOpen())
        port->waitForReadyRead(200);
    for (int guard = 0; guard < 16 && port->isOpen() && pending() > 0; ++guard)
        port->waitForReadyRead(50);
}

QByteArray PtyLine::take()
{
    QByteArray out;
    if (m_master < 0)
        return out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        out.append(buffer, int(n));
    }
    return out;
}

QList<QByteArray> PtyLine::takeLines()
{
    m_partial += take();
    QList<QByteArray> lines;
    int cr;
    while ((cr = m_partial.indexOf('\r')) >= 0) {
        lines << m_partial.left(cr);
        m_partial.remove(0, cr + 1);
    }
    return lines;
}
