// Pacing of a registry that limits us: the pace of one host on its own (times handed in),
// then the query run without a window against loopback registries that limit, with short
// constants in place of the product's.
#include "FakeHttpServer.h"
#include "LoopbackBootstrap.h"
#include "FakeWhoisServer.h"
#include "LimitingWhoisServer.h"
#include "PacedRun.h"

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

const QByteArray LimitText = "%ERROR:201: Query rate limit exceeded, try again later\r\n";

FakeWhoisServer::Script truthful(const QByteArray &q, int)
{
    return FakeWhoisServer::replyAtOnce(PacedRun::reply(q));
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
    void refusedForAWhile();
    void rdapRetryAfter();
    void limitedHostDoesNotSlowTheOthers();
    void endLeavesRetriesWaiting();
    void threeTimeoutsHoldTheHost();
    void rowRefusedAloneSettles();
    void nextRunStartsAfresh();

private:
    ServerConfig config(const QString &host, quint16 port) const;
    ServerConfig config() const { return config(m_com->host(), m_com->port()); }
    std::unique_ptr<FakeWhoisServer> m_com, m_cn;
    std::unique_ptr<FakeHttpServer> m_rdap;
};

void TestPacing::hostPace_data()
{
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("after"); // held for/pace a minute/holds, G given up
    QTest::newRow("fresh: not paced") << "" << "0/0/0";
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
    m_com = std::make_unique<FakeWhoisServer>();
    m_cn = std::make_unique<FakeWhoisServer>();
    m_rdap = std::make_unique<FakeHttpServer>();
    QVERIFY(m_com->listen(QHostAddress(QStringLiteral("127.0.0.2"))));
    QVERIFY(m_cn->listen(QHostAddress(QStringLiteral("127.0.0.3")), m_com->port()));
    QVERIFY(m_rdap->listen());
    LoopbackBootstrap::write({{{QStringLiteral("info")}, m_rdap->baseUrl() + QStringLiteral("/rdap/")}});
    m_com->setResponder(truthful);
    m_cn->setResponder(truthful);
}

ServerConfig TestPacing::config(const QString &com, quint16 port) const
{
    const QString cn = m_cn->host();
    return ServerConfig{com, cn, com, com, com, com, com, {}, port, {}};
}

void TestPacing::limitsOfOneRoundHoldOnce()
{
    // Five channels ask at once and all meet the limit: one hold of the first length.
    m_com->setResponder([](const QByteArray &, int) { return FakeWhoisServer::replyAtOnce(LimitText); });
    PacedRun r(config(), Product, PacedRun::names(QStringLiteral("com"), 5), 0);
    r.query.reset(5);
    for (int i = 0; i < 5; ++i)
        r.query.Timerme_Timer(i);
    QTRY_COMPARE_WITH_TIMEOUT(r.query.retryCount(), 5, 5000);
    QCOMPARE(r.query.heldHosts(), QStringList{m_com->host() + QStringLiteral("：查询受限，%1 秒后继续").arg(Product.holdMs / 1000)});
}

void TestPacing::keepsTheAllowance()
{
    // A registry that allows ten a second with a second's worth at once: after the first round
    // beyond it the run keeps under it and says so.
    LimitingWhoisServer server({LimitingWhoisServer::Limit::TokenBucket, 600, 60000, 10}, PacedRun::reply);
    QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.4"))));
    PaceRules rules = fast();
    rules.holdMs = rules.shortestMeasureMs = 1000;
    PacedRun r(config(server.host(), server.port()), rules, PacedRun::names(QStringLiteral("com"), 40), 5);
    QTRY_VERIFY_WITH_TIMEOUT(QRegularExpression(QStringLiteral("^127\\.0\\.0\\.4：限速 \\d+ 个/分$")).match(r.query.heldHosts().value(0)).hasMatch(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(r.finished, 1, 20000);
    QCOMPARE(r.rows(), r.truth());
    QVERIFY2(server.limited() <= 5, qPrintable(QString::number(server.limited()))); // at most the first round
    QCOMPARE(r.query.heldHosts(), QStringList()); // nothing left to pace
}

void TestPacing::refusedForAWhile()
{
    // Three answers, then the registry drops a query and refuses every connection for a second.
    m_com->setResponder([this](const QByteArray &q, int earlier) {
        if (earlier == 3) {
            m_com->refuseFor(1000);
            return FakeWhoisServer::closeWithoutReply();
        }
        return truthful(q, earlier);
    });
    PacedRun r(config(), fast(), PacedRun::names(QStringLiteral("com"), 10), 2);
    QTRY_COMPARE_WITH_TIMEOUT(r.finished, 1, 30000);
    QCOMPARE(r.rows(), r.truth());
    QVERIFY(r.clock.elapsed() >= 1000);
}

void TestPacing::rdapRetryAfter()
{
    const QString path = QStringLiteral("/rdap/domain/tname.info");
    m_rdap->setResponse(path, {429, "{}", -1, false, "Retry-After: 2\r\n"});
    PacedRun r(config(), fast(), {QStringLiteral("tname.info")}, 1);
    QTRY_COMPARE_WITH_TIMEOUT(m_rdap->requestedPaths().count(path), 1, 5000); // after the host's probe
    QElapsedTimer sinceLimit;
    sinceLimit.start();
    m_rdap->setResponse(path, {200, "{\"objectClassName\":\"domain\"}"});
    QTRY_COMPARE_WITH_TIMEOUT(r.query.retryCount(), 1, 5000);
    QCOMPARE(r.rows(), QStringLiteral("-")); // waiting again, not settled by the limit
    QVERIFY(r.query.heldHosts().value(0).contains(QStringLiteral("：查询受限，")));
    QTRY_COMPARE_WITH_TIMEOUT(r.finished, 1, 10000);
    QVERIFY2(sinceLimit.elapsed() >= 1800, qPrintable(QString::number(sinceLimit.elapsed()))); // the server's 2 s, not our 150 ms
    QCOMPARE(r.rows(), QStringLiteral("R"));
    QCOMPARE(m_rdap->requestedPaths().count(path), 2);
}

void TestPacing::limitedHostDoesNotSlowTheOthers()
{
    // .cn limits every query from the start; .com answers at once.
    m_cn->setResponder([](const QByteArray &, int) { return FakeWhoisServer::replyAtOnce(LimitText); });
    QStringList domains;
    const QStringList com = PacedRun::names(QStringLiteral("com"), 10), cn = PacedRun::names(QStringLiteral("cn"), 10);
    for (int k = 0; k < 10; ++k)
        domains << com[k] << cn[k];
    PacedRun r(config(), fast(), domains, 2);
    qint64 comDone = -1;
    const QRegularExpression everySecond(QStringLiteral(".(.)"));
    QObject::connect(&r.store, &TaskListStore::rowChanged, &r.store, [&] {
        if (comDone < 0 && r.rows().remove(everySecond) == r.truth().remove(everySecond))
            comDone = r.clock.elapsed();
    });
    QTRY_COMPARE_WITH_TIMEOUT(r.finished, 1, 30000);
    // The .com rows at the plain pace (two channels, ten rows a second each); the .cn rows
    // given up after three holds without an answer, none of them called free.
    QVERIFY2(comDone >= 0 && comDone < 1500, qPrintable(QString::number(comDone)));
    QCOMPARE(r.rows(), r.truth().replace(everySecond, QStringLiteral("\\1U")));
    QVERIFY(r.clock.elapsed() >= 150 + 300 + 600);
    QVERIFY(r.query.heldHosts().value(0).startsWith(m_cn->host()));
}

void TestPacing::endLeavesRetriesWaiting()
{
    m_com->setResponder([](const QByteArray &q, int earlier) {
        return earlier == 1 ? FakeWhoisServer::replyAtOnce(LimitText) : truthful(q, earlier);
    });
    PacedRun r(config(), fast(), PacedRun::names(QStringLiteral("com"), 3), 1);
    QTRY_COMPARE_WITH_TIMEOUT(r.query.retryCount(), 1, 5000);
    QCOMPARE(r.finished, 0); // a run with a row waiting for its registry is not over
    r.query.end();
    QTest::qWait(300);
    QCOMPARE(r.rows().left(2), QStringLiteral("R-"));
    QVERIFY(r.store.domains(true).contains(QStringLiteral("fname2.com"))); // in the rest list
    QCOMPARE(r.finished, 0);
}

void TestPacing::threeTimeoutsHoldTheHost()
{
    // A silent registry: the first two time-outs are verdicts, the third is a limit.
    m_com->setResponder([](const QByteArray &, int) { return FakeWhoisServer::silent(); });
    PaceRules rules = fast();
    rules.holdMs = rules.longestHoldMs = 5000;
    PacedRun r(config(), rules, PacedRun::names(QStringLiteral("com"), 4), 0);
    for (int row = 1; row <= 3; ++row) {
        r.query.Timerme_Timer(0);
        QCOMPARE(r.query.Winsockme(0).chanrow, row);
        for (int t = 0; t < QueryRun::TimeoutTicks; ++t)
            r.query.Timer1_Timer(0);
    }
    QCOMPARE(r.rows(), QStringLiteral("TT--"));
    QCOMPARE(r.query.retryCount(), 1);
    QCOMPARE(r.query.heldHosts(), QStringList{m_com->host() + QStringLiteral("：查询受限，5 秒后继续")});
    r.query.Timerme_Timer(0); // held back: row 4 waits behind it, nothing is asked
    QCOMPARE(r.query.retryCount(), 2);
    QCOMPARE(r.store.countState(State::Querying), 0);
}

void TestPacing::rowRefusedAloneSettles()
{
    // The registry limits one name every time and answers the others: tried three times with
    // answers to other rows between, that row settles 无法获取数据 and its last limit holds nothing back.
    const QByteArray stuck = "fstuck.com";
    m_com->setResponder([stuck](const QByteArray &q, int earlier) {
        return q == stuck ? FakeWhoisServer::replyAtOnce(LimitText) : truthful(q, earlier);
    });
    // One channel, the row next to last: were it asked again first after each hold, no answer
    // would come between; its third try comes when no other row is left.
    QStringList domains = PacedRun::names(QStringLiteral("com"), 20);
    domains.insert(19, QString::fromLatin1(stuck));
    PacedRun r(config(), fast(), domains, 1);
    QTRY_COMPARE_WITH_TIMEOUT(r.finished, 1, 20000);
    QCOMPARE(r.rows(), r.truth().replace(19, 1, u'U'));
    QCOMPARE(m_com->received().count(stuck + "\r\n"), 3);
    QCOMPARE(r.query.pace(m_com->host())->holds(), 2); // the third limit held nothing back
}

void TestPacing::nextRunStartsAfresh()
{
    // A run ends with its registry paced and a row twice limited; the next run over the same
    // list asks at once, unpaced, and that row's first limit in it is its first.
    m_com->setResponder([](const QByteArray &q, int earlier) {
        return q.startsWith("fname1") ? FakeWhoisServer::replyAtOnce(LimitText) : truthful(q, earlier);
    });
    const QStringList names = PacedRun::names(QStringLiteral("com"), 20).mid(1);
    PacedRun r(config(), fast(), QStringList{QStringLiteral("fname1.com")} + names, 3);
    QTRY_VERIFY_WITH_TIMEOUT(m_com->received().count("fname1.com\r\n") == 2 && r.store.state(1) == State::Waiting, 10000);
    r.query.end();
    r.store.clear();
    r.store.appendMany(QStringList{QStringLiteral("fname1.com")} + names);
    r.query.reset(1);
    QCOMPARE(r.query.heldHosts(), QStringList());
    r.query.Timerme_Timer(0);
    QCOMPARE(r.store.state(1), State::Querying);
    QTRY_COMPARE_WITH_TIMEOUT(r.query.retryCount(), 1, 5000);
    QCOMPARE(r.rows().left(1), QStringLiteral("-"));
}

QTEST_GUILESS_MAIN(TestPacing)
#include "tst_pacing.moc"
