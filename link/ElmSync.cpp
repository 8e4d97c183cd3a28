#include "link/ElmSync.h"

namespace {

QByteArray compact(const QByteArray &line)
{
    QByteArray t = line.trimmed().toLower();
    t.replace(' ', QByteArray());
    return t;
}

// The answer to "at rv": the supply voltage, "12.6V". No banner, prompt or acknowledgement
// looks like it.
bool isVoltage(const QByteArray &line)
{
    QByteArray t = line.trimmed().toUpper();
    if (!t.endsWith('V'))
        return false;
    t.chop(1);
    t = t.trimmed();
    int digits = 0;
    int points = 0;
    for (char c : t) {
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.')
            ++points;
        else
            return false;
    }
    return digits > 0 && points <= 1;
}

bool isResetSign(const QByteArray &line)
{
    const QByteArray t = line.trimmed().toUpper();
    return t.startsWith("ELM327") || t == "LV RESET";
}

} // namespace

void ElmSync::sent()
{
    if (!m_ended)
        m_havePrevious = false; // the last sending drew no prompt: nothing to compare with
    m_answered = m_echoed = m_voided = false;
    m_others.clear();
    m_ended = false;
    m_resent = true;
}

void ElmSync::line(const QByteArray &raw)
{
    // A prompt run into the line ends output that was complete before it: the line is what
    // follows.
    const QByteArray line = raw.startsWith('>') ? raw.mid(1) : raw;
    if (line.trimmed().isEmpty())
        return;
    if (isResetSign(line)) {
        m_answered = m_echoed = false;
        m_voided = true;
        m_others.clear();
        return;
    }
    const QByteArray t = compact(line);
    if (isVoltage(line) || t == "?") {
        m_answered = true;
        return;
    }
    if (t == compact(command())) {
        m_echoed = true;
        return;
    }
    m_others << t;
}

ElmSync::Verdict ElmSync::prompt()
{
    m_ended = true;
    if (m_answered || m_echoed) {
        m_reason = m_answered ? "answered" : "echoed";
        m_havePrevious = false;
        return InStep;
    }
    if (m_voided) {
        m_havePrevious = false;
        return Stale;
    }
    // Two answers compared must answer two sendings: output from before may hold the same
    // text twice while the answer to one sending is still on its way.
    if (m_havePrevious && m_resent && m_previous == m_others) {
        m_reason = "the same answer twice";
        m_havePrevious = false;
        return InStep;
    }
    m_havePrevious = true;
    m_previous = m_others;
    m_others.clear();
    m_resent = false;
    return Stale;
}
