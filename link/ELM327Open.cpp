// Opening the link: the transport for the port, the rate detection on a serial port (or the
// first answer of a network adapter), and the start of the session.

#include "link/ELM327IOBase.h"

#include "edition/Edition.h"
#include "link/TcpTransport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMetaEnum>
#include <QPointer>
#include <QSignalBlocker>

Q_DECLARE_LOGGING_CATEGORY(lcLink)

namespace {

// Rate detection blocks its caller and processes events while it waits. When the
// application is asked to quit meanwhile (its last window closed), the probing stops at once
// instead of trying the remaining rates for a window that is gone.
class QuitWatch : public QObject
{
public:
    QuitWatch()
    {
        if (QCoreApplication *app = QCoreApplication::instance())
            app->installEventFilter(this);
    }
    ~QuitWatch() override
    {
        if (QCoreApplication *app = QCoreApplication::instance())
            app->removeEventFilter(this);
    }
    bool asked = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit)
            asked = true;
        return false;
    }
};

// Probes of each rate in baud-rate detection.
constexpr int ProbesPerRate = 5;

} // namespace

bool ELM327IOBase::setup(QString port, uint baud, bool adaptive_timing, bool elm_st)
{
    return setup(port, baud, ElmOptions::fromSettings(adaptive_timing, elm_st));
}

bool ELM327IOBase::setup(const QString &port, uint baud, const ElmOptions &options)
{
    if (detecting) {
        // Reached from an event handled while the rate of another setup is being probed.
        qCWarning(lcLink) << "setup refused: baud-rate detection is running";
        lastFailure = SetupBusy;
        return false;
    }
    close();
    lastFailure = SetupOk;
    lastPortError = LinkTransport::NoFailure;
    lastPortErrorText.clear();
    m_adapterId.clear();
    rateFoundVirtual = false;
    initAnswers.clear();
    m_recorder.restartClock();
    m_recorder.event(baud ? QStringLiteral("connect at %1 bit/s").arg(baud)
                          : QStringLiteral("connect, rate automatic"));
    useTransportFor(port);

    // Opening a network adapter waits for the connection while events are processed: nothing
    // may start another setup or send meanwhile, as during rate detection.
    QPointer<ELM327IOBase> self(this);
    detecting = true;
    const bool opened = transport->open(port, baud ? qint32(baud) : baudRates.first());
    if (!self)
        return false;
    detecting = false;
    if (!opened) {
        qCWarning(lcLink) << "cannot open" << port << transport->errorString();
        if (!transport->hasLineRate())
            return failSetup(SetupNetworkFailed);
        const LinkTransport::Failure why = transport->failure();
        return failSetup(why == LinkTransport::NoFailure || why == LinkTransport::NoSuchPort
                             ? SetupPortMissing
                             : SetupPortFailed);
    }

    if (!transport->hasLineRate() || baud == 0) {
        detecting = true;
        const bool found = transport->hasLineRate() ? detectBaudRate(port) : adapterAnswers();
        if (!self)
            return false;
        detecting = false;
        if (!found && !transport->hasLineRate())
            return failSetup(SetupNetworkFailed);
        if (!found)
            return failSetup(lastPortError != LinkTransport::NoFailure ? SetupPortFailed
                                                                       : SetupNoAdapter);
    }

    qCDebug(lcLink) << "opened" << transport->describe();
    stnCommands = options.extended;
    sessionStartRate = transport->baudRate();
    fastTransfers = options.fastTransfers;
    responseCount = fastTransfers;
    countConfirmed = false;
    countProbe.clear();
    countOutcome = fastTransfers ? CountUntried : CountUnused;
    rateRecord = RateSwitchRecord();
    rateRecord.from = rateRecord.reached = transport->baudRate();
    // Kept for a reset of the adapter, which undoes all of it. Frames queued by events
    // handled during detection follow the initialisation.
    initSteps = elmInitialisation(options);

    m_recorder.event(
        QStringLiteral("port open at %1 bit/s, initialising").arg(transport->baudRate()));
    resetsSinceReply = 0;
    startSync();
    emit connected();
    return true;
}

// Probes the rates of baudRates on the open port until the adapter answers "ati", then leaves the
// port reopened at that rate (the update-checking edition keeps it open instead). Returns false
// with the port closed when no rate answers, when the port fails or is closed meanwhile, or when
// the link itself is deleted by an event processed while waiting (then no member may be touched any
// more).
bool ELM327IOBase::detectBaudRate(const QString &port)
{
    QPointer<ELM327IOBase> self(this);
    // Probing at wrong rates draws time-outs and noise; they must neither close the port nor
    // reach the line parser.
    disconnectPortData();

    // True when probing has to stop early: the link was deleted (then nothing may be touched),
    // closed by close() from an event, the application is quitting, or the port failed. The
    // port's connections are back in place by then.
    QuitWatch quit;
    auto abandoned = [&] {
        if (!self)
            return true;
        if (!transport->isOpen()) {
            connectPortData();
            return true;
        }
        if (quit.asked) {
            m_recorder.event(QStringLiteral("rate detection stopped: the application quits"));
            const QSignalBlocker blocker(transport);
            transport->close();
            connectPortData();
            return true;
        }
        if (transport->hasFailed()) {
            qCWarning(lcLink) << "port failed during baud-rate detection"
                              << transport->errorString();
            lastPortError = transport->failure();
            lastPortErrorText = transport->errorString();
            transport->close();
            if (self)
                connectPortData();
            return true;
        }
        return false;
    };
    // Writes while keeping the interface alive; false when probing has to stop.
    auto send = [&](const QByteArray &bytes) {
        qCDebug(lcLink) << "->" << bytes << "at" << transport->baudRate();
        m_recorder.sent(bytes);
        transport->write(bytes);
        QCoreApplication::processEvents();
        if (abandoned())
            return false;
        transport->flush();
        QCoreApplication::processEvents();
        return !abandoned();
    };

    auto readReply = [&] {
        const QByteArray bytes = transport->readAll();
        if (!bytes.isEmpty())
            m_recorder.received(bytes);
        return bytes;
    };
    // Every command draws one prompt. Through a wireless module each burst comes tens of
    // milliseconds late, so answers may still be on their way when the probing moves on;
    // arriving in the session they would pass for unasked banners (resets). Waits, up to
    // `limitMs`, until `reply` holds `prompts` prompts; false when probing has to stop.
    auto awaitPrompts = [&](QByteArray &reply, int prompts, int limitMs) {
        QElapsedTimer waited;
        waited.start();
        while (reply.count('>') < prompts && waited.elapsed() < limitMs) {
            transport->waitForReadyRead(int(qMax<qint64>(1, limitMs - waited.elapsed())));
            reply += readReply();
            if (abandoned())
                return false;
        }
        return true;
    };

    int index = 0;
    QByteArray reply;
    for (;;) {
        m_recorder.event(QStringLiteral("probing %1 bit/s").arg(baudRates.at(index)));
        transport->clear();
        reply.clear();
        for (int attempt = 0; attempt < ProbesPerRate; ++attempt) {
            if (!send(QByteArrayLiteral("ati\r")))
                return false;
            transport->waitForReadyRead(100);
            reply += readReply();
            transport->waitForReadyRead(100);
            reply += readReply();
            if (abandoned())
                return false;
        }
        if (!reply.isEmpty())
            qCDebug(lcLink) << "<-" << reply;
        if (reply.contains("ELM327") || reply.contains("ati") || reply.contains("?\r"))
            break;
        if (++index == baudRates.size()) {
            qCWarning(lcLink) << "no adapter answered on" << port;
            m_recorder.event(QStringLiteral("no adapter answered at any rate"));
            transport->close();
            if (!self)
                return false;
            connectPortData();
            return false;
        }
        transport->setBaudRate(baudRates.at(index));
    }

    qCDebug(lcLink) << "adapter found at" << baudRates.at(index);
    m_recorder.event(QStringLiteral("rate found: %1 bit/s").arg(baudRates.at(index)));
    if (!awaitPrompts(reply, ProbesPerRate, LateAnswerMs))
        return false;
    if (reply.count('>') < ProbesPerRate)
        m_recorder.event(
            QStringLiteral("%1 of %2 probes answered").arg(reply.count('>')).arg(ProbesPerRate));
    if (!Edition::DetectionReopensPort) {
        // The port already runs at the found rate: keep it open, so no disconnected().
        connectPortData();
        return true;
    }
    if (!send(QByteArrayLiteral("atws\r")))
        return false;
    // Its answer, up to the prompt, is dropped here rather than left for the session.
    QByteArray warmStart;
    if (!awaitPrompts(warmStart, 1, 500 + LateAnswerMs))
        return false;

    transport->flush();
    transport->clear();
    transport->close();
    if (!self)
        return false;

    const bool reopened = transport->open(port, baudRates.at(index));
    connectPortData();
    if (!reopened) {
        qCWarning(lcLink) << "cannot reopen" << port << transport->errorString();
        lastPortError = transport->failure();
        lastPortErrorText = transport->errorString();
        if (lastPortError == LinkTransport::NoFailure)
            lastPortError = LinkTransport::NoSuchPort;
    }
    return reopened;
}

bool ELM327IOBase::failSetup(SetupFailure failure)
{
    lastFailure = failure;
    if ((failure == SetupPortFailed && lastPortError == LinkTransport::NoFailure) ||
        (failure == SetupNetworkFailed && lastPortErrorText.isEmpty())) {
        lastPortError = transport->failure();
        lastPortErrorText = transport->errorString();
    }
    QString text = QStringLiteral("connect failed: %1")
                       .arg(QLatin1String(QMetaEnum::fromType<SetupFailure>().valueToKey(failure)));
    if (!lastPortErrorText.isEmpty())
        text += QLatin1Char(' ') + lastPortErrorText;
    m_recorder.event(text);
    return false;
}

// A network adapter has no rate to find, and a connection alone does not show that an adapter
// is behind it: a Wi-Fi module whose chip is switched off, or a program that is not an adapter,
// accepts the connection and stays silent. One "ati" must draw an answer up to the adapter's
// prompt within TcpTransport::AnswerTimeoutMs; what it says is dropped.
bool ELM327IOBase::adapterAnswers()
{
    QPointer<ELM327IOBase> self(this);
    disconnectPortData();
    transport->clear();
    qCDebug(lcLink) << "-> ati\r";
    transport->write(QByteArrayLiteral("ati\r"));
    transport->flush();

    // Only the prompt is looked for, and only the tail of what came is kept: an adapter
    // that talks without end must not fill the memory while it is waited for.
    constexpr int KeptBytes = 4096;
    QByteArray reply;
    bool prompted = false;
    QElapsedTimer waited;
    waited.start();
    while (!prompted) {
        const qint64 left = TcpTransport::AnswerTimeoutMs - waited.elapsed();
        if (left <= 0 || !transport->isOpen() || transport->hasFailed())
            break;
        transport->waitForReadyRead(int(left));
        if (!self)
            return false;
        const QByteArray bytes = transport->readAll();
        prompted = bytes.contains('>');
        reply = (reply + bytes).right(KeptBytes);
    }
    if (!reply.isEmpty())
        qCDebug(lcLink) << "<-" << reply;
    if (prompted) {
        connectPortData();
        return true;
    }

    if (!transport->isOpen())
        lastPortErrorText = tr("The connection was closed before the adapter answered");
    else if (transport->hasFailed())
        lastPortErrorText = transport->errorString();
    else
        lastPortErrorText = tr("No answer from the adapter at %1 within 5 s")
                                .arg(transport->portName().section(QStringLiteral("://"), 1));
    qCWarning(lcLink) << "no adapter on" << transport->portName() << lastPortErrorText;
    transport->close();
    if (self)
        connectPortData();
    return false;
}
