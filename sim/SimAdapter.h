#pragma once

// The ELM327-class chip between the serial line and the CAN bus: an AT command
// interpreter with the chip's output formatting, which sends each line of hex digits as
// one CAN frame to the SimDashboard and prints the frames that pass its receive filter.
// It knows nothing of ptys or time: receive() returns what to print and how long after
// the input each piece is due; PtySimulator (or a test) does the writing.
//
// Example, defaults after power-up (echo, spaces, line feeds on), "ati\r" gives
//   "ati\r\nELM327 v1.5\r\n\r\n>"
// and after "at e0", "at s0", "at l0", "at sh 74d", "at cra 745", "at caf0", "FFFF\r" gives
//   "FFFF01100300\r\r>"   (no headers: the data field only)

#include "sim/SimDashboard.h"
#include "sim/SimFaultPlan.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <functional>

class SimAdapter
{
public:
    enum Kind {
        Clone,   // "ELM327 v1.5", the common clone
        Genuine, // "ELM327 v2.1"
        Extended // "ELM327 v1.4b" with the extended "st" command set
    };

    // A piece of output, due `delayUs` after the input that caused it (pieces are in
    // order; a later piece never has a smaller delay). hangUp: close the line instead.
    // afterReset: printed around a reset; input does not stop it, and it still goes out when
    // the client closed and reopened the line meanwhile. resetDone: the reset is over once it
    // is out (call finishReset()).
    struct Output
    {
        qint64 delayUs = 0;
        QByteArray bytes;
        bool hangUp = false;
        bool afterReset = false;
        bool resetDone = false;
        // The UART rate the piece goes out at; 0: the rate in use when it is sent. Only the
        // pieces of a rate switch and of a reset that undid one carry it: a client at
        // another rate gets noise.
        int baud = 0;
    };

    struct LogEntry
    {
        enum Type {
            Command,    // a command line (AT, ST or anything not sent on the bus), as received
            HostFrame,  // a frame the adapter sent on the bus
            DeviceFrame // a frame from the dashboard (whether or not the filter passed it)
        };
        qint64 usecs = 0; // since the adapter was created
        Type type = Command;
        QByteArray text; // Command: the line without its carriage return
        SimFrame frame;  // HostFrame, DeviceFrame
    };

    explicit SimAdapter(SimDashboard *dashboard);

    Kind kind() const { return m_kind; }
    void setKind(Kind kind) { m_kind = kind; }
    static bool kindFromName(const QString &name, Kind *kind); // "clone", "genuine", "extended"
    QByteArray identification() const;                         // what ATI prints
    // The version it names, times 100 ("ELM327 v1.4b": 140), and whether it answers the
    // read-only commands that came with `level` ("at ign", "at rd": 140; "at amc": 200):
    // a genuine chip of that version or later does, a clone never.
    int version() const;
    bool knowsCommandsOf(int level) const;
    // The version text the chip calls itself by instead of its kind's ("ELM327 v1.5" for a
    // genuine-behaving chip); empty: the kind's own.
    void setIdentification(const QByteArray &text) { m_identification = text; }

    // The rate the adapter's UART starts at (power-up, ATZ); PtySimulator answers only at
    // the rate in use, lineRate(), which "at brd" and "st br" change until the next reset.
    int baudRate() const { return m_baudRate; }
    void setBaudRate(int baud) { m_baudRate = m_lineRate = baud; }
    int lineRate() const { return m_lineRate; }

    // The real chip's timing (off by default; see sim/README.md): after the last reply to a
    // frame the prompt waits for the reply time-out, all of AT ST with "at at 0", a time-out
    // learnt from the replies with "at at1"/"at at2", unless the frame ends with a response
    // count that has been reached; the dashboard's reply latency defaults to 1 ms.
    void setChipModel(bool on) { m_chipModel = on; }
    bool chipModel() const { return m_chipModel; }
    // Whether the clone knows the response count digit and "at brd" (the genuine and the
    // extended kind always do); unknown, it answers "?".
    void setCloneResponseCount(bool on) { m_cloneCount = on; }
    void setCloneRateSwitch(bool on) { m_cloneRateSwitch = on; }
    bool knowsResponseCount() const { return m_kind != Clone || m_cloneCount; }
    // Some adapters of the extended kind take the digit but answer every request that
    // carries it with "NO DATA" (the frame still goes out on the bus).
    void setCountDrawsNoData(bool on) { m_countNoData = on; }
    bool countDrawsNoData() const { return m_countNoData; }
    bool knowsRateSwitch() const { return m_kind != Clone || m_cloneRateSwitch; }
    // What "at rv" (the supply voltage) draws. Emulators, gateways and some clones lack the
    // command: they answer "?", or nothing but the prompt.
    enum VoltageReply { ReadsVoltage, RefusesVoltage, SilentVoltage };
    void setVoltageReply(VoltageReply reply) { m_voltageReply = reply; }
    VoltageReply voltageReply() const { return m_voltageReply; }
    static bool voltageReplyFromName(const QString &name, VoltageReply *reply); // "12.6V", "?", "none"
    // The wait after the last reply, in microseconds, as the settings stand now.
    qint64 promptWaitUs() const;

    // A rate switch ("at brd hh", "st br rate") in its handshake: the chip has answered
    // "OK" at the old rate and sent its identification at the new one, and now listens
    // rateSwitchWaitMs() ("at brt", 75 ms by default) for a carriage return at the new
    // rate. finishRateSwitch says whether it came: the prompt at the new rate, or the
    // old rate back and the prompt there.
    bool rateSwitchPending() const { return m_switchRate > 0; }
    int rateSwitchTarget() const { return m_switchRate; }
    int rateSwitchWaitMs() const { return m_brtMs; }
    // "at brt" after power-up (75 ms): a test makes the chip give up before the host's
    // carriage return can come (0: it hears none, however soon it comes).
    void setDefaultRateSwitchWaitMs(int ms) { m_defaultBrtMs = m_brtMs = ms; }
    // How long the prompt at the new rate takes after the carriage return was heard (0 by
    // default): a test stands in for a machine too busy to take it in at once.
    void setRateSwitchPromptDelayMs(int ms) { m_switchPromptDelayUs = qint64(ms) * 1000; }
    QList<Output> finishRateSwitch(bool heard);

    // Bytes from the host. Complete lines are interpreted; the rest waits for its CR.
    QList<Output> receive(const QByteArray &bytes);
    // The host sent something while a bus request was still waiting: the chip stops.
    QList<Output> interrupt();

    // Power-up defaults (also ATZ, ATWS, ATD for the formatting settings).
    void powerUp();

    // Current settings, for tests.
    bool echo() const { return m_echo; }
    bool spaces() const { return m_spaces; }
    bool headers() const { return m_headers; }
    bool linefeeds() const { return m_linefeeds; }
    bool showDlc() const { return m_dlc; }
    int adaptiveTiming() const { return m_adaptive; }
    int timeoutByte() const { return m_timeout; } // AT ST value, x 4 ms
    bool autoFormat() const { return m_caf; }
    bool flowControl() const { return m_cfc; }
    bool allowLong() const { return m_allowLong; }
    quint32 header() const { return m_header; }
    QByteArray receiveFilter() const { return m_filter; } // "745", "7XX", "" = all
    int protocol() const { return m_protocol; }           // 0 auto, 6 = 11-bit 500k, ...
    bool monitoring() const { return m_monitoring; }

    // How long the adapter waits for a reply before "NO DATA": AT ST x 4 ms, unless set
    // here (>= 0 ms) to keep tests of lost replies fast.
    void setNoDataTimeoutMs(int ms) { m_timeoutOverrideMs = ms; }
    int noDataTimeoutMs() const;
    // A slow reset: how long a full reset (ATZ, a supply dip) keeps the chip busy before
    // it prints its banner (0: at once). Input that arrives meanwhile waits in the chip's
    // buffer and is handled after the banner (receive() with nothing new, once the reset is
    // over); during a power cut it is lost.
    void setResetDelayMs(int ms) { m_resetDelayMs = qMax(0, ms); }
    int resetDelayMs() const { return m_resetDelayMs; }
    bool resetting() const { return m_clock.nsecsElapsed() / 1000 < m_resetDoneUs; }
    bool hasHeldInput() const { return !m_heldInput.isEmpty(); }
    void finishReset() { m_resetDoneUs = 0; }
    // Bus and firmware latency added before every reply, in microseconds (0: none).
    // With the chip model on and no latency set, 1 ms.
    void setLatencyUs(qint64 us) { m_latencyUs = us; }
    qint64 latencyUs() const { return m_latencyUs >= 0 ? m_latencyUs : m_chipModel ? 1000 : 0; }

    SimFaultPlan &faults() { return m_faults; }
    SimDashboard &dashboard() { return *m_dashboard; }

    // Inspection.
    int requestCount() const { return m_requests; } // frames sent on the bus, incl. faulted
    int lineCount() const { return m_lines; }       // lines interpreted (commands and frames)
    // Called for every log entry as it is made (also when the log is limited or cleared).
    void setObserver(std::function<void(const LogEntry &)> observer) { m_observer = observer; }
    const QList<LogEntry> &log() const { return m_log; }
    void clearLog() { m_log.clear(); }
    void setLogLimit(int entries) { m_logLimit = entries; } // oldest dropped beyond it
    QList<QByteArray> commands() const;                     // Command entries' texts
    QList<SimFrame> hostFrames() const;                     // HostFrame entries' frames

private:
    QByteArray eol() const;
    QByteArray line(const QByteArray &text) const { return text + eol(); }
    QByteArray prompt() const { return eol() + ">"; }
    // What the chip prints when it comes out of a reset, with its power-up settings.
    QByteArray banner() const { return eol() + eol() + line(identification()) + prompt(); }
    // The chip is busy resetting for the next `us` microseconds, keeping what it receives
    // meanwhile or not; returns `us`.
    qint64 startReset(qint64 us, bool keepInput = true);
    void addLog(LogEntry::Type type, const QByteArray &text, const SimFrame &frame = SimFrame());

    QList<Output> interpret(const QByteArray &raw);
    QByteArray atCommand(const QByteArray &cmd, bool *reset);
    QByteArray stCommand(const QByteArray &cmd);
    QList<Output> busRequest(const QByteArray &hex, const QByteArray &echoed);
    QByteArray rateCommand(const QByteArray &cmd); // BRD, BRT (after "AT"); empty: not one
    QList<Output> startRateSwitch(const QByteArray &echoed);
    void learnReplyDelay(qint64 us);
    bool passesFilter(quint32 id) const;
    QByteArray formatFrame(const SimFrame &frame) const;

    SimDashboard *m_dashboard;
    SimFaultPlan m_faults;
    Kind m_kind = Clone;
    QByteArray m_identification; // empty: the kind's
    int m_baudRate = 38400;
    int m_lineRate = 38400;
    bool m_chipModel = false;
    bool m_cloneCount = false;
    bool m_cloneRateSwitch = false;
    VoltageReply m_voltageReply = ReadsVoltage;
    bool m_countNoData = false;
    int m_brtMs = 75;
    int m_defaultBrtMs = 75;
    qint64 m_switchPromptDelayUs = 0;
    int m_switchRate = 0;     // a rate switch waits for the host's carriage return
    int m_switchFromRate = 0; // the rate it goes back to when none comes
    QList<qint64> m_replyDelaysUs; // adaptive timing: the latest reply delays, newest last

    bool m_echo = true;
    bool m_spaces = true;
    bool m_headers = false;
    bool m_linefeeds = true;
    bool m_dlc = false;
    int m_adaptive = 1;
    int m_timeout = 0x32;
    bool m_caf = true;
    bool m_cfc = true;
    bool m_allowLong = false;
    quint32 m_header = 0x7DF;
    QByteArray m_filter;
    int m_protocol = 0;
    int m_savedProtocol = 0;    // ATSP keeps its choice across resets, ATTP does not
    bool m_protocolAuto = true; // fall back to searching when the chosen protocol fails
    int m_stProtocol = 0;       // extended set: ST P value, 0 = none chosen
    int m_stBitRate = 500000;   // extended set: ST PBR value
    bool m_monitoring = false;

    int m_timeoutOverrideMs = -1;
    int m_resetDelayMs = 0;
    qint64 m_resetDoneUs = 0; // on m_clock
    bool m_resetKeepsInput = true;
    QByteArray m_heldInput;
    qint64 m_latencyUs = -1;

    QByteArray m_input;
    QByteArray m_lastLine;
    bool m_discarding = false; // an over-long line is being thrown away up to its CR
    int m_requests = 0;
    int m_lines = 0;
    std::function<void(const LogEntry &)> m_observer;
    QList<LogEntry> m_log;
    int m_logLimit = 100000;
    QElapsedTimer m_clock;
};
