#pragma once

#include <QtGlobal>

// How the query run backs off from a registry that limits it. The product uses these
// values; tests hand shorter ones to the run.
struct PaceRules
{
    qint64 tickMs = 100;               // the query tick: the least spacing there is
    qint64 backoffStartMs = 15000;     // first hold after a limit
    qint64 backoffCeilingMs = 600000;  // holds double up to this
    qint64 spacingCeilingMs = 60000;   // spacing between two queries to one host doubles up to this
    int growBackAfter = 20;            // complete answers in a row before the pace steps back up
    int timeoutsForEvidence = 3;       // time-outs in a row that count as a limit
    int ceilingHoldsToGiveUp = 3;      // a host that has answered: holds at the ceiling in a row
    int holdsToGiveUpUnanswered = 3;   // a host that never answered in this run
};
