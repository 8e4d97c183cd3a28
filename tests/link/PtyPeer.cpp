#include "PtyPeer.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPeer::PtyPeer(QObject *parent) : QObject(parent)
{
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        master = slave = -1;
        return;
    }
    path = QString::fromLocal8Bit(name);
    // Raw from the start, so nothing is echoed or translated before the link configures the line.
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    // The peer keeps its own handle on the slave, so the master never sees a hang-up while the
    // link closes and reopens its port.
    notifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &PtyPeer::readMaster);
}

PtyPeer::~PtyPeer()
{
    closeMaster();
    if (slave >= 0)
        ::close(slave);
}

void PtyPeer::clearReceived()
{
    rx.clear();
    partial.clear();
    cmds.clear();
    rates.clear();
}

int PtyPeer::baudRate() const
{
    termios t{};
    if (master < 0 || tcgetattr(master, &t) != 0)
        return 0;
    switch (cfgetospeed(&t)) {
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    case B500000:
        return 500000;
    case B1000000:
        return 1000000;
    case B2000000:
        return 2000000;
    case B4000000:
        return 4000000;
    default:
        return 0;
    }
}

termios PtyPeer::lineSettings() const
{
    termios t{};
    if (master >= 0)
        tcgetattr(master, &t);
    return t;
}

void PtyPeer::send(const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0 && master >= 0) {
        const ssize_t n = ::write(master, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return;
        }
        p += n;
        left -= n;
    }
}

void PtyPeer::closeMaster()
{
    delete notifier;
    notifier = nullptr;
    if (master >= 0)
        ::close(master);
    master = -1;
}

void PtyPeer::readMaster()
{
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0)
            break;
        rx.append(buf, int(n));
        partial.append(buf, int(n));
    }
    int cr;
    while ((cr = partial.indexOf('\r')) >= 0) {
        const QByteArray command = partial.left(cr);
        partial.remove(0, cr + 1);
        const int baud = baudRate();
        cmds << command;
        rates << baud;
        emit commandReceived(command);
        if (responder)
            send(responder(command, baud));
    }
}

QByteArray PtyPeer::adapterAnswer(const QByteArray &command)
{
    const QByteArray c = command.trimmed().toLower();
    if (c == "ati" || c == "atws" || c == "atz")
        return "\r\rELM327 v1.5\r\r>";
    if (c == "at rv")
        return "12.6V\r\r>";
    if (c.startsWith("at") || c.startsWith("st"))
        return "OK\r\r>";
    return QByteArray();
}
