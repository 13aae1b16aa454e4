#pragma once

#include <QString>
#include <deque>
#include <utility>

// Figures of a run for the run panel: elapsed time, the pace over the last ten seconds and
// the time left. Fed with the count of settled rows now and then; never scans the list.
class RunStats
{
public:
    static constexpr qint64 RateWindowMs = 10000;

    // A new run begins at `nowMs` (any monotonic clock).
    void start(qint64 nowMs);
    // The run is over: the clock stops.
    void stop(qint64 nowMs);
    bool running() const { return m_running; }
    bool started() const { return m_started; }

    // Settled rows at `nowMs`.
    void sample(qint64 nowMs, int settled);

    qint64 elapsedMs(qint64 nowMs) const;
    // Rows settled per second over the last ten seconds (less at the start of a run).
    double ratePerSecond() const;
    // Seconds until `remaining` rows are settled at the current pace; -1 when unknown.
    qint64 secondsLeft(qint64 remaining) const;

    // "h:mm:ss".
    static QString clock(qint64 seconds);

private:
    std::deque<std::pair<qint64, int>> m_samples; // (time, settled), the last ten seconds
    qint64 m_startMs = 0;
    qint64 m_stopMs = 0;
    bool m_running = false;
    bool m_started = false;
};
