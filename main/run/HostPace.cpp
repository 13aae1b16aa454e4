#include "run/HostPace.h"

#include <algorithm>
#include <cmath>

HostPace::HostPace(const PaceRules &rules, int channels)
    : m_rules(rules)
    , m_unpacedRate(std::max(1, channels) * rules.unpacedPerChannel)
{
}

double HostPace::rateAt(qint64 nowMs) const
{
    if (m_ceiling <= 0)
        return 0;
    const double c = m_ceiling;
    // From just under the ceiling, climbing towards it once the hold is over.
    const double climbed = m_rules.startShare * c + m_rules.climbShare * c * double(std::max<qint64>(0, nowMs - m_climbFrom)) / 1000;
    double rate = std::min(m_rules.topShare * c, climbed);
    // A long stretch without a limit: the ceiling may have been low. One taken from an unpaced
    // burst is a guess and grows fast; one a paced limit confirmed grows slowly.
    const qint64 quiet = nowMs - m_heldUntil;
    if (!m_confirmed && quiet > m_rules.unconfirmedGrowAfterMs)
        rate *= std::pow(1 + m_rules.unconfirmedGrowth, double(quiet - m_rules.unconfirmedGrowAfterMs) / 1000);
    else if (m_confirmed && quiet > m_rules.confirmedGrowAfterMs)
        rate += m_rules.confirmedGrowth * c * double(quiet - m_rules.confirmedGrowAfterMs) / 1000;
    // No registry limit is that loose: no pace at all.
    return rate >= m_unpacedRate ? 0 : rate;
}

double HostPace::creditAt(qint64 nowMs) const
{
    const double rate = rateAt(nowMs);
    return std::min(rate * double(m_rules.creditMs) / 1000 + 1, m_credit + rate * double(nowMs - m_creditAt) / 1000);
}

bool HostPace::mayStart(qint64 nowMs) const
{
    if (m_givenUp || heldAt(nowMs))
        return false;
    return rateAt(nowMs) <= 0 || creditAt(nowMs) >= 1;
}

quint64 HostPace::started(qint64 nowMs)
{
    if (m_firstStart < 0)
        m_firstStart = nowMs;
    m_credit = rateAt(nowMs) > 0 ? creditAt(nowMs) - 1 : 0;
    m_creditAt = nowMs;
    return ++m_starts;
}

void HostPace::answered(qint64 nowMs)
{
    ++m_answers;
    m_timeoutsInRow = 0;
    m_ceilingHolds = 0;
    m_answerTimes.push_back(nowMs);
    while (m_answerTimes.front() < nowMs - m_rules.ceilingWindowMs)
        m_answerTimes.pop_front();
}

bool HostPace::timedOut()
{
    if (++m_timeoutsInRow < m_rules.timeoutsForEvidence)
        return false;
    m_timeoutsInRow = 0;
    return true;
}

HostPace::Step HostPace::limited(qint64 nowMs, quint64 tag, qint64 retryAfterMs)
{
    if (m_givenUp)
        return Step::GiveUp;
    if (tag <= m_startsAtLimit)
        return Step::Retry; // started before the last limit that counted: nothing new
    m_startsAtLimit = m_starts;
    const bool afterAnswers = m_answers > m_answersAtLimit;
    m_answersAtLimit = m_answers;

    // With answers since the last limit, a short hold; without, each hold doubles.
    const qint64 hold = afterAnswers || m_lastHold == 0 ? m_rules.holdMs : std::min(m_lastHold * 2, m_rules.longestHoldMs);
    // A registry that keeps refusing gives up its rows: one that answered in this run after
    // three holds at the longest in a row, one that never answered after three holds.
    if (hasAnswered() ? (hold >= m_rules.longestHoldMs && m_ceilingHolds >= m_rules.ceilingHoldsToGiveUp)
                      : m_holds >= m_rules.holdsToGiveUpUnanswered) {
        m_givenUp = true;
        return Step::GiveUp;
    }
    // The server's own word wins, within reason.
    const qint64 held = retryAfterMs >= 0 ? std::min(retryAfterMs, m_rules.longestRetryAfterMs) : hold;

    if (afterAnswers) {
        // The ceiling: what the host answered lately, over the time it had to answer it.
        while (!m_answerTimes.empty() && m_answerTimes.front() < nowMs - m_rules.ceilingWindowMs)
            m_answerTimes.pop_front();
        const qint64 span = std::min(m_rules.ceilingWindowMs, std::max(m_rules.shortestMeasureMs, nowMs - m_firstStart));
        m_confirmed = rateAt(nowMs) > 0;
        m_ceiling = std::max(m_rules.leastCeiling, double(m_answerTimes.size()) * 1000 / double(std::max<qint64>(1, span)));
        m_climbFrom = nowMs + held;
        m_credit = 0;
        m_creditAt = nowMs;
    }
    m_heldUntil = nowMs + held;
    m_lastHold = hold;
    ++m_holds;
    if (hold >= m_rules.longestHoldMs)
        ++m_ceilingHolds;
    return Step::Retry;
}
