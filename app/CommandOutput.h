#pragma once

// What the command line prints: the result on standard output, failures and notes on
// standard error, and on a terminal a progress line per step.

#include "runner/CFGRunner.h"

#include <QString>
#include <cstdio>
#include <utility>

namespace CommandLine {

bool stderrIsTerminal();
// Every byte of the text, a NUL included.
void print(std::FILE *to, const QString &text);
void printErr(const QString &text);
void printOut(const QString &text);
// The step's name on the progress line for a state; empty for none.
QString stateLabel(CFGRunner::State state);
// "66 h 40 min" for 4000 minutes.
QString hoursAndMinutes(uint minutes);
// "2 min 10 s" for 130000 ms, whole minutes from 10 min on, at least "1 s".
QString durationText(int ms);

// The progress line on a terminal: the step's name and a bar redrawn in place. Not on a
// terminal it prints nothing, so a script's log keeps only the result and the errors.
class ProgressLine
{
public:
    ProgressLine() : m_on(stderrIsTerminal()) {}

    // Something a script's log must keep too: always printed.
    void warn(const QString &text)
    {
        flushNote();
        end();
        printErr(QStringLiteral("veltrokx4: %1\n").arg(text));
    }

    void step(const QString &label)
    {
        // The same step again goes on in its line, unless the line shows a status.
        if (label == m_label && m_status.isEmpty())
            return;
        flushNote();
        end();
        m_label = label;
        m_value = -1;
        draw(0);
    }
    void draw(double value)
    {
        if (!m_on || m_label.isEmpty())
            return;
        const int percent = qBound(0, int(value * 100 + 0.5), 100);
        if (percent == m_value)
            return;
        // A new transfer in the same step (the board record after the table) starts at 0;
        // a bar drawn back at 0 only for it to end at once says nothing.
        if (percent == 0 && m_value > 0)
            return;
        flushNote();
        m_value = percent;
        redraw();
    }
    // The controller's estimate of the time left (below 0: none), after the bar.
    void setTimeLeft(int ms)
    {
        const QString text = ms >= 500 ? durationText(ms) + QStringLiteral(" left") : QString();
        if (text == m_left)
            return;
        m_left = text;
        if (m_on && m_open && m_status.isEmpty() && m_value >= 0)
            redraw();
    }
    // What the step is doing when there is no share to show (the rate being tried), in
    // place of the bar.
    void status(const QString &text)
    {
        if (!m_on || text == m_status)
            return;
        flushNote();
        m_status = text;
        m_value = -1;
        printErr(QStringLiteral("\r%1").arg(text, -(22 + 2 + 30 + 6 + 17)));
        m_open = true;
    }
    // A message between progress lines (the controller's alerts), terminal only. It is
    // printed when the run goes on; a run that ends on it says it once, as its failure.
    void note(const QString &text)
    {
        if (!m_on)
            return;
        flushNote();
        end();
        m_note = text;
    }
    // The note not yet printed, dropped when it is `text` (the run ends saying it).
    void dropNote(const QString &text)
    {
        if (m_note == text)
            m_note.clear();
    }
    void flushNote()
    {
        const QString text = std::exchange(m_note, QString());
        if (text.isEmpty())
            return;
        end();
        printErr(text + QLatin1Char('\n'));
    }
    void end()
    {
        if (m_open)
            printErr(QStringLiteral("\n"));
        m_open = false;
        m_status.clear();
    }

private:
    void redraw()
    {
        constexpr int Width = 30;
        const int filled = m_value * Width / 100;
        // Padded, so that a shorter time wipes out the longer one before it.
        printErr(QStringLiteral("\r%1 [%2%3] %4% %5")
                     .arg(m_label, -22)
                     .arg(QString(filled, QLatin1Char('#')))
                     .arg(QString(Width - filled, QLatin1Char('.')))
                     .arg(m_value, 3)
                     .arg(m_left, -16));
        m_open = true;
    }

    bool m_on;
    bool m_open = false;
    QString m_label;
    QString m_status;
    QString m_note;
    QString m_left;
    int m_value = -1;
};

} // namespace CommandLine
