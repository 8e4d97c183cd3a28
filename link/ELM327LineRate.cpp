// The line rate switch of ELM327IOBase: the port's side of the handshake that ElmRateSwitch
// decides. A reset takes the adapter back to its start rate; the link notices (noise at the
// raised rate, or a reset sign) and follows it there.

#include "link/ELM327IOBase.h"

#include <QLoggingCategory>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>

Q_DECLARE_LOGGING_CATEGORY(lcLink)

bool ELM327IOBase::portAcceptsRate(qint32 rate)
{
    const qint32 inUse = transport->baudRate();
    const bool accepted = setPortRate(rate);
    setPortRate(inUse);
    return accepted;
}

bool ELM327IOBase::setPortRate(qint32 rate)
{
    // A refused rate is reported as a port error, which would close the port.
    const QSignalBlocker blocker(transport);
    const bool ok = transport->setBaudRate(rate) && transport->baudRate() == rate;
    transport->clearError();
    return ok;
}

bool ELM327IOBase::raisedRateLost(const QByteArray &incoming) const
{
    if (rateSwitching() || sessionStartRate <= 0 || transport->baudRate() == sessionStartRate)
        return false;
    return ElmReply::isNoise(incoming);
}

void ELM327IOBase::returnToStartRate()
{
    rateTimer->stop();
    rateSwitch.reset();
    if (!transport->isOpen() || sessionStartRate <= 0 ||
        transport->baudRate() == sessionStartRate)
        return;
    qCInfo(lcLink) << "line back at the adapter's start rate" << sessionStartRate;
    m_recorder.event(QStringLiteral("line back at the start rate, %1 bit/s").arg(sessionStartRate));
    setPortRate(sessionStartRate);
    transport->discardInput();
}

void ELM327IOBase::startRateRaise()
{
    const qint32 before = transport->baudRate();
    QList<qint32> candidates;
    // A network adapter has no line rate to raise, and through a Bluetooth serial port or a
    // module the chip's rate stays what it is whatever the port is set to: there the
    // handshake can only fail.
    const qint64 answerUs = transport->hasLineRate()
                                ? ElmRateSwitch::answerDelayUs(initAnswers, transport->baudRate())
                                : -1;
    if (!rateIsVirtual() && transport->canChangeRate() && answerUs >= 0 &&
        ElmRateSwitch::looksLikeModule(answerUs)) {
        rateFoundVirtual = true;
        m_recorder.event(QStringLiteral("even the shortest commands took %1 ms more than their "
                                        "bytes need: a wireless module between the port and "
                                        "the chip")
                             .arg(answerUs / 1000));
    }
    if (rateIsVirtual() && transport->canChangeRate()) {
        m_recorder.event(QStringLiteral("no rate switch: the rate set on this port means nothing "
                                        "(%1)")
                             .arg(rateFoundVirtual ? QStringLiteral("a wireless module")
                                                   : QStringLiteral("a Bluetooth serial port")));
    }
    for (const qint32 rate : ElmRateSwitch::fastRates()) {
        if (!transport->canChangeRate() || rateIsVirtual() || rate <= before)
            continue;
        if (portAcceptsRate(rate))
            candidates << rate;
        else
            qCDebug(lcLink) << "the port cannot run at" << rate;
    }
    rateSwitch.emplace(candidates, before, stnCommands);
    rateRecord = RateSwitchRecord();
    rateRecord.from = rateRecord.reached = before;
    applyRateStep(rateSwitch->start());
}

void ELM327IOBase::applyRateStep(const ElmRateSwitch::Step &step)
{
    if (step.setRate > 0 && !setPortRate(step.setRate) && !step.done &&
        step.setRate == rateSwitch->target()) {
        applyRateStep(rateSwitch->rateRefused());
        return;
    }
    if (step.rateVirtual)
        rateFoundVirtual = true;
    // What the adapter was asked and agreed to, and where the switch ended.
    if (step.write.size() > 1)
        rateRecord.asked << rateSwitch->target();
    if (step.setRate > 0 && step.setRate == rateSwitch->target() && !step.done)
        rateRecord.agreed << step.setRate;
    if (step.done)
        rateRecord.reached = transport->baudRate();
    if (step.discardInput)
        transport->discardInput();
    if (!step.event.isEmpty()) {
        qCInfo(lcLink).noquote() << step.event;
        m_recorder.event(step.event);
    }
    if (!step.write.isEmpty()) {
        rateWriteClock.start();
        if (step.write != "\r") {
            // A rate command is in flight: its answer is no data.
            atPending = true;
            lastSent = step.write;
            busy = true;
        }
        writeNow(step.write);
    }
    if (step.done && step.resync) {
        const qint32 target = rateSwitch->target();
        rateTimer->stop();
        rateSwitch.reset();
        resyncKeepingQueue();
        if (step.rateVirtual)
            syncRateIfSilent = target;
        return;
    }
    if (step.done) {
        finishRateRaise();
        return;
    }
    if (step.timerMs > 0)
        rateTimer->start(step.timerMs);
}

void ELM327IOBase::rateSwitchInput(const QByteArray &bytes)
{
    const qint64 sinceWrite = rateWriteClock.isValid() ? rateWriteClock.elapsed() : -1;
    applyRateStep(rateSwitch->input(bytes, sinceWrite));
}

void ELM327IOBase::rateSwitchTimeout()
{
    if (rateSwitching())
        applyRateStep(rateSwitch->timeout());
}

void ELM327IOBase::finishRateRaise()
{
    rateTimer->stop();
    rateSwitch.reset();
    splitter.clear();
    atPending = false;
    busy = false;
    sendNext();
}
