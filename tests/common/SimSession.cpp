#include "tests/common/SimSession.h"

#include "config/BackupFile.h"
#include "config/BackupStorage.h"
#include "config/ParameterCatalogue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QtEndian>

SimSession::SimSession(QObject *parent) : QObject(parent) {}

SimSession::~SimSession()
{
    // The runner resets the adapter through the pty on its way out, so it goes first.
    m_runner.reset();
    m_tcp.reset();
    m_sim.reset();
}

bool SimSession::start(int adapterBaud, int resetDelayMs, bool chipModel, Transport transport)
{
    QStandardPaths::setTestModeEnabled(true);
    m_sim = std::make_unique<PtySimulator>();
    m_sim->setBaudRate(adapterBaud);
    m_sim->setResetDelayMs(resetDelayMs);
    m_sim->adapter().setChipModel(chipModel);
    m_sim->adapter().setNoDataTimeoutMs(NoDataTimeoutMs);
    if (!m_sim->start()) {
        m_error = m_sim->errorString();
        return false;
    }
    if (transport == Transport::Network) {
        m_tcp = std::make_unique<TcpSimulator>(m_sim.get());
        if (!m_tcp->listen()) {
            m_error = m_tcp->errorString();
            return false;
        }
    }
    qputenv("KX4_EXTRA_PORTS", m_sim->slavePath().toLocal8Bit());
    m_runner = std::make_unique<CFGRunner>();
    return true;
}

bool SimSession::connectRunner(int baud, bool adv, int timeoutMs)
{
    // A session closed just before sent the adapter its reset ("ATZ") on the way out. A
    // real adapter has answered it long before anyone connects again; the simulator
    // shares this thread, so let it read the reset while the port is still closed, or
    // its answer would land in the new session.
    QElapsedTimer settle;
    settle.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    } while (m_sim->clientPresent() && settle.elapsed() < 200);
    QCoreApplication::processEvents();

    if (!m_runner->connectToHost(port(), baud, adv))
        return false;
    return waitForIdle(timeoutMs);
}

namespace {

// Runs the event loop until `reached` is set (by a signal handler that also quits the
// loop) or the time runs out. A polling wait (QTest::qWaitFor) sleeps 10 ms between
// looks, which would add that much to every exchange of a long transfer.
bool runUntil(const bool &reached, QEventLoop &loop, int timeoutMs)
{
    if (reached)
        return true;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    loop.exec();
    return reached;
}

} // namespace

bool SimSession::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QTimer tick; // wakes the loop while nothing else happens
    tick.start(10);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool SimSession::waitForState(CFGRunner::State state, int timeoutMs)
{
    bool reached = m_runner->getState() == state;
    QEventLoop loop;
    const auto watch = connect(m_runner.get(), &CFGRunner::stateChanged, this,
                               [&reached, &loop, state](CFGRunner::State s) {
                                   if (s == state) {
                                       reached = true;
                                       loop.quit();
                                   }
                               });
    const bool ok = runUntil(reached, loop, timeoutMs);
    disconnect(watch);
    return ok;
}

bool SimSession::waitForIdle(int timeoutMs)
{
    // The link says ready() when the adapter is back at its prompt with nothing queued;
    // seen while the runner is Idle, the exchange has come to rest.
    auto *link = m_runner->findChild<ELM327IOBase *>();
    if (!link)
        return false;
    bool rested = false;
    QEventLoop loop;
    CFGRunner *runner = m_runner.get();
    const auto watch = connect(link, &ELM327IOBase::ready, this, [&rested, &loop, runner] {
        if (runner->getState() == CFGRunner::Idle) {
            rested = true;
            loop.quit();
        }
    });
    const bool ok = runUntil(rested, loop, timeoutMs);
    disconnect(watch);
    return ok;
}

QList<QByteArray> SimSession::hostFrames() const
{
    QList<QByteArray> frames;
    const auto all = m_sim->hostFrames();
    for (const SimFrame &f : all)
        frames.append(f.data);
    return frames;
}

QByteArray SimSession::memory(int address, int length) const
{
    return m_sim->dashboard().readMemory(address, length);
}

void SimSession::setMemory(int address, const QByteArray &bytes)
{
    m_sim->dashboard().writeMemory(address, bytes);
}

QJsonObject SimSession::catalogueItem(const QString &name, int cid)
{
    if (m_runner->engines().isEmpty())
        m_runner->loadDefaultConfig();
    // The whole catalogue, whatever engine the runner has selected.
    ParameterCatalogue::EngineTable engines;
    ParameterCatalogue::ItemTable items;
    ParameterCatalogue::load(ParameterCatalogue::defaultPath(), engines, items);
    for (const QJsonObject &item : qAsConst(items)) {
        if (item.value(QStringLiteral("name")).toString() == name &&
            (cid < 0 || item.value(QStringLiteral("cid")).toInt() == cid))
            return item;
    }
    return QJsonObject();
}

quint32 SimSession::hashOf(const QJsonObject &item)
{
    return ParameterCatalogue::parameterHash(item);
}

QVariantList SimSession::configList(int positions, const QMap<int, QJsonObject> &items)
{
    QVariantList list;
    for (int i = 0; i < positions; ++i) {
        const QJsonObject item = items.value(i);
        if (item.isEmpty()) {
            list.append(QVariantMap{{QStringLiteral("active"), false},
                                    {QStringLiteral("hid"), 0},
                                    {QStringLiteral("descr"), QString()}});
        } else {
            const uint hid = hashOf(item);
            list.append(QVariantMap{{QStringLiteral("active"), true},
                                    {QStringLiteral("hid"), hid},
                                    {QStringLiteral("descr"), m_runner->describeParam(hid)}});
        }
    }
    return list;
}

QByteArray SimSession::blockRead(int address)
{
    QByteArray m(8, '\xFF');
    qToLittleEndian<quint16>(quint16(0x4000 | address), m.data());
    return m;
}

QByteArray SimSession::blockWrite(int address, const QByteArray &data)
{
    QByteArray m(8, '\xFF');
    qToLittleEndian<quint16>(quint16(0xC000 | address), m.data());
    m.replace(2, data.size(), data);
    return m;
}

QByteArray SimSession::record(quint16 pid, quint16 cid, quint16 div, quint8 pos, quint8 num,
                              const QByteArray &header, const QByteArray &tail)
{
    QByteArray r(22, '\0');
    uchar *b = reinterpret_cast<uchar *>(r.data());
    qToLittleEndian<quint16>(pid, b);
    qToLittleEndian<quint16>(cid, b + 2);
    qToLittleEndian<quint16>(div, b + 7);
    b[9] = 1;
    b[10] = num;
    b[11] = pos;
    r.replace(12, 6, header.leftJustified(6, ' ', true));
    r.replace(18, 4, tail.rightJustified(4, ' ', true));
    return r;
}

QByteArray SimSession::boardRecord(int rpmlim, int engidx)
{
    QByteArray r(18, '\0');
    uchar *b = reinterpret_cast<uchar *>(r.data());
    qToLittleEndian<quint16>(18, b);
    b[2] = 1;
    b[3] = 1;
    qToLittleEndian<quint16>(650, b + 6);
    qToLittleEndian<quint16>(1, b + 8);
    qToLittleEndian<quint16>(quint16(rpmlim), b + 10);
    qToLittleEndian<quint16>(7000, b + 12);
    qToLittleEndian<quint16>(30000, b + 14);
    qToLittleEndian<quint16>(quint16(engidx), b + 16);
    return r;
}

void SimSession::prepareSample(int pages)
{
    SimDashboard &dash = dashboard();
    dash.setPages(pages);
    dash.eraseMemory();
    dash.setCount(2);
    setMemory(0, record(12, 2024, 4, 0) + record(5, 2024, 1, 4));
    setMemory(0x200, boardRecord());
    dash.setValue(SimDashboard::SavedOdometer, 120000);
    dash.setValue(SimDashboard::Odometer, 123456);
    dash.setValue(SimDashboard::SavedEngineTime, 700);
    dash.setValue(SimDashboard::EngineTime, 765);
    m_runner->loadDefaultConfig();
}

void SimSession::startSampleWrite()
{
    const QVariantList config = configList(6, {{1, catalogueItem(QStringLiteral("SPEED"))},
                                               {3, catalogueItem(QStringLiteral("RPM"))}});
#if KX4_UPDATE_EDITION
    // That edition writes no board record.
    m_runner->updateConfig(config);
#else
    m_runner->updateConfig(config, QVariantMap{{QStringLiteral("version"), 1},
                                               {QStringLiteral("rpm"), 1},
                                               {QStringLiteral("speed"), 1},
                                               {QStringLiteral("aux"), 0},
                                               {QStringLiteral("adelay"), 3},
                                               {QStringLiteral("rflags"), 1},
                                               {QStringLiteral("rpmlim"), 5800},
                                               {QStringLiteral("warnodo"), 8000},
                                               {QStringLiteral("warntime"), 250},
                                               {QStringLiteral("engidx"), 0}});
#endif
}

QByteArray SimSession::samplePages(int pages)
{
    QByteArray bytes(pages * 1024, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 7 + i / 256) & 0xFF);
    return bytes;
}

bool SimSession::writeSampleBackup(const QString &name, int pages)
{
    const QJsonObject info{{QStringLiteral("version"), 1}, {QStringLiteral("pages"), pages},
                           {QStringLiteral("count"), 2},   {QStringLiteral("disp"), 0},
                           {QStringLiteral("r4"), 0},      {QStringLiteral("r5"), 0}};
    const QString dir = BackupStorage::folder();
    BackupStorage::ensureFolder(dir);
    QFile file(BackupStorage::pathFor(dir, name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = BackupFile::encodeHead(info, true) + samplePages(pages) +
                             BackupFile::encodeCounters(99999, 888);
    return file.write(bytes) == bytes.size();
}
