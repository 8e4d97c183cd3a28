#pragma once

// The line rate handshake as a value: fed the adapter's bytes and the time-outs, it says
// what to do next. The adapter's serial line usually starts at 38400 bit/s, and every
// exchange of a transfer pays for its bytes at that rate; after the initialisation the link
// asks for a faster line with the chip's handshake:
//
//   host, old rate:  "at brd 08\r"   (extended set: "st br 500000\r")
//   chip, old rate:  "OK\r"          then switches
//   chip, new rate:  "ELM327 v1.5\r" then listens ("at brt", 75 ms) for a carriage return
//   host, new rate:  "\r"
//   chip, new rate:  "\r>"           heard: it stays at the new rate until it is reset
//   chip, old rate:  "\r>"           not heard: it went back to the old rate
//
// A refusal ("?"), a port that cannot run at the rate, or a handshake that fails moves on to
// the next slower rate; no answer at all, or no rate left, ends it at the rate in use.
//
// A wireless module (Bluetooth or Wi-Fi) between the port and the chip talks to the chip at
// the chip's own rate, whatever the port is set to: the switch can only fail there, and the
// rate set on the port means nothing. The link does not try it where it knows that (a
// network adapter, a Bluetooth serial port, commands answered no faster than a module can:
// looksLikeModule()). Where it is tried, the chip's text at the new rate comes as noise, the
// carriage return reaches it as noise, and when "at brt" runs out it prints its prompt at the
// old rate, which the module passes on intact. A prompt taken for the new rate's must be the
// answer to the carriage return: not much later, nor much sooner, after it than the chip's
// "OK" came after its command. Otherwise the switch ends at the old rate with
// nothing more tried, and rateIsVirtual() says so. The chip's text at the new rate and its
// answer to the carriage return are the exchange that shows the switch took.

#include <QByteArray>
#include <QList>
#include <QString>

class ElmRateSwitch
{
public:
    // What the link does, in this order: switch the port to `setRate`, drop unread input,
    // write `write`, then (re)start the time-out with `timerMs`; `done` ends the switch (the
    // time-out stops and the link goes on with its queue).
    struct Step
    {
        qint32 setRate = 0;
        bool discardInput = false;
        QByteArray write;
        int timerMs = 0; // 0: leave the time-out as it is
        bool done = false;
        bool raised = false; // done, and the line runs at the new rate
        // done at the old rate: the port's rate makes no difference to what the chip hears
        bool rateVirtual = false;
        // ... after a carriage return that may draw an answer yet: get in step again
        bool resync = false;
        QString event;       // for the traffic record, if any
    };

    // Fastest first; only those above the rate in use are tried.
    static QList<qint32> fastRates() { return {500000, 250000, 115200}; }
    // "at brd hh" runs the chip's UART at 4000/hh kbit/s: 08 is 500000, 10 is 250000, 23 is
    // 114286 (1 % from 115200, which UARTs take as the same rate).
    static QByteArray command(qint32 rate, bool extended);

    static constexpr int CommandAnswerMs = 1000;
    // How long to wait for the identification at the new rate before sending the carriage
    // return anyway: the text may have gone out before the port was switched. Well inside
    // the chip's 75 ms.
    static constexpr int IdentificationWaitMs = 20;
    // How long the prompt at the new rate may take after the carriage return. Beyond it the
    // chip has given up and printed its prompt at the old rate, where it now waits. The
    // same wait for the chip to give up when the identification came as noise ("at brt",
    // 75 ms, and a wireless module's way back).
    static constexpr int PromptWaitMs = 250;
    // How much later than the "OK" the prompt may answer the carriage return: its bytes are
    // fewer, but the machine may be busy.
    static constexpr int LateMarginMs = 40;
    // A chip on a cable (USB, with its adapter's latency timer) answers a short command
    // within this time, net of the bytes' time on the line; a module takes a round trip of
    // its packets, tens of milliseconds.
    static constexpr int ModuleLatencyMs = 25;
    static bool looksLikeModule(qint64 fastestAnswerUs);
    // One answered command: its bytes both ways (echo included) and the time from its
    // write to the prompt.
    struct TimedAnswer
    {
        qint64 bytes = 0;
        qint64 elapsedUs = 0;
    };
    // The adapter's own time to answer, net of the bytes' time at `portRate`: the fastest of
    // the three shortest exchanges (-1: none). Behind a module the port's rate may be slower
    // than the chip's, so the time reckoned for the bytes overstates what they took, the more
    // so the more bytes there are; over the shortest exchanges the error is smallest.
    static qint64 answerDelayUs(QList<TimedAnswer> answers, qint32 portRate);

    // `candidates`: the rates to try, fastest first, each one the port can run at.
    ElmRateSwitch(const QList<qint32> &candidates, qint32 rateInUse, bool extended);

    Step start();
    // `msSinceWrite`: the time since the link wrote the command or the carriage return
    // (-1: unknown).
    Step input(const QByteArray &bytes, qint64 msSinceWrite = -1);
    Step timeout();
    // The port refused the rate a step asked for.
    Step rateRefused();

    bool active() const { return m_step != Idle; }
    // The chip answered at the old rate with the port at the new one (see above).
    bool rateIsVirtual() const { return m_virtual; }
    qint32 target() const { return m_target; }
    // The command written last (for the link's record of what is in flight).
    QByteArray lastCommand() const { return m_lastCommand; }

private:
    enum State {
        Idle,
        AwaitOk,
        AwaitId,
        AwaitPrompt // the carriage return went out
    };
    Step tryNext(Step step);
    Step finish(bool raised);
    Step backAtOldRate(const QString &why);
    Step rateMeansNothing();

    QList<qint32> m_candidates;
    qint32 m_before;
    bool m_extended;
    qint32 m_target = 0;
    State m_step = Idle;
    QByteArray m_buffer;
    QByteArray m_lastCommand;
    bool m_portRefused = false; // ... which the port could not do after all
    bool m_virtual = false;
    qint64 m_roundTripMs = -1; // the command to its "OK"
};
