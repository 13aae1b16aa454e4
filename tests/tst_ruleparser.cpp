#include "generation/CandidateCount.h"
#include "generation/CharTables.h"
#include "generation/RuleParser.h"

#include <QTest>

using RuleParser::RefusalReason;
using RuleParser::Ticks;

Q_DECLARE_METATYPE(RuleParser::RefusalReason)

namespace {

// "1,9" -> Check1 and Check9 ticked.
Ticks ticksOf(const QString &boxes)
{
    Ticks t{};
    for (const QString &n : boxes.split(u',', Qt::SkipEmptyParts))
        t[n.toInt() - 1] = true;
    return t;
}

// Group table as text: alternatives joined by ",", groups by "|", the domains last.
QString tableText(const std::vector<QStringList> &groups)
{
    QStringList parts;
    for (const QStringList &g : groups)
        parts << g.join(u',');
    return parts.join(u'|');
}

QString repeatedGroups(const QString &group, int n)
{
    QString rule;
    for (int i = 0; i < n; ++i)
        rule += group;
    return rule;
}

} // namespace

class TestRuleParser : public QObject
{
    Q_OBJECT

private slots:
    void tables();
    void parses_data();
    void parses();
    void refuses_data();
    void refuses();
    void workedExample();
    void tldOrder_data();
    void tldOrder();
    void candidateCount_data();
    void candidateCount();
    void grouped_data();
    void grouped();
};

void TestRuleParser::tables()
{
    const CharTables t;
    QCOMPARE(t.charall.split(u',').size(), 37);
    QCOMPARE(t.charinitials.split(u',').size(), 20);
    QCOMPARE(t.charfinals.split(u',').size(), 24);
    QCOMPARE(t.charfinals.split(u',').count(QStringLiteral("e")), 2);
    QCOMPARE(t.chardigits.split(u',').size(), 10);
    QCOMPARE(t.charletters.split(u',').size(), 26);
    QCOMPARE(t.charall.split(u',').last(), QStringLiteral("-"));
    QCOMPARE(CharTables::defaultRule(), QStringLiteral("[ni,wo,ta,c,a,d][数字][声母][韵母][字母][随机]"));
}

void TestRuleParser::parses_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("ticks");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<bool>("multiGroup");
    QTest::addColumn<int>("s");

    QTest::newRow("two groups") << "[a,b][c,d]" << "1" << "a,b|c,d|.com"
                                << QStringList{"a", "b", "|c", "d"} << true << 2;
    QTest::newRow("only ][ separates groups") << "[a,b]x[c,d]" << "1" << "a,bxc,d|.com"
                                              << QStringList{"a", "bxc", "d"} << false << 1;
    QTest::newRow("dangling commas dropped") << "[a,][,b]" << "1" << "a|b|.com"
                                             << QStringList{"a", "|b"} << true << 2;
    QTest::newRow("keyword inside a group") << "[ni,数字]" << "1" << "ni,0,1,2,3,4,5,6,7,8,9|.com"
                                            << QStringList{"ni", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}
                                            << false << 1;
    QTest::newRow("upper case kept") << "[AbC,x][Y-z]" << "1" << "AbC,x|Y-z|.com"
                                     << QStringList{"AbC", "x", "|Y-z"} << true << 2;
    QTest::newRow("finals list e twice") << "[韵母]" << "1"
                                         << "a,o,e,e,u,v,ai,ei,ui,ao,ou,iu,ie,ue,er,an,en,in,un,vn,ang,eng,ing,ong|.com"
                                         << CharTables().charfinals.split(u',') << false << 1;
    QTest::newRow("no brackets is one group") << "foo,bar" << "1,3" << "foo,bar|.com,.net"
                                              << QStringList{"foo", "bar"} << false << 1;
    QTest::newRow("text outside joins the neighbour") << "x[a,b]y" << "1" << "xa,by|.com"
                                                      << QStringList{"xa", "by"} << false << 1;
    QTest::newRow("keyword glued to text") << "[x数字]" << "1" << "x0,1,2,3,4,5,6,7,8,9|.com"
                                           << QStringList{"x0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}
                                           << false << 1;
    // One pass per replacement: [a,,] only loses one comma and leaves an empty last piece.
    QTest::newRow("[a,,] keeps one comma") << "[a,,]" << "1" << "a|.com"
                                           << QStringList{"a", ""} << false << 1;
    QTest::newRow("[,,a] keeps one comma") << "[,,a]" << "1" << "|.com"
                                           << QStringList{"", "a"} << false << 1;
    QTest::newRow("three groups") << "[a][b,c][d]" << "2" << "a|b,c|d|.cn"
                                  << QStringList{"a", "|b", "c", "|d"} << true << 3;
    QTest::newRow("empty last group") << "[a][]" << "1" << "a||.com"
                                      << QStringList{"a", "|"} << true << 2;
    QTest::newRow("empty first group") << "[][a]" << "1" << "|a|.com"
                                       << QStringList{"", "|a"} << true << 2;
    QTest::newRow("empty middle group") << "[a][][b]" << "1" << "a||b|.com"
                                        << QStringList{"a", "|", "|b"} << true << 3;
    // The empty entry ends group 1 before "b", as the generation reads it.
    QTest::newRow("group ends at its first empty entry") << "[a][,,b]" << "1" << "a||.com"
                                                         << QStringList{"a", "|", "b"} << true << 2;
    QTest::newRow("empty rule") << "" << "1" << "|.com" << QStringList{} << false << 1;
    QTest::newRow("hyphens pass") << "[-a,b-][c]" << "1" << "-a,b-|c|.com"
                                  << QStringList{"-a", "b-", "|c"} << true << 2;
    QTest::newRow("120 groups") << repeatedGroups("[x]", 120) << "1"
                                << repeatedGroups("x|", 120) + ".com"
                                << (QStringList{"x"} + QStringList(119, "|x")) << true << 120;
}

void TestRuleParser::parses()
{
    QFETCH(QString, rule);
    QFETCH(QString, ticks);
    QFETCH(QString, table);
    QFETCH(QStringList, pieces);
    QFETCH(bool, multiGroup);
    QFETCH(int, s);

    const RuleParser::Result r = RuleParser::parse(rule, ticksOf(ticks));
    QVERIFY2(r.ok, qPrintable(r.message));
    QCOMPARE(tableText(r.rule.groups), table);
    QCOMPARE(r.rule.pieces, pieces);
    QCOMPARE(r.rule.multiGroup, multiGroup);
    QCOMPARE(r.rule.s, s);
    QCOMPARE(int(r.rule.groups.size()), s + 1);
    QCOMPARE(r.rule.groups.back(), r.rule.tlds);
}

void TestRuleParser::refuses_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("ticks");
    QTest::addColumn<RefusalReason>("reason");
    QTest::addColumn<QString>("message");

    const QString bad = QStringLiteral("对不起，规则格式不正确，请确认没有空格或者其他非规则允许字符出现");
    const QString commas = QStringLiteral("对不起，请不要输入连续的逗号");
    const QString noTld = QStringLiteral("请至少选择一个域名后缀");

    QTest::newRow("double comma") << "[a,,b]" << "1" << RefusalReason::DoubleComma << commas;
    QTest::newRow("double comma, no brackets") << ",,a" << "1" << RefusalReason::DoubleComma << commas;
    QTest::newRow("double comma across groups") << "[a,,][b]" << "1" << RefusalReason::DoubleComma << commas;
    QTest::newRow("dot") << "ab.c" << "1" << RefusalReason::BadCharacter << bad;
    QTest::newRow("space") << "[a b]" << "1" << RefusalReason::BadCharacter << bad;
    QTest::newRow("bar") << "[a|b]" << "1" << RefusalReason::BadCharacter << bad;
    QTest::newRow("newline") << "[a\nb]" << "1" << RefusalReason::BadCharacter << bad;
    QTest::newRow("other Chinese") << "[中国]" << "1" << RefusalReason::BadCharacter << bad;
    QTest::newRow("full-width comma") << "[a，b]" << "1" << RefusalReason::BadCharacter << bad;
    QTest::newRow("underscore") << "[a_b]" << "1" << RefusalReason::BadCharacter << bad;
    // These fold to k and s under case-insensitive matching but are no domain characters.
    QTest::newRow("kelvin sign") << QString("[a%1]").arg(QChar(0x212A)) << "1"
                                 << RefusalReason::BadCharacter << bad;
    QTest::newRow("long s") << QString("[%1]").arg(QChar(0x17F)) << "1" << RefusalReason::BadCharacter << bad;
    // The character check comes before the comma check.
    QTest::newRow("bad char wins over commas") << "[a,,b c]" << "1" << RefusalReason::BadCharacter << bad;
    // No domain ticked is refused before the rule is even looked at.
    QTest::newRow("no tick") << "[a][b]" << "" << RefusalReason::NoTopLevelDomain << noTld;
    QTest::newRow("no tick, bad rule") << "a b" << "" << RefusalReason::NoTopLevelDomain << noTld;
}

void TestRuleParser::refuses()
{
    QFETCH(QString, rule);
    QFETCH(QString, ticks);
    QFETCH(RefusalReason, reason);
    QFETCH(QString, message);

    const RuleParser::Result r = RuleParser::parse(rule, ticksOf(ticks));
    QVERIFY(!r.ok);
    QCOMPARE(r.reason, reason);
    QCOMPARE(r.message, message);
}

void TestRuleParser::workedExample()
{
    const RuleParser::Result r = RuleParser::parse(CharTables::defaultRule(), ticksOf("1"));
    QVERIFY(r.ok);
    QVERIFY(r.rule.multiGroup);
    QCOMPARE(r.rule.s, 6);
    QCOMPARE(r.rule.tldstr, QStringLiteral(".com"));
    QList<qsizetype> sizes;
    for (const QStringList &g : r.rule.groups)
        sizes << g.size();
    QCOMPARE(sizes, (QList<qsizetype>{6, 10, 20, 24, 26, 37, 1}));
    QCOMPARE(r.rule.groups[0], (QStringList{"ni", "wo", "ta", "c", "a", "d"}));
    QCOMPARE(r.rule.groups[6], QStringList{".com"});
    QCOMPARE(CandidateCount::formatted(r.rule), QStringLiteral("27,705,600"));
}

void TestRuleParser::tldOrder_data()
{
    QTest::addColumn<QString>("ticks");
    QTest::addColumn<QString>("tldstr");

    QTest::newRow("com") << "1" << ".com";
    QTest::newRow("com net") << "3,1" << ".com,.net";
    QTest::newRow("me then info ticked: info first") << "8,9" << ".info,.me";
    QTest::newRow("me alone") << "8" << ".me";
    QTest::newRow("all") << "1,2,3,4,5,6,7,8,9" << ".com,.cn,.net,.com.cn,.la,.net.cn,.name,.info,.me";
    QTest::newRow("none") << "" << "";
}

void TestRuleParser::tldOrder()
{
    QFETCH(QString, ticks);
    QFETCH(QString, tldstr);

    QCOMPARE(RuleParser::tldString(ticksOf(ticks)), tldstr);
    const RuleParser::Result r = RuleParser::parse("[a][b]", ticksOf(ticks));
    QCOMPARE(r.ok, !tldstr.isEmpty());
    if (r.ok) {
        QCOMPARE(r.rule.tldstr, tldstr);
        QCOMPARE(r.rule.tlds, tldstr.split(u','));
    }
}

void TestRuleParser::candidateCount_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("ticks");
    QTest::addColumn<QString>("count");

    const QString def = CharTables::defaultRule();
    QTest::newRow("worked example") << def << "1" << "27705600";
    QTest::newRow("worked example, .com .cn") << def << "1,2" << "55411200";
    QTest::newRow("worked example, all nine") << def << "1,2,3,4,5,6,7,8,9" << "249350400";
    QTest::newRow("two by two, all nine") << "[a,b][c,d]" << "1,2,3,4,5,6,7,8,9" << "36";
    QTest::newRow("hyphen candidates counted") << "[a][-]" << "1" << "1";
    QTest::newRow("single group") << "foo,bar" << "1,3" << "4";
    QTest::newRow("single group of 11") << "[ni,数字]" << "1,2" << "22";
    QTest::newRow("empty piece is no label") << "[a,,]" << "1" << "1";
    QTest::newRow("empty last group") << "[a][]" << "1" << "0";
    QTest::newRow("empty first group") << "[][a]" << "1,2" << "0";
    QTest::newRow("empty rule") << "" << "1" << "0";
    QTest::newRow("zero limbs") << repeatedGroups("[数字]", 10) << "1" << "10000000000";
    QTest::newRow("2^64") << repeatedGroups("[a,b]", 64) << "1" << "18446744073709551616";
    // 37^13 * 2 = 487,138,448,432,162,610,794 > 2^64
    QTest::newRow("past 64 bits") << repeatedGroups("[随机]", 13) << "1,2" << "487138448432162610794";
    QTest::newRow("far past 64 bits") << repeatedGroups("[随机]", 20) << "1,2,3,4,5,6,7,8,9"
                                      << "208102352999950428540176284081209";
}

void TestRuleParser::candidateCount()
{
    QFETCH(QString, rule);
    QFETCH(QString, ticks);
    QFETCH(QString, count);

    const RuleParser::Result r = RuleParser::parse(rule, ticksOf(ticks));
    QVERIFY(r.ok);
    QCOMPARE(CandidateCount::decimal(r.rule), count);
    QCOMPARE(CandidateCount::formatted(r.rule), CandidateCount::grouped(count));
}

void TestRuleParser::grouped_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("text");

    QTest::newRow("0") << "0" << "0";
    QTest::newRow("3 digits") << "999" << "999";
    QTest::newRow("4 digits") << "1000" << "1,000";
    QTest::newRow("6 digits") << "123456" << "123,456";
    QTest::newRow("7 digits") << "1000000" << "1,000,000";
    QTest::newRow("worked example") << "27705600" << "27,705,600";
    QTest::newRow("past 64 bits") << "487138448432162610794" << "487,138,448,432,162,610,794";
}

void TestRuleParser::grouped()
{
    QFETCH(QString, digits);
    QFETCH(QString, text);
    QCOMPARE(CandidateCount::grouped(digits), text);
}

QTEST_GUILESS_MAIN(TestRuleParser)
#include "tst_ruleparser.moc"
