// Receiving: the adapter's bytes through the reply classifier (ElmReply), and what the link
// does with each verdict.

#include "link/ELM327IOBase.h"

#include <QLoggingCategory>
#include <QTimer>

Q_DECLARE_LOGGING_CATEGORY(lcLink)

void ELM327IOBase::dropResponseCount(const QString &why)
{
    qCInfo(lcLink).noquote() << why;
    m_recorder.event(why);
    responseCount = false;
    for (QByteArray &item : commandQueue) {
        if (!ElmReply::isCommandText(item) && item.size() % 2)
            item.chop(1);
    }
}

void ELM327IOBase::readyRead()
{
    const QByteArray raw = transport->readAll();
    m_recorder.received(raw);
    commandBytes += raw.size();
    const QByteArray incoming = ElmReply::clean(raw);
    if (incoming.isEmpty())
        return;
    qCDebug(lcLink) << "<-" << incoming;
    if (rateSwitching()) {
        rateSwitchInput(incoming);
        return;
    }
    if (raisedRateLost(incoming)) {
        // The adapter reset and is back at its start rate: its output is noise here.
        adapterWasReset(incoming, "noise at the raised line rate");
        return;
    }
    if (phase == Phase::Draining) {
        // What an earlier session (or the adapter's reset) left on the line: dropped. The
        // drain ends after a quiet spell, or at the latest after MaxDrainMs.
        restartDrain();
        return;
    }
    splitter.feed(incoming);

    // Each piece leaves the splitter before it is acted on: a handler that runs an event loop
    // may re-enter here, and one that closes or restarts the link ends this session's parsing.
    const quint32 current = session;
    ElmReply::Piece piece;
    while (splitter.next(&piece)) {
        switch (piece.kind) {
        case ElmReply::Piece::Line:
            if (phase == Phase::Syncing)
                syncLine(piece.text);
            else
                parseLine(piece.text);
            break;
        case ElmReply::Piece::TooLong:
            // An adapter's line is a few dozen characters. One that never ends (a wrong line
            // speed, a failing chip) is reported once and skipped up to its carriage return,
            // instead of growing the buffer without limit.
            emit error(ERR_PROTOCOL, QStringLiteral("reply line too long"));
            break;
        case ElmReply::Piece::PromptLine:
        case ElmReply::Piece::Prompt:
            if (phase == Phase::Syncing)
                syncPrompt();
            else if (ElmReply::promptEnds(piece.kind, atPending))
                promptArrived();
            break;
        }
        // A recognised reset drops the rest of the output along with the splitter's.
        if (session != current || phase == Phase::Draining)
            return;
    }
}

void ELM327IOBase::promptArrived()
{
    exchangeTimer->stop();
    if (inFlightOrigin == Origin::Init && commandClock.isValid()) {
        initAnswers.append({commandBytes, commandClock.nsecsElapsed() / 1000});
        commandClock.invalidate();
    }
    bannerExpected = false;
    if (!releaseHeldLine())
        return;
    busy = false;
    if (queryInFlight) {
        const quint32 current = session;
        endQuery();
        if (session != current || busy)
            return;
    }
    sendNext();
}

void ELM327IOBase::parseLine(QByteArray line)
{
    using ElmReply::Kind;
    ElmReply::Context context;
    context.commandPending = atPending;
    context.bannerExpected = bannerExpected;
    context.identifying = lastSent.startsWith("atws");
    context.frameInFlight = busy && frameInFlight;
    context.countInFlight = !countedInFlight.isEmpty();
    context.sent = lastSent;
    context.held = heldLine;
    const ElmReply::Verdict v = ElmReply::classifyLine(line, context);
    if (v.releaseHeld && !releaseHeldLine())
        return;
    if (queryInFlight && v.kind != Kind::Reset) {
        // Everything but the command's own echo is its answer ("STN1110 v4.0" looks like one).
        const QByteArray text = line.trimmed();
        if (!text.isEmpty() && text.toLower().replace(' ', "") != inFlight.toLower().replace(' ', ""))
            queryLines << text;
        if (v.kind != Kind::Ok)
            return;
    }

    switch (v.kind) {
    case Kind::Nothing:
    case Kind::Echo:
    case Kind::CommandText:
        return;
    case Kind::Reset:
        adapterWasReset(v.text, v.sign);
        return;
    case Kind::Ok:
        atPending = false;
        return;
    case Kind::Identification:
        m_adapterId = v.text; // kept for the diagnostics report
        return;
    case Kind::CountRefused:
        // The adapter does not know the response count: the frame goes again without it,
        // and so does every frame after it.
        commandQueue.prepend(countedInFlight.chopped(1));
        countedInFlight.clear();
        countOutcome = CountRefused;
        dropResponseCount(QStringLiteral("the adapter refuses the response count"));
        return;
    case Kind::NoData:
        if (!countedInFlight.isEmpty() && !countConfirmed) {
            // Perhaps the adapter's answer to the digit rather than a lost reply: the same
            // request goes again without it, and the controller hears of nothing yet.
            m_recorder.event(QStringLiteral("NO DATA to %1 with the response count: "
                                            "sent again without it")
                                 .arg(QString::fromLatin1(countedInFlight)));
            countProbe = countedInFlight.chopped(1);
            commandQueue.prepend(countProbe);
            countedInFlight.clear();
            return;
        }
        if (!countProbe.isEmpty() && inFlight == countProbe)
            countProbe.clear(); // no reply either way: a reply lost, the count kept
        Q_FALLTHROUGH();
    case Kind::Stopped:
        if (strict)
            emit error(v.kind == Kind::NoData ? ERR_NODATA : ERR_STOPPED,
                       QStringLiteral("trasport error %1").arg(QString::fromLatin1(v.text)));
        return;
    case Kind::CanError:
        ++canRetries;
        if (lastSent.isEmpty() || canRetries > 4) {
            // Whatever was queued behind the failing frame is dropped before the error is
            // reported, so a handler may queue new work at once.
            canRetries = 0;
            rawQueue.clear();
            commandQueue.clear();
            emit error(ERR_CANERR, QStringLiteral("CAN error. Retries exhausted"));
        } else {
            // Goes out again unchanged, carriage return included, at the next prompt.
            rawQueue.prepend(lastSent);
        }
        return;
    case Kind::Hold:
        heldLine = v.text;
        return;
    case Kind::NonHex:
        canRetries = 0;
        emit error(ERR_PROTOCOL, QStringLiteral("non-hex reply"));
        return;
    case Kind::BufferFull:
    case Kind::Data:
        if (!countedInFlight.isEmpty()) {
            countConfirmed = true;
            countOutcome = CountAccepted;
        }
        if (!countProbe.isEmpty() && inFlight == countProbe) {
            countProbe.clear();
            countOutcome = CountNoData;
            dropResponseCount(QStringLiteral("the adapter answers NO DATA to the response "
                                             "count: off for this session"));
        }
        canRetries = 0;
        inFlightAnswered = true;
        resetsSinceReply = 0;
        dispatchData(v.data);
        return;
    }
}
