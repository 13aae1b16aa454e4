#include "window/RunStats.h"

#include <cmath>

void RunStats::start(qint64 nowMs)
{
    m_samples.clear();
    m_startMs = nowMs;
    m_stopMs = nowMs;
    m_running = true;
    m_started = true;
}

void RunStats::stop(qint64 nowMs)
{
    if (!m_running)
        return;
    m_stopMs = nowMs;
    m_running = false;
}

void RunStats::sample(qint64 nowMs, int settled)
{
    m_samples.emplace_back(nowMs, settled);
    // Keep one sample at or beyond the window's far edge, so the window is always covered.
    while (m_samples.size() > 2 && m_samples[1].first <= nowMs - RateWindowMs)
        m_samples.pop_front();
}

qint64 RunStats::elapsedMs(qint64 nowMs) const
{
    if (!m_started)
        return 0;
    return (m_running ? nowMs : m_stopMs) - m_startMs;
}

double RunStats::ratePerSecond() const
{
    if (m_samples.size() < 2)
        return 0.0;
    const auto &[t0, n0] = m_samples.front();
    const auto &[t1, n1] = m_samples.back();
    if (t1 <= t0 || n1 < n0)
        return 0.0;
    return double(n1 - n0) * 1000.0 / double(t1 - t0);
}

qint64 RunStats::secondsLeft(qint64 remaining) const
{
    if (remaining <= 0)
        return 0;
    const double rate = ratePerSecond();
    if (rate <= 0.0)
        return -1;
    return qint64(std::ceil(double(remaining) / rate));
}

QString RunStats::clock(qint64 seconds)
{
    if (seconds < 0)
        return QStringLiteral("—");
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
