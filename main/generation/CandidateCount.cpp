#include "generation/CandidateCount.h"

#include <cstdint>
#include <vector>

namespace CandidateCount {

namespace {

// Unsigned big number in base 10^9 limbs, least significant first: only multiplication by
// a small factor is needed.
class Natural
{
public:
    Natural() : m_limbs{1} {}

    void multiply(std::uint64_t factor)
    {
        if (factor == 0) {
            m_limbs.assign(1, 0);
            return;
        }
        // A limb is below 2^30 and a factor below 2^64, so 128 bits hold every step.
        unsigned __int128 carry = 0;
        for (std::uint32_t &limb : m_limbs) {
            const unsigned __int128 v = static_cast<unsigned __int128>(limb) * factor + carry;
            limb = std::uint32_t(v % base);
            carry = v / base;
        }
        while (carry != 0) {
            m_limbs.push_back(std::uint32_t(carry % base));
            carry /= base;
        }
    }

    QString toString() const
    {
        QString out = QString::number(m_limbs.back());
        for (auto it = m_limbs.rbegin() + 1; it != m_limbs.rend(); ++it)
            out += QStringLiteral("%1").arg(*it, 9, 10, QLatin1Char('0'));
        return out;
    }

private:
    static constexpr std::uint32_t base = 1000000000u;
    std::vector<std::uint32_t> m_limbs;
};

} // namespace

QString decimal(const RuleParser::ParsedRule &rule)
{
    Natural n;
    if (rule.multiGroup) {
        for (const QStringList &group : rule.groups)
            n.multiply(std::uint64_t(group.size()));
    } else {
        qsizetype labels = 0;
        for (const QString &piece : rule.pieces)
            labels += piece.isEmpty() ? 0 : 1;
        n.multiply(std::uint64_t(labels));
        n.multiply(std::uint64_t(rule.tlds.size()));
    }
    return n.toString();
}

QString grouped(const QString &digits)
{
    QString out;
    out.reserve(digits.size() + digits.size() / 3);
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += u',';
        out += digits.at(i);
    }
    return out;
}

QString formatted(const RuleParser::ParsedRule &rule)
{
    return grouped(decimal(rule));
}

} // namespace CandidateCount
