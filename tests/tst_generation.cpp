// Domain generation: the rule parser, the odometer and the candidate count tested directly,
// then the wiring of Command1, the Timersc tick and Command2/3/4 in the window. Ticks are
// driven by calling the handler, never by waiting on the timer.
#include "generation/CandidateCount.h"
#include "generation/Odometer.h"
#include "generation/SingleGroupGeneration.h"
#include "platform/MessageBox.h"
#include "platform/WindowTimer.h"
#include "window/DomainListModel.h"
#include "run/QueryRun.h"
#include "window/Form1.h"

#include <QtTest>
#include <QtWidgets>

using Step = Odometer::Step;

namespace {

const QString BadCharacter = QStringLiteral("对不起，规则格式不正确，请确认没有空格或者其他非规则允许字符出现");
const QString DoubleComma = QStringLiteral("对不起，请不要输入连续的逗号");
const QString NoTopLevelDomain = QStringLiteral("请至少选择一个域名后缀");

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

void setTicks(Form1 &f, const QString &boxes)
{
    const RuleParser::Ticks t = ticksOf(boxes);
    for (size_t i = 0; i < t.size(); ++i)
        f.checks()[i]->setChecked(t[i]);
}

QString buttons(const Form1 &f) // Command1..Command12, "1" enabled
{
    QString s;
    for (QPushButton *b : f.commands())
        s += b->isEnabled() ? u'1' : u'0';
    return s;
}
// A "." in the pattern leaves that button unchecked.
#define CHECK_BUTTONS(f, pattern) \
    QVERIFY2(QRegularExpression(QStringLiteral("^" pattern "$")).match(buttons(f)).hasMatch(), qPrintable(buttons(f)))

// Everything a click could change; from character 13 on, all but the buttons. A row in any
// state but "等待查询" is marked "!".
QString snapshot(const Form1 &f)
{
    QStringList rows;
    for (int k = 1; k <= f.listModel()->size(); ++k)
        rows << f.listModel()->domain(k) + (f.listModel()->state(k) == DomainListModel::State::Waiting ? "" : "!");
    int queryTimers = 0;
    for (int i = 0; i < Form1::ChannelCount; ++i)
        queryTimers += f.Timerme(i).isEnabled();
    return QStringList{buttons(f), f.SkinLabel14->text(), QString::number(f.threads()), f.tldstr, rows.join(u' '),
                       QStringLiteral("%1 %2 %3 %4 %5").arg(f.hostii()).arg(f.hosttt()).arg(f.runflag())
                           .arg(f.Timersc->isEnabled()).arg(queryTimers)}.join(u'|');
}

int tickUntil(Form1 &f, int rows, int limit = 1000000) // the ticks spent
{
    int n = 0;
    for (; f.hostii() < rows && f.Timersc->isEnabled() && n < limit; ++n)
        f.Timersc_Timer();
    return n;
}

} // namespace

class TestGeneration : public QObject
{
    Q_OBJECT
    QList<MessageBox::Shown> m_shown;

private slots:
    void init() { m_shown.clear(), MessageBox::recordAndAnswer(&m_shown); }

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
        row("finals list e twice", "[韵母]", "1",
            "a,o,e,e,u,v,ai,ei,ui,ao,ou,iu,ie,ue,er,an,en,in,un,vn,ang,eng,ing,ong|.com", "*", "24");
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
        row("double comma", "[a,,b]", "1", DoubleComma);
        // Case-insensitive matching folds the Kelvin sign and the long s to k and s: still refused.
        for (const char *bad : {"ab.c", "[a b]", "[a|b]", "[a\tb]", "[中国]", "[a，b]", "[a_b]", "[a,,b c]", "[a\u212A]", "[\u017F]"})
            row(bad, QString::fromUtf8(bad), "1", BadCharacter);
        row("nothing ticked first", "a b", "", NoTopLevelDomain);
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

    void click_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("ticks");
        QTest::addColumn<QString>("expected"); // the rows, or the message of a refusal
        QTest::newRow("one group") << "foo,bar" << "1,2" << "foo.com foo.cn bar.com bar.cn";
        QTest::newRow("last combination") << "[a,b][c,-]" << "1,3" << "ac.com ac.net bc.com bc.net";
        QTest::newRow("[a][]") << "[a][]" << "1" << "";
        QTest::newRow("[][a]") << "[][a]" << "1" << "";
        QTest::newRow("dot") << "ab.c" << "1" << BadCharacter;
        QTest::newRow("nothing ticked") << CharTables::defaultRule() << "" << NoTopLevelDomain;
    }

    void click()
    {
        QFETCH(QString, rule);
        QFETCH(QString, ticks);
        QFETCH(QString, expected);
        Form1 f{ServerConfig()}; // no server addresses: nothing can leave the machine
        f.domaingz->setText(QStringLiteral("[x,y]")); // an earlier run, ended by the user
        f.Command1_Click();
        f.Command7_Click();
        f.domaingz->setText(rule);
        setTicks(f, ticks);
        f.Combo1->setCurrentText(QStringLiteral("3"));
        const QString before = snapshot(f);
        f.Command1_Click();
        if (!m_shown.isEmpty()) { // refused
            QCOMPARE(m_shown.constLast().text, expected);
            if (expected == NoTopLevelDomain) {
                QCOMPARE(snapshot(f), before); // refused before anything was touched
            } else { // back to idle with an empty list, so a corrected rule can be started
                CHECK_BUTTONS(f, "10000000..1.");
                QCOMPARE(snapshot(f).mid(13), QStringList({"软件工作状态", "3", f.tldstr, "", "0 0 1 0 0"}).join(u'|'));
            }
            return;
        }
        // One group is generated inside the click; two or more run on the timer.
        QCOMPARE(f.Timersc->isEnabled(), rule.contains(QStringLiteral("][")));
        f.Combo1->setCurrentText(QStringLiteral("9")); // counts only for Command4
        QVERIFY(tickUntil(f, INT_MAX, 100) <= (expected.isEmpty() ? 1 : 99));
        CHECK_BUTTONS(f, "00001010.10.");
        QCOMPARE(snapshot(f).mid(13), QStringList({"正在批量查询已生成的域名", "3", f.tldstr, expected,
                                                   QStringLiteral("%1 0 1 0 3").arg(f.hostii())}).join(u'|'));
    }

    void runControls_data()
    {
        QTest::addColumn<QList<int>>("pauses"); // row counts after which to pause and continue
        QTest::addColumn<QString>("atClick");   // Combo1 at the click
        QTest::addColumn<QString>("atEnd");     // Combo1 at Command4
        // After row 72 come two dropped candidates and a carry.
        QTest::newRow("at the drops and the carry") << QList<int>{72, 72, 72} << "2" << "20";
        QTest::newRow("several") << QList<int>{1, 5, 100, 700} << "10" << "3";
    }

    void runControls()
    {
        QFETCH(QList<int>, pauses);
        QFETCH(QString, atClick);
        QFETCH(QString, atEnd);
        const int total = 800;
        Odometer odo(RuleParser::parse(CharTables::defaultRule(), ticksOf("1,2")).rule.groups);
        QStringList expected; // an uninterrupted run
        while (expected.size() < total)
            if (const Odometer::Tick t = odo.tick(); t.step == Step::Candidate)
                expected << t.candidate;

        Form1 f{ServerConfig()};
        f.Combo1->setCurrentText(atClick);
        setTicks(f, "1,2");
        f.Command1_Click();
        CHECK_BUTTONS(f, "01010000..0.");
        QCOMPARE(snapshot(f).mid(13), QStringList({"正在生成待查询的域名列表，请稍候", atClick, ".com,.cn", "", "0 0 1 1 0"}).join(u'|'));
        for (int at : pauses) {
            tickUntil(f, at);
            f.Timersc_Timer(); // also pauses right after a drop or a carry
            f.Command2_Click();
            CHECK_BUTTONS(f, "00110000.10.");
            QVERIFY(!f.Timersc->isEnabled());
            f.Command3_Click();
            CHECK_BUTTONS(f, "01010000.00.");
            QVERIFY(f.Timersc->isEnabled());
        }
        tickUntil(f, total);
        f.Combo1->setCurrentText(atEnd);
        f.Command4_Click();
        CHECK_BUTTONS(f, "00001010.10.");
        QCOMPARE(snapshot(f).mid(13), QStringList({"正在批量查询已经生成域名", atEnd, ".com,.cn", expected.join(u' '),
                                                   QStringLiteral("%1 0 1 0 %2").arg(total).arg(atEnd)}).join(u'|'));
        QCOMPARE(f.Timerme(0).interval(), 100);
    }
};

QTEST_MAIN(TestGeneration)
#include "tst_generation.moc"
