#pragma once

// Getting in step with the adapter, as a pure judgement: fed the lines and prompts that
// follow each sending of the link's own synchronising command ("at rv"), it says when a
// prompt is the one that ends the answer to that command, so that the next prompt belongs
// to the first command of the initialisation.
//
// What may still arrive from before (a reset banner that comes late, "LV RESET", the "OK"
// of an earlier command, a stray prompt) must never count. What counts:
//   - the supply voltage ("12.6V"): the answer of a chip that knows the command;
//   - "?": the answer of an adapter that lacks it (emulators, gateways, some clones);
//   - the echo of the command itself: whatever follows it up to the prompt is its answer,
//     nothing at all included;
//   - the same answer (nothing but the prompt, or the same lines) to two sendings in a row:
//     output from before does not repeat itself after each of them.
// A reset sign voids what came before it in the same answer.

#include <QByteArray>
#include <QList>

class ElmSync
{
public:
    enum Verdict {
        InStep, // the prompt ends the answer to the command
        Stale,  // the prompt belongs to output from before: let the line go quiet, send again
    };

    static QByteArray command() { return QByteArrayLiteral("at rv\r"); }

    // The command went out (again).
    void sent();
    // One line of the adapter's output, without its carriage return.
    void line(const QByteArray &line);
    Verdict prompt();

    // How the last InStep verdict was reached, for the traffic record.
    const char *reason() const { return m_reason; }

private:
    bool m_answered = false;
    bool m_echoed = false;
    bool m_voided = false;
    QList<QByteArray> m_others;
    // The answer that ended the previous sending, when it was neither proof nor void.
    bool m_havePrevious = false;
    QList<QByteArray> m_previous;
    bool m_ended = true;
    bool m_resent = false; // sent again since the previous answer was kept
    const char *m_reason = "";
};
