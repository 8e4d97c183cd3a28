#include "sim/PtySimulator.h"

#include "sim/LineSpeed.h"

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#if defined(__linux__)
#include <sys/inotify.h>
#endif

Q_LOGGING_CATEGORY(lcSim, "kx4.sim", QtWarningMsg)

PtySimulator::PtySimulator(QObject *parent) : QObject(parent), m_adapter(&m_dashboard)
{
    m_clock.start();
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &PtySimulator::flushDue);
    m_adapter.setObserver([this](const SimAdapter::LogEntry &e) {
        if (e.type == SimAdapter::LogEntry::Command)
            emit commandReceived(e.text);
        else if (e.type == SimAdapter::LogEntry::HostFrame)
            emit frameReceived(e.frame);
        else
            emit deviceFrame(e.frame);
    });
}

PtySimulator::~PtySimulator()
{
    m_adapter.setObserver(nullptr);
    closeFds();
}

bool PtySimulator::start()
{
    if (isRunning())
        return true;
    auto fail = [this](const char *what) {
        m_error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                               QString::fromLocal8Bit(strerror(errno)));
        closeFds();
        return false;
    };
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return fail("posix_openpt");
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        return fail("grantpt/unlockpt");
    const char *name = ptsname(m_master);
    if (!name)
        return fail("ptsname");
    m_slavePath = QString::fromLocal8Bit(name);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    fcntl(m_master, F_SETFD, FD_CLOEXEC);

    // Holding the slave open keeps the master readable while the client closes and
    // reopens the port (rate detection does that); raw mode keeps the line driver from
    // echoing or translating what either side writes before the client sets it up.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0)
        return fail("open slave");
    struct termios tio;
    if (tcgetattr(m_slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(m_slave, TCSANOW, &tio);
    }
    // The serial library puts these settings back when the client closes the port, after
    // its last bytes went out at the client's rate: they must still read as sent at it.
    setLineSpeed(m_slave, baudRate());

#if defined(__linux__)
    // Our own slave fd keeps the line alive, so the master never sees the client close.
    // Watch the device node instead: a serial port drops what the client has not read
    // when it closes, and what the adapter sends while nobody has the port open is lost.
    m_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watch >= 0 && inotify_add_watch(m_watch, name, IN_OPEN | IN_CLOSE) < 0) {
        ::close(m_watch);
        m_watch = -1;
    }
    if (m_watch >= 0) {
        m_watchNotifier = new QSocketNotifier(m_watch, QSocketNotifier::Read, this);
        connect(m_watchNotifier, &QSocketNotifier::activated, this, &PtySimulator::watchClients);
    }
#endif
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtySimulator::onReadable);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtySimulator::writeBacklog);
    m_error.clear();
    qCDebug(lcSim) << "serving" << m_slavePath << "at" << baudRate();
    return true;
}

int PtySimulator::clientBaudRate() const
{
    if (m_slave < 0)
        return 0;
    if (!clientPresent() && m_lastClientRate > 0)
        return m_lastClientRate;
    return lineSpeed(m_slave);
}

void PtySimulator::setModule(int upMs, int downMs)
{
    if (upMs < 0 || downMs < 0) {
        m_moduleUpUs = -1;
        m_moduleDownUs = 0;
        return;
    }
    m_moduleUpUs = qint64(upMs) * 1000;
    m_moduleDownUs = qint64(downMs) * 1000;
}

int PtySimulator::hostSideRate() const
{
    return hasModule() ? baudRate() : clientBaudRate();
}

bool PtySimulator::ratesMatch(int a, int b)
{
    return a > 0 && b > 0 && qAbs(qint64(a) - b) * 50 <= qMax(a, b);
}

void PtySimulator::closeFds()
{
    m_timer->stop();
    m_pending.clear();
    m_backlog.clear();
    m_switchListenUs = -1;
    delete m_notifier;
    m_notifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    delete m_watchNotifier;
    m_watchNotifier = nullptr;
    if (m_watch >= 0)
        ::close(m_watch);
    m_watch = -1;
    m_clients = 0;
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = -1;
    m_master = -1;
}

void PtySimulator::hangUp()
{
    if (!isRunning())
        return;
    qCDebug(lcSim) << "hanging up" << m_slavePath;
    closeFds();
    emit hungUp();
}

void PtySimulator::watchClients()
{
#if defined(__linux__)
    if (m_watch < 0)
        return;
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_watch, buf, sizeof buf);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n;) {
            const auto *e = reinterpret_cast<const inotify_event *>(buf + i);
            if (e->mask & IN_OPEN) {
                ++m_clients;
            } else if ((e->mask & IN_CLOSE) && m_clients > 0 && --m_clients == 0) {
                qCDebug(lcSim) << "client closed" << m_slavePath;
                tcflush(m_slave, TCIFLUSH); // unread output goes with the port
                // A rate switch the client left in the middle ends as unheard.
                m_adapter.finishRateSwitch(false);
                m_switchListenUs = -1;
                m_backlog.clear();
                // A chip in the middle of a reset prints its banner when it is done,
                // whoever has the line open by then.
                for (int p = m_pending.size() - 1; p >= 0; --p) {
                    if (!m_pending.at(p).afterReset)
                        m_pending.removeAt(p);
                }
                m_timer->stop();
                if (!m_pending.isEmpty())
                    m_timer->start(int(qMax<qint64>(0, m_pending.first().dueUs - nowUs()) / 1000));
            }
            i += ssize_t(sizeof(inotify_event) + e->len);
        }
    }
#endif
}

void PtySimulator::onReadable()
{
    watchClients(); // a close that came before these bytes were read
    QByteArray in;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            in.append(buf, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: all read; EIO cannot happen while we hold the slave
    }
    if (in.isEmpty())
        return;
    m_bytesIn += in.size();
    emit bytesReceivedFrom(in);
    const int clientRate = hostSideRate();
    {
        const int rate = ratesMatch(clientRate, lineRate()) ? lineRate() : clientRate;
        if (rate > 0)
            m_lineUs += double(in.size()) * 10e6 / rate;
    }

    if (clientPresent())
        m_lastClientRate = clientBaudRate();
    // A module passes the burst on once its packet has gone over the air.
    const qint64 arrivedUs = nowUs() + (hasModule() ? m_moduleUpUs : 0);
    if (m_adapter.rateSwitchPending()) {
        takeRateSwitchInput(in,
                            m_pacing ? arrivedUs + lineTimeUs(in.size(), clientRate) : arrivedUs);
        return;
    }
    if (!ratesMatch(clientRate, lineRate())) {
        // A UART at the wrong rate sees framing errors, and what it sends back is noise
        // to the other side; never anything that looks like text.
        qCDebug(lcSim) << "client at" << clientRate << "adapter at" << baudRate();
        if (m_garbageOnWrongBaud) {
            schedule({SimAdapter::Output{0, noise(in.size()), false}}, nowUs());
        }
        return;
    }

    // With pacing the request itself takes its time on the line: the adapter starts on it
    // once its last byte would have arrived.
    qint64 start = arrivedUs;
    if (m_pacing && lineRate() > 0) {
        m_inputDoneUs = qMax(start, m_inputDoneUs) + lineTimeUs(in.size(), lineRate());
        start = m_inputDoneUs;
    }

    m_lastOutput.clear();
    const bool busWait = !m_pending.isEmpty() && m_pending.first().waitingForBus;
    if (busWait) {
        // The chip was still waiting for the bus: any input stops it.
        m_pending.clear();
        m_timer->stop();
        schedule(m_adapter.interrupt(), start);
        return;
    }
    const int before = m_adapter.lineCount();
    schedule(m_adapter.receive(in), start);
    m_exchanges += m_adapter.lineCount() - before;
}

// While a rate switch waits, the chip hears only a carriage return at the new rate that
// comes after its identification and before "at brt" runs out; anything else is lost. With
// no wait at all nothing is heard, however soon the carriage return comes.
bool PtySimulator::takeRateSwitchInput(const QByteArray &in, qint64 startUs)
{
    const bool heard = in.contains('\r') && m_adapter.rateSwitchWaitMs() > 0 &&
                       m_switchListenUs >= 0 && startUs >= m_switchListenUs &&
                       ratesMatch(hostSideRate(), m_adapter.rateSwitchTarget());
    qCDebug(lcSim) << "rate switch input" << in << (heard ? "heard" : "not heard");
    if (!heard)
        return false;
    for (int i = m_pending.size() - 1; i >= 0; --i) {
        if (m_pending.at(i).switchDeadline)
            m_pending.removeAt(i);
    }
    m_switchListenUs = -1;
    schedule(m_adapter.finishRateSwitch(true), startUs);
    return true;
}

QByteArray PtySimulator::noise(int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i) {
        m_garbageSeed = m_garbageSeed * 1103515245u + 12345u;
        out.append(char(0x80 | ((m_garbageSeed >> 16) & 0x7F)));
    }
    return out;
}

qint64 PtySimulator::lineTimeUs(int bytes, int baud) const
{
    return baud > 0 ? qint64(bytes) * 10 * 1000000 / baud : 0; // 10 bits a byte
}

void PtySimulator::schedule(const QList<SimAdapter::Output> &outputs, qint64 startUs)
{
    for (const SimAdapter::Output &o : outputs) {
        if (o.bytes.isEmpty() && !o.hangUp)
            continue; // nothing to print (echo off): no need to wake up for it
        // Through a module the answer waits for the module's packet on the way back.
        qint64 due = startUs + o.delayUs + (hasModule() ? m_moduleDownUs : 0);
        if (m_pacing) {
            due =
                qMax(due, m_lineFreeUs) + lineTimeUs(o.bytes.size(), o.baud ? o.baud : lineRate());
            m_lineFreeUs = due;
        }
        Pending p{due,          o.bytes,    o.hangUp, o.delayUs > 0 && !o.afterReset,
                  o.afterReset, o.resetDone};
        p.baud = o.baud;
        m_pending.append(p);
    }
    if (m_adapter.rateSwitchPending() && m_switchListenUs < 0 && !m_pending.isEmpty()) {
        // The chip listens once its identification is out, for "at brt".
        m_switchListenUs = m_pending.last().dueUs;
        Pending deadline{m_switchListenUs + qint64(m_adapter.rateSwitchWaitMs()) * 1000,
                         QByteArray(), false, false};
        deadline.switchDeadline = true;
        m_pending.append(deadline);
    }
    flushDue();
}

void PtySimulator::flushDue()
{
    // Timers count whole milliseconds and each wake-up through the event loop adds its own
    // delay, while a paced answer at 115200 baud is due within a few milliseconds: short
    // waits are slept here (the client waits for this answer anyway); long ones (a time-out)
    // go to the timer, which wakes us a little early for the last stretch.
    constexpr qint64 kSleepUs = 20000;
    constexpr qint64 kSpinUs = 150;
    while (!m_pending.isEmpty()) {
        const qint64 wait = m_pending.first().dueUs - nowUs();
        if (wait > kSleepUs) {
            m_timer->start(int((wait - kSleepUs) / 1000));
            return;
        }
        // Sleeping overshoots by tens of microseconds: spin through the very end.
        if (wait > kSpinUs)
            QThread::usleep(quint64(wait - kSpinUs));
        while (nowUs() < m_pending.first().dueUs) {
        }
        const Pending p = m_pending.takeFirst();
        if (p.switchDeadline) {
            m_switchListenUs = -1;
            schedule(m_adapter.finishRateSwitch(false), nowUs());
            return; // schedule() went on with what is due
        }
        m_lateUs += nowUs() - p.dueUs;
        ++m_lateCount;
        if (p.hangUp) {
            hangUp();
            return;
        }
        writeOut(p.bytes, p.baud);
        if (p.resetDone) {
            m_adapter.finishReset();
            if (!m_adapter.hasHeldInput())
                continue;
            // Out of the reset, the chip gets to what arrived meanwhile.
            const int before = m_adapter.lineCount();
            schedule(m_adapter.receive(QByteArray()), nowUs());
            m_exchanges += m_adapter.lineCount() - before;
        }
    }
}

void PtySimulator::writeOut(const QByteArray &bytes, int baud)
{
    if (bytes.isEmpty() || !isRunning() || !clientPresent())
        return;
    if (baud && !ratesMatch(baud, hostSideRate())) {
        // Sent at a rate the client (or the module) is not at: its UART makes noise of it.
        qCDebug(lcSim) << "output at" << baud << "is noise to a client at" << hostSideRate();
        writeOut(noise(bytes.size()), 0);
        return;
    }
    m_bytesOut += bytes.size();
    if (const int rate = baud ? baud : lineRate())
        m_lineUs += double(bytes.size()) * 10e6 / rate;
    m_lastOutput += bytes;
    emit bytesSentTo(bytes);
    m_backlog += bytes;
    writeBacklog();
}

void PtySimulator::writeBacklog()
{
    while (!m_backlog.isEmpty() && m_master >= 0) {
        const ssize_t n = ::write(m_master, m_backlog.constData(), size_t(m_backlog.size()));
        if (n > 0) {
            m_backlog.remove(0, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // the client is not reading: wait until the pty takes more
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_backlog.isEmpty());
}
