#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The generation odometer of a rule of two or more groups: one step per `Timersc` tick.
// groups[0 .. s-1] are the name groups (group 0 the slowest digit), groups[s] the
// top-level domains (the fastest digit). A tick that finds an exhausted name group moves
// that carry one group and yields nothing; the top-level-domain group wraps inside the tick
// that used its last entry, so it never costs a tick of its own.
class Odometer
{
public:
    enum class Step {
        Candidate, // `candidate` holds the next domain, already through the "-" filter
        Nothing,   // a carry tick, or a candidate that the filter dropped
        Done,      // every combination has been produced (stays Done)
    };

    struct Tick
    {
        Step step = Step::Done;
        QString candidate; // set only for Step::Candidate
    };

    Odometer() = default; // holds no groups: Done at once

    // `groups` as RuleParser::ParsedRule::groups: the last entry is the top-level-domain group.
    // Each group is cut at its first empty entry. A rule with an empty group anywhere (or
    // without any name group or domain) is Done before its first candidate.
    explicit Odometer(std::vector<QStringList> groups);

    // One generation tick. O(number of groups); allocates only the candidate text.
    Tick tick();

    bool isDone() const { return m_done; }

private:
    std::vector<QStringList> m_groups;
    std::vector<int> m_counters;
    int m_s = 0;
    qsizetype m_longest = 0; // longest possible candidate, to build it in one allocation
    bool m_done = true;
};
