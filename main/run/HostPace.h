#pragma once

#include "run/PaceRules.h"

// The pace of one registry host in one run: whether a new query to it may start now, and
// how it slows down on evidence of a limit and speeds up again after good answers. Times
// are milliseconds on any monotonic clock, handed in by the caller.
class HostPace
{
public:
    enum class Step { Retry, GiveUp };

    HostPace(const PaceRules &rules = PaceRules(), int channels = 1);

    // May a query start at `nowMs` while `busy` channels already work on this host?
    bool mayStart(qint64 nowMs, int busy) const;
    void started(qint64 nowMs);

    // A complete reply that was not a limit.
    void answered();
    // A time-out of a query; true when it is the one that counts as a limit.
    bool timedOut();
    // Evidence of a limit from a query sent at `sentAtMs`. Evidence from queries sent before
    // the last counted one only repeats what is known and changes nothing. `retryAfterMs`
    // (>= 0) is the server's own word on when to come back.
    Step limited(qint64 nowMs, qint64 sentAtMs, qint64 retryAfterMs = -1);

    bool hasAnswered() const { return m_answered; }
    bool givenUp() const { return m_givenUp; }
    bool heldAt(qint64 nowMs) const { return nowMs < m_heldUntil; }
    qint64 heldUntil() const { return m_heldUntil; }
    int maxBusy() const { return m_maxBusy; }
    qint64 spacingMs() const { return m_spacing; }
    qint64 nextBackoffMs() const { return m_backoff; }

private:
    void stepDown();
    void stepUp();

    PaceRules m_rules;
    int m_channels;
    int m_maxBusy;
    qint64 m_spacing;
    qint64 m_backoff;
    qint64 m_heldUntil = 0;
    qint64 m_lastStart = -1;
    qint64 m_lastEvidence = -1;
    int m_answersInRow = 0;
    int m_timeoutsInRow = 0;
    int m_ceilingHolds = 0;   // in a row, without an answer between
    int m_holds = 0;
    bool m_answered = false;  // one complete answer in this run
    bool m_givenUp = false;
};
