#pragma once

#include <QtGlobal>

// How the query run paces a registry that limits it. The product uses these values; tests
// hand shorter times to the run. Rates are queries a second.
struct PaceRules
{
    qint64 holdMs = 10000;                // hold after a limit that followed answers
    qint64 longestHoldMs = 600000;        // a limit with no answer since the last doubles the hold up to this
    qint64 longestRetryAfterMs = 3600000; // the server's Retry-After is honoured up to this
    qint64 ceilingWindowMs = 60000;       // the ceiling counts the answers of this last stretch ...
    qint64 shortestMeasureMs = 10000;     // ... over at least this long
    double leastCeiling = 1.0 / 60;       // one a minute
    double startShare = 0.9;              // of the ceiling, right after a limit
    double climbShare = 0.02;             // of the ceiling a second, up to ...
    double topShare = 0.97;               // ... this share of it
    qint64 unconfirmedGrowAfterMs = 60000;  // a ceiling from an unpaced burst: this long past the last hold ...
    double unconfirmedGrowth = 0.01;        // ... and the pace grows this much a second, compounded
    qint64 confirmedGrowAfterMs = 600000;   // a ceiling a paced limit confirmed: this long past the last hold ...
    double confirmedGrowth = 0.001;         // ... and the pace grows this share of it a second
    qint64 creditMs = 100;                // credit holds this long's worth of the pace, plus one query
    double unpacedPerChannel = 10;        // a pace of this many a second per channel is no pace at all
    int timeoutsForEvidence = 3;          // time-outs in a row that count as a limit
    int ceilingHoldsToGiveUp = 3;         // a host that has answered: holds at the longest in a row
    int holdsToGiveUpUnanswered = 3;      // a host that never answered in this run
    int limitsPerRow = 3;                 // a row's limits, with answers to other rows between, before it is settled
};
