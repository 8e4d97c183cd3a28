#pragma once

// Serves a simulated adapter and dashboard on the master side of a pseudo-terminal, inside
// the Qt event loop of the thread that owns it, so that the tool's real serial link can
// open the slave side (slavePath()) in the same process or from another one (kx4-sim).
// The adapter answers only when the slave runs at the adapter's baud rate, like a real
// UART; faults, pacing and latency are set on adapter() and dashboard() or here.
// In the same thread as the tool's link, rate detection (which blocks while it waits)
// only sees answers that are due at once: keep latency and pacing off for it there.

#include "sim/SimAdapter.h"
#include "sim/SimDashboard.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;

class PtySimulator : public QObject
{
    Q_OBJECT
public:
    explicit PtySimulator(QObject *parent = nullptr);
    ~PtySimulator() override;

    // Creates the pty pair and starts serving. False (and errorString()) on failure.
    bool start();
    bool isRunning() const { return m_master >= 0; }
    QString errorString() const { return m_error; }
    QString slavePath() const { return m_slavePath; }

    // Closes the master side: the client's port sees the line go away.
    void hangUp();

    SimAdapter &adapter() { return m_adapter; }
    SimDashboard &dashboard() { return m_dashboard; }
    SimFaultPlan &faults() { return m_adapter.faults(); }

    // Shorthands for the adapter's UART start rate (default 38400); set it before start().
    // A rate switch changes the rate in use, lineRate(), until the adapter is reset.
    int baudRate() const { return m_adapter.baudRate(); }
    void setBaudRate(int baud) { m_adapter.setBaudRate(baud); }
    int lineRate() const { return m_adapter.lineRate(); }
    // The rate the client set on the slave side, 0 when unknown. Once the client has closed
    // the port its settings are put back, so what it wrote last counts at the rate it had.
    int clientBaudRate() const;
    // Two UARTs understand each other when their rates differ by at most 2 %
    // ("at brd 23" gives 114286 bit/s against the host's 115200).
    static bool ratesMatch(int a, int b);
    // Whether a client has the slave open (Linux watches opens and closes; elsewhere always
    // true). Output made while no client is there is lost, as on a real serial port.
    bool clientPresent() const { return m_watch < 0 || m_clients > 0; }
    // A slow reset (see SimAdapter::setResetDelayMs): the answer to "ATZ" comes this late,
    // also when the client has closed and reopened the line meanwhile.
    void setResetDelayMs(int ms) { m_adapter.setResetDelayMs(ms); }
    // At a wrong rate the adapter prints nothing (default) or garbage.
    void setGarbageOnWrongBaud(bool on) { m_garbageOnWrongBaud = on; }

    // A wireless module between the client and the chip, as in most adapters people buy
    // (a Bluetooth serial-profile or a Wi-Fi module): each burst waits `upMs` on its way to
    // the chip and `downMs` on its way back; the module talks to the chip at the chip's start
    // rate whatever rate the client sets, and cannot follow the chip to another rate, so a
    // rate switch reaches the client as noise and the chip's wait for the host runs out.
    // Negative values take the module out.
    void setModule(int upMs, int downMs);
    bool hasModule() const { return m_moduleUpUs >= 0; }
    int moduleUpMs() const { return hasModule() ? int(m_moduleUpUs / 1000) : 0; }
    int moduleDownMs() const { return hasModule() ? int(m_moduleDownUs / 1000) : 0; }

    // Serial-line pacing at the rate in use, 10 bits a byte (off by default): a request is
    // taken up once all its bytes would have arrived, and the answer takes its time back.
    void setPacing(bool on) { m_pacing = on; }
    bool pacing() const { return m_pacing; }

    // Inspection. An exchange is one line interpreted by the adapter (command or frame).
    int exchangeCount() const { return m_exchanges; }
    int requestCount() const { return m_adapter.requestCount(); }
    qint64 bytesReceived() const { return m_bytesIn; }
    qint64 bytesSent() const { return m_bytesOut; }
    // The time all bytes each way took on the line at the rates they went at, 10 bits a
    // byte, in microseconds: the least a run can take.
    double lineTimeUs() const { return m_lineUs; }
    const QList<SimAdapter::LogEntry> &log() const { return m_adapter.log(); }
    QList<QByteArray> commands() const { return m_adapter.commands(); }
    QList<SimFrame> hostFrames() const { return m_adapter.hostFrames(); }
    void clearLog() { m_adapter.clearLog(); }
    QByteArray lastOutput() const { return m_lastOutput; } // bytes written for the last input
    // How late output went out on average against when it was due, in microseconds: the
    // simulator's own share of a paced run's time.
    double averageLatenessUs() const { return m_lateCount ? double(m_lateUs) / m_lateCount : 0; }

signals:
    void bytesReceivedFrom(const QByteArray &bytes); // raw bytes from the client
    void bytesSentTo(const QByteArray &bytes);       // raw bytes written to the client
    void frameReceived(const SimFrame &frame);       // the adapter sent a frame on the bus
    void deviceFrame(const SimFrame &frame);         // the dashboard answered with a frame
    void commandReceived(const QByteArray &line);    // the adapter interpreted a command line
    void hungUp();

private:
    void onReadable();
    void schedule(const QList<SimAdapter::Output> &outputs, qint64 startUs);
    qint64 lineTimeUs(int bytes, int baud) const;
    void flushDue();
    void writeOut(const QByteArray &bytes, int baud);
    bool takeRateSwitchInput(const QByteArray &in, qint64 startUs);
    QByteArray noise(int bytes); // what a UART at another rate makes of that many bytes
    void writeBacklog();
    qint64 nowUs() const { return m_clock.nsecsElapsed() / 1000; }
    // The rate the chip hears the client at: the client's own, or the module's fixed one.
    int hostSideRate() const;
    void closeFds();
    void watchClients();

    SimDashboard m_dashboard;
    SimAdapter m_adapter;
    int m_master = -1;
    int m_slave = -1; // kept open so the line survives the client closing and reopening
    QString m_slavePath;
    QString m_error;
    QSocketNotifier *m_notifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    int m_watch = -1; // inotify on the slave's opens and closes
    QSocketNotifier *m_watchNotifier = nullptr;
    int m_clients = 0;
    QByteArray m_backlog; // output the pty did not take yet
    QElapsedTimer m_clock;
    QTimer *m_timer = nullptr;
    struct Pending
    {
        qint64 dueUs;
        QByteArray bytes;
        bool hangUp;
        bool waitingForBus;      // the adapter is still waiting for the bus: input interrupts it
        bool afterReset = false; // survives the client closing the line
        bool resetDone = false;  // the adapter's reset is over once this is out
        int baud = 0;            // sent at this rate only (SimAdapter::Output::baud)
        bool switchDeadline = false; // a rate switch's wait for the host ends unheard
    };
    QList<Pending> m_pending;
    qint64 m_lineFreeUs = 0;      // pacing: when the line to the client is free again
    qint64 m_inputDoneUs = 0;     // pacing: when the client's last byte has arrived
    qint64 m_switchListenUs = -1; // a rate switch hears the host from here on
    int m_lastClientRate = 0;     // the client's rate when it last wrote with the port open
    bool m_garbageOnWrongBaud = false;
    qint64 m_moduleUpUs = -1; // no module
    qint64 m_moduleDownUs = 0;
    bool m_pacing = false;
    int m_exchanges = 0;
    qint64 m_bytesIn = 0;
    qint64 m_bytesOut = 0;
    double m_lineUs = 0;
    qint64 m_lateUs = 0;
    qint64 m_lateCount = 0;
    QByteArray m_lastOutput;
    quint32 m_garbageSeed = 1;
};
