#include "bench/BenchSession.h"

#include "link/ELM327IOBase.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#include <algorithm>

#include <sys/resource.h>

namespace {

constexpr int kStallMs = 15000;

double cpuUsNow()
{
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e6 +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

qint64 peakRssKb()
{
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss; // kilobytes on Linux
}

} // namespace

BenchSession::BenchSession(const QString &simProgram, QObject *parent)
    : QObject(parent), m_sim(simProgram)
{
}

BenchSession::~BenchSession()
{
    // The runner resets the adapter on its way out; the simulator must still be there.
    delete m_runner;
    m_runner = nullptr;
    m_sim.stop();
}

bool BenchSession::start(const QStringList &simArguments)
{
    if (!m_sim.start(simArguments)) {
        m_error = m_sim.errorString();
        return false;
    }
    // The link lists only the system's ports and those named here.
    qputenv("KX4_EXTRA_PORTS", m_sim.port().toLocal8Bit());

    m_runner = new CFGRunner(this);
    m_runner->loadDefaultConfig();
    connect(m_runner, &CFGRunner::stateChanged, this, [this](CFGRunner::State s) {
        m_states.append(s);
        m_rested = false;
        if (s == CFGRunner::NotConnected)
            m_lost = true;
    });
    connect(m_runner, &CFGRunner::alert, this, [this](const QString &msg) { m_alerts << msg; });
    connect(m_runner, &CFGRunner::deviceConfig, this,
            [this](const QVariantList &config) { m_config = config; });
    connect(m_runner, &CFGRunner::boardConfig, this,
            [this](const QVariantMap &board) { m_board = board; });
    connect(m_runner, &CFGRunner::deviceInfo, this,
            [this](const QVariantMap &info) { m_deviceInfo = info; });
    auto *link = m_runner->findChild<ELM327IOBase *>();
    if (!link) {
        m_error = QStringLiteral("the runner has no adapter link");
        return false;
    }
    // The adapter's prompt with nothing queued while the runner is Idle: the exchange
    // has come to rest.
    connect(link, &ELM327IOBase::ready, this, [this] {
        if (m_runner->getState() == CFGRunner::Idle)
            m_rested = true;
    });
    return true;
}

void BenchSession::setRecording(bool on)
{
    m_recording = on;
    m_runner->findChild<ELM327IOBase *>()->recorder().setEnabled(on);
}

int BenchSession::activePositions() const
{
    int n = 0;
    for (const QVariant &v : m_config)
        n += v.toMap().value(QStringLiteral("active")).toBool() ? 1 : 0;
    return n;
}

bool BenchSession::measure(const QString &what, const std::function<bool()> &begin,
                           const std::function<bool()> &done, int timeoutMs, Sample *sample)
{
    SimProcess::Traffic before;
    if (!m_sim.settled(&before)) {
        m_error = what + QStringLiteral(": ") + m_sim.errorString();
        return false;
    }
    m_states.clear();
    m_alerts.clear();
    m_rested = false;
    m_lost = false;

    QEventLoop loop;
    QTimer check;
    // Every signal that can end a run is followed by a look at the condition; the loop
    // itself sleeps in the event dispatcher like the program does.
    const auto look = [&] {
        if ((m_rested && done()) || m_lost)
            loop.quit();
    };
    auto *link = m_runner->findChild<ELM327IOBase *>();
    QList<QMetaObject::Connection> watches = {
        connect(link, &ELM327IOBase::ready, &loop, look, Qt::QueuedConnection),
        connect(m_runner, &CFGRunner::stateChanged, &loop, look, Qt::QueuedConnection),
    };
    // A transfer that stops moving is a failure long before the overall limit: the link
    // reports every frame, and the adapter gives up on a lost reply within a second or
    // so (retransmitted up to ten times).
    QTimer stall;
    stall.setSingleShot(true);
    stall.setInterval(kStallMs);
    connect(&stall, &QTimer::timeout, &loop, [&] { loop.exit(2); });
    watches << connect(link, &ELM327IOBase::read, &stall, qOverload<>(&QTimer::start))
            << connect(link, &ELM327IOBase::ready, &stall, qOverload<>(&QTimer::start));
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, [&] { loop.exit(1); });

    const LinkRecorder &recorder = link->recorder();
    const qint64 entriesBefore = recorder.recorded();
    const double cpuBefore = cpuUsNow();
    QElapsedTimer clock;
    clock.start();
    const bool started = begin();
    int outcome = 0;
    if (started && !((m_rested && done()) || m_lost)) {
        timeout.start(timeoutMs);
        stall.start();
        outcome = loop.exec();
    }
    const double wallUs = double(clock.nsecsElapsed()) / 1000.0;
    const double cpuUs = cpuUsNow() - cpuBefore;
    for (const auto &w : watches)
        disconnect(w);

    if (!started) {
        m_error =
            QStringLiteral("%1: refused (%2)").arg(what, m_alerts.join(QStringLiteral(" | ")));
        return false;
    }
    if (outcome != 0 || m_lost) {
        const QString why = m_lost ? QStringLiteral("the session ended")
                            : outcome == 2
                                ? QStringLiteral("stalled: nothing from the adapter "
                                                 "for %1 s")
                                      .arg(kStallMs / 1000)
                                : QStringLiteral("not finished within %1 s").arg(timeoutMs / 1000);
        m_error = QStringLiteral("%1: %2 (state %3, messages: %4)")
                      .arg(what, why, QString::number(int(m_runner->getState())),
                           m_alerts.join(QStringLiteral(" | ")));
        return false;
    }
    SimProcess::Traffic after;
    if (!m_sim.settled(&after)) {
        m_error = what + QStringLiteral(": ") + m_sim.errorString();
        return false;
    }
    sample->traffic = after - before;
    sample->wallUs = wallUs;
    sample->cpuUs = cpuUs;
    sample->peakRssKb = peakRssKb();
    sample->recording = m_recording;
    sample->recordedEntries = recorder.recorded() - entriesBefore;
    return true;
}

bool BenchSession::connectAndRead(int baud, Sample *sample)
{
    if (m_runner->getState() != CFGRunner::NotConnected)
        m_runner->disconnectFromHost();
    return measure(
        QStringLiteral("discovery and read"),
        [&] { return m_runner->connectToHost(m_sim.port(), baud, false); },
        [&] { return sawState(CFGRunner::Reading); }, 60000, sample);
}

bool BenchSession::writeConfig(const QVariantList &config, Sample *sample)
{
    // The write ends Idle, and 200 ms later the configuration is read again: the run
    // ends when that read is over.
    return measure(
        QStringLiteral("configuration write"),
        [&] {
            m_runner->updateConfig(config, m_board);
            return true;
        },
        [&] { return sawState(CFGRunner::Writing) && sawState(CFGRunner::Reading); }, 60000,
        sample);
}

bool BenchSession::uploadSplash(const QString &pictureFile, Sample *sample)
{
    m_alerts.clear();
    if (!m_runner->loadSplash(QUrl::fromLocalFile(pictureFile).toString()) ||
        !m_runner->canUploadSplash()) {
        m_error = QStringLiteral("splash upload: the picture did not load (%1)")
                      .arg(m_alerts.join(QStringLiteral(" | ")));
        return false;
    }
    return measure(
        QStringLiteral("splash upload"),
        [&] {
            m_runner->uploadSplash();
            return true;
        },
        [&] { return sawState(CFGRunner::Uploading); }, 300000, sample);
}

bool BenchSession::exportBackup(Sample *sample, QString *backupId)
{
    const QVariantList before = m_runner->listSavedConfigs();
    const QString complete = CFGRunner::tr("Export complete!");
    if (!measure(
            QStringLiteral("backup export"), [&] { return m_runner->exportConfig(false); },
            [&] { return !m_alerts.isEmpty(); }, 600000, sample))
        return false;
    // The alert goes on with the new file's name.
    const bool completed = std::any_of(m_alerts.cbegin(), m_alerts.cend(),
                                       [&](const QString &a) { return a.startsWith(complete); });
    if (!completed) {
        m_error = QStringLiteral("backup export: %1").arg(m_alerts.join(QStringLiteral(" | ")));
        return false;
    }
    // The new file is the one that was not listed before.
    QStringList old;
    for (const QVariant &v : before)
        old << v.toMap().value(QStringLiteral("name")).toString();
    for (const QVariant &v : m_runner->listSavedConfigs()) {
        const QString name = v.toMap().value(QStringLiteral("name")).toString();
        if (!old.contains(name)) {
            *backupId = name;
            return true;
        }
    }
    m_error = QStringLiteral("backup export: no new backup file");
    return false;
}

bool BenchSession::importBackup(const QString &backupId, Sample *sample)
{
    const QString finished = CFGRunner::tr("Import finished");
    // After "Import finished" the configuration is read again: the run ends after it.
    if (!measure(
            QStringLiteral("backup import"),
            [&] { return m_runner->importConfig(backupId, false); },
            [&] { return sawAlert(finished) && sawState(CFGRunner::Reading); }, 600000, sample))
        return false;
    if (!sawAlert(finished)) {
        m_error = QStringLiteral("backup import: %1").arg(m_alerts.join(QStringLiteral(" | ")));
        return false;
    }
    return true;
}
