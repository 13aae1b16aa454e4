// Pacing of a registry that limits us: the pace of one host on its own (times handed in),
// then the query run without a window against loopback registries that limit, with short
// constants in place of the product's.
#include "FakeRegistries.h"
#include "Replies.h"
#include "RunHarness.h"

#include "run/HostPace.h"

#include <QRegularExpression>
#include <QtTest>

#include <deque>
#include <memory>

namespace {

// The product's constants, as the run uses them unless told otherwise.
const PaceRules Product;

// "s" a query starts; "a", "l", "t" the oldest open query (or a new one) is answered, is
// limited, times out; "L" the hold is waited out, then "l"; "R" a limit with a Retry-After of
// two hours; a number before a letter repeats it; "+N" lets N ms pass. Returns held for/pace
// a minute/holds, and "G" once given up.
QString play(HostPace &p, const QString &events, qint64 &now)
{
    std::deque<quint64> open;
    const auto take = [&] {
        if (open.empty())
            open.push_back(p.started(now));
        const quint64 tag = open.front();
        open.pop_front();
        return tag;
    };
    const auto number = [&events](qsizetype &i) {
        qint64 n = 0;
        while (i < events.size() && events.at(i).isDigit())
            n = n * 10 + events.at(i++).digitValue();
        return n;
    };
    for (qsizetype i = 0; i < events.size();) {
        if (events.at(i) == u' ') {
            ++i;
        } else if (events.at(i) == u'+') {
            ++i;
            now += number(i);
        } else {
            const qint64 n = qMax<qint64>(1, number(i));
            const char e = events.at(i++).toLatin1();
            for (qint64 k = 0; k < n; ++k) {
                if (e == 'L')
                    now = qMax(now, p.heldUntil());
                if (e == 's')
                    open.push_back(p.started(now));
                else if (e == 'a')
                    take(), p.answered(now);
                else if (e == 'l' || e == 'L' || e == 'R')
                    p.limited(now, take(), e == 'R' ? 2 * 3600 * 1000 : -1);
                else if (const quint64 tag = take(); p.timedOut()) // 't'
                    p.limited(now, tag);
            }
        }
    }
    return QStringLiteral("%1/%2/%3%4").arg(qMax<qint64>(0, p.heldUntil() - now)).arg(qRound(p.rateAt(now) * 60))
        .arg(p.holds()).arg(p.givenUp() ? "G" : "");
}

// Short times in place of the product's, so a test waits a second, not minutes.
PaceRules fast()
{
    PaceRules r;
    r.holdMs = 150;
    r.longestHoldMs = 600;
    r.shortestMeasureMs = 100;
    return r;
}

using State = TaskListStore::State;
using Role = FakeRegistries::Role;
const QByteArray LimitText = Replies::limits().at(1);

FakeWhoisServer::Responder limitingWhen(const std::function<bool(const QByteArray &query, int earlier)> &limits)
{
    return [limits, truth = FakeRegistries::truthfulWhois(Role::Internic)](const QByteArray &q, int earlier) {
        return limits(q, earlier) ? FakeWhoisServer::replyAtOnce(LimitText) : truth(q, earlier);
    };
}

} // namespace

class TestPacing : public QObject
{
    Q_OBJECT
private slots:
    void hostPace_data();
    void hostPace();
    void startsFollowThePace();
    void init();
    void limitsOfOneRoundHoldOnce();
    void keepsTheAllowance();
    void rdapRetryAfter();
    void limitedHostDoesNotSlowTheOthers();
    void timeOutsGiveUpTheHost();
    void rowRefusedAloneSettles();
    void nextRunStartsAfresh();

private:
    ServerConfig config() const { return m_registries->config(); }
    FakeWhoisServer &com() { return m_registries->server(Role::Internic); }

    std::unique_ptr<FakeRegistries> m_registries;
};

void TestPacing::hostPace_data()
{
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("after"); // held for/pace a minute/holds, G given up
    QTest::newRow("answers alone change nothing") << "50a" << "0/0/0";
    QTest::newRow("first limit: 0.9 of the answers over at least 10 s, held 10 s") << "100a l" << "10000/540/1";
    QTest::newRow("later: the answers of the last minute over a minute") << "100a +120000 300a l" << "10000/270/1";
    QTest::newRow("five limits to queries started in one millisecond: one hold") << "100a 5s 5l" << "10000/540/1";
    QTest::newRow("a limit to a query started before the last one is no news") << "100a 2s l +5000 l" << "5000/540/1";
    QTest::newRow("no answer since the last limit: the hold doubles") << "100a l L" << "20000/540/2";
    QTest::newRow("up to 10 minutes") << "100a l 8L" << "600000/582/9";
    QTest::newRow("answered: three holds at the longest, then gives up") << "100a l 9L" << "0/582/9G";
    QTest::newRow("an answer between holds at the longest starts over") << "100a l 8L a L" << "10000/1/10";
    QTest::newRow("never answered: three holds") << "l 2L" << "40000/0/3";
    QTest::newRow("never answered: then gives up") << "l 3L" << "0/0/3G";
    QTest::newRow("two time-outs are no limit") << "2t" << "0/0/0";
    QTest::newRow("the third is") << "3t" << "10000/0/1";
    QTest::newRow("an answer breaks the row of time-outs") << "2ta2t" << "0/0/0";
    QTest::newRow("Retry-After replaces the hold, an hour at most") << "100a R" << "3600000/540/1";
    QTest::newRow("after the hold the pace climbs 2% of the ceiling a second") << "100a l +11000" << "0/552/1";
    QTest::newRow("up to 0.97 of it") << "100a l +60000" << "0/582/1";
    QTest::newRow("a ceiling from an unpaced burst grows 1% a second after a minute") << "100a l +80000" << "0/643/1";
    QTest::newRow("one a paced limit confirmed does not, for 10 minutes")
        << "100a l +10000 100a l +600000" << "0/1164/2";
    QTest::newRow("then it grows 0.1% of the ceiling a second") << "100a l +10000 100a l +620000" << "0/1176/2";
    QTest::newRow("ten a second per channel is no pace at all") << "2300a l" << "10000/0/1";
}

void TestPacing::hostPace()
{
    QFETCH(QString, events);
    QFETCH(QString, after);
    HostPace p(Product, 20);
    qint64 now = 1000;
    QCOMPARE(play(p, events, now), after);
}

void TestPacing::startsFollowThePace()
{
    HostPace p(Product, 20);
    qint64 now = 1000;
    play(p, QStringLiteral("100a l"), now);
    QVERIFY(!p.mayStart(p.heldUntil() - 1));
    // From the end of the hold: a tenth of a second's credit and one, then the pace.
    double expected = 1 + p.rateAt(p.heldUntil()) * double(Product.creditMs) / 1000;
    int starts = 0;
    for (qint64 t = p.heldUntil(); t < p.heldUntil() + 10000; ++t) {
        expected += p.rateAt(t) / 1000;
        for (; p.mayStart(t) && starts < 1000; ++starts)
            p.started(t);
    }
    QVERIFY2(qAbs(starts - expected) <= 1, qPrintable(QStringLiteral("%1 of %2").arg(starts).arg(expected)));
}

void TestPacing::init()
{
    m_registries = std::make_unique<FakeRegistries>();
    QVERIFY(m_registries->listen());
}

void TestPacing::limitsOfOneRoundHoldOnce()
{
    // Five channels ask at once and all meet the limit: one hold of the first length, and
    // every row waits again, in the tallies too.
    com().setScript(FakeWhoisServer::replyAtOnce(LimitText));
    RunHarness r(config(), RunHarness::names(QStringLiteral("com"), 5), 5);
    for (int i = 0; i < 5; ++i)
        r.query.onQueryTick(i);
    QTRY_COMPARE_WITH_TIMEOUT(r.query.retryCount(), 5, 5000);
    QCOMPARE(r.store.countState(State::Waiting), 5);
    QCOMPARE(r.query.heldHosts(), QStringList{com().host() + QStringLiteral("：查询受限，%1 秒后继续").arg(Product.holdMs / 1000)});
}

void TestPacing::keepsTheAllowance()
{
    // A registry that allows ten a second with a second's worth at once: after the first round
    // beyond it the run keeps under it and says so.
    QElapsedTimer clock;
    clock.start();
    double tokens = 10;
    qint64 last = 0;
    int refused = 0;
    com().setResponder(limitingWhen([&](const QByteArray &, int) {
        tokens = qMin(10.0, tokens + double(clock.elapsed() - last) / 100);
        last = clock.elapsed();
        if (tokens < 1)
            return ++refused, true;
        return --tokens, false;
    }));
    PaceRules rules = fast();
    rules.holdMs = rules.shortestMeasureMs = 1000;
    RunHarness r(config(), RunHarness::names(QStringLiteral("com"), 40), 5, rules);
    r.handOver();
    const QRegularExpression paced(u'^' + QRegularExpression::escape(com().host()) + QStringLiteral("：限速 \\d+ 个/分$"));
    QTRY_VERIFY_WITH_TIMEOUT(paced.match(r.query.heldHosts().value(0)).hasMatch(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(r.finished, 1, 20000);
    QCOMPARE(r.rows(), r.truth());
    QVERIFY2(refused <= 5, qPrintable(QString::number(refused))); // at most the first round
    QCOMPARE(r.query.heldHosts(), QStringList()); // nothing left to pace
}

void TestPacing::rdapRetryAfter()
{
    FakeHttpServer &rdap = m_registries->rdap();
    const QString path = QStringLiteral("/rdap/domain/tname.info");
    rdap.setResponse(path, {429, "{}", -1, false, "Retry-After: 2\r\n"});
    RunHarness r(config(), {QStringLiteral("tname.info")}, 1, fast());
    r.handOver();
    QTRY_COMPARE_WITH_TIMEOUT(rdap.requestedPaths().count(path), 1, 5000); // after the host's probe
    QElapsedTimer sinceLimit;
    sinceLimit.start();
    rdap.setResponse(path, FakeRegistries::rdapRecord(QStringLiteral("tname.info")));
    QTRY_COMPARE_WITH_TIMEOUT(r.query.retryCount(), 1, 5000);
    QCOMPARE(r.rows(), QStringLiteral("-")); // waiting again, not settled by the limit
    QVERIFY(r.query.heldHosts().value(0).contains(QStringLiteral("：查询受限，")));
    QTRY_COMPARE_WITH_TIMEOUT(r.finished, 1, 10000);
    QVERIFY2(sinceLimit.elapsed() >= 1800, qPrintable(QString::number(sinceLimit.elapsed()))); // the server's 2 s, not our 150 ms
    QCOMPARE(r.rows(), QStringLiteral("R"));
    QCOMPARE(rdap.requestedPaths().count(path), 2);
}

void TestPacing::limitedHostDoesNotSlowTheOthers()
{
    // .cn limits every query from the start; .com answers at once.
    m_registries->server(Role::Cnnic).setScript(FakeWhoisServer::replyAtOnce(LimitText));
    QStringList domains;
    const QStringList com = RunHarness::names(QStringLiteral("com"), 10), cn = RunHarness::names(QStringLiteral("cn"), 10);
    for (int k = 0; k < 10; ++k)
        domains << com[k] << cn[k];
    RunHarness r(config(), domains, 2, fast());
    qint64 comDone = -1;
    const QRegularExpression everySecond(QStringLiteral(".(.)"));
    QObject::connect(&r.store, &TaskListStore::rowChanged, &r.store, [&] {
        if (comDone < 0 && r.rows().remove(everySecond) == r.truth().remove(everySecond))
            comDone = r.clock.elapsed();
    });
    r.handOver();
    QTRY_COMPARE_WITH_TIMEOUT(r.finished, 1, 30000);
    // The .com rows at the plain pace (two channels, ten rows a second each); the .cn rows
    // given up after three holds without an answer, none of them called free.
    QVERIFY2(comDone >= 0 && comDone < 1500, qPrintable(QString::number(comDone)));
    QCOMPARE(r.rows(), r.truth().replace(everySecond, QStringLiteral("\\1U")));
    QVERIFY(r.clock.elapsed() >= 150 + 300 + 600);
    QVERIFY(r.query.heldHosts().value(0).startsWith(m_registries->server(Role::Cnnic).host()));
}

void TestPacing::timeOutsGiveUpTheHost()
{
    // A silent registry, each time-out counted as a limit and given up at its second: the
    // rows it timed out on stay 查询超时, its later rows are 无法获取数据 without being asked.
    com().setScript(FakeWhoisServer::silent());
    PaceRules rules = fast();
    rules.timeoutsForEvidence = rules.holdsToGiveUpUnanswered = 1;
    rules.holdMs = 1;
    RunHarness r(config(), RunHarness::names(QStringLiteral("com"), 4), 1, rules);
    for (int row = 1; row <= 2; ++row) {
        QTest::qWait(5); // past the hold
        r.query.onQueryTick(0);
        QCOMPARE(r.query.slot(0).row, row);
        for (int t = 0; t < QueryChannel::TimeoutTicks; ++t)
            r.query.channel(0).onTimeoutTick();
        QCOMPARE(r.rows(), row == 1 ? QStringLiteral("----") : QStringLiteral("TT--"));
    }
    r.query.onQueryTick(0);
    QCOMPARE(r.rows(), QStringLiteral("TTUU"));
    QCOMPARE(r.query.heldHosts(), QStringList{com().host() + QStringLiteral("：查询受限，已放弃")});
}

void TestPacing::rowRefusedAloneSettles()
{
    // The registry limits one name every time and answers the others: tried three times with
    // answers to other rows between, that row settles 无法获取数据 and its last limit holds nothing back.
    const QByteArray stuck = "fstuck.com";
    com().setResponder(limitingWhen([stuck](const QByteArray &q, int) { return q == stuck; }));
    // One channel, the row next to last: were it asked again first after each hold, no answer
    // would come between; its third try comes when no other row is left.
    QStringList domains = RunHarness::names(QStringLiteral("com"), 20);
    domains.insert(19, QString::fromLatin1(stuck));
    RunHarness r(config(), domains, 1, fast());
    r.handOver();
    QTRY_COMPARE_WITH_TIMEOUT(r.finished, 1, 20000);
    QCOMPARE(r.rows(), r.truth().replace(19, 1, u'U'));
    QCOMPARE(com().received().count(stuck + "\r\n"), 3);
    QCOMPARE(r.query.pace(com().host())->holds(), 2); // the third limit held nothing back
}

void TestPacing::nextRunStartsAfresh()
{
    // A run is ended with its registry paced and a row twice limited; the next run over the
    // same list asks at once, unpaced, and that row's first limit in it is its first.
    com().setResponder(limitingWhen([](const QByteArray &q, int) { return q.startsWith("fname1"); }));
    const QStringList names = QStringList{QStringLiteral("fname1.com")} + RunHarness::names(QStringLiteral("com"), 20).mid(1);
    RunHarness r(config(), names, 3, fast());
    r.handOver();
    QTRY_VERIFY_WITH_TIMEOUT(com().received().count("fname1.com\r\n") == 2 && r.store.state(1) == State::Waiting, 10000);
    QCOMPARE(r.finished, 0); // a run with a row waiting for its registry is not over
    r.query.end();
    QTest::qWait(300);
    QCOMPARE(r.store.state(1), State::Waiting); // an end leaves it waiting, in the rest list
    QVERIFY(r.store.domains(true).contains(QStringLiteral("fname1.com")));
    QCOMPARE(r.finished, 0);
    r.store.clear();
    r.store.appendMany(names);
    r.query.reset(1);
    QCOMPARE(r.query.pace(com().host()), nullptr);
    r.query.onQueryTick(0);
    QCOMPARE(r.store.state(1), State::Querying);
    QTRY_COMPARE_WITH_TIMEOUT(r.query.retryCount(), 1, 5000);
    QCOMPARE(r.rows().left(1), QStringLiteral("-"));
}

QTEST_GUILESS_MAIN(TestPacing)
#include "tst_pacing.moc"
