// Keeping the link in step with the adapter: the drain and the synchronisation that start
// every session, and the recognition of an adapter that reset under the link.
//
// The link has no other timer. Draining has to wait for output that may or may not come (the
// answer to the "ATZ" a session sent on its way out arrives whenever the adapter is done with
// its reset, possibly in the next session), so it waits for a quiet spell on the line.

#include "link/ELM327IOBase.h"

#include <QLoggingCategory>
#include <QTimer>

#include <utility>

Q_DECLARE_LOGGING_CATEGORY(lcLink)

namespace {

// The drain ends once the line has been quiet this long, or at the latest after MaxDrainMs
// (an adapter left monitoring the bus never goes quiet; the first command stops it).
constexpr int DrainQuietMs = 40;
constexpr int MaxDrainMs = 300;
// The synchronising command (ElmSync). A prompt that does not end its answer belongs to
// output from before (a late reset banner): its answer is waited for a while (LateAnswerMs),
// then the command sent once more. It is sent again as well when nothing at all came back for
// a while (an adapter busy resetting may drop what it gets).
constexpr int SyncRetryMs = 1000;
// After a rate switch through a module: the quiet spell that shows nothing more comes (the
// chip's "at brt" and a fast module's way back; a slow module is found before any switch).
constexpr int SwitchSettleMs = 120;
constexpr int MaxSyncAttempts = 8;

} // namespace

void ELM327IOBase::startSync()
{
    resumeAfterSync = false;
    phase = Phase::Draining;
    busy = false;
    atPending = false;
    bannerExpected = false;
    heldLine.clear();
    splitter.clear();
    initQueue.clear();
    syncAttempts = 0;
    syncWatch = ElmSync();
    syncRateIfSilent = 0;
    syncSawPrompt = false;
    drainQuietMs = DrainQuietMs;
    drainLimitMs = MaxDrainMs;
    drainClock.start();
    syncTimer->start(drainQuietMs);
}

void ELM327IOBase::resyncKeepingQueue()
{
    startSync();
    resumeAfterSync = true;
    // What may still come is an answer to the link's own write: let it in and drop it.
    drainQuietMs = SwitchSettleMs;
    drainLimitMs = MaxDrainMs + LateAnswerMs;
    syncTimer->start(drainQuietMs);
}

void ELM327IOBase::restartDrain()
{
    if (drainClock.elapsed() < drainLimitMs)
        syncTimer->start(drainQuietMs);
}

void ELM327IOBase::onSyncTimer()
{
    if (!transport->isOpen())
        return;
    if (phase == Phase::Draining) {
        qCDebug(lcLink) << "line drained after" << drainClock.elapsed() << "ms";
        phase = Phase::Syncing;
    }
    if (phase == Phase::Syncing && syncAttempts > 0 && !syncSawPrompt && syncRateIfSilent > 0)
        tryRateIfSilent();
    if (phase == Phase::Syncing && syncAttempts < MaxSyncAttempts)
        sendSyncCommand();
}

// A prompt at the new rate that came late or early (a busy machine takes in the "OK" or the
// prompt late) looks like a module's, and the link went back to the old rate. A chip on a cable
// that did switch cannot be heard there: not even a prompt comes back. Then it is at the new
// rate, and the link goes there to get in step.
void ELM327IOBase::tryRateIfSilent()
{
    const qint32 rate = std::exchange(syncRateIfSilent, 0);
    m_recorder.event(QStringLiteral("no answer at %1 bit/s after the rate switch was given up: "
                                    "trying %2 bit/s")
                         .arg(transport->baudRate())
                         .arg(rate));
    if (!setPortRate(rate))
        return;
    transport->discardInput();
    splitter.clear();
    rateFoundVirtual = false;
    rateRecord.reached = rate;
    qCInfo(lcLink) << "rate switched to" << rate << "bit/s";
    m_recorder.event(QStringLiteral("rate switched to %1 bit/s").arg(rate));
}

void ELM327IOBase::sendSyncCommand()
{
    ++syncAttempts;
    syncSawPrompt = false;
    syncWatch.sent();
    lastSent = ElmSync::command();
    writeNow(lastSent);
    syncTimer->start(SyncRetryMs);
}

void ELM327IOBase::syncLine(const QByteArray &line)
{
    syncWatch.line(line);
}

void ELM327IOBase::syncPrompt()
{
    syncSawPrompt = true;
    if (syncWatch.prompt() == ElmSync::Stale) {
        // Somebody else's prompt (a late reset banner, the answer to an earlier session's
        // "ATZ"). The answer to the command sent may still be on its way: through a
        // wireless module it comes a round trip after the command. It is waited for, and
        // the command sent again only when it has not come; sent again at once, its answer
        // would pass for the answer to the second sending.
        syncTimer->start(LateAnswerMs);
        return;
    }
    syncTimer->stop();
    qCDebug(lcLink) << "in step with the adapter after" << drainClock.elapsed() << "ms,"
                    << syncAttempts << "attempt(s)";
    m_recorder.event(QStringLiteral("in step with the adapter after %1 ms (%2)")
                         .arg(drainClock.elapsed())
                         .arg(QLatin1String(syncWatch.reason())));
    phase = Phase::Running;
    if (!resumeAfterSync)
        initQueue = initSteps;
    resumeAfterSync = false;
    busy = false;
    sendNext();
}

// Every recognised reset of the adapter ends up here. The adapter is back at its power-up
// settings (or some of them), so the link gets in step again and runs its initialisation once
// more; the item in flight, unless it was answered already, goes out again after it. A second
// reset before any reply came means the adapter cannot keep up: the queued work is dropped
// and ERR_OTHER reported.
void ELM327IOBase::adapterWasReset(const QByteArray &line, const char *sign)
{
    qCInfo(lcLink) << "adapter reset recognised:" << sign << line;
    m_recorder.event(QStringLiteral("adapter reset recognised (%1): %2")
                         .arg(QLatin1String(sign), QString::fromLatin1(line.trimmed())));
    // A query in flight is asked again after the new initialisation.
    if (queryInFlight && busy && !inFlightAnswered) {
        pendingQueries.prepend(inFlight);
        queryInFlight = false;
        queryLines.clear();
    }
    const bool giveUp = ++resetsSinceReply > 1;
    if (giveUp) {
        rawQueue.clear();
        commandQueue.clear();
        resetsSinceReply = 0;
    } else {
        requeueInFlight();
    }
    canRetries = 0;
    // A reset undoes a raised line rate: the adapter is found again at the rate it starts at,
    // and the initialisation raises it once more.
    returnToStartRate();
    startSync();
    if (giveUp)
        emit error(ERR_OTHER, QString::fromLatin1(AdapterResetReason));
    else
        emit adapterReset(QString::fromLatin1(sign));
}

void ELM327IOBase::requeueInFlight()
{
    if (!busy || inFlightAnswered)
        return;
    // A "CAN ERROR" resend of it may be queued already.
    if (!rawQueue.isEmpty() && rawQueue.first() == lastSent)
        return;
    switch (inFlightOrigin) {
    case Origin::Raw:
        rawQueue.prepend(inFlight);
        break;
    case Origin::Command:
        commandQueue.prepend(inFlight);
        break;
    case Origin::Init: // the initialisation runs again anyway
    case Origin::None:
        break;
    }
    inFlightOrigin = Origin::None;
}

bool ELM327IOBase::releaseHeldLine()
{
    if (heldLine.isEmpty())
        return true;
    const QByteArray line = heldLine;
    heldLine.clear();
    const quint32 current = session;
    canRetries = 0;
    inFlightAnswered = true;
    resetsSinceReply = 0;
    dispatchData(QByteArray::fromHex(line.trimmed()));
    return session == current && phase == Phase::Running;
}
