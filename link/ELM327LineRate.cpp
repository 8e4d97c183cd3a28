// The line rate switch of ELM327IOBase. The adapter's serial line usually starts at 38400
// bit/s, and every exchange of a transfer pays for its bytes at that rate. After the
// initialisation the link asks for a faster line with the chip's handshake:
//
//   host, old rate:  "at brd 08\r"   (extended set: "st br 500000\r")
//   chip, old rate:  "OK\r"          then switches
//   chip, new rate:  "ELM327 v1.5\r" then listens ("at brt", 75 ms) for a carriage return
//   host, new rate:  "\r"
//   chip, new rate:  "\r>"           heard: it stays at the new rate until it is reset
//   chip, old rate:  "\r>"           not heard: it went back to the old rate
//
// A refusal ("?"), a port that cannot run at the rate, or a handshake that fails moves on to
// the next slower rate; when none is left the session goes on at the rate in use.

#include "link/ELM327IOBase.h"

#include <QLoggingCategory>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>

Q_DECLARE_LOGGING_CATEGORY(lcLink)

namespace {

// Fastest first; only those above the rate in use are tried.
const QList<qint32> FastRates = {500000, 250000, 115200};

// "at brd hh" runs the chip's UART at 4000/hh kbit/s: 08 is 500000, 10 is 250000, 23 is
// 114286 (1 % from 115200, which UARTs take as the same rate).
constexpr qint32 BrdClock = 4000000;

// How long the chip may take to answer the command at the old rate.
constexpr int CommandAnswerMs = 1000;
// How long to wait for the identification at the new rate before sending the carriage
// return anyway: the text may have gone out before the port was switched. Well inside the
// chip's 75 ms.
constexpr int IdentificationWaitMs = 20;
// How long the prompt at the new rate may take after the carriage return. Beyond it the
// chip has given up (75 ms after its identification) and printed its prompt at the old
// rate, where it now waits for the next command.
constexpr int PromptWaitMs = 250;

QByteArray rateCommand(qint32 rate, bool extended)
{
    if (extended)
        return QByteArrayLiteral("st br ") + QByteArray::number(rate);
    const int divisor = (BrdClock + rate / 2) / rate;
    return QByteArrayLiteral("at brd ") + QByteArray::number(divisor, 16).rightJustified(2, '0');
}

} // namespace

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
    if (rateStep != RateStep::None || sessionStartRate <= 0 ||
        transport->baudRate() == sessionStartRate)
        return false;
    return std::any_of(incoming.cbegin(), incoming.cend(), [](char c) { return uchar(c) & 0x80; });
}

void ELM327IOBase::returnToStartRate()
{
    rateTimer->stop();
    rateStep = RateStep::None;
    rateBuffer.clear();
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
    rateBefore = transport->baudRate();
    rateCandidates.clear();
    // A network adapter has no line rate to raise.
    for (const qint32 rate : FastRates) {
        if (transport->canChangeRate() && rate > rateBefore)
            rateCandidates << rate;
    }
    tryNextRate();
}

void ELM327IOBase::tryNextRate()
{
    rateTimer->stop();
    rateBuffer.clear();
    while (!rateCandidates.isEmpty()) {
        rateTarget = rateCandidates.takeFirst();
        if (!portAcceptsRate(rateTarget)) {
            qCDebug(lcLink) << "the port cannot run at" << rateTarget;
            continue;
        }
        rateStep = RateStep::AwaitOk;
        atPending = true;
        lastSent = rateCommand(rateTarget, stnCommands) + '\r';
        writeNow(lastSent);
        busy = true;
        rateTimer->start(CommandAnswerMs);
        return;
    }
    finishRateRaise();
}

void ELM327IOBase::sendRateConfirmation()
{
    rateStep = RateStep::AwaitPrompt;
    rateBuffer.clear();
    writeNow(QByteArrayLiteral("\r"));
    rateTimer->start(PromptWaitMs);
}

void ELM327IOBase::rateSwitchInput(const QByteArray &bytes)
{
    rateBuffer += bytes;
    switch (rateStep) {
    case RateStep::AwaitOk: {
        int cr;
        while ((cr = rateBuffer.indexOf('\r')) >= 0) {
            QByteArray line = rateBuffer.left(cr).trimmed();
            rateBuffer.remove(0, cr + 1);
            if (line.startsWith('>'))
                line.remove(0, 1);
            if (line.toUpper() != "OK")
                continue; // "?", or the echo of a chip that echoes
            // The chip switches right after its "OK": what follows comes at the new rate.
            rateBuffer.clear();
            if (!setPortRate(rateTarget)) {
                // Asked a moment ago and accepted; should it fail now, the chip gives up
                // waiting and goes back by itself.
                rateStep = RateStep::AwaitPrompt;
                rateTimer->start(PromptWaitMs);
                return;
            }
            rateStep = RateStep::AwaitId;
            rateTimer->start(IdentificationWaitMs);
            return;
        }
        if (rateBuffer.endsWith('>')) {
            qCDebug(lcLink) << "the adapter refuses" << lastSent;
            tryNextRate();
        }
        break;
    }
    case RateStep::AwaitId:
        if (rateBuffer.contains('\r'))
            sendRateConfirmation();
        break;
    case RateStep::AwaitPrompt:
        if (rateBuffer.contains('>')) {
            qCInfo(lcLink) << "line rate raised to" << transport->baudRate();
            m_recorder.event(
                QStringLiteral("rate switched to %1 bit/s").arg(transport->baudRate()));
            finishRateRaise();
        }
        break;
    case RateStep::None:
        break;
    }
}

void ELM327IOBase::rateSwitchTimeout()
{
    switch (rateStep) {
    case RateStep::AwaitOk:
        // No answer at all: leave the rate alone.
        finishRateRaise();
        break;
    case RateStep::AwaitId:
        sendRateConfirmation();
        break;
    case RateStep::AwaitPrompt:
        // The chip did not hear the carriage return and is back at the old rate, at its
        // prompt (which went by while the port listened at the new rate).
        qCDebug(lcLink) << "no prompt at" << rateTarget << "- back to" << rateBefore;
        m_recorder.event(QStringLiteral("rate switch to %1 bit/s failed, back at %2 bit/s")
                             .arg(rateTarget)
                             .arg(rateBefore));
        setPortRate(rateBefore);
        transport->discardInput();
        tryNextRate();
        break;
    case RateStep::None:
        break;
    }
}

void ELM327IOBase::finishRateRaise()
{
    rateTimer->stop();
    rateStep = RateStep::None;
    rateBuffer.clear();
    splitter.clear();
    atPending = false;
    busy = false;
    sendNext();
}
