#include "runner/ExchangeTimer.h"

#include <algorithm>

void ExchangeTimer::clear()
{
    m_times.clear();
    m_next = 0;
    m_timing = false;
}

void ExchangeTimer::sent()
{
    m_clock.start();
    m_timing = true;
}

void ExchangeTimer::answered()
{
    if (!m_timing)
        return;
    m_timing = false;
    record(m_clock.nsecsElapsed() / 1000);
}

void ExchangeTimer::record(qint64 us)
{
    if (m_times.size() < Kept) {
        m_times.push_back(us);
        return;
    }
    m_times[m_next] = us;
    m_next = (m_next + 1) % Kept;
}

double ExchangeTimer::medianMs() const
{
    if (m_times.empty())
        return 0;
    std::vector<qint64> times = m_times;
    const auto middle = times.begin() + times.size() / 2;
    std::nth_element(times.begin(), middle, times.end());
    double us = double(*middle);
    if (times.size() % 2 == 0)
        us = (us + double(*std::max_element(times.begin(), middle))) / 2;
    return us / 1000.0;
}
