#include "link/ElmRateSwitch.h"

#include "link/ElmReply.h"

#include <algorithm>

namespace {

constexpr qint32 BrdClock = 4000000;

} // namespace

QByteArray ElmRateSwitch::command(qint32 rate, bool extended)
{
    if (extended)
        return QByteArrayLiteral("st br ") + QByteArray::number(rate);
    const int divisor = (BrdClock + rate / 2) / rate;
    return QByteArrayLiteral("at brd ") + QByteArray::number(divisor, 16).rightJustified(2, '0');
}

ElmRateSwitch::ElmRateSwitch(const QList<qint32> &candidates, qint32 rateInUse, bool extended)
    : m_candidates(candidates), m_before(rateInUse), m_extended(extended)
{
}

bool ElmRateSwitch::looksLikeModule(qint64 fastestAnswerUs)
{
    return fastestAnswerUs > qint64(ModuleLatencyMs) * 1000;
}

qint64 ElmRateSwitch::answerDelayUs(QList<TimedAnswer> answers, qint32 portRate)
{
    // The fastest of a few, so that one answer the machine was slow to take in does not count.
    constexpr int Shortest = 3;
    if (answers.isEmpty() || portRate <= 0)
        return -1;
    std::stable_sort(answers.begin(), answers.end(),
                     [](const TimedAnswer &a, const TimedAnswer &b) { return a.bytes < b.bytes; });
    qint64 fastest = -1;
    for (int i = 0; i < qMin(Shortest, int(answers.size())); ++i) {
        const qint64 lineUs = answers.at(i).bytes * 10 * 1000000 / portRate;
        const qint64 net = qMax<qint64>(0, answers.at(i).elapsedUs - lineUs);
        fastest = fastest < 0 ? net : qMin(fastest, net);
    }
    return fastest;
}

ElmRateSwitch::Step ElmRateSwitch::start()
{
    return tryNext(Step());
}

ElmRateSwitch::Step ElmRateSwitch::tryNext(Step step)
{
    m_buffer.clear();
    m_portRefused = false;
    m_roundTripMs = -1;
    if (m_candidates.isEmpty()) {
        Step last = finish(false);
        last.setRate = step.setRate;
        last.discardInput = step.discardInput;
        last.event = step.event;
        return last;
    }
    m_target = m_candidates.takeFirst();
    m_step = AwaitOk;
    m_lastCommand = command(m_target, m_extended) + '\r';
    step.write = m_lastCommand;
    step.timerMs = CommandAnswerMs;
    return step;
}

ElmRateSwitch::Step ElmRateSwitch::finish(bool raised)
{
    m_step = Idle;
    m_buffer.clear();
    Step step;
    step.done = true;
    step.raised = raised;
    return step;
}

ElmRateSwitch::Step ElmRateSwitch::backAtOldRate(const QString &why)
{
    Step step;
    step.setRate = m_before;
    step.discardInput = true;
    step.event = QStringLiteral("rate switch to %1 bit/s failed (%2), back at %3 bit/s")
                     .arg(m_target)
                     .arg(why)
                     .arg(m_before);
    return tryNext(step);
}

ElmRateSwitch::Step ElmRateSwitch::rateMeansNothing()
{
    m_virtual = true;
    Step last = finish(false);
    last.setRate = m_before;
    last.rateVirtual = true;
    last.event = QStringLiteral("the adapter answered at %1 bit/s with the port at %2 bit/s: the "
                                "port's rate means nothing here (a wireless module), back at %1 "
                                "bit/s, no rate switch")
                     .arg(m_before)
                     .arg(m_target);
    return last;
}

ElmRateSwitch::Step ElmRateSwitch::input(const QByteArray &bytes, qint64 msSinceWrite)
{
    m_buffer += bytes;
    Step step;
    switch (m_step) {
    case AwaitOk: {
        int cr;
        while ((cr = m_buffer.indexOf('\r')) >= 0) {
            QByteArray line = m_buffer.left(cr).trimmed();
            m_buffer.remove(0, cr + 1);
            if (line.startsWith('>'))
                line.remove(0, 1);
            if (line.toUpper() != "OK")
                continue; // "?", or the echo of a chip that echoes
            // The chip switches right after its "OK": what follows is its text at the new
            // rate, here read at the old one.
            m_roundTripMs = msSinceWrite;
            const bool noise = ElmReply::isNoise(m_buffer);
            m_buffer.clear();
            m_step = AwaitId;
            if (noise) {
                // Its text at the new rate, read at the old one: confirm at once.
                Step confirm = timeout();
                confirm.setRate = m_target;
                return confirm;
            }
            step.setRate = m_target;
            step.timerMs = IdentificationWaitMs;
            return step;
        }
        if (m_buffer.endsWith('>'))
            return tryNext(Step()); // refused
        return step;
    }
    case AwaitId:
        // The identification is in, or its noise (the text gone by before the port
        // switched): confirm at once, well inside the chip's "at brt".
        if (ElmReply::isNoise(m_buffer) || m_buffer.contains('\r'))
            return timeout();
        return step;
    case AwaitPrompt:
        if (m_buffer.contains('>')) {
            if (m_portRefused) // the chip back at the rate the port stayed at
                return backAtOldRate(QStringLiteral("the port cannot run at it"));
            // The answer to the carriage return comes about as soon after it as the "OK"
            // came after the command. A prompt much later is the chip's own, printed at the
            // old rate when it gave up waiting, and intact only because something between
            // the port and the chip talks to the chip at that rate; much sooner, it cannot
            // be the answer either.
            const bool early = m_roundTripMs >= 0 && msSinceWrite >= 0 &&
                               2 * msSinceWrite + LateMarginMs / 4 < m_roundTripMs;
            const bool late = m_roundTripMs >= 0 && msSinceWrite > m_roundTripMs + LateMarginMs;
            if (early || late) {
                // The carriage return may reach the chip after it gave up, as a bare
                // carriage return, which repeats its last command: the link lets that
                // answer come and go before it goes on.
                Step last = rateMeansNothing();
                last.resync = true;
                return last;
            }
            Step last = finish(true);
            last.event = QStringLiteral("rate switched to %1 bit/s").arg(m_target);
            return last;
        }
        return step;
    case Idle:
        return step;
    }
    return step;
}

ElmRateSwitch::Step ElmRateSwitch::rateRefused()
{
    // Asked a moment ago and accepted; should it fail now, the chip gives up waiting and
    // goes back by itself.
    Step step;
    m_step = AwaitPrompt;
    m_portRefused = true;
    step.timerMs = PromptWaitMs;
    return step;
}

ElmRateSwitch::Step ElmRateSwitch::timeout()
{
    Step step;
    switch (m_step) {
    case AwaitOk:
        // No answer at all: leave the rate alone.
        return finish(false);
    case AwaitId:
        m_step = AwaitPrompt;
        m_buffer.clear();
        step.write = QByteArrayLiteral("\r");
        step.timerMs = PromptWaitMs;
        return step;
    case AwaitPrompt:
        // The chip did not hear the carriage return and is back at the old rate, at its
        // prompt (which went by while the port listened at the new rate).
        return backAtOldRate(QStringLiteral("not heard"));
    case Idle:
        return step;
    }
    return step;
}
