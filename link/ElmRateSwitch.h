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
    // chip has given up and printed its prompt at the old rate, where it now waits.
    static constexpr int PromptWaitMs = 250;

    // `candidates`: the rates to try, fastest first, each one the port can run at.
    ElmRateSwitch(const QList<qint32> &candidates, qint32 rateInUse, bool extended);

    Step start();
    Step input(const QByteArray &bytes);
    Step timeout();
    // The port refused the rate a step asked for.
    Step rateRefused();

    bool active() const { return m_step != Idle; }
    qint32 target() const { return m_target; }
    // The command written last (for the link's record of what is in flight).
    QByteArray lastCommand() const { return m_lastCommand; }

private:
    enum State { Idle, AwaitOk, AwaitId, AwaitPrompt };
    Step tryNext(Step step);
    Step finish(bool raised);

    QList<qint32> m_candidates;
    qint32 m_before;
    bool m_extended;
    qint32 m_target = 0;
    State m_step = Idle;
    QByteArray m_buffer;
    QByteArray m_lastCommand;
};
