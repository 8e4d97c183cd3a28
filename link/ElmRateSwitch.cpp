#include "link/ElmRateSwitch.h"

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

ElmRateSwitch::Step ElmRateSwitch::start()
{
    return tryNext(Step());
}

ElmRateSwitch::Step ElmRateSwitch::tryNext(Step step)
{
    m_buffer.clear();
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

ElmRateSwitch::Step ElmRateSwitch::input(const QByteArray &bytes)
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
            // The chip switches right after its "OK": what follows comes at the new rate.
            m_buffer.clear();
            m_step = AwaitId;
            step.setRate = m_target;
            step.timerMs = IdentificationWaitMs;
            return step;
        }
        if (m_buffer.endsWith('>'))
            return tryNext(Step()); // refused
        return step;
    }
    case AwaitId:
        if (m_buffer.contains('\r'))
            return timeout(); // the identification is in: confirm at once
        return step;
    case AwaitPrompt:
        if (m_buffer.contains('>')) {
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
        step.setRate = m_before;
        step.discardInput = true;
        step.event = QStringLiteral("rate switch to %1 bit/s failed, back at %2 bit/s")
                         .arg(m_target)
                         .arg(m_before);
        return tryNext(step);
    case Idle:
        return step;
    }
    return step;
}
