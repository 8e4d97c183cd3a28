#pragma once

// The time of one exchange with the dashboard, as the session measures it: from the request
// (sent from the previous reply's handler, so the wait for the adapter's prompt is in it) to
// the reply that answers it. Exchanges sent more than once (a retransmission, a resend after an
// adapter reset) are no measure of the link and are left out. The figure is the median of the
// most recent Kept exchanges: one slow answer moves it little, a slower link within a few
// dozen exchanges.

#include <QElapsedTimer>
#include <QtGlobal>
#include <vector>

class ExchangeTimer
{
public:
    static constexpr size_t Kept = 32;

    // A new link, or the same at another rate: nothing measured yet.
    void clear();
    // The request went out.
    void sent();
    // What is in flight went out again, or waited out a time-out: not timed.
    void spoiled() { m_timing = false; }
    // The reply that answers what is in flight.
    void answered();
    // Records one exchange's time (answered() does it with the clock's time).
    void record(qint64 us);

    // The median of the recent exchanges in ms; 0 before any.
    double medianMs() const;
    size_t count() const { return m_times.size(); }

private:
    QElapsedTimer m_clock;
    bool m_timing = false;
    std::vector<qint64> m_times; // a ring once it holds Kept
    size_t m_next = 0;
};
