#include "bench/SimProcess.h"

#include <QDeadlineTimer>

#include <csignal>

namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kStatsTimeoutMs = 3000;

} // namespace

SimProcess::Traffic SimProcess::Traffic::operator-(const Traffic &before) const
{
    Traffic d;
    d.exchanges = exchanges - before.exchanges;
    d.requests = requests - before.requests;
    d.bytesIn = bytesIn - before.bytesIn;
    d.bytesOut = bytesOut - before.bytesOut;
    d.lateUs = lateUs;
    d.lineUs = lineUs - before.lineUs;
    return d;
}

bool SimProcess::Traffic::operator==(const Traffic &o) const
{
    return exchanges == o.exchanges && requests == o.requests && bytesIn == o.bytesIn &&
           bytesOut == o.bytesOut;
}

bool SimProcess::Traffic::parse(const QByteArray &line, Traffic *traffic)
{
    const QByteArray text = line.trimmed();
    if (!text.startsWith("stats:"))
        return false;
    Traffic t;
    int found = 0;
    for (const QByteArray &field : text.mid(6).simplified().split(' ')) {
        const int eq = field.indexOf('=');
        if (eq < 1)
            return false;
        const QByteArray key = field.left(eq);
        bool ok = false;
        const double value = field.mid(eq + 1).toDouble(&ok);
        if (!ok)
            return false;
        if (key == "exchanges")
            t.exchanges = qint64(value);
        else if (key == "requests")
            t.requests = qint64(value);
        else if (key == "bytes-in")
            t.bytesIn = qint64(value);
        else if (key == "bytes-out")
            t.bytesOut = qint64(value);
        else if (key == "late-us")
            t.lateUs = value;
        else if (key == "line-us")
            t.lineUs = value; // optional: older simulators do not count it
        else
            continue; // a counter this benchmark does not know
        ++found;
    }
    if (found < 5)
        return false;
    *traffic = t;
    return true;
}

SimProcess::SimProcess(const QString &program) : m_program(program) {}

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start(const QStringList &arguments)
{
    stop();
    m_process.setProgram(m_program);
    m_process.setArguments(arguments);
    m_process.start();
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        m_error = QStringLiteral("%1: %2").arg(m_program, m_process.errorString());
        return false;
    }
    // The first line on standard output is the pseudo-terminal's path.
    m_process.setReadChannel(QProcess::StandardOutput);
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!m_process.canReadLine() && m_process.state() == QProcess::Running &&
           !deadline.hasExpired())
        m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    m_port = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    if (m_port.isEmpty()) {
        m_error = QStringLiteral("%1 did not start: %2")
                      .arg(m_program, QString::fromLocal8Bit(m_process.readAllStandardError()));
        stop();
        return false;
    }
    return true;
}

void SimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate(); // SIGTERM: the simulator cleans up and exits
    if (!m_process.waitForFinished(kStartTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(kStartTimeoutMs);
    }
    m_port.clear();
}

bool SimProcess::traffic(Traffic *traffic)
{
    if (m_process.state() != QProcess::Running) {
        m_error = QStringLiteral("the simulator is not running");
        return false;
    }
    m_process.setReadChannel(QProcess::StandardError);
    m_process.readAll(); // anything it said before is not an answer to this request
    ::kill(pid_t(m_process.processId()), SIGUSR1);
    QDeadlineTimer deadline(kStatsTimeoutMs);
    while (!deadline.hasExpired()) {
        while (m_process.canReadLine()) {
            if (Traffic::parse(m_process.readLine(), traffic))
                return true;
        }
        m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    m_error = QStringLiteral("the simulator did not report its counters");
    return false;
}

bool SimProcess::settled(Traffic *traffic)
{
    Traffic previous;
    if (!this->traffic(&previous))
        return false;
    for (int i = 0; i < 20; ++i) {
        Traffic now;
        if (!this->traffic(&now))
            return false;
        if (now == previous) {
            *traffic = now;
            return true;
        }
        previous = now;
    }
    m_error = QStringLiteral("the simulator's traffic did not come to rest");
    return false;
}
