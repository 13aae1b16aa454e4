// Domain generation without a window: the rule parser, the odometer, the single-group
// generation and the candidate count.
#include "generation/CandidateCount.h"
#include "generation/Odometer.h"
#include "generation/SingleGroupGeneration.h"

#include <QRegularExpression>
#include <QtTest>

using Step = Odometer::Step;

namespace {

// "1,9": Check1 and Check9 ticked.
RuleParser::Ticks ticksOf(const QString &boxes)
{
    RuleParser::Ticks t{};
    for (const QString &n : boxes.split(u',', Qt::SkipEmptyParts))
        t[size_t(n.toInt() - 1)] = true;
    return t;
}

// Every combination, first group slowest, domain fastest, through the "-" filter.
QStringList bruteForce(const std::vector<QStringList> &groups)
{
    QStringList out{QString()};
    for (const QStringList &g : groups) {
        QStringList next;
        for (const QString &prefix : std::as_const(out))
            for (const QString &a : g)
                next << prefix + a;
        out = next;
    }
    return out.filter(QRegularExpression(QStringLiteral("^(?!-)(?!.*-\\.)")));
}

} // namespace

class TestGeneration : public QObject
{
    Q_OBJECT

private slots:
    void rules_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("ticks");
        QTest::addColumn<QString>("table");      // groups joined by "|", domains last; or the refusal
        QTest::addColumn<QString>("candidates"); // "*": every combination through the filter; "-": not run
        QTest::addColumn<QString>("count");
        const auto row = [](const char *name, const QString &rule, const char *ticks, const QString &table,
                            const char *candidates = "-", const char *count = "") {
            QTest::newRow(name) << rule << ticks << table << candidates << count;
        };
        const QString w500 = QStringLiteral("数字,").repeated(49) + "数字", def = CharTables::defaultRule();
        row("two groups", "[a,b][c,d]", "1,2", "a,b|c,d|.com,.cn",
            "ac.com ac.cn ad.com ad.cn bc.com bc.cn bd.com bd.cn", "8");
        row("only ][ separates", "[a,b]x[c,d]", "1", "a,bxc,d|.com", "a.com bxc.com d.com", "3");
        row("dangling commas", "[a,][,b]", "1", "a|b|.com", "ab.com", "1");
        row("keyword in group", "[ni,数字]", "1", "ni,0,1,2,3,4,5,6,7,8,9|.com", "*", "11");
        row("finals list e twice", "[韵母]", "1", CharTables().charfinals + "|.com", "*", "24");
        row("upper case kept", "[AbC,x][Y-z]", "1", "AbC,x|Y-z|.com", "AbCY-z.com xY-z.com", "2");
        row("hyphens, one group", "[-a,b-,c-d,-]", "1,3", "-a,b-,c-d,-|.com,.net", "c-d.com c-d.net", "8");
        row("hyphens, two groups", "[a,-b,c-][d,-]", "1", "a,-b,c-|d,-|.com", "ad.com c-d.com", "6");
        row("empty piece is no label", "[,,a]", "1,3", "|.com,.net", "a.com a.net", "2");
        row("empty last group", "[a][]", "1", "a||.com", "", "0");
        row("empty first group", "[][a]", "1,2", "|a|.com,.cn", "", "0");
        row("group ends at first empty", "[a][,,b]", "1", "a||.com", "", "0");
        row("all nine", "[a]", "1,2,3,4,5,6,7,8,9", "a|.com,.cn,.net,.com.cn,.la,.net.cn,.name,.info,.me", "*", "9");
        row("keywords", "[a][ni,wo][声母][韵母]", "2,9", "", "*", "1,920");
        row("120 groups", QStringLiteral("[x]").repeated(120), "1", QStringLiteral("x|").repeated(120) + ".com", "*", "1");
        row("500 in a group of two", "[" + w500 + "][x,y]", "1", "", "*", "1,000");
        row("500 in one group", w500, "1,3", "", "*", "1,000");
        row("worked example", def, "1", "", "-", "27,705,600");
        row("worked example, .com .cn", def, "1,2", "", "-", "55,411,200");
        row("past 64 bits", QStringLiteral("[随机]").repeated(13), "1,2", "", "-", "487,138,448,432,162,610,794");
        row("double comma", "[a,,b]", "1", RuleParser::doubleCommaMessage());
        // Case-insensitive matching folds the Kelvin sign and the long s to k and s: still refused.
        for (const char *bad : {"ab.c", "[a b]", "[a|b]", "[a\tb]", "[中国]", "[a，b]", "[a_b]", "[a,,b c]", "[a\u212A]", "[\u017F]"})
            row(bad, QString::fromUtf8(bad), "1", RuleParser::badCharacterMessage());
        row("nothing ticked first", "a b", "", RuleParser::noTopLevelDomainMessage());
    }

    void rules()
    {
        QFETCH(QString, rule);
        QFETCH(QString, ticks);
        QFETCH(QString, table);
        QFETCH(QString, candidates);
        QFETCH(QString, count);
        const RuleParser::Result r = RuleParser::parse(rule, ticksOf(ticks));
        QStringList groups;
        for (const QStringList &g : r.rule.groups)
            groups << g.join(u',');
        if (!table.isEmpty())
            QCOMPARE(r.ok ? groups.join(u'|') : r.message, table);
        if (!r.ok)
            return;
        QCOMPARE(CandidateCount::formatted(r.rule), count);
        QCOMPARE(CandidateCount::decimal(r.rule), count.remove(u','));
        if (candidates == u"-")
            return;
        QStringList got = r.rule.multiGroup ? QStringList() : SingleGroupGeneration::candidates(r.rule.pieces, r.rule.tlds);
        if (r.rule.multiGroup) {
            Odometer odo(r.rule.groups);
            int used = 0;
            for (Odometer::Tick t; (t = odo.tick()).step != Step::Done && used < 1000000; ++used)
                got << t.candidate; // empty unless a candidate
            QCOMPARE(odo.tick().step, Step::Done);
            QCOMPARE(used == 0, count == u"0"); // an empty group ends the run on its first tick
        }
        got.removeAll(QString());
        QCOMPARE(got, candidates == u"*" ? bruteForce(r.rule.groups) : candidates.split(u' ', Qt::SkipEmptyParts));
    }

    void odometerOrder()
    {
        const RuleParser::ParsedRule r = RuleParser::parse(CharTables::defaultRule(), ticksOf("1")).rule;
        QList<qsizetype> sizes;
        for (const QStringList &g : r.groups)
            sizes << g.size();
        QCOMPARE(sizes, (QList<qsizetype>{6, 10, 20, 24, 26, 37, 1}));
        QStringList steps; // per tick: the candidate, "" for none
        for (QChar c : QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789"))
            steps << QStringLiteral("ni0baa%1.com").arg(c);
        steps << "" << "" << "ni0baba.com"; // ni0baa-.com is dropped, then one tick carries
        Odometer odo(r.groups);
        for (const QString &want : std::as_const(steps)) {
            const Odometer::Tick t = odo.tick();
            QCOMPARE(t.step, want.isEmpty() ? Step::Nothing : Step::Candidate);
            QCOMPARE(t.candidate, want);
        }
    }
};

QTEST_APPLESS_MAIN(TestGeneration)
#include "tst_generation.moc"
