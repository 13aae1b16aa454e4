#include "generation/Odometer.h"

#include <algorithm>

Odometer::Odometer(std::vector<QStringList> groups)
    : m_groups(std::move(groups))
{
    for (QStringList &group : m_groups) {
        const auto firstEmpty = std::find_if(group.cbegin(), group.cend(),
                                             [](const QString &a) { return a.isEmpty(); });
        if (firstEmpty != group.cend())
            group = group.first(firstEmpty - group.cbegin());
    }
    m_s = m_groups.empty() ? 0 : int(m_groups.size()) - 1;
    m_counters.assign(m_groups.size(), 0);

    // An empty group can never complete a combination, and a carry out of the first group
    // would have nowhere to go: such a rule simply has nothing to generate.
    const bool anyEmpty = std::any_of(m_groups.cbegin(), m_groups.cend(),
                                      [](const QStringList &g) { return g.isEmpty(); });
    m_done = m_s == 0 || anyEmpty;

    for (const QStringList &group : m_groups) {
        qsizetype longest = 0;
        for (const QString &a : group)
            longest = std::max(longest, a.size());
        m_longest += longest;
    }
}

Odometer::Tick Odometer::tick()
{
    Tick out;
    if (m_done) {
        out.step = Step::Done;
        return out;
    }

    // First pass: find a group that has passed its last alternative; it carries this tick.
    for (int ss = 0; ss < m_s; ++ss) {
        if (m_counters[ss] >= m_groups[ss].size()) {
            m_counters[ss] = 0;
            if (ss == 0) {
                m_done = true;
                out.step = Step::Done;
                return out;
            }
            ++m_counters[ss - 1];
            if (m_counters[0] >= m_groups[0].size()) {
                m_done = true;
                out.step = Step::Done;
            } else {
                out.step = Step::Nothing;
            }
            return out;
        }
    }

    QString candidate;
    candidate.reserve(m_longest);
    for (int ss = 0; ss <= m_s; ++ss)
        candidate += m_groups[ss].at(m_counters[ss]);

    if (++m_counters[m_s] >= m_groups[m_s].size()) {
        m_counters[m_s] = 0;
        ++m_counters[m_s - 1];
    }

    if (candidate.startsWith(u'-') || candidate.contains(QStringView(u"-."))) {
        out.step = Step::Nothing;
        return out;
    }
    out.step = Step::Candidate;
    out.candidate = std::move(candidate);
    return out;
}
