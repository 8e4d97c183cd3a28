#pragma once

// A CFGRunner talking to the in-process simulator through a real pseudo-terminal, or over TCP
// as to a Wi-Fi adapter: starts the simulated adapter and dashboard, lists the pty through
// KX4_EXTRA_PORTS, connects the controller at a fixed rate and waits for discovery to finish.
// Tests then drive the runner and look at the simulator's memory and frame log.

#include "runner/CFGRunner.h"
#include "sim/PtySimulator.h"
#include "sim/TcpSimulator.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <functional>
#include <memory>

class SimSession : public QObject
{
    Q_OBJECT
public:
    // The simulator's "no reply" time-out in tests: short, so retransmission runs are quick.
    static constexpr int NoDataTimeoutMs = 30;

    // How the runner reaches the simulated adapter.
    enum class Transport { Serial, Network };

    explicit SimSession(QObject *parent = nullptr);
    ~SimSession() override;

    // Starts the simulator (adapter at `adapterBaud`, a full reset taking `resetDelayMs`,
    // with the real chip's timing model when `chipModel`; with Transport::Network also its TCP
    // server on 127.0.0.1) and creates the runner. False when the pty or the server cannot be
    // made; errorString() says why.
    bool start(int adapterBaud = 38400, int resetDelayMs = 0, bool chipModel = false,
               Transport transport = Transport::Serial);
    QString errorString() const { return m_error; }

    PtySimulator &sim() { return *m_sim; }
    SimDashboard &dashboard() { return m_sim->dashboard(); }
    CFGRunner &runner() { return *m_runner; }
    // The TCP server of a Network session, else null.
    TcpSimulator *tcp() { return m_tcp.get(); }
    // The port the runner connects to: the pty's path or "tcp://127.0.0.1:N".
    QString port() const { return m_tcp ? m_tcp->url() : m_sim->slavePath(); }

    // Connects the runner (baud 0: detection) and waits until discovery and the first
    // configuration read have ended with the runner Idle. False on failure or time-out.
    bool connectRunner(int baud = 38400, bool adv = false, int timeoutMs = 20000);
    // Waits until the runner reports `state` through stateChanged or already is in it.
    bool waitForState(CFGRunner::State state, int timeoutMs = 10000);
    // Waits until the runner is Idle and the adapter has nothing in flight any more.
    bool waitForIdle(int timeoutMs = 10000);
    // Runs the event loop until `done` holds or the time is up, looking after every event
    // pass (QTest::qWaitFor and QTRY_* sleep 10 ms between looks, which stretches every
    // in-process exchange of a transfer to about 20 ms).
    static bool waitUntil(const std::function<bool()> &done, int timeoutMs);

    // The data fields of the frames the adapter sent on the bus since the last clearFrames().
    QList<QByteArray> hostFrames() const;
    void clearFrames() { m_sim->clearLog(); }

    // Dashboard memory helpers.
    QByteArray memory(int address, int length) const;
    void setMemory(int address, const QByteArray &bytes);

    // The runner's catalogue item called `name` (with that "cid" when cid >= 0); loads the
    // built-in catalogue on first use. An empty object when there is none.
    QJsonObject catalogueItem(const QString &name, int cid = -1);
    static quint32 hashOf(const QJsonObject &item);
    // A configuration list of `positions` entries with the given items at the given positions.
    QVariantList configList(int positions, const QMap<int, QJsonObject> &items);

    // Requests as they go on the bus: a block read at 0x0200 is 00 42 FF FF FF FF FF FF, a
    // block write is 00 C0 + address and the data padded with FF to six bytes.
    static QByteArray blockRead(int address);
    static QByteArray blockWrite(int address, const QByteArray &data);

    // A parameter table record (22 bytes) as the dashboard keeps it.
    static QByteArray record(quint16 pid, quint16 cid, quint16 div, quint8 pos, quint8 num = 1,
                             const QByteArray &header = "TEST  ", const QByteArray &tail = "   u");
    // A version-1 board record (18 bytes).
    static QByteArray boardRecord(int rpmlim = 6500, int engidx = 0);

    // The dashboard the transfer tests share: `pages` pages of erased memory, two records
    // (pid 12 at position 0, pid 5 at position 4), a version-1 board record and known
    // counters; the runner holds the built-in catalogue.
    void prepareSample(int pages);
    // What those tests write: SPEED at position 1 and RPM at 3 of a single display, and a
    // board map that differs from the record in every setting.
    void startSampleWrite();
    // Memory pages whose every byte tells its own address.
    static QByteArray samplePages(int pages);
    // Saves them as the backup `name` in the backup folder, with the counters 99999 and
    // 888. False when it cannot be written.
    static bool writeSampleBackup(const QString &name, int pages);

private:
    std::unique_ptr<PtySimulator> m_sim;
    std::unique_ptr<TcpSimulator> m_tcp;
    std::unique_ptr<CFGRunner> m_runner;
    QString m_error;
};
