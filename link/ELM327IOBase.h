#pragma once

// The link to an ELM327-class OBD/CAN adapter. It opens the port (a serial port, finding the
// adapter's baud rate when asked to, or a network adapter's TCP connection: LinkTransport), puts
// the adapter into raw CAN mode and then works as a paced channel: one queued item goes out per
// ">" prompt, one hexadecimal reply line comes back as one read(). The session controller creates
// one link, feeds it frames with writeHEX() and follows its signals.
//
// Before the initialisation the link gets in step with the adapter: it lets whatever an earlier
// session left on the line (a late answer to its "ATZ", a prompt) arrive and drops it, then sends
// "at rv" until the prompt that ends its answer comes back (ElmSync: the voltage, "?", or
// nothing, from adapters that lack the command). An adapter that resets while the link
// runs (its banner or "LV RESET" unasked, the frame echoed, "?" for a frame, spaces or headers in
// a reply) is set up the same way again and the frame in flight goes out once more; see
// adapterWasReset().
//
// With "Link/FastTransfers" (the default) the initialisation ends by asking the adapter for a
// faster line (ELM327LineRate.cpp), and frames sent with writeRequest() carry the number of
// replies they draw, so the adapter prompts as soon as they are in. A reset takes the adapter
// back to its start rate; the recovery looks for it there and raises the rate again.

#include "link/ElmInit.h"
#include "link/ElmRateSwitch.h"
#include "link/ElmReply.h"
#include "link/ElmSync.h"
#include "link/LinkRecorder.h"
#include "link/LinkTransport.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantHash>

#include <optional>

class QTimer;

// Rates tried by baud-rate detection, in this order; the first is the rate of the first attempt.
extern const QList<qint32> baudRates;

// Serial ports the link can open (SerialTransport): the system's ports in the system's order,
// then the device paths listed in KX4_EXTRA_PORTS (separated by ':'), each named by its path.
// Any other existing device path opens as well.
QStringList availableSerialPorts();

class ELM327IOBase : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool strictMode READ strictMode WRITE setStrictMode)

public:
    // How long a request may wait for the adapter's prompt: its reply time-out ("at st ff",
    // 255 x 4 ms) and a margin for the line, a wireless module and the dashboard.
    static constexpr int ExchangeDeadlineMs = 1020 + 1500;
    // How late an answer to one of the link's own commands may still come: a wireless
    // module holds every burst each way (up to 100 ms each way, and the chip's own time).
    // Output that comes after the link has moved on is let in and dropped, never taken for
    // an unasked banner or the answer to the next command.
    static constexpr int LateAnswerMs = 300;

    enum ELM_ERROR {
        ERR_OK = 0,
        ERR_NODATA = -1,
        ERR_STOPPED = -2,
        ERR_CANERR = -3,
        ERR_PROTOCOL = -4,
        ERR_OTHER = -255
    };
    Q_ENUM(ELM_ERROR)

    // Why the last setup() returned false.
    enum SetupFailure {
        SetupOk = 0,
        SetupPortMissing, // no port of that name
        SetupPortFailed,  // the system refused to open the port, or it failed while probing
        SetupNoAdapter,   // baud-rate detection got no answer at any rate
        SetupBusy,        // another setup is still probing rates
        // a network adapter refused, could not be reached, did not answer within 5 s or
        // closed the connection; setupErrorString() says which, in the user's words
        SetupNetworkFailed
    };
    Q_ENUM(SetupFailure)

    // The reason of the ERR_OTHER error that ends the recovery: the adapter reset again
    // before the request in flight was answered.
    static constexpr const char *AdapterResetReason = "adapter reset";

    explicit ELM327IOBase(QObject *parent = nullptr);
    ~ELM327IOBase() override;

    Q_INVOKABLE bool isOpen();
    // Opens `port` with the options of the settings store (ElmOptions::fromSettings).
    Q_INVOKABLE bool setup(QString port, uint baud, bool adaptive_timing = false,
                           bool elm_st = true);
    // Opens `port` (baud 0: detect the rate) and initialises the adapter as `options` say.
    bool setup(const QString &port, uint baud, const ElmOptions &options);
    Q_INVOKABLE void close();
    Q_INVOKABLE bool isBusy();
    Q_INVOKABLE bool strictMode();
    Q_INVOKABLE void setStrictMode(bool on);
    // The serial line's rate in bit/s (raised after the initialisation when fast transfers
    // are on and the adapter agrees), 0 while the port is closed and where the rate set on
    // the port means nothing (rateIsVirtual()).
    Q_INVOKABLE int lineRate();
    // The rate set on the port reaches no wire: a network adapter, a Bluetooth serial port,
    // or a port found in the session to reach the chip whatever its rate (a wireless module
    // answered a rate switch at the old rate). No rate switch is tried there.
    bool rateIsVirtual() const;
    // The channel under the link (valid until the next setup), e.g. to describe it.
    const LinkTransport *channel() const { return transport; }

    SetupFailure setupFailure() const { return lastFailure; }
    // What kind of failure and its text for SetupPortFailed; the reason for SetupNetworkFailed.
    LinkTransport::Failure setupPortError() const { return lastPortError; }
    QString setupErrorString() const { return lastPortErrorText; }

    // The recent traffic and events of this link, kept for a diagnostics report.
    LinkRecorder &recorder() { return m_recorder; }
    // The port last opened (also after it closed), how it was set up ("38400 bit/s, 8 data
    // bits, no parity, 1 stop bit, no flow control"), and what the adapter said about itself
    // when the link warm-started it (empty until it did).
    QString portName() const;
    QString portKind() const; // "serial" or "network"
    QString portSettings() const;
    QByteArray adapterIdentification() const { return m_adapterId; }

    // What the fast-transfer setup found out, for the adapter check. The response count:
    // not used (fast transfers off), not yet known, answered, refused with "?", or drawing
    // "NO DATA" (then dropped for the session).
    enum CountOutcome { CountUnused, CountUntried, CountAccepted, CountRefused, CountNoData };
    CountOutcome responseCountOutcome() const { return countOutcome; }
    // The last line rate switch: the rates asked for, those the adapter agreed to ("OK"),
    // and the rate it ended at (the rate it started at when none held).
    struct RateSwitchRecord
    {
        qint32 from = 0;
        qint32 reached = 0;
        QList<qint32> asked;
        QList<qint32> agreed;
    };
    const RateSwitchRecord &lastRateSwitch() const { return rateRecord; }

signals:
    void connected();
    void disconnected();
    void ready();
    void error(ELM327IOBase::ELM_ERROR code, QString reason);
    void read(QByteArray data);
    // The adapter was found reset (`sign` says how); the link is setting it up again and
    // sends the frame in flight once more when it is done.
    void adapterReset(QString sign);
    void answered(QByteArray command, QList<QByteArray> lines);

public slots:
    virtual void write(QByteArray data);
    virtual void writeHEX(QByteArray data);
    // A frame that draws `replies` replies: with fast transfers on, its text ends with that
    // response count, so the adapter prints its prompt as soon as they are in instead of
    // waiting out its reply time-out. An adapter that answers "?" to the count gets the
    // frame again without it, and no count for the rest of the session; so does one that
    // answers "NO DATA" to the first requests with it and a reply to the same without.
    void writeRequest(QByteArray data, int replies);
    void monitor(bool on);
    // An adapter command whose answer is wanted (the adapter check): queued like a frame;
    // the lines that answer it (its echo left out) come in answered() at its prompt, or
    // what came by its deadline.
    void query(QByteArray command);

protected slots:
    void readyRead();
    void transportFailed();

protected:
    virtual void parseLine(QByteArray line);
    virtual void dispatchData(QByteArray data);
    virtual QByteArray encodeCommand(QByteArray item);

    void sendNext();
    // The response count is off for the rest of the session: queued frames lose it.
    void dropResponseCount(const QString &why);

private:
    enum class Phase {
        Closed,
        Draining, // dropping what an earlier session left on the line
        Syncing,  // waiting for the answer to the link's own command and its prompt
        Running   // initialising, then carrying frames
    };
    enum class Origin { None, Init, Raw, Command };

    // Line rate switch (ELM327LineRate.cpp, the handshake in ElmRateSwitch): after the
    // initialisation the adapter is asked for a faster line ("at brd", "st br" on the
    // extended set); every refusal or failed handshake leaves the line at the rate in use.
    void startRateRaise();
    void rateSwitchInput(const QByteArray &bytes);
    void rateSwitchTimeout();
    void applyRateStep(const ElmRateSwitch::Step &step);
    void finishRateRaise();
    bool rateSwitching() const { return rateSwitch && rateSwitch->active(); }
    // The one place that changes the port's rate: false when the port refuses it. Asking
    // leaves the rate in use as it was.
    bool portAcceptsRate(qint32 rate);
    bool setPortRate(qint32 rate);
    // A reset takes the adapter back to the rate it starts at. Until the port follows, what
    // it prints reaches the port as noise: bytes with the top bit set, which it never sends.
    bool raisedRateLost(const QByteArray &incoming) const;
    void returnToStartRate();

    bool detectBaudRate(const QString &port);
    bool adapterAnswers();
    void useTransportFor(const QString &port);
    void connectPortData();
    void disconnectPortData();
    void writeNow(const QByteArray &bytes);
    bool failSetup(SetupFailure failure);

    // Getting in step with the adapter (ELM327Sync.cpp).
    void startSync();
    // Gets in step again without running the initialisation again (after a rate switch
    // that may have drawn output still on its way).
    void resyncKeepingQueue();
    void restartDrain();
    void onSyncTimer();
    // A request whose prompt has not come by its deadline (the adapter's reply time-out
    // and a margin, counted from the request) counts as a lost reply: an adapter that
    // talks without end, or a byte at a time, never holds the session.
    void exchangeOverdue();
    void sendSyncCommand();
    void tryRateIfSilent();
    void syncLine(const QByteArray &line);
    void syncPrompt();
    // The prompt ended the adapter's output for the item in flight.
    void promptArrived();

    // Recognising and handling an adapter reset (ELM327Sync.cpp). The signs return what
    // gave the reset away, or null.
    void adapterWasReset(const QByteArray &line, const char *sign);
    void requeueInFlight();
    // A line equal to the frame just written is held until the next line shows it was the
    // adapter's echo, or the prompt shows it was the reply; false if that reply's handler
    // closed or restarted the link.
    bool releaseHeldLine();

    LinkTransport *transport = nullptr;
    QList<QByteArray> commandQueue;
    QList<QByteArray> rawQueue;
    QByteArray lastSent;
    qint32 canRetries = 0;
    // Bytes received and not yet consumed, cut into lines and prompts.
    ElmReply::ElmLineSplitter splitter;

    bool strict = false;
    bool monitoring = false;
    bool busy = false;
    bool atPending = false;
    bool stnCommands = false;

    // Fast transfers ("Link/FastTransfers", read at every setup).
    bool fastTransfers = false;
    bool responseCount = false; // requests of one reply carry the response count
    QByteArray countedInFlight; // the item in flight when it carries a response count
    // Until a request with the count has drawn a reply, "NO DATA" to one may be the adapter's
    // answer to the digit: the request goes again without it (countProbe), and if that one is
    // answered the digit is off for the session.
    bool countConfirmed = false;
    QByteArray countProbe;
    std::optional<ElmRateSwitch> rateSwitch;
    qint32 sessionStartRate = 0; // the rate the session opened at (the adapter's own)
    bool rateFoundVirtual = false; // a rate switch answered at the old rate (this setup)
    QElapsedTimer rateWriteClock;  // since the rate switch's last write
    // The answers to the initialisation's commands, for telling a module by its round trip,
    // and the command in flight's start and bytes.
    QList<ElmRateSwitch::TimedAnswer> initAnswers;
    QElapsedTimer commandClock;
    qint64 commandBytes = 0;
    bool resumeAfterSync = false; // the next synchronisation keeps the queue as it is
    QTimer *rateTimer = nullptr;

    // Bumped by close(): lets code that emitted a signal notice that its handler closed or
    // restarted the link, so it does not go on working on the old session's data.
    quint32 session = 0;
    bool detecting = false;

    SetupFailure lastFailure = SetupOk;
    LinkTransport::Failure lastPortError = LinkTransport::NoFailure;
    QString lastPortErrorText;

    Phase phase = Phase::Closed;
    QTimer *syncTimer = nullptr;
    QTimer *exchangeTimer = nullptr;
    quint32 overdueSession = 0; // the session the running deadline belongs to
    QElapsedTimer drainClock;
    int drainQuietMs = 0; // the quiet spell that ends the drain, and its limit
    int drainLimitMs = 0;
    int syncAttempts = 0;
    ElmSync syncWatch;
    // After a rate switch given up on its prompt's timing alone: the rate the chip may be at
    // after all, tried when the old rate draws no prompt at all (0: none), and whether a
    // prompt came since the synchronising command went out.
    qint32 syncRateIfSilent = 0;
    bool syncSawPrompt = false;
    // The initialisation of the last setup, run again after a reset, and what is left of it.
    QList<ElmInitStep> initSteps;
    QList<ElmInitStep> initQueue;
    // The item in flight as it was queued, where it came from, and what it is.
    QByteArray inFlight;
    Origin inFlightOrigin = Origin::None;
    bool frameInFlight = false;
    bool inFlightAnswered = false;
    bool bannerExpected = false; // the command in flight is answered with the banner
    QByteArray heldLine;
    int resetsSinceReply = 0;
    LinkRecorder m_recorder;
    QByteArray m_adapterId;
    CountOutcome countOutcome = CountUnused;
    RateSwitchRecord rateRecord;
    // query(): those queued, and the one in flight with its answer so far.
    QList<QByteArray> pendingQueries;
    bool queryInFlight = false;
    QList<QByteArray> queryLines;
    void endQuery();
};
