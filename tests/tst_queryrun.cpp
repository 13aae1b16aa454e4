// The query run without a window, against loopback registries (FakeRegistries): one fake WHOIS
// server per role and fake RDAP servers named by a bootstrap in the test's cache folder. Query
// and time-out ticks are driven by hand where waiting would be slow; whole runs use the real
// ticks. Then one channel on its own, and one RDAP exchange.
#include "FakeRegistries.h"
#include "Replies.h"
#include "RunHarness.h"

#include "run/QueryChannel.h"
#include "run/QueryRun.h"
#include "whois/RdapBootstrapCache.h"
#include "whois/RdapQuery.h"

#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTimeZone>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(FakeWhoisServer::Script)
Q_DECLARE_METATYPE(QueryChannel::Outcome)

namespace {

using Role = FakeRegistries::Role;
using State = TaskListStore::State;
using Kind = QueryChannel::Outcome::Kind;
using Failure = QueryChannel::Failure;
const QString Unresolvable = QStringLiteral("whois.nowhere.invalid");
const QString Closed = QStringLiteral("127.0.0.20"); // nobody listens there

QueryChannel::Outcome failure(Failure why)
{
    return {Kind::Failed, {}, 0, {}, -1, why};
}

} // namespace

class TestQueryRun : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void registries_data();
    void registries();
    void outcomes_data();
    void outcomes();
    void timeOut();
    void channelsOverRows_data();
    void channelsOverRows();
    void pauseContinueWithWaitingQueries();
    void endKeepsSettledRows();
    void newRunAfterStaleChannels();
    void probe();
    void unreachableRow_data();
    void unreachableRow();
    void bootstrapRefresh_data();
    void bootstrapRefresh();
    void channel_data();
    void channel();
    void rdapExchange_data();
    void rdapExchange();
    void retryAfter_data();
    void retryAfter();

private:
    std::unique_ptr<RunHarness> start(const QStringList &domains, int channels)
    {
        return std::make_unique<RunHarness>(m_registries->config(), domains, channels);
    }
    FakeWhoisServer &server(int role) { return m_registries->server(role); }
    FakeHttpServer &rdap(int k = 0) { return m_registries->rdap(k); }

    std::unique_ptr<FakeRegistries> m_registries;
};

void TestQueryRun::init()
{
    m_registries = std::make_unique<FakeRegistries>();
    QVERIFY(m_registries->listen());
}

// A list of every kind of name, run over four channels against every registry, each WHOIS
// registry answering in its own form and in pieces.
void TestQueryRun::registries_data()
{
    // RDAP servers 0 to 3: "l" says 404 to everything, "c" cannot be reached, "-" tells the truth.
    QTest::addColumn<QString>("rdapServers");
    QTest::newRow("honest registries") << "----";
    QTest::newRow("one host says 404 to everything") << "--l-";
    QTest::newRow("every host says 404 to everything") << "llll";
    QTest::newRow("no RDAP host can be reached") << "cccc";
}

void TestQueryRun::registries()
{
    QFETCH(QString, rdapServers);
    // Where the bootstrap puts each TLD that has RDAP; .cn .com.cn .net.cn .la .me have none,
    // .qvzz exists nowhere.
    const QHash<QString, int> rdapOf = {{"com", 0}, {"net", 0}, {"org", 1}, {"info", 1}, {"io", 2}, {"xyz", 2}, {"name", 3}, {"biz", 3}};
    const QHash<QString, int> whoisOf = {{"cn", Role::Cnnic}, {"com.cn", Role::Cnnic}, {"net.cn", Role::Cnnic}, {"la", Role::La}, {"me", Role::Me}};
    const QHash<QString, int> fallbackOf = {{"com", Role::Internic}, {"net", Role::Internic}, {"name", Role::Name}, {"biz", Role::Biz}};
    LoopbackBootstrap::Services services;
    for (auto it = rdapOf.cbegin(); it != rdapOf.cend(); ++it) {
        const QString path = u'/' + it.key() + u'/';
        services.append({{it.key()}, rdapServers.at(*it) == u'c' ? QStringLiteral("http://%1:1%2").arg(rdap(*it).host(), path)
                                                                   : m_registries->rdapBase(*it, path)});
        if (rdapServers.at(*it) == u'l')
            rdap(*it).setResponder({});
    }
    LoopbackBootstrap::write(services);
    for (int role = 0; role < FakeRegistries::RoleCount; ++role)
        server(role).setResponder(FakeRegistries::truthfulWhois(role, true));

    QStringList domains;
    for (const char *tld : {"com", "net", "org", "io", "xyz", "name", "biz", "info", "cn", "com.cn", "net.cn", "la", "me", "qvzz"})
        domains << QStringLiteral("tqvname.%1").arg(tld) << QStringLiteral("fqvname.%1").arg(tld);
    // An IDN, and texts nobody is asked about: a blank line, spaces, a space inside.
    domains << QStringLiteral("f中文.com") << QString() << QStringLiteral("   ") << QStringLiteral("qv name.cn");
    QString expected;
    QList<QSet<QByteArray>> whoisAsked(FakeRegistries::RoleCount);
    QList<int> rdapAsked(FakeRegistries::RdapCount); // rows asked at each RDAP server
    QStringList untrusted;
    for (const QString &d : domains) {
        const QString tld = d.section(u'.', 1), ace = QString::fromLatin1(QUrl::toAce(d));
        const int k = rdapOf.value(tld, -1);
        const QChar server = k >= 0 ? rdapServers.at(k) : u'-';
        const int whois = d.contains(u' ') ? -1 : k < 0 ? whoisOf.value(tld, -1) : server == u'c' ? fallbackOf.value(tld, -1) : -1;
        if (whois >= 0)
            whoisAsked[whois].insert(ace.toLatin1() + "\r\n");
        if (k >= 0 && server != u'c')
            ++rdapAsked[k];
        if (server == u'l' && !untrusted.contains(rdap(k).host()))
            untrusted << rdap(k).host();
        const QChar truth = FakeRegistries::isTaken(ace) ? u'R' : u'F';
        expected += whois >= 0 || (k >= 0 && server == u'-') ? truth : u'U';
    }
    auto r = start(domains, 4);
    r->handOver();
    QTRY_COMPARE_WITH_TIMEOUT(r->finished, 1, 20000);
    QCOMPARE(r->rows(), expected); // every "F" a name that is free: none from a host that says 404 to everything
    QCOMPARE(r->freeNames.size(), expected.count(u'F'));
    // Every name at the service it belongs to, as its A-label, and nowhere else; each RDAP host probed once.
    for (int role = 0; role < FakeRegistries::RoleCount; ++role) {
        const QList<QByteArray> received = server(role).received();
        QCOMPARE(QSet<QByteArray>(received.cbegin(), received.cend()), whoisAsked[role]);
        QCOMPARE(received.size(), whoisAsked[role].size());
    }
    for (int k = 0; k < FakeRegistries::RdapCount; ++k) {
        const QStringList paths = rdap(k).requestedPaths();
        QCOMPARE(paths.size(), rdapAsked[k] + (rdapAsked[k] > 0));
        for (const QString &path : paths)
            QVERIFY2(QUrl::toAce(path.section(u'/', -1)) == path.section(u'/', -1).toLatin1(), qPrintable(path));
    }
    untrusted.sort();
    QCOMPARE(r->query.untrustedHosts(), untrusted.replaceInStrings(QRegularExpression(QStringLiteral("$")), QStringLiteral("：无法确认未注册结果")));
    for (int i = 0; i < QueryRun::ChannelCount; ++i) // the end of the batch stops every channel
        QVERIFY(!r->query.channel(i).queryTimer.isEnabled() && !r->query.channel(i).timeoutTimer.isEnabled());
}

// What the run makes of each outcome of a row's query at a registry that has answered before.
void TestQueryRun::outcomes_data()
{
    QTest::addColumn<QueryChannel::Outcome>("outcome");
    QTest::addColumn<bool>("pacing");
    QTest::addColumn<QString>("rows"); // "-" the row waits for a retry
    const QueryChannel::Outcome limit{Kind::Reply, QString::fromLatin1(Replies::limits().at(0))};
    QTest::newRow("a limit text") << limit << true << "R-";
    QTest::newRow("a limit text, unpaced") << limit << false << "RU";
    QTest::newRow("refused: a limit") << failure(Failure::Refused) << true << "R-";
    QTest::newRow("refused, unpaced") << failure(Failure::Refused) << false << "RU";
    QTest::newRow("dropped before a byte: a limit") << failure(Failure::ClosedEmpty) << true << "R-";
    QTest::newRow("a host that no longer resolves is no limit") << failure(Failure::HostNotFound) << true << "RU";
    QTest::newRow("a first time-out is a verdict") << QueryChannel::Outcome{} << true << "RT";
}

void TestQueryRun::outcomes()
{
    QFETCH(QueryChannel::Outcome, outcome);
    QFETCH(bool, pacing);
    QFETCH(QString, rows);
    auto r = start({QStringLiteral("tqv1.com"), QStringLiteral("fqv2.com"), QStringLiteral("fqv3.com")}, 1);
    r->query.setPacing(pacing);
    r->query.onQueryTick(0);
    QTRY_COMPARE_WITH_TIMEOUT(r->rows(), QStringLiteral("R--"), 5000);
    server(Role::Internic).setScript(FakeWhoisServer::silent());
    r->query.onQueryTick(0);
    QCOMPARE(r->rows(), QStringLiteral("R?-"));
    r->query.channel(0).close();
    r->query.onChannelFinished(0, outcome);
    QCOMPARE(r->rows().left(2), rows);
    QCOMPARE(r->query.retryCount(), int(rows.endsWith(u'-')));
    QVERIFY(r->query.channel(0).queryTimer.isEnabled()); // free for its next row
    QCOMPARE(r->freeNames, QStringList());
}

void TestQueryRun::timeOut()
{
    // A query times out at the fifth tick since the channel's count was last cleared: ticks
    // while the channel waits for its next row count, a settled row clears them, a pause
    // stops them. A reply after the time-out is not judged, even when no row is left.
    server(Role::Cnnic).setScript(FakeWhoisServer::replyAfter(400, Replies::cnnic("", false)));
    server(Role::Internic).setResponder([](const QByteArray &q, int) {
        return FakeWhoisServer::replyAfter(q.startsWith("fb") ? 900 : 0, Replies::internic(q, false));
    });
    auto r = start({QStringLiteral("fa.com"), QStringLiteral("late.cn"), QStringLiteral("fb.com")}, 2);
    QueryChannel &c = r->query.channel(0);
    c.onTimeoutTick();
    c.onTimeoutTick();
    r->query.onQueryTick(0);
    QTRY_COMPARE_WITH_TIMEOUT(r->rows(), QStringLiteral("F--"), 5000);
    QCOMPARE(c.timeoutTicks(), 0);
    c.onTimeoutTick();
    r->query.onQueryTick(0); // late.cn
    r->query.onQueryTick(1); // fb.com
    QTRY_COMPARE_WITH_TIMEOUT(server(Role::Cnnic).received(), QList<QByteArray>{"late.cn\r\n"}, 5000);
    c.onTimeoutTick();
    c.onTimeoutTick();
    r->query.pause();
    QVERIFY(!c.timeoutTimer.isEnabled());
    r->query.resume();
    c.onTimeoutTick();
    QCOMPARE(r->rows(), QStringLiteral("F??"));
    c.onTimeoutTick();
    QCOMPARE(r->rows(), QStringLiteral("FT?"));
    QTRY_COMPARE_WITH_TIMEOUT(r->finished, 1, 5000);
    QCOMPARE(r->rows(), QStringLiteral("FTF"));
    QCOMPARE(r->freeNames, QStringList({QStringLiteral("fa.com"), QStringLiteral("fb.com")}));
    // The end of the batch stops every timer.
    QVERIFY(!c.queryTimer.isEnabled() && !c.timeoutTimer.isEnabled());
}

void TestQueryRun::channelsOverRows_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("channels");
    QTest::newRow("10 channels over 3 rows") << 3 << 10;
    QTest::newRow("empty list") << 0 << 5;
}

void TestQueryRun::channelsOverRows()
{
    QFETCH(int, rows);
    QFETCH(int, channels);
    server(Role::Internic).setScript(FakeWhoisServer::silent());
    auto r = start(QStringList{"a.com", "b.com", "c.com"}.mid(0, rows), channels);
    QSignalSpy scrolled(&r->query, &QueryRun::scrollTo);
    for (int i = 0; i < channels; ++i) {
        r->query.onQueryTick(i);
        QCOMPARE(r->query.slot(i).row, r->finished && i > 0 ? 0 : i + 1);
    }
    // An empty run is over at its first tick; a late tick after that does nothing.
    QCOMPARE(r->query.cursor(), rows ? channels : 1);
    QTRY_COMPARE_WITH_TIMEOUT(server(Role::Internic).connectionCount(), rows, 5000); // rows past the last open nothing
    QCOMPARE(r->finished, rows == 0 ? 1 : 0);
    // The view follows the row before the one just taken, from the third tick on.
    QCOMPARE(scrolled.size(), qMax(0, rows - 2));
}

void TestQueryRun::pauseContinueWithWaitingQueries()
{
    // Rows 1 and 2 are asked; their replies come while the run is paused.
    server(Role::Internic).setScript(FakeWhoisServer::replyAfter(300, Replies::internic("x.com", false)));
    auto r = start({"p1.com", "p2.com", "p3.com", "p4.com"}, 3);
    r->query.onQueryTick(0);
    r->query.onQueryTick(1);
    r->query.pause();
    r->query.onQueryTick(2);
    QCOMPARE(r->query.cursor(), 2); // a paused run takes no row
    QTRY_COMPARE_WITH_TIMEOUT(r->rows(), QStringLiteral("FF--"), 5000);
    QCOMPARE(r->freeNames, QStringList({"p1.com", "p2.com"}));

    // Row 3 is asked and still waits at the next pause; continuing keeps it waiting.
    server(Role::Internic).setScript(FakeWhoisServer::replyAfter(500, Replies::internic("x.com", true)));
    r->query.resume();
    r->query.onQueryTick(0);
    r->query.pause();
    r->query.resume();
    QVERIFY(!r->query.channel(0).queryTimer.isEnabled() && r->query.channel(0).timeoutTimer.isEnabled()); // still its row's channel
    QVERIFY(r->query.channel(1).queryTimer.isEnabled());
    r->query.onQueryTick(1);
    QCOMPARE(r->rows(), QStringLiteral("FF??"));
    QTRY_COMPARE_WITH_TIMEOUT(r->rows(), QStringLiteral("FFRR"), 5000);
    QCOMPARE(server(Role::Internic).connectionCount(), 4); // no row asked twice, none dropped
}

void TestQueryRun::endKeepsSettledRows()
{
    server(Role::Cnnic).setScript(FakeWhoisServer::silent());
    auto r = start({"te1.com", "te2.com", "silent.cn", "silent2.cn", "te5.com"}, 4);
    r->query.onQueryTick(0);
    r->query.onQueryTick(1);
    QTRY_COMPARE_WITH_TIMEOUT(r->rows(), QStringLiteral("RR---"), 5000);
    r->query.onQueryTick(2);
    r->query.onQueryTick(3);
    r->query.end();
    // Only the queries still open are cut short; rows no channel reached keep waiting.
    QCOMPARE(r->rows(), QStringLiteral("RREE-"));
    for (int i = 0; i < 4; ++i)
        QVERIFY(r->query.slot(i).row == 0 && !r->query.channel(i).queryTimer.isEnabled() && !r->query.channel(i).timeoutTimer.isEnabled());
    QCOMPARE(r->finished, 0);
}

void TestQueryRun::newRunAfterStaleChannels()
{
    // An earlier run's channel waits for a late reply that would call its row free, and
    // has counted four time-out ticks.
    server(Role::Cnnic).setScript(FakeWhoisServer::replyAfter(500, Replies::cnnic("", false)));
    auto r = start({QStringLiteral("oldname.cn")}, 1);
    r->query.onQueryTick(0);
    for (int t = 0; t < 4; ++t)
        r->query.channel(0).onTimeoutTick();
    QTRY_COMPARE_WITH_TIMEOUT(server(Role::Cnnic).connectionCount(), 1, 5000);

    server(Role::Cnnic).setResponder(FakeRegistries::truthfulWhois(Role::Cnnic));
    r->store.clear();
    r->query.reset(3);
    for (int i = 0; i < QueryRun::ChannelCount; ++i) { // no late reply or tick of the old run reaches the new list
        const QueryChannel &c = r->query.channel(i);
        QVERIFY(r->query.slot(i).row == 0 && c.timeoutTicks() == 0 && !c.isAsking() && !c.timeoutTimer.isEnabled());
    }
    r->store.appendMany({"tqaxy.com", "fqaxy.cn", "tqbxy.com", "fqbxy.cn"});
    r->handOver();
    QTRY_COMPARE_WITH_TIMEOUT(r->finished, 1, 20000);
    QTest::qWait(500); // past the old reply's time
    QCOMPARE(r->rows(), QStringLiteral("RFRF"));
    QCOMPARE(r->freeNames, QStringList({"fqaxy.cn", "fqbxy.cn"}));
}

void TestQueryRun::probe()
{
    // The .info host's probe meets two limits, then gets its record: the host's 404s mean free.
    const QString probePath = QStringLiteral("/rdap/domain/nic.info");
    int probes = 0;
    rdap().setResponder([&, truth = FakeRegistries::truthfulRdap()](const QString &path) {
        FakeHttpServer::Response r = path != probePath ? truth(path)
                                     : ++probes <= 2 ? FakeHttpServer::Response{429, {}, -1, false, "Retry-After: 0\r\n"}
                                                     : FakeRegistries::rdapRecord(QStringLiteral("nic.info"));
        r.delayMs = 200;
        return r;
    });
    auto r = start({QStringLiteral("tqvname.info"), QStringLiteral("fqvname.info")}, 2);
    r->query.onQueryTick(0);
    r->query.onQueryTick(1);
    // The probe is out and is no row: both rows wait for it, none is being asked.
    QVERIFY(r->query.isWaiting(0) && r->query.slot(0).probe && !r->query.isWaiting(1));
    QCOMPARE(r->rows(), QStringLiteral("--"));
    QCOMPARE(r->query.retryCount(), 0);
    r->handOver();
    QTRY_COMPARE_WITH_TIMEOUT(r->finished, 1, 10000);
    QCOMPARE(r->rows(), QStringLiteral("RF"));
    QCOMPARE(r->freeNames, QStringList{QStringLiteral("fqvname.info")});
    QCOMPARE(probes, 3);
    QCOMPARE(rdap().requestedPaths().size(), 5); // each row asked once, after the probe
}

void TestQueryRun::unreachableRow_data()
{
    // The host answers its probe, then fails the row.
    QTest::addColumn<QString>("domain");
    QTest::addColumn<bool>("silent"); // stays silent, else closes without a word
    QTest::addColumn<QString>("rows");
    QTest::newRow(".com dropped: InterNIC asked") << "fqvname.com" << false << "F";
    QTest::newRow(".com silent: InterNIC asked") << "fqvname.com" << true << "F";
    QTest::newRow(".info dropped: no WHOIS to ask") << "fqvname.info" << false << "U";
    QTest::newRow(".info silent: timed out") << "fqvname.info" << true << "T";
}

void TestQueryRun::unreachableRow()
{
    QFETCH(QString, domain);
    QFETCH(bool, silent);
    QFETCH(QString, rows);
    LoopbackBootstrap::write({{{QStringLiteral("com")}, m_registries->rdapBase(0, QStringLiteral("/com/"))},
                              {{QStringLiteral("info")}, m_registries->rdapBase(0, QStringLiteral("/info/"))}});
    FakeHttpServer::Response fail;
    (silent ? fail.neverAnswer : fail.hangUp) = true;
    rdap().setResponder([fail](const QString &path) {
        const QString name = path.section(u'/', -1);
        return FakeRegistries::isTaken(name) ? FakeRegistries::rdapRecord(name) : fail;
    });
    auto r = start({domain}, 1);
    r->query.setPacing(false);
    r->query.onQueryTick(0); // the probe
    QTRY_VERIFY_WITH_TIMEOUT(!r->query.isWaiting(0), 5000);
    r->query.onQueryTick(0); // the row
    QVERIFY(r->query.isWaiting(0));
    if (silent) {
        QTRY_COMPARE_WITH_TIMEOUT(rdap().requestedPaths().size(), 2, 5000);
        for (int t = 0; t < QueryChannel::TimeoutTicks; ++t)
            r->query.channel(0).onTimeoutTick();
    }
    QTRY_COMPARE_WITH_TIMEOUT(r->finished, 1, 5000);
    QCOMPARE(r->rows(), rows);
    QCOMPARE(server(Role::Internic).received(), rows == QLatin1String("F") ? QList<QByteArray>{domain.toLatin1() + "\r\n"} : QList<QByteArray>());
}

void TestQueryRun::bootstrapRefresh_data()
{
    QTest::addColumn<FakeHttpServer::Response>("served");
    QTest::addColumn<int>("fetchedDaysAgo"); // < 0: never
    QTest::addColumn<bool>("url");           // a bootstrap address is configured
    QTest::addColumn<bool>("fetched");
    QTest::addColumn<bool>("written");
    const QByteArray newer = LoopbackBootstrap::json({{{QStringLiteral("info")}, QStringLiteral("http://127.0.0.1:9/")}},
                                                     QStringLiteral("2100-01-01T00:00:00Z"));
    FakeHttpServer::Response silent;
    silent.neverAnswer = true;
    QTest::newRow("a newer copy, last fetched 8 days ago") << FakeHttpServer::Response{200, newer} << 8 << true << true << true;
    QTest::newRow("a newer copy, never fetched") << FakeHttpServer::Response{200, newer} << -1 << true << true << true;
    QTest::newRow("an older copy") << FakeHttpServer::Response{200, QByteArray(newer).replace("2100", "2001")} << 8 << true << true << false;
    QTest::newRow("404") << FakeHttpServer::Response{404, newer} << 8 << true << true << false;
    QTest::newRow("fetched 6 days ago") << FakeHttpServer::Response{200, newer} << 6 << true << false << false;
    QTest::newRow("no address") << FakeHttpServer::Response{200, newer} << -1 << false << false << false;
    QTest::newRow("the server never answers") << silent << 8 << true << true << false;
}

void TestQueryRun::bootstrapRefresh()
{
    QFETCH(FakeHttpServer::Response, served);
    QFETCH(int, fetchedDaysAgo);
    QFETCH(bool, url);
    QFETCH(bool, fetched);
    QFETCH(bool, written);
    const QString path = QStringLiteral("/dns.json");
    rdap(1).setResponse(path, served);
    LoopbackBootstrap::setFetched(fetchedDaysAgo);
    ServerConfig c = m_registries->config();
    c.rdapBootstrap = url ? m_registries->rdapBase(1, path) : QString();
    QFile file(LoopbackBootstrap::path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    RunHarness r(c, {QStringLiteral("tqvname.info")}, 1);
    QSignalSpy refreshed(&r.query.bootstrapCache(), &RdapBootstrapCache::refreshed);
    r.handOver();
    QTRY_COMPARE_WITH_TIMEOUT(r.finished, 1, 5000); // the row never waits for the fetch
    QCOMPARE(r.rows(), QStringLiteral("R"));
    if (fetched && !served.neverAnswer)
        QTRY_COMPARE_WITH_TIMEOUT(refreshed.size(), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(rdap(1).requestedPaths().count(path), fetched ? 1 : 0, 2000);
    QCOMPARE(r.query.bootstrapCache().isFetching(), bool(served.neverAnswer));
    QCOMPARE(refreshed.value(0).value(0).toBool(), written);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), written ? served.body : before);
    // The next run does not fetch again.
    r.query.reset(1);
    r.handOver();
    QTRY_COMPARE_WITH_TIMEOUT(r.finished, 2, 5000);
    QCOMPARE(rdap(1).requestedPaths().count(path), fetched ? 1 : 0);
    LoopbackBootstrap::setFetched(0);
}

// One channel on its own: what it sends, and the one outcome it reports.
void TestQueryRun::channel_data()
{
    QTest::addColumn<QString>("host"); // empty: the CNNIC server; "+": the InterNIC server (a marker server)
    QTest::addColumn<FakeWhoisServer::Script>("script");
    QTest::addColumn<QString>("outcome"); // "failed <why>", or the reply with "|" for each CR LF
    using S = FakeWhoisServer;
    QTest::newRow("refused") << Closed << S::Script() << "failed 0";
    QTest::newRow("unresolvable") << Unresolvable << S::Script() << "failed 1";
    QTest::newRow("closed without a byte") << QString() << S::closeWithoutReply() << "failed 2";
    QTest::newRow("closed after a reply in two pieces") << QString() << S::inTwo("No match\nfor it\n", 3, 100) << "No match|for it|";
    QTest::newRow("closed after one byte") << QString() << S::replyAtOnce("%") << "%";
    QTest::newRow("marker server closing before its marker") << "+" << S::inTwo("Domain Name: X\n", 5, 100) << "Domain Name: X|";
    QTest::newRow("endless: judged at 64 KiB") << QString() << S::streamEndless() << QString(ReplyFraming::MaxReply, u'x');
}

void TestQueryRun::channel()
{
    QFETCH(QString, host);
    QFETCH(FakeWhoisServer::Script, script);
    QFETCH(QString, outcome);
    FakeWhoisServer &s = server(host == u'+' ? Role::Internic : Role::Cnnic);
    s.setScript(script);
    QueryChannel c;
    const WhoisTarget target{host.isEmpty() || host == u'+' ? s.host() : host, s.port(), host == u'+'};
    QStringList outcomes;
    connect(&c, &QueryChannel::finished, &c, [&](const QueryChannel::Outcome &o) {
        outcomes << (o.kind == Kind::Failed ? QStringLiteral("failed %1").arg(int(o.failure)) : QString(o.text).replace("\r\n", "|"));
    });
    c.askWhois(QStringLiteral("xn--fiq228c.cn"), target);
    QCOMPARE(outcomes, QStringList()); // never from inside askWhois
    QTRY_VERIFY_WITH_TIMEOUT(!outcomes.isEmpty(), 3000);
    QTest::qWait(150); // nothing more follows
    QCOMPARE(outcomes, QStringList{outcome});
    QCOMPARE(s.received(), host.size() > 1 ? QList<QByteArray>() : QList<QByteArray>{"xn--fiq228c.cn\r\n"});
    QVERIFY(!c.isAsking());
}

// One RDAP exchange against loopback HTTP and HTTPS servers: what it asks for, how far it
// follows redirects, how much it reads, and what it reports.
void TestQueryRun::rdapExchange_data()
{
    QTest::addColumn<QString>("setup"); // "tls": HTTPS, trusted; "untrusted": HTTPS, not trusted
    QTest::addColumn<QStringList>("hops"); // statuses of the redirects before the answer
    QTest::addColumn<FakeHttpServer::Response>("answer");
    QTest::addColumn<QString>("outcome"); // "<status> <body bytes> <Retry-After>", or "unreachable"
    const FakeHttpServer::Response record = FakeRegistries::rdapRecord(QStringLiteral("x.com"));
    const QString recordOutcome = QStringLiteral("200 %1 -1").arg(record.body.size());
    const auto row = [](const char *tag, const char *setup, const QStringList &hops, const FakeHttpServer::Response &answer,
                        const QString &outcome) { QTest::newRow(tag) << QString::fromLatin1(setup) << hops << answer << outcome; };
    row("record", "", {}, record, recordOutcome);
    row("429 after 120 s", "", {}, {429, {}, -1, false, "Retry-After: 120\r\n"}, "429 0 120");
    row("three redirects followed", "", {"301", "302", "307"}, record, recordOutcome);
    row("a fourth is not", "", {"301", "302", "307", "308"}, record, "308 0 -1");
    row("over HTTPS", "tls", {}, record, recordOutcome);
    row("HTTPS never redirected to HTTP", "tls", {"302"}, record, "302 0 -1");
    row("a certificate not trusted", "untrusted", {}, record, "unreachable");
    const QByteArray huge = "{\"objectClassName\": \"domain\", \"notices\": \"" + QByteArray(RdapQuery::MaxBody, 'n') + "\"}";
    row("a body past 1 MiB is cut", "", {}, {200, huge}, QStringLiteral("200 %1 -1").arg(RdapQuery::MaxBody));
}

void TestQueryRun::rdapExchange()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, hops);
    QFETCH(FakeHttpServer::Response, answer);
    QFETCH(QString, outcome);
    const bool tls = setup == QLatin1String("tls") || setup == QLatin1String("untrusted");
    FakeHttpServer server, plain; // plain: where every redirect of an HTTPS server points
    QVERIFY(tls ? server.listenTls() : server.listen());
    QVERIFY(plain.listen());
    const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
    if (setup == QLatin1String("tls")) {
        QSslConfiguration trusting = before;
        trusting.addCaCertificate(FakeHttpServer::loopbackCertificate());
        QSslConfiguration::setDefaultConfiguration(trusting);
    }
    // /0 -> /1 -> ... -> /n answers.
    for (int k = 0; k < hops.size(); ++k)
        server.setResponse(QStringLiteral("/%1").arg(k), {hops[k].toInt(), {}, -1, false,
                                                          "Location: " + (tls ? plain.baseUrl() : server.baseUrl()).toLatin1()
                                                              + '/' + QByteArray::number(k + 1) + "\r\n"});
    server.setResponse(QStringLiteral("/%1").arg(hops.size()), answer);
    plain.setResponse(QStringLiteral("/%1").arg(hops.size()), answer);
    const QString base = server.baseUrl();
    RdapQuery query;
    QStringList outcomes;
    connect(&query, &RdapQuery::answered, &query, [&](int status, const QByteArray &body, int retryAfter) {
        outcomes << QStringLiteral("%1 %2 %3").arg(status).arg(body.size()).arg(retryAfter);
    });
    connect(&query, &RdapQuery::unreachable, &query, [&] { outcomes << QStringLiteral("unreachable"); });
    query.get(QUrl(base + QStringLiteral("/0")));
    QCOMPARE(outcomes, QStringList()); // never from inside get
    QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 1, 5000);
    QSslConfiguration::setDefaultConfiguration(before);
    QTest::qWait(50);
    QCOMPARE(outcomes, QStringList{outcome});
    QCOMPARE(plain.requestedPaths(), QStringList()); // never from HTTPS down to HTTP
    for (const QByteArray &head : server.requestHeads())
        QVERIFY2(head.contains("\r\nAccept: application/rdap+json\r\n"), head.constData());
}

void TestQueryRun::retryAfter_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("seconds");
    const std::pair<const char *, int> rows[] = {
        {"120", 120}, {" 7 ", 7}, {"99999999999999999999", INT_MAX}, {"", -1}, {"-5", -1}, {"soon", -1},
        {"Sun, 01 Sep 2024 10:01:00 GMT", 60}, {"Sunday, 01-Sep-24 10:01:00 GMT", 60}, {"Sun Sep  1 10:01:00 2024", 60},
        {"Sun, 01 Sep 2024 09:00:00 GMT", 0}}; // the dates are against 10:00:00 that day
    for (const auto &[value, seconds] : rows)
        QTest::addRow("\"%s\"", value) << (*value ? QByteArray(value) : QByteArray()) << seconds;
}

void TestQueryRun::retryAfter()
{
    QFETCH(QByteArray, value);
    QFETCH(int, seconds);
    QCOMPARE(RdapQuery::retryAfterSeconds(value, QDateTime(QDate(2024, 9, 1), QTime(10, 0), QTimeZone::utc())), seconds);
}

QTEST_GUILESS_MAIN(TestQueryRun)
#include "tst_queryrun.moc"
