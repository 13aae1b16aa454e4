#pragma once

#include "run/PaceRules.h"

#include <deque>

// The pace of one registry host in one run. Nothing is paced until the host's first limit;
// from then on queries go at a rate just under the ceiling measured from the host's answers,
// spending a credit that builds at that rate. Times are milliseconds on any monotonic clock,
// handed in by the caller.
class HostPace
{
public:
    enum class Step { Retry, GiveUp };

    HostPace(const PaceRules &rules = PaceRules(), int channels = 1);

    // May a query start at `nowMs`?
    bool mayStart(qint64 nowMs) const;
    // A query starts; returns its tag, the host's count of queries started.
    quint64 started(qint64 nowMs);

    // A complete reply that was not a limit.
    void answered(qint64 nowMs);
    // A time-out of a query; true when it is the one that counts as a limit.
    bool timedOut();
    // Evidence of a limit from the query tagged `tag`. It counts only when that query started
    // after the last limit that counted; earlier ones only repeat what is known. `retryAfterMs`
    // (>= 0) is the server's own word on when to come back.
    Step limited(qint64 nowMs, quint64 tag, qint64 retryAfterMs = -1);

    bool hasAnswered() const { return m_answers > 0; }
    // Answers from this host in the run so far.
    quint64 answers() const { return m_answers; }
    bool givenUp() const { return m_givenUp; }
    bool heldAt(qint64 nowMs) const { return nowMs < m_heldUntil; }
    qint64 heldUntil() const { return m_heldUntil; }
    // Limits that counted.
    int holds() const { return m_holds; }
    // Queries a second at `nowMs`; 0 while unpaced.
    double rateAt(qint64 nowMs) const;

private:
    double creditAt(qint64 nowMs) const;

    PaceRules m_rules;
    double m_unpacedRate;
    double m_ceiling = 0;     // 0: not paced
    bool m_confirmed = false;
    qint64 m_climbFrom = 0;   // the end of the hold that set the pace
    qint64 m_lastLimit = 0;   // the last limit that counted
    double m_credit = 0;
    qint64 m_creditAt = 0;
    qint64 m_heldUntil = 0;
    qint64 m_lastHold = 0;    // the last hold of our own (a Retry-After aside)
    qint64 m_firstStart = -1;
    quint64 m_starts = 0;
    quint64 m_startsAtLimit = 0;     // m_starts when the last limit counted
    quint64 m_answers = 0;
    quint64 m_answersAtLimit = 0;    // m_answers when the last limit counted
    std::deque<qint64> m_answerTimes; // of the last ceiling window
    int m_timeoutsInRow = 0;
    int m_ceilingHolds = 0;   // in a row, without an answer between
    int m_holds = 0;
    bool m_givenUp = false;
};
