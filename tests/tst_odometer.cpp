#include "generation/CharTables.h"
#include "generation/Odometer.h"
#include "generation/RuleParser.h"
#include "generation/SingleGroupGeneration.h"

#include <QTest>

using Step = Odometer::Step;

namespace {

RuleParser::Ticks ticksOf(const QString &boxes)
{
    RuleParser::Ticks t{};
    for (const QString &n : boxes.split(u',', Qt::SkipEmptyParts))
        t[n.toInt() - 1] = true;
    return t;
}

RuleParser::ParsedRule parsed(const QString &rule, const QString &ticks)
{
    const RuleParser::Result r = RuleParser::parse(rule, ticksOf(ticks));
    if (!r.ok)
        qFatal("rule refused: %s", qPrintable(r.message));
    return r.rule;
}

// Runs to Done, at most `limit` ticks; the candidates in order.
QStringList runToDone(Odometer &odo, qint64 limit, qint64 *ticks = nullptr)
{
    QStringList out;
    qint64 n = 0;
    for (; n < limit; ++n) {
        const Odometer::Tick t = odo.tick();
        if (t.step == Step::Done)
            break;
        if (t.step == Step::Candidate)
            out << t.candidate;
        else
            [&] { QVERIFY(t.candidate.isEmpty()); }();
    }
    if (ticks)
        *ticks = n + 1;
    return out;
}

// Every combination, first group slowest, domain fastest, through the "-" filter.
QStringList bruteForce(const std::vector<QStringList> &groups)
{
    QStringList labels{QString()};
    for (const QStringList &g : groups) {
        QStringList next;
        for (const QString &prefix : std::as_const(labels))
            for (const QString &a : g)
                next << prefix + a;
        labels = next;
    }
    QStringList out;
    for (const QString &c : std::as_const(labels))
        if (!c.startsWith(u'-') && !c.contains(QStringLiteral("-.")))
            out << c;
    return out;
}

QString words(const QString &stem, int n)
{
    QStringList w;
    for (int i = 0; i < n; ++i)
        w << stem + QString::number(i);
    return w.join(u',');
}

} // namespace

class TestOdometer : public QObject
{
    Q_OBJECT

private slots:
    void defaultRuleOrder();
    void alternatingDomains();
    void matchesBruteForce_data();
    void matchesBruteForce();
    void emptyGroupIsDoneAtOnce_data();
    void emptyGroupIsDoneAtOnce();
    void defaultConstructedIsDone();
    void groupsCutAtFirstEmpty();
    void fiveHundredAlternatives();
    void singleGroup_data();
    void singleGroup();
    void singleGroupOfFiveHundred();
};

void TestOdometer::defaultRuleOrder()
{
    Odometer odo(parsed(CharTables::defaultRule(), "1").groups);
    const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789");
    // Rows 1..36: the letters and digits of the last group.
    for (int i = 0; i < 36; ++i) {
        const Odometer::Tick t = odo.tick();
        QCOMPARE(t.step, Step::Candidate);
        QCOMPARE(t.candidate, QStringLiteral("ni0baa") + letters.at(i) + QStringLiteral(".com"));
    }
    // ni0baa-.com: a label may not end in "-".
    QCOMPARE(odo.tick().step, Step::Nothing);
    // The last group has run out: this tick only carries.
    QCOMPARE(odo.tick().step, Step::Nothing);
    QCOMPARE(odo.counters(), (std::vector<int>{0, 0, 0, 0, 1, 0, 0}));
    const Odometer::Tick row37 = odo.tick();
    QCOMPARE(row37.step, Step::Candidate);
    QCOMPARE(row37.candidate, QStringLiteral("ni0baba.com"));
    QVERIFY(!odo.isDone());
}

void TestOdometer::alternatingDomains()
{
    Odometer odo(parsed(CharTables::defaultRule(), "1,2").groups);
    const QStringList expected{"ni0baaa.com", "ni0baaa.cn", "ni0baab.com", "ni0baab.cn", "ni0baac.com"};
    for (const QString &e : expected) {
        const Odometer::Tick t = odo.tick();
        QCOMPARE(t.step, Step::Candidate);
        QCOMPARE(t.candidate, e);
    }
}

void TestOdometer::matchesBruteForce_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("ticks");

    QTest::newRow("two by two") << "[a,b][c,d]" << "1";
    QTest::newRow("hyphens everywhere") << "[a,-b,c-][d,-][e-,f]" << "1,2";
    QTest::newRow("inner hyphen stays") << "[a-][b][-c]" << "1";
    QTest::newRow("all start with hyphen") << "[-a][b]" << "1,3";
    QTest::newRow("all domains") << "[x,y][数字][z]" << "1,2,3,4,5,6,7,8,9";
    QTest::newRow("singleton groups") << "[a][b][c][d][e]" << "1";
    QTest::newRow("one group") << "[a,b,c]" << "1,2";
    QTest::newRow("uneven sizes") << "[a][b,c,d,e,f][g,h][i,j,k]" << "2,9";
    QTest::newRow("keywords") << "[ni,wo][声母][韵母]" << "1";
}

void TestOdometer::matchesBruteForce()
{
    QFETCH(QString, rule);
    QFETCH(QString, ticks);

    const RuleParser::ParsedRule r = parsed(rule, ticks);
    Odometer odo(r.groups);
    qint64 used = 0;
    const QStringList got = runToDone(odo, 1'000'000, &used);
    QCOMPARE(got, bruteForce(r.groups));
    QVERIFY(odo.isDone());
    QCOMPARE(odo.tick().step, Step::Done);
    QCOMPARE(odo.tick().step, Step::Done);

    // Each combination takes one tick. Every turn of name group g > 0 ends in one carry tick,
    // the very last of them being the Done tick; a lone name group ends in one Done tick.
    qint64 combos = 1;
    for (const QStringList &g : r.groups)
        combos *= g.size();
    qint64 carries = 0;
    qint64 turns = 1;
    for (int g = 1; g < r.s; ++g) {
        turns *= r.groups[g - 1].size();
        carries += turns;
    }
    QCOMPARE(used, combos + carries + (r.s == 1 ? 1 : 0));
}

void TestOdometer::emptyGroupIsDoneAtOnce_data()
{
    QTest::addColumn<QString>("rule");

    QTest::newRow("[a][]") << "[a][]";
    QTest::newRow("[][a]") << "[][a]";
    QTest::newRow("[a,b][][c]") << "[a,b][][c]";
    QTest::newRow("[a,b][c][]") << "[a,b][c][]";
    QTest::newRow("[a][,,b]") << "[a][,,b]";
    QTest::newRow("empty rule") << "";
}

void TestOdometer::emptyGroupIsDoneAtOnce()
{
    QFETCH(QString, rule);
    Odometer odo(parsed(rule, "1,2").groups);
    QVERIFY(odo.isDone());
    const Odometer::Tick t = odo.tick();
    QCOMPARE(t.step, Step::Done);
    QVERIFY(t.candidate.isEmpty());
}

void TestOdometer::defaultConstructedIsDone()
{
    Odometer odo;
    QVERIFY(odo.isDone());
    QCOMPARE(odo.tick().step, Step::Done);
    Odometer noDomains(std::vector<QStringList>{{"a"}, {"b"}, {}});
    QCOMPARE(noDomains.tick().step, Step::Done);
    Odometer onlyDomains(std::vector<QStringList>{{".com"}});
    QCOMPARE(onlyDomains.tick().step, Step::Done);
}

void TestOdometer::groupsCutAtFirstEmpty()
{
    Odometer odo(std::vector<QStringList>{{"a", "", "z"}, {"b", "c"}, {".com", "", ".net"}});
    QCOMPARE(runToDone(odo, 100), (QStringList{"ab.com", "ac.com"}));
}

void TestOdometer::fiveHundredAlternatives()
{
    const QString w = words("w", 500);
    {
        Odometer odo(parsed("[" + w + "][x,y]", "1").groups);
        const QStringList got = runToDone(odo, 10'000);
        QCOMPARE(got.size(), 1000);
        QCOMPARE(got.first(), QStringLiteral("w0x.com"));
        QCOMPARE(got.at(1), QStringLiteral("w0y.com"));
        QCOMPARE(got.last(), QStringLiteral("w499y.com"));
    }
    {
        const RuleParser::ParsedRule r = parsed("[x][" + w + "]", "1,2");
        QCOMPARE(r.groups[1].size(), 500);
        Odometer odo(r.groups);
        const QStringList got = runToDone(odo, 10'000);
        QCOMPARE(got, bruteForce(r.groups));
        QCOMPARE(got.size(), 1000);
    }
}

void TestOdometer::singleGroup_data()
{
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<QStringList>("tlds");
    QTest::addColumn<QStringList>("candidates");

    QTest::newRow("pieces outermost") << QStringList{"foo", "bar"} << QStringList{".com", ".cn"}
                                      << QStringList{"foo.com", "foo.cn", "bar.com", "bar.cn"};
    QTest::newRow("hyphen rules") << QStringList{"-a", "b-", "c-d", "-"} << QStringList{".com"}
                                  << QStringList{"c-d.com"};
    QTest::newRow("empty piece gives no label") << QStringList{"", "a", ""} << QStringList{".com", ".net"}
                                                << QStringList{"a.com", "a.net"};
    QTest::newRow("hyphen before second dot is fine") << QStringList{"a"} << QStringList{".com.cn"}
                                                      << QStringList{"a.com.cn"};
    QTest::newRow("no pieces") << QStringList{} << QStringList{".com"} << QStringList{};
}

void TestOdometer::singleGroup()
{
    QFETCH(QStringList, pieces);
    QFETCH(QStringList, tlds);
    QFETCH(QStringList, candidates);
    QCOMPARE(SingleGroupGeneration::candidates(pieces, tlds), candidates);
}

void TestOdometer::singleGroupOfFiveHundred()
{
    const RuleParser::ParsedRule r = parsed(words("w", 500), "1,3");
    QVERIFY(!r.multiGroup);
    const QStringList got = SingleGroupGeneration::candidates(r.pieces, r.tlds);
    QCOMPARE(got.size(), 1000);
    QCOMPARE(got.at(0), QStringLiteral("w0.com"));
    QCOMPARE(got.at(1), QStringLiteral("w0.net"));
    QCOMPARE(got.at(999), QStringLiteral("w499.net"));
}

QTEST_GUILESS_MAIN(TestOdometer)
#include "tst_odometer.moc"
