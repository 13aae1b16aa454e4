#pragma once

#include "generation/CharTables.h"
#include "generation/TopLevelDomains.h"

#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// Turns the rule typed into `domaingz` and the ticked top-level domains into the group
// table, by plain text substitution in a fixed order (the order decides what a rule means:
// "[a,b]x[c,d]" is one group a, bxc, d; "[a,][,b]" is "[a][b]"). Pure: no window, no state.
namespace RuleParser {

// The ticked state of each top-level domain's box (index 0 is Check1).
using Ticks = std::array<bool, TopLevelDomains::Count>;

enum class RefusalReason {
    NoTopLevelDomain, // nothing ticked: checked before anything else
    BadCharacter,     // a character outside A-Z a-z 0-9 - [ ] , after keyword replacement
    DoubleComma,      // ",," left after normalisation
};

struct ParsedRule
{
    QString tldstr;      // ticked domains joined by ",", e.g. ".com,.net"
    QStringList tlds;    // `tldstr` split, in TopLevelDomains::JoinOrder
    QStringList pieces;  // the normalised rule split at ",": what the single-group generation uses
    bool multiGroup = false; // the normalised rule holds "|": two or more name groups, run by the odometer
    // groups[0 .. s-1] are the name groups in rule order, groups[s] is `tlds`. Each group's
    // alternatives stop at its first empty entry, so a group may be empty (e.g. "[a][]").
    std::vector<QStringList> groups;
    int s = 0;           // number of name groups, also the index of the top-level-domain group
};

struct Result
{
    bool ok = false;
    RefusalReason reason = RefusalReason::NoTopLevelDomain; // meaningful when !ok
    QString message;  // the message box text when !ok
    ParsedRule rule;  // meaningful when ok
};

// The message box texts of the refusals.
QString noTopLevelDomainMessage(); // "请至少选择一个域名后缀"
QString badCharacterMessage();     // "对不起，规则格式不正确，请确认没有空格或者其他非规则允许字符出现"
QString doubleCommaMessage();      // "对不起，请不要输入连续的逗号"

// `tldstr` for the given ticks (empty when nothing is ticked).
QString tldString(const Ticks &ticks);

Result parse(const QString &ruleText, const Ticks &ticks, const CharTables &tables = CharTables());

} // namespace RuleParser
