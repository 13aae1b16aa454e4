#pragma once

#include "generation/RuleParser.h"

#include <QString>

// How many candidates a parsed rule describes (labels × ticked domains), worked out from the
// group table without generating anything. Candidates that the "-" filter would drop are
// counted too. Exact at any size: the default rule with every domain ticked already needs
// nine digits, and a long rule of 随机 groups runs past 64 bits.
namespace CandidateCount {

// The count as decimal digits without separators, e.g. "27705600"; "0" when a group is empty.
// A multi-group rule counts the product of its name groups' sizes times the ticked domains;
// a single-group rule counts its non-empty pieces times the ticked domains.
QString decimal(const RuleParser::ParsedRule &rule);

// Decimal digits grouped by threes with ",": "27705600" -> "27,705,600".
QString grouped(const QString &digits);

// grouped(decimal(rule)).
QString formatted(const RuleParser::ParsedRule &rule);

} // namespace CandidateCount
