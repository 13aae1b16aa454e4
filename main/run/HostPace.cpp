#include "run/HostPace.h"

#include <algorithm>

HostPace::HostPace(const PaceRules &rules, int channels)
    : m_rules(rules)
    , m_channels(std::max(1, channels))
    , m_maxBusy(m_channels)
    , m_spacing(rules.tickMs)
    , m_backoff(rules.backoffStartMs)
{
}

bool HostPace::mayStart(qint64 nowMs, int busy) const
{
    if (m_givenUp || heldAt(nowMs) || busy >= m_maxBusy)
        return false;
    // Spacing at the tick is no constraint: the tick itself keeps it.
    return m_spacing <= m_rules.tickMs || m_lastStart < 0 || nowMs - m_lastStart >= m_spacing;
}

void HostPace::started(qint64 nowMs)
{
    m_lastStart = nowMs;
}

void HostPace::answered()
{
    m_answered = true;
    m_timeoutsInRow = 0;
    m_ceilingHolds = 0;
    if (++m_answersInRow >= m_rules.growBackAfter) {
        m_answersInRow = 0;
        stepUp();
    }
}

bool HostPace::timedOut()
{
    m_answersInRow = 0;
    if (++m_timeoutsInRow < m_rules.timeoutsForEvidence)
        return false;
    m_timeoutsInRow = 0;
    return true;
}

HostPace::Step HostPace::limited(qint64 nowMs, qint64 sentAtMs, qint64 retryAfterMs)
{
    m_answersInRow = 0;
    if (m_givenUp)
        return Step::GiveUp;
    if (sentAtMs < m_lastEvidence)
        return Step::Retry; // asked before the last hold began: nothing new
    m_lastEvidence = nowMs;

    // A registry that keeps refusing gives up its rows: one that answered in this run after
    // three holds at the ceiling in a row, one that never answered after three holds.
    const bool atCeiling = m_backoff >= m_rules.backoffCeilingMs;
    if (m_answered ? (atCeiling && m_ceilingHolds >= m_rules.ceilingHoldsToGiveUp)
                   : m_holds >= m_rules.holdsToGiveUpUnanswered) {
        m_givenUp = true;
        return Step::GiveUp;
    }
    // The server's own word wins, within reason: an hour at most.
    constexpr qint64 LongestRetryAfterMs = 3600 * 1000;
    const qint64 hold = retryAfterMs >= 0 ? std::min(retryAfterMs, LongestRetryAfterMs)
                                          : std::min(m_backoff, m_rules.backoffCeilingMs);
    m_heldUntil = nowMs + hold;
    ++m_holds;
    if (atCeiling)
        ++m_ceilingHolds;
    m_backoff = std::min(m_backoff * 2, m_rules.backoffCeilingMs);
    stepDown();
    return Step::Retry;
}

void HostPace::stepDown()
{
    if (m_maxBusy > 1)
        m_maxBusy = std::max(1, m_maxBusy / 2);
    else
        m_spacing = std::min(m_spacing * 2, m_rules.spacingCeilingMs);
}

void HostPace::stepUp()
{
    if (m_spacing > m_rules.tickMs)
        m_spacing = std::max(m_rules.tickMs, m_spacing / 2);
    else if (m_maxBusy < m_channels)
        ++m_maxBusy;
    m_backoff = m_rules.backoffStartMs;
}
