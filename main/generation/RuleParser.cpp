#include "generation/RuleParser.h"

#include <QRegularExpression>

namespace RuleParser {

namespace {

Result refuse(RefusalReason reason, QString message)
{
    Result r;
    r.ok = false;
    r.reason = reason;
    r.message = std::move(message);
    return r;
}

bool hasBadCharacter(const QString &rulecheck)
{
    static const QRegularExpression notAllowed(
        QStringLiteral("[^A-Za-z0-9-]+"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
    if (notAllowed.match(rulecheck).hasMatch())
        return true;
    // Case-insensitive matching lets a few non-ASCII letters through as their ASCII case
    // partners (KELVIN SIGN as k, LONG S as s); a domain label must stay plain ASCII.
    for (QChar c : rulecheck) {
        if (c.unicode() > 0x7f)
            return true;
    }
    return false;
}

QStringList untilFirstEmpty(const QStringList &list)
{
    qsizetype n = 0;
    while (n < list.size() && !list.at(n).isEmpty())
        ++n;
    return n == list.size() ? list : list.first(n);
}

} // namespace

QString noTopLevelDomainMessage()
{
    return QStringLiteral("请至少选择一个域名后缀");
}

QString badCharacterMessage()
{
    return QStringLiteral("对不起，规则格式不正确，请确认没有空格或者其他非规则允许字符出现");
}

QString doubleCommaMessage()
{
    return QStringLiteral("对不起，请不要输入连续的逗号");
}

QString tldString(const Ticks &ticks)
{
    QString tldstr;
    for (const int box : TopLevelDomains::JoinOrder) {
        if (ticks[size_t(box)]) {
            tldstr += u',';
            tldstr += TopLevelDomains::ByBox[size_t(box)];
        }
    }
    return tldstr.mid(1); // drop the leading comma
}

Result parse(const QString &ruleText, const Ticks &ticks, const CharTables &tables)
{
    const QString tldstr = tldString(ticks);
    if (tldstr.isEmpty())
        return refuse(RefusalReason::NoTopLevelDomain, noTopLevelDomainMessage());

    QString ruletext = ruleText;
    ruletext.replace(QStringLiteral("随机"), tables.charall);
    ruletext.replace(QStringLiteral("声母"), tables.charinitials);
    ruletext.replace(QStringLiteral("韵母"), tables.charfinals);
    ruletext.replace(QStringLiteral("数字"), tables.chardigits);
    ruletext.replace(QStringLiteral("字母"), tables.charletters);

    QString rulecheck = ruletext;
    rulecheck.replace(u'[', u'a').replace(u']', u'a').replace(u',', u'a');
    if (hasBadCharacter(rulecheck))
        return refuse(RefusalReason::BadCharacter, badCharacterMessage());

    // One left-to-right pass each, in this order: "[a,,]" becomes "[a,]", not "[a]".
    ruletext.replace(QStringLiteral(",]"), QStringLiteral("]"));
    ruletext.replace(QStringLiteral("[,"), QStringLiteral("["));
    ruletext.replace(QStringLiteral("]["), QStringLiteral(",|"));
    ruletext.remove(u'[');
    ruletext.remove(u']');

    if (ruletext.contains(QStringLiteral(",,")))
        return refuse(RefusalReason::DoubleComma, doubleCommaMessage());

    Result r;
    r.ok = true;
    ParsedRule &rule = r.rule;
    rule.tldstr = tldstr;
    rule.tlds = tldstr.split(u',');
    rule.pieces = ruletext.isEmpty() ? QStringList() : ruletext.split(u',');
    rule.multiGroup = ruletext.contains(u'|');

    // A piece holding "|" begins a new group; the first group begins with the first piece.
    std::vector<QStringList> raw(1);
    for (const QString &piece : std::as_const(rule.pieces)) {
        if (piece.contains(u'|'))
            raw.emplace_back();
        QString alternative = piece;
        alternative.remove(u',').remove(u'|');
        raw.back().append(alternative);
    }
    rule.s = int(raw.size());
    rule.groups.reserve(raw.size() + 1);
    for (const QStringList &group : raw)
        rule.groups.push_back(untilFirstEmpty(group));
    rule.groups.push_back(rule.tlds);
    return r;
}

} // namespace RuleParser
