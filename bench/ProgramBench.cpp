#include "bench/ProgramBench.h"

#include "bench/SimProcess.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

namespace {

constexpr int kFrameTimeoutMs = 30000;
constexpr int kReadTimeoutMs = 30000;
// The device page appears with a transition after the read: let it finish before the
// peak is taken (the figure is a high-water mark, so waiting never lowers it).
constexpr int kSettleMs = 1500;
constexpr int kBaud = 115200;

// VmHWM of /proc/<pid>/status: the peak resident set size in kB.
qint64 peakResidentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Waits for a "kx4-probe: <what>" line on the program's standard error.
bool waitForProbe(QProcess &p, const QByteArray &what, int timeoutMs, QByteArray *other)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && p.state() == QProcess::Running) {
        while (p.canReadLine()) {
            const QByteArray line = p.readLine().trimmed();
            if (line == "kx4-probe: " + what)
                return true;
            if (line.startsWith("kx4-probe: "))
                *other = line; // connect-failed, connection-lost, no-window
        }
        if (!other->isEmpty())
            return false;
        p.waitForReadyRead(int(qMax<qint64>(1, qMin<qint64>(100, deadline.remainingTime()))));
    }
    return false;
}

} // namespace

ProgramBench::ProgramBench(const Settings &settings, QTextStream &log)
    : m_settings(settings), m_log(log)
{
}

bool ProgramBench::run(BenchReport::Program &result)
{
    if (m_settings.program.isEmpty() || !QFileInfo(m_settings.program).isExecutable()) {
        result.note = QStringLiteral("the program was not built");
        return false;
    }
    if (m_settings.environment.value(QStringLiteral("DISPLAY")).isEmpty()) {
        result.note = QStringLiteral("no display server (scripts/bench runs under xvfb-run)");
        return false;
    }
    m_log << "program: start to first frame, memory after the configuration read" << Qt::endl;
    // One start first that is not counted: the program's files come into the page cache.
    for (int rep = -1; rep < m_settings.repetitions; ++rep) {
        double ms = 0;
        qint64 kb = 0;
        QString error;
        if (!measureOnce(&ms, &kb, &error)) {
            result.note = error;
            result.firstFrameMs.clear();
            result.peakRssKb.clear();
            return false;
        }
        if (rep >= 0) {
            result.firstFrameMs << ms;
            result.peakRssKb << kb;
        }
    }
    result.measured = true;
    result.note = QStringLiteral("display %1, demo dashboard at %2 bit/s")
                      .arg(m_settings.environment.value(QStringLiteral("DISPLAY")))
                      .arg(kBaud);
    return true;
}

bool ProgramBench::measureOnce(double *firstFrameMs, qint64 *peakKb, QString *error)
{
    SimProcess sim(m_settings.simProgram);
    if (!sim.start({QStringLiteral("--baud"), QString::number(kBaud)})) {
        *error = sim.errorString();
        return false;
    }
    QProcessEnvironment env = m_settings.environment;
    env.insert(QStringLiteral("KX4_PROBE"), QStringLiteral("1"));
    env.insert(QStringLiteral("KX4_PROBE_CONNECT"),
               QStringLiteral("%1@%2").arg(sim.port()).arg(kBaud));
    env.insert(QStringLiteral("KX4_EXTRA_PORTS"), sim.port());

    QProcess program;
    program.setProcessEnvironment(env);
    program.setProgram(m_settings.program);
    program.setReadChannel(QProcess::StandardError);
    program.setStandardOutputFile(QProcess::nullDevice());

    QElapsedTimer clock;
    clock.start();
    program.start();
    const auto stop = [&program] {
        program.terminate();
        if (!program.waitForFinished(5000)) {
            program.kill();
            program.waitForFinished(5000);
        }
    };
    QByteArray other;
    if (!program.waitForStarted(kFrameTimeoutMs) ||
        !waitForProbe(program, "first-frame", kFrameTimeoutMs, &other)) {
        *error = QStringLiteral("no first frame from %1 (%2%3)")
                     .arg(m_settings.program, QString::fromLocal8Bit(other),
                          QString::fromLocal8Bit(program.readAllStandardError().left(500)));
        stop();
        return false;
    }
    *firstFrameMs = double(clock.nsecsElapsed()) / 1e6;

    if (!waitForProbe(program, "configuration-read", kReadTimeoutMs, &other)) {
        *error = QStringLiteral("the program did not read the configuration (%1)")
                     .arg(QString::fromLocal8Bit(other));
        stop();
        return false;
    }
    QEventLoop settle;
    QTimer::singleShot(kSettleMs, &settle, &QEventLoop::quit);
    settle.exec();
    *peakKb = peakResidentKb(program.processId());
    stop();
    if (*peakKb < 0) {
        *error = QStringLiteral("the program's memory could not be read");
        return false;
    }
    return true;
}
