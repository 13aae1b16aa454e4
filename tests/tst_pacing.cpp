// Pacing of a registry that limits us: the pace of one host on its own (times handed in),
// then the query run without a window against loopback registries that limit, with short
// constants in place of the product's.
#include "FakeHttpServer.h"
#include "LoopbackBootstrap.h"
#include "FakeWhoisServer.h"

#include "run/HostPace.h"
#include "run/QueryChannel.h"
#include "run/QueryRun.h"
#include "run/TaskListStore.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

namespace {

// The product's constants, as the run uses them unless told otherwise.
const PaceRules Product;

// "l" a limit (from a query sent now), "a" an answer, "t" a time-out; a number before a
// letter repeats it; "+N" lets N ms pass. Returns maxBusy/spacing/nextBackoff/heldFor and
// "G" once given up.
QString play(HostPace &p, const QString &events, qint64 &now)
{
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
            const QChar e = events.at(i++);
            for (qint64 k = 0; k < n; ++k) {
                if (e == u'l')
                    p.limited(now, now);
                else if (e == u'a')
                    p.answered();
                else if (e == u't' && p.timedOut())
                    p.limited(now, now);
            }
        }
    }
    return QStringLiteral("%1/%2/%3/%4%5").arg(p.maxBusy()).arg(p.spacingMs()).arg(p.nextBackoffMs())
        .arg(qMax<qint64>(0, p.heldUntil() - now)).arg(p.givenUp() ? "G" : "");
}

// Short times in place of the product's, so a test waits a second, not minutes.
PaceRules fast()
{
    PaceRules r;
    r.backoffStartMs = 150;
    r.backoffCeilingMs = 600;
    r.spacingCeilingMs = 400;
    return r;
}

using State = TaskListStore::State;
using Result = TaskListStore::Result;

const QByteArray LimitText = "%ERROR:201: Query rate limit exceeded, try again later\r\n";
const QByteArray Marker = ">>> Last update of whois database: 2024-09-01T10:00:00Z <<<\r\n";

// The truth of a name: "t..." names are taken, the others free.
QByteArray truthfulReply(const QByteArray &query)
{
    return query.startsWith('t') ? "Domain Name: " + query.toUpper() + "\r\nRegistry Domain ID: 1_DOMAIN\r\n" + Marker
                                 : "No match for \"" + query.toUpper() + "\".\r\n" + Marker;
}

// A paced run over a task list against loopback registries.
struct Run
{
    TaskListStore store;
    QueryRun query;
    int finished = 0;
    QElapsedTimer clock;

    Run(const ServerConfig &c, const QStringList &domains, int channels)
        : query(c, &store)
    {
        QObject::connect(&query, &QueryRun::finished, &query, [this] { ++finished; });
        query.setPaceRules(fast());
        store.appendMany(domains);
        query.reset(channels);
        clock.start();
        query.handOver(channels);
    }
    // "R" registered, "F" free, "U" no data, "T" timed out, "-" waiting, "?" being asked.
    QString rows() const
    {
        QString out;
        for (int k = 1; k <= store.size(); ++k)
            out += store.state(k) == State::Querying ? u'?' : QStringLiteral("-RFUTE").at(int(store.result(k)));
        return out;
    }
    // What every row should end as.
    QString truth() const
    {
        QString out;
        for (int k = 1; k <= store.size(); ++k)
            out += store.domain(k).startsWith(u't') ? u'R' : u'F';
        return out;
    }
};

QStringList names(const QString &tld, int n)
{
    QStringList list;
    for (int k = 1; k <= n; ++k)
        list << QStringLiteral("%1name%2.%3").arg(k % 2 ? "t" : "f").arg(k).arg(tld);
    return list;
}

} // namespace

class TestPacing : public QObject
{
    Q_OBJECT
private slots:
    void hostPace_data();
    void hostPace();
    void repeatsOfOneLimitCountOnce();
    void heldHostWaits();
    void init();
    void everySecondQueryLimited();
    void refusedForAWhile();
    void rdapRetryAfter();
    void limitedHostDoesNotSlowTheOthers();
    void endLeavesRetriesWaiting();
    void threeTimeoutsHoldTheHost();

private:
    ServerConfig config() const;
    std::unique_ptr<FakeWhoisServer> m_com, m_cn;
    std::unique_ptr<FakeHttpServer> m_rdap;
};

void TestPacing::init()
{
    m_com = std::make_unique<FakeWhoisServer>();
    m_cn = std::make_unique<FakeWhoisServer>();
    m_rdap = std::make_unique<FakeHttpServer>();
    QVERIFY(m_com->listen(QHostAddress(QStringLiteral("127.0.0.2"))));
    QVERIFY(m_cn->listen(QHostAddress(QStringLiteral("127.0.0.3")), m_com->port()));
    QVERIFY(m_rdap->listen());
    LoopbackBootstrap::write({{{QStringLiteral("info")}, m_rdap->baseUrl() + QStringLiteral("/rdap/")}});
    m_com->setResponder([](const QByteArray &q, int) { return FakeWhoisServer::replyAtOnce(truthfulReply(q)); });
    m_cn->setResponder([](const QByteArray &q, int) { return FakeWhoisServer::replyAtOnce(truthfulReply(q)); });
}

ServerConfig TestPacing::config() const
{
    const QString com = m_com->host(), cn = m_cn->host();
    return ServerConfig{com, cn, com, com, com, com, com, {}, m_com->port(), {}};
}

void TestPacing::everySecondQueryLimited()
{
    m_com->setResponder([](const QByteArray &q, int earlier) {
        return FakeWhoisServer::replyAtOnce(earlier % 2 ? LimitText : truthfulReply(q));
    });
    Run r(config(), names(QStringLiteral("com"), 12), 3);
    QTRY_COMPARE_WITH_TIMEOUT(r.finished, 1, 30000);
    QCOMPARE(r.rows(), r.truth()); // every row right: none lost, none settled by a limit
    QVERIFY(m_com->connectionCount() >= 23);
    QCOMPARE(r.query.retryCount(), 0);
    // Holds were kept: at least the first one, and the rest grow from there.
    QVERIFY(r.clock.elapsed() >= fast().backoffStartMs * 3);
}

void TestPacing::refusedForAWhile()
{
    // Three answers, then the registry drops a query and refuses every connection for a second.
    m_com->setResponder([this](const QByteArray &q, int earlier) {
        if (earlier == 3) {
            m_com->refuseFor(1000);
            return FakeWhoisServer::closeWithoutReply();
        }
        return FakeWhoisServer::replyAtOnce(truthfulReply(q));
    });
    Run r(config(), names(QStringLiteral("com"), 10), 2);
    QTRY_COMPARE_WITH_TIMEOUT(r.finished, 1, 30000);
    QCOMPARE(r.rows(), r.truth());
    QVERIFY(r.clock.elapsed() >= 1000);
}

void TestPacing::rdapRetryAfter()
{
    const QString path = QStringLiteral("/rdap/domain/tname.info");
    m_rdap->setResponse(path, {429, "{}", -1, false, "Retry-After: 2\r\n"});
    Run r(config(), {QStringLiteral("tname.info")}, 1);
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
    const QStringList com = names(QStringLiteral("com"), 10), cn = names(QStringLiteral("cn"), 10);
    for (int k = 0; k < 10; ++k)
        domains << com[k] << cn[k];
    Run r(config(), domains, 2);
    qint64 comDone = -1;
    QObject::connect(&r.store, &TaskListStore::rowChanged, &r.store, [&] {
        if (comDone < 0 && r.rows().remove(QRegularExpression(QStringLiteral(".(.)"))) == r.truth().remove(QRegularExpression(QStringLiteral(".(.)"))))
            comDone = r.clock.elapsed();
    });
    QTRY_COMPARE_WITH_TIMEOUT(r.finished, 1, 30000);
    // The .com rows at the plain pace (two channels, ten rows a second each); the .cn rows
    // given up after three holds without an answer, none of them called free.
    QVERIFY2(comDone >= 0 && comDone < 1500, qPrintable(QString::number(comDone)));
    QString expected;
    for (int k = 0; k < 10; ++k)
        expected += r.truth().at(2 * k) + QStringLiteral("U");
    QCOMPARE(r.rows(), expected);
    QVERIFY(r.clock.elapsed() >= 150 + 300 + 600);
    QVERIFY(r.query.heldHosts().value(0).startsWith(m_cn->host()));
}

void TestPacing::endLeavesRetriesWaiting()
{
    m_com->setResponder([](const QByteArray &q, int earlier) {
        return FakeWhoisServer::replyAtOnce(earlier == 1 ? LimitText : truthfulReply(q));
    });
    Run r(config(), names(QStringLiteral("com"), 3), 1);
    QTRY_COMPARE_WITH_TIMEOUT(r.query.retryCount(), 1, 5000);
    QCOMPARE(r.finished, 0); // a run with a row waiting for its registry is not over
    r.query.end();
    QTest::qWait(300);
    QCOMPARE(r.store.state(2), State::Waiting);
    QCOMPARE(r.store.result(2), Result::None);
    QVERIFY(r.store.domains(true).contains(QStringLiteral("fname2.com"))); // in the rest list
    QCOMPARE(r.finished, 0);
}

void TestPacing::hostPace_data()
{
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("after"); // maxBusy/spacing/next back-off/held for, G given up
    QTest::newRow("fresh: the whole run's pace") << "" << "20/100/15000/0";
    QTest::newRow("answers change nothing") << "50a" << "20/100/15000/0";
    QTest::newRow("first limit: half as many, held 15 s") << "l" << "10/100/30000/15000";
    QTest::newRow("second limit doubles the hold") << "l+15000l" << "5/100/60000/30000";
    QTest::newRow("down to one in flight") << "a+15000l+30000l+60000l+120000l+240000l" << "1/200/480000/240000";
    QTest::newRow("then spacing doubles") << "a+15000l+30000l+60000l+120000l+240000l+480000l" << "1/400/600000/480000";
    QTest::newRow("spacing stops at 60 s") << "a4l lalalalalalalalalala" << "1/60000/600000/600000";
    QTest::newRow("20 answers: spacing halves first") << "a+15000l+30000l+60000l+120000l+240000l+480000l+600000 20a"
                                                   << "1/200/15000/0";
    QTest::newRow("19 answers are not enough") << "a+15000l+30000l+60000l+120000l+240000l+480000l+600000 19a"
                                               << "1/400/600000/0";
    QTest::newRow("then one more in flight") << "l+15000 20a" << "11/100/15000/0";
    QTest::newRow("never past the run's channels") << "l+15000 400a" << "20/100/15000/0";
    QTest::newRow("two time-outs are no limit") << "2t" << "20/100/15000/0";
    QTest::newRow("the third is") << "3t" << "10/100/30000/15000";
    QTest::newRow("an answer breaks the row of time-outs") << "2ta2t" << "20/100/15000/0";
    QTest::newRow("never answered: gives up after three holds") << "l+15000l+30000l+60000l" << "2/100/120000/0G";
    QTest::newRow("never answered: three holds are not yet") << "l+15000l+30000l" << "2/100/120000/60000";
    QTest::newRow("answered: three holds at the ceiling, then gives up")
        << "a6l+600000l+600000l+600000l+600000l" << "1/3200/600000/0G";
    QTest::newRow("answered: an answer between ceiling holds starts over")
        << "a6l+600000l+600000la+600000l+600000l" << "1/6400/600000/600000";
}

void TestPacing::hostPace()
{
    QFETCH(QString, events);
    QFETCH(QString, after);
    HostPace p(Product, 20);
    qint64 now = 1000;
    QCOMPARE(play(p, events, now), after);
}

void TestPacing::repeatsOfOneLimitCountOnce()
{
    // Twenty channels met the limit at once: one hold, one step down.
    HostPace p(Product, 20);
    for (int i = 0; i < 20; ++i)
        p.limited(5000 + i, 4000 + i);
    QCOMPARE(p.maxBusy(), 10);
    QCOMPARE(p.heldUntil(), 5000 + 15000);
    // A query sent after that limit is new evidence.
    p.limited(21000, 20500);
    QCOMPARE(p.maxBusy(), 5);
    QCOMPARE(p.heldUntil(), 21000 + 30000);
    // The server's own word on when to come back.
    p.limited(60000, 59000, 2000);
    QCOMPARE(p.heldUntil(), 62000);
}

void TestPacing::heldHostWaits()
{
    HostPace p(Product, 4);
    QVERIFY(p.mayStart(0, 3));
    QVERIFY(!p.mayStart(0, 4));
    p.limited(100, 100);
    QVERIFY(!p.mayStart(15099, 0));
    QVERIFY(p.mayStart(15100, 1));
    QVERIFY(!p.mayStart(15100, 2));
    p.limited(16000, 15500);
    p.limited(50000, 49000); // one in flight: now spacing
    QCOMPARE(p.spacingMs(), 200);
    p.started(200000);
    QVERIFY(!p.mayStart(200199, 0));
    QVERIFY(p.mayStart(200200, 0));
}


void TestPacing::threeTimeoutsHoldTheHost()
{
    // A silent registry: the first two time-outs are verdicts, the third is a limit.
    m_com->setResponder([](const QByteArray &, int) { return FakeWhoisServer::silent(); });
    TaskListStore store;
    QueryRun run(config(), &store);
    PaceRules rules = fast();
    rules.backoffStartMs = rules.backoffCeilingMs = 5000;
    run.setPaceRules(rules);
    store.appendMany(names(QStringLiteral("com"), 4));
    run.reset(1);
    for (int row = 1; row <= 3; ++row) {
        run.Timerme_Timer(0);
        QCOMPARE(run.Winsockme(0).chanrow, row);
        for (int t = 0; t < QueryRun::TimeoutTicks; ++t)
            run.Timer1_Timer(0);
    }
    QCOMPARE(TaskListStore::resultText(store.result(1)), QStringLiteral("查询超时"));
    QCOMPARE(TaskListStore::resultText(store.result(2)), QStringLiteral("查询超时"));
    QCOMPARE(store.state(3), State::Waiting);
    QCOMPARE(run.retryCount(), 1);
    QCOMPARE(run.heldHosts(), QStringList{m_com->host() + QStringLiteral("：查询受限，5 秒后继续")});
    run.Timerme_Timer(0); // held back: row 4 waits behind it, nothing is asked
    QCOMPARE(run.retryCount(), 2);
    QCOMPARE(store.countState(State::Querying), 0);
}

QTEST_GUILESS_MAIN(TestPacing)
#include "tst_pacing.moc"
