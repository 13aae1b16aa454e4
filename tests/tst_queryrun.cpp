// The query run without a window, against loopback registries: one fake WHOIS server per
// role (127.0.0.2, 127.0.0.3, ... on one port) and fake RDAP servers (127.0.0.11, ...) named
// by a bootstrap in the test's cache folder. Query and time-out ticks are driven by hand
// where waiting would be slow; whole runs use the real ticks.
#include "FakeRegistries.h"

#include "run/QueryChannel.h"
#include "run/QueryRun.h"
#include "run/TaskListStore.h"
#include "whois/RdapBootstrapCache.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(FakeWhoisServer::Script)

namespace {

enum Role { Internic, Cnnic, La, Me, Iana, Name, Biz, Rdap = -1 };
const QString Registered = QStringLiteral("已经被注册"), Free = QStringLiteral("没有被注册"),
              Undecidable = QStringLiteral("无法获取数据"), TimedOut = QStringLiteral("查询超时");

// Replies in the forms the registries send today.
const QByteArray Marker = ">>> Last update of whois database: 2024-09-01T10:00:00Z <<<\r\n";
const QByteArray Terms = "TERMS OF USE: you may use this data for lawful purposes only, never in bulk.\r\n";

QByteArray pad(QByteArray text, qsizetype size, const QByteArray &line = Terms)
{
    while (text.size() + line.size() <= size)
        text += line;
    return text;
}

// InterNIC: record first, marker at about byte 1,240, notice and terms to about 3,500.
QByteArray internic(const QByteArray &d, bool taken)
{
    const QByteArray record = pad("   Domain Name: " + d + "\r\n   Registry Domain ID: 2138514_DOMAIN_COM-VRSN\r\n", 250, "   Domain Status: ok\r\n")
                              + "   Registry Expiry Date: 2028-09-14T04:00:00Z\r\n";
    const QByteArray head = taken ? pad(record, 1240, "   Name Server: NS1.EXAMPLE.TEST\r\n") : "No match for \"" + d + "\".\r\n";
    return pad(head + Marker + "NOTICE: The expiration date displayed in this record is the date the\r\n", 3500);
}

// .name: a long disclaimer, then the record, the marker near the end.
QByteArray dotName(const QByteArray &d, bool taken)
{
    return pad("", 1300, "Disclaimer: this service is offered for lookups of single names.\r\n")
           + (taken ? "Domain Name: " + d + "\r\nRegistry Domain ID: 1802345_DOMAIN_NAME-VRSN\r\n"
                    : "No match for \"" + d + "\".\r\n")
           + Terms + Marker;
}

// .la and .me: free when `notFound` is given, otherwise registered.
QByteArray laMe(const QByteArray &d, const QByteArray &notFound = {})
{
    const QByteArray record = "Domain Name: " + d + "\r\nRegistry Domain ID: D4255000001-AGRS\r\nRegistry Expiry Date: 2026-01-01\r\n";
    return pad((notFound.isEmpty() ? record : notFound + "\r\n") + ">>> Last update of WHOIS database: 2024-09-01 <<<\r\n", 1500);
}

QByteArray cnnic(const QByteArray &d, bool taken)
{
    return taken ? "Domain Name: " + d + "\nROID: 20030312s10001s00033735-cn\nExpiration Time: 2030-03-17 12:48:36\n"
                 : QByteArray("No matching record.\n");
}

using State = TaskListStore::State;
using Result = TaskListStore::Result;

// A run over a task list, as the window holds it: the rows, the run, the free names it
// reported and how often it finished.
struct Run
{
    TaskListStore store;
    QueryRun query;
    QStringList freeNames;
    int finished = 0;

    explicit Run(const ServerConfig &c)
        : query(c, &store)
    {
        QObject::connect(&query, &QueryRun::freeName, &query, [this](const QString &d) { freeNames << d; });
        QObject::connect(&query, &QueryRun::finished, &query, [this] { ++finished; });
    }
    QString result(int k) const { return TaskListStore::resultText(store.result(k)); }
    // "R" registered, "F" free, "U" no data, "T" timed out, "E" ended, "-" none; "?" for a
    // row still being asked.
    QString rows() const
    {
        QString out;
        for (int k = 1; k <= store.size(); ++k)
            out += store.state(k) == State::Querying ? u'?' : QStringLiteral("-RFUTE").at(int(store.result(k)));
        return out;
    }
};

} // namespace

class TestQueryRun : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void verdict_data();
    void verdict();
    void timeout_data();
    void timeout();
    void channelsOverRows_data();
    void channelsOverRows();
    void oneChannelManyRows();
    void pauseContinueWithWaitingQueries();
    void endKeepsSettledRows();
    void twentyChannelsOverTwoHundredRows();
    void newRunAfterStaleChannels();
    void probe_data();
    void probe();
    void unreachableRow_data();
    void unreachableRow();
    void importedList_data();
    void importedList();
    void bootstrapCopy_data();
    void bootstrapCopy();
    void bootstrapRefresh_data();
    void bootstrapRefresh();

private:
    // A run over `domains` as the starters set it up, its query ticks left to the test.
    std::unique_ptr<Run> start(const QStringList &domains, int channels);
    ServerConfig config() const { return m_registries->config(); }
    FakeWhoisServer &server(int role) { return m_registries->server(role); }
    FakeHttpServer &rdap(int k = 0) { return m_registries->rdap(k); }

    std::unique_ptr<FakeRegistries> m_registries;
};

void TestQueryRun::init()
{
    m_registries = std::make_unique<FakeRegistries>();
    QVERIFY(m_registries->listen());
}


std::unique_ptr<Run> TestQueryRun::start(const QStringList &domains, int channels)
{
    auto r = std::make_unique<Run>(config());
    r->store.appendMany(domains);
    r->query.reset(channels);
    return r;
}

void TestQueryRun::verdict_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<int>("role");
    QTest::addColumn<FakeWhoisServer::Script>("script"); // WHOIS roles
    QTest::addColumn<int>("status");                      // RDAP
    QTest::addColumn<QString>("result");
    const auto row = [](const char *tag, const char *domain, Role role, const QByteArray &reply, const QString &result) {
        QTest::newRow(tag) << QString::fromLatin1(domain) << int(role) << FakeWhoisServer::replyAtOnce(reply) << 0 << result;
    };
    row(".com registered", "qvtaken.com", Internic, internic("QVTAKEN.COM", true), Registered);
    row(".com free", "x.com", Internic, internic("X.COM", false), Free);
    row(".net registered", "qvtaken.net", Internic, internic("QVTAKEN.NET", true), Registered);
    row(".net free", "qvfree.net", Internic, internic("QVFREE.NET", false), Free);
    row(".cn registered", "abcdefg.cn", Cnnic, cnnic("abcdefg.cn", true), Registered);
    row(".cn free", "abcdefg.cn", Cnnic, cnnic("abcdefg.cn", false), Free);
    row(".com.cn registered", "abcd.com.cn", Cnnic, cnnic("abcd.com.cn", true), Registered);
    row(".com.cn free", "abcd.com.cn", Cnnic, cnnic("abcd.com.cn", false), Free);
    row(".net.cn registered", "abcd.net.cn", Cnnic, cnnic("abcd.net.cn", true), Registered);
    row(".net.cn free", "abcd.net.cn", Cnnic, cnnic("abcd.net.cn", false), Free);
    row(".la registered", "qvtaken.la", La, laMe("QVTAKEN.LA"), Registered);
    row(".la free", "qvfree.la", La, laMe("", "The queried object does not exist: DOMAIN NOT FOUND"), Free);
    row(".me registered", "qvtaken.me", Me, laMe("QVTAKEN.ME"), Registered);
    row(".me free", "qvfree.me", Me, laMe("", "NOT FOUND"), Free);
    row(".name registered", "qvtaken.name", Name, dotName("QVTAKEN.NAME", true), Registered);
    row(".name free", "qvfree.name", Name, dotName("QVFREE.NAME", false), Free);
    row("record and No match", "qvboth.la", La, "No match for \"QVBOTH.LA\".\r\n" + laMe("QVBOTH.LA"), Registered);
    QTest::newRow("InterNIC decides with its marker") << "qvtaken.com" << int(Internic)
        << FakeWhoisServer::replyInPieces({"   Domain Name: QVTAKEN.COM\r\n", internic("QVTAKEN.COM", true)}, 300) << 0 << Registered;
    QTest::newRow("CNNIC in two pieces: the whole decides") << "abcdefg.cn" << int(Cnnic)
        << FakeWhoisServer::replyInPieces({"Domain Name: abcdefg.cn\n", cnnic("abcdefg.cn", true)}, 300) << 0 << Registered;
    // A flood is judged on its first 64 KiB, marker or not.
    QTest::newRow("endless data, no marker server") << "abcdefg.cn" << int(Cnnic) << FakeWhoisServer::streamEndless() << 0 << Undecidable;
    QTest::newRow("endless data, marker server") << "flood.com" << int(Internic) << FakeWhoisServer::streamEndless() << 0 << Undecidable;
    for (int status : {200, 404, 429})
        QTest::addRow(".info RDAP %d", status) << "qvname.info" << int(Rdap) << FakeWhoisServer::Script() << status
                                               << (status == 200 ? Registered : status == 404 ? Free : Undecidable);
}

void TestQueryRun::verdict()
{
    QFETCH(QString, domain);
    QFETCH(int, role);
    QFETCH(FakeWhoisServer::Script, script);
    QFETCH(int, status);
    QFETCH(QString, result);
    if (role == Rdap)
        rdap().setResponse(QStringLiteral("/rdap/domain/") + domain, {status, "{\"objectClassName\":\"domain\"}"});
    else
        server(role).setScript(script);
    auto r = start({domain}, 1);
    r->query.setPacing(status != 429); // a limit is retried when paced: judged as it stands here
    r->query.Timerme_Timer(0);
    QTRY_COMPARE_WITH_TIMEOUT(r->finished, 1, 5000);
    QCOMPARE(r->result(1), result);
    QCOMPARE(r->freeNames, result == Free ? QStringList{domain} : QStringList());
    if (role != Rdap)
        QCOMPARE(server(role).received(), QList<QByteArray>{domain.toLatin1() + "\r\n"});
}

void TestQueryRun::timeout_data()
{
    QTest::addColumn<QString>("mode"); // "endless": the server floods instead of saying nothing
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("result");
    QTest::newRow("fourth tick") << "" << 0 << 4 << QString();
    QTest::newRow("fifth tick") << "" << 0 << 5 << TimedOut;
    QTest::newRow("paused") << "pause" << 0 << 10 << QString();
    QTest::newRow("channel past the last row") << "" << 1 << 12 << QString();
}

void TestQueryRun::timeout()
{
    QFETCH(QString, mode);
    QFETCH(int, channel);
    QFETCH(int, ticks);
    QFETCH(QString, result);
    auto r = start({QStringLiteral("a.com")}, 2);
    r->query.Timerme_Timer(0);
    r->query.Timerme_Timer(1); // finds no row
    if (mode == QLatin1String("pause"))
        r->query.pause();
    for (int t = 0; t < ticks; ++t)
        r->query.Timer1_Timer(channel);
    QCOMPARE(r->result(1), result);
    QCOMPARE(r->store.state(1) == State::Querying, result.isEmpty());
    // A run whose last row timed out is over, and its channel's timers stop.
    QCOMPARE(r->finished, result.isEmpty() ? 0 : 1);
    QCOMPARE(r->query.Timerme(0).isEnabled() || r->query.Timer1(0).isEnabled(), result.isEmpty() && mode.isEmpty());
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
    auto r = start(QStringList{"a.com", "b.com", "c.com"}.mid(0, rows), channels);
    QSignalSpy scrolled(&r->query, &QueryRun::scrollTo);
    for (int i = 0; i < channels; ++i) {
        r->query.Timerme_Timer(i);
        QCOMPARE(r->query.Winsockme(i).chanrow, r->finished && i > 0 ? 0 : i + 1);
    }
    // An empty run is over at its first tick; a late tick after that does nothing.
    QCOMPARE(r->query.hosttt, rows ? channels : 1);
    QTRY_COMPARE_WITH_TIMEOUT(server(Internic).connectionCount(), rows, 5000); // rows past the last open nothing
    // Queries still waiting keep the run going; an empty one is over at the first tick.
    QCOMPARE(r->finished, rows == 0 ? 1 : 0);
    // The view follows the row before the one just taken, from the third tick on.
    QCOMPARE(scrolled.size(), qMax(0, rows - 2));
}

void TestQueryRun::oneChannelManyRows()
{
    // Each row gets its own full time-out: a settled row clears the channel's tick count.
    server(Internic).setScript(FakeWhoisServer::replyAtOnce(internic("X.COM", false)));
    server(Cnnic).setScript({}); // never answers
    auto r = start({"a.com", "b.com", "silent.cn", "c.com"}, 1);
    for (int row = 1; row <= 2; ++row) {
        r->query.Timer1_Timer(0); // ticks counted while the channel waits
        r->query.Timer1_Timer(0);
        r->query.Timerme_Timer(0);
        QTRY_COMPARE_WITH_TIMEOUT(r->store.state(row), State::Finished, 5000);
        QCOMPARE(r->query.Winsockme(0).chanticks, 0);
        QVERIFY(r->query.Timerme(0).isEnabled());
    }
    r->query.Timerme_Timer(0); // silent.cn
    for (int t = 1; t < QueryRun::TimeoutTicks; ++t)
        r->query.Timer1_Timer(0);
    QCOMPARE(r->rows(), QStringLiteral("FF?-"));
    r->query.Timer1_Timer(0);
    QCOMPARE(r->rows(), QStringLiteral("FFT-"));
    r->query.Timerme_Timer(0);
    QTRY_COMPARE_WITH_TIMEOUT(r->rows(), QStringLiteral("FFTF"), 5000);
    QCOMPARE(r->freeNames, QStringList({"a.com", "b.com", "c.com"}));
}

void TestQueryRun::pauseContinueWithWaitingQueries()
{
    // Rows 1 and 2 are asked; their replies come while the run is paused.
    server(Internic).setScript(FakeWhoisServer::replyAfter(300, internic("X.COM", false)));
    auto r = start({"p1.com", "p2.com", "p3.com", "p4.com"}, 3);
    r->query.Timerme_Timer(0);
    r->query.Timerme_Timer(1);
    r->query.pause();
    r->query.Timerme_Timer(2);
    QCOMPARE(r->query.hosttt, 2); // a paused run takes no row
    QTRY_COMPARE_WITH_TIMEOUT(r->rows(), QStringLiteral("FF--"), 5000);
    QCOMPARE(r->freeNames, QStringList({"p1.com", "p2.com"}));

    // Row 3 is asked and still waits at the next pause; continuing keeps it waiting.
    server(Internic).setScript(FakeWhoisServer::replyAfter(500, internic("X.COM", true)));
    r->query.resume();
    r->query.Timerme_Timer(0);
    r->query.pause();
    r->query.resume();
    QVERIFY(!r->query.Timerme(0).isEnabled() && r->query.Timer1(0).isEnabled()); // still its row's channel
    QVERIFY(r->query.Timerme(1).isEnabled());
    r->query.Timerme_Timer(1);
    QCOMPARE(r->rows(), QStringLiteral("FF??"));
    QTRY_COMPARE_WITH_TIMEOUT(r->rows(), QStringLiteral("FFRR"), 5000);
    QCOMPARE(r->freeNames.size(), 2);
    QCOMPARE(server(Internic).connectionCount(), 4); // no row asked twice, none dropped
}

void TestQueryRun::endKeepsSettledRows()
{
    server(Internic).setScript(FakeWhoisServer::replyAtOnce(internic("X.COM", true)));
    server(Cnnic).setScript({});
    auto r = start({"e1.com", "e2.com", "silent.cn", "silent2.cn", "e5.com"}, 4);
    r->query.Timerme_Timer(0);
    r->query.Timerme_Timer(1);
    QTRY_COMPARE_WITH_TIMEOUT(r->rows(), QStringLiteral("RR---"), 5000);
    r->query.Timerme_Timer(2);
    r->query.Timerme_Timer(3);
    r->query.end();
    // Only the queries still open are cut short; rows no channel reached keep waiting.
    QCOMPARE(r->rows(), QStringLiteral("RREE-"));
    QCOMPARE(r->store.state(5), State::Waiting);
    for (int i = 0; i < 4; ++i)
        QVERIFY(r->query.Winsockme(i).chanrow == 0 && !r->query.Timerme(i).isEnabled() && !r->query.Timer1(i).isEnabled());
    QCOMPARE(r->finished, 0);
}

void TestQueryRun::twentyChannelsOverTwoHundredRows()
{
    // The real 100 ms query ticks; replies arrive out of order.
    server(Internic).setScript(FakeWhoisServer::replyAtOnce(internic("X.COM", true)));
    server(Cnnic).setScript(FakeWhoisServer::replyAfter(150, cnnic("", false)));
    QStringList domains;
    for (int k = 1; k <= 200; ++k)
        domains << QStringLiteral("row%1.%2").arg(k).arg(k % 3 ? "com" : "cn");
    auto r = start(domains, 20);
    QList<int> settledTimes(201, 0);
    QObject::connect(&r->store, &TaskListStore::rowChanged, &r->store, [&](int k) {
        if (r->store.state(k) == State::Finished)
            ++settledTimes[k];
    });
    r->query.handOver(20);
    QTRY_COMPARE_WITH_TIMEOUT(r->finished, 1, 20000);
    QCOMPARE(r->rows(), QString(200, u'R').replace(QRegularExpression(QStringLiteral("RRR")), QStringLiteral("RRF")));
    QCOMPARE(settledTimes.count(1), 200);
    QCOMPARE(r->freeNames.size(), 66);
    for (int i = 0; i < QueryRun::ChannelCount; ++i) // the end of the batch stops every channel
        QVERIFY(!r->query.Timerme(i).isEnabled() && !r->query.Timer1(i).isEnabled());
}

void TestQueryRun::newRunAfterStaleChannels()
{
    // An earlier run's channel waits for a late reply that would call its row free, and
    // has counted four time-out ticks.
    server(Cnnic).setScript(FakeWhoisServer::replyAfter(500, cnnic("", false)));
    auto r = start({QStringLiteral("oldname.cn")}, 1);
    r->query.Timerme_Timer(0);
    for (int t = 0; t < 4; ++t)
        r->query.Timer1_Timer(0);
    QTRY_COMPARE_WITH_TIMEOUT(server(Cnnic).connectionCount(), 1, 5000);

    server(Internic).setScript(FakeWhoisServer::replyInPieces({internic("X.COM", true).left(700), internic("X.COM", true).mid(700)}, 30));
    server(Cnnic).setScript(FakeWhoisServer::replyAtOnce(cnnic("", false)));
    r->store.clear();
    r->query.reset(3);
    for (int i = 0; i < QueryRun::ChannelCount; ++i) // no late reply or tick of the old run reaches the new list
        QVERIFY(r->query.Winsockme(i).chanrow == 0 && r->query.Winsockme(i).chanticks == 0 && !r->query.Winsockme(i).isConnected()
                && r->query.Winsockme(i).chandomain.isEmpty() && !r->query.Timer1(i).isEnabled());
    r->store.appendMany({"qaxy.com", "qaxy.cn", "qbxy.com", "qbxy.cn"});
    r->query.handOver(3);
    QTRY_COMPARE_WITH_TIMEOUT(r->finished, 1, 20000);
    QTest::qWait(500); // past the old reply's time
    QCOMPARE(r->rows(), QStringLiteral("RFRF"));
    QCOMPARE(r->freeNames, QStringList({"qaxy.cn", "qbxy.cn"}));
}

void TestQueryRun::probe_data()
{
    QTest::addColumn<FakeHttpServer::Response>("probe"); // what the .info host says of nic.info
    QTest::addColumn<int>("limitsFirst");                // 429s to the probe before that
    QTest::addColumn<QString>("rows");                   // tqvname.info, fqvname.info
    FakeHttpServer::Response hangUp;
    hangUp.hangUp = true;
    QTest::newRow("a record: its 404s mean free") << FakeRegistries::rdapRecord(QStringLiteral("nic.info")) << 0 << "RF";
    QTest::newRow("404: its 404s say nothing") << FakeHttpServer::Response{404, "{}"} << 0 << "RU";
    QTest::newRow("a record with an errorCode") << FakeHttpServer::Response{200, R"({"objectClassName": "domain", "errorCode": 500})"} << 0 << "RU";
    QTest::newRow("500") << FakeHttpServer::Response{500, {}} << 0 << "RU";
    QTest::newRow("limited twice, then a record") << FakeRegistries::rdapRecord(QStringLiteral("nic.info")) << 2 << "RF";
    QTest::newRow("unreachable: its rows cannot be asked") << hangUp << 0 << "UU";
}

void TestQueryRun::probe()
{
    QFETCH(FakeHttpServer::Response, probe);
    QFETCH(int, limitsFirst);
    QFETCH(QString, rows);
    const QString probePath = QStringLiteral("/rdap/domain/nic.info");
    int probes = 0;
    rdap().setResponder([&, truth = FakeRegistries::truthfulRdap()](const QString &path) {
        if (path != probePath)
            return truth(path);
        FakeHttpServer::Response r = ++probes <= limitsFirst ? FakeHttpServer::Response{429, {}, -1, false, "Retry-After: 0\r\n"} : probe;
        r.delayMs = 200;
        return r;
    });
    auto r = start({QStringLiteral("tqvname.info"), QStringLiteral("fqvname.info")}, 2);
    r->query.Timerme_Timer(0);
    r->query.Timerme_Timer(1);
    // The probe is out and is no row: both rows wait for it, none is being asked.
    QVERIFY(r->query.isProbing(0) && !r->query.isWaiting(1));
    QCOMPARE(r->rows(), QStringLiteral("--"));
    QCOMPARE(r->store.countState(State::Waiting), 2);
    r->query.handOver(2);
    QTRY_COMPARE_WITH_TIMEOUT(r->finished, 1, 10000);
    QCOMPARE(r->rows(), rows);
    QCOMPARE(r->store.size(), 2);
    QCOMPARE(r->freeNames, rows.endsWith(u'F') ? QStringList{QStringLiteral("fqvname.info")} : QStringList());
    const bool trusted = rows == QLatin1String("RF"), reached = rows != QLatin1String("UU");
    if (reached) // a connection closed without a word is tried twice by Qt itself
        QCOMPARE(probes, limitsFirst + 1);
    QCOMPARE(r->query.untrustedHosts(),
             trusted || !reached ? QStringList() : QStringList{rdap().host() + QStringLiteral("：无法确认未注册结果")});
    QCOMPARE(rdap().requestedPaths().size() - probes, reached ? 2 : 0); // each row asked once, after the probe
}

void TestQueryRun::unreachableRow_data()
{
    // The host answers its probe, then fails the row.
    QTest::addColumn<QString>("domain");
    QTest::addColumn<bool>("silent"); // stays silent, else closes without a word
    QTest::addColumn<QString>("result");
    QTest::newRow(".com dropped: InterNIC asked") << "fqvname.com" << false << Free;
    QTest::newRow(".com silent: InterNIC asked") << "fqvname.com" << true << Free;
    QTest::newRow(".info dropped: no WHOIS to ask") << "fqvname.info" << false << Undecidable;
    QTest::newRow(".info silent: timed out") << "fqvname.info" << true << TimedOut;
}

void TestQueryRun::unreachableRow()
{
    QFETCH(QString, domain);
    QFETCH(bool, silent);
    QFETCH(QString, result);
    LoopbackBootstrap::write({{{QStringLiteral("com")}, m_registries->rdapBase(0, QStringLiteral("/com/"))},
                              {{QStringLiteral("info")}, m_registries->rdapBase(0, QStringLiteral("/info/"))}});
    FakeHttpServer::Response fail;
    (silent ? fail.neverAnswer : fail.hangUp) = true;
    rdap().setResponder([fail](const QString &path) {
        const QString name = path.section(u'/', -1);
        return FakeRegistries::isTaken(name) ? FakeRegistries::rdapRecord(name) : fail;
    });
    server(Internic).setResponder(FakeRegistries::truthfulWhois());
    auto r = start({domain}, 1);
    r->query.setPacing(false);
    r->query.Timerme_Timer(0); // the probe
    QTRY_VERIFY_WITH_TIMEOUT(!r->query.isProbing(0), 5000);
    r->query.Timerme_Timer(0); // the row
    QVERIFY(r->query.isWaiting(0));
    if (silent) {
        QTRY_COMPARE_WITH_TIMEOUT(rdap().requestedPaths().size(), 2, 5000);
        for (int t = 0; t < QueryRun::TimeoutTicks; ++t)
            r->query.Timer1_Timer(0);
    }
    QTRY_COMPARE_WITH_TIMEOUT(r->finished, 1, 5000);
    QCOMPARE(r->result(1), result);
    QCOMPARE(server(Internic).received(), result == Free ? QList<QByteArray>{domain.toLatin1() + "\r\n"} : QList<QByteArray>());
}

void TestQueryRun::importedList_data()
{
    // Servers 0 to 3 of FakeRegistries: "l" says 404 to everything, "c" cannot be reached,
    // "-" tells the truth.
    QTest::addColumn<QString>("rdapServers");
    QTest::newRow("honest registries") << "----";
    QTest::newRow("one host says 404 to everything") << "--l-";
    QTest::newRow("every host says 404 to everything") << "llll";
    QTest::newRow("no RDAP host can be reached") << "cccc";
}

void TestQueryRun::importedList()
{
    QFETCH(QString, rdapServers);
    // Where the bootstrap puts each TLD that has RDAP; .cn .com.cn .net.cn .la .me have none,
    // .qvzz exists nowhere.
    const QHash<QString, int> rdapOf = {{"com", 0}, {"net", 0}, {"org", 1}, {"info", 1}, {"io", 2}, {"xyz", 2}, {"name", 3}, {"biz", 3}};
    const QHash<QString, int> whoisOf = {{"cn", Cnnic}, {"com.cn", Cnnic}, {"net.cn", Cnnic}, {"la", La}, {"me", Me}};
    const QHash<QString, int> fallbackOf = {{"com", Internic}, {"net", Internic}, {"name", Name}, {"biz", Biz}};
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
        server(role).setResponder(FakeRegistries::truthfulWhois());

    QStringList domains;
    for (const char *tld : {"com", "net", "org", "io", "xyz", "name", "biz", "info", "cn", "com.cn", "net.cn", "la", "me", "qvzz"})
        domains << QStringLiteral("tqvname.%1").arg(tld) << QStringLiteral("fqvname.%1").arg(tld);
    domains << QStringLiteral("f中文.com");
    QString expected;
    QList<QSet<QByteArray>> whoisAsked(FakeRegistries::RoleCount);
    QList<int> rdapAsked(FakeRegistries::RdapCount); // rows asked at each RDAP server
    QStringList untrusted;
    for (const QString &d : domains) {
        const QString tld = d.section(u'.', 1), ace = QString::fromLatin1(QUrl::toAce(d));
        const QChar truth = FakeRegistries::isTaken(ace) ? u'R' : u'F';
        const int k = rdapOf.value(tld, -1);
        const QChar server = k >= 0 ? rdapServers.at(k) : u'-';
        const int whois = k < 0 ? whoisOf.value(tld, -1) : server == u'c' ? fallbackOf.value(tld, -1) : -1;
        if (whois >= 0)
            whoisAsked[whois].insert(ace.toLatin1() + "\r\n");
        if (k >= 0 && server != u'c')
            ++rdapAsked[k];
        if (server == u'l' && !untrusted.contains(rdap(k).host()))
            untrusted << rdap(k).host();
        expected += whois >= 0 || (k >= 0 && server == u'-') ? truth : u'U';
    }
    auto r = start(domains, 4);
    r->query.handOver(4);
    QTRY_COMPARE_WITH_TIMEOUT(r->finished, 1, 20000);
    QCOMPARE(r->rows(), expected); // every "F" a name that is free: none from a host that says 404 to everything
    QCOMPARE(r->store.size(), domains.size());
    QCOMPARE(r->freeNames.size(), expected.count(u'F'));
    // Every name at the service it belongs to, and nowhere else; each RDAP host probed once.
    for (int role = 0; role < FakeRegistries::RoleCount; ++role) {
        const QList<QByteArray> received = server(role).received();
        QCOMPARE(QSet<QByteArray>(received.cbegin(), received.cend()), whoisAsked[role]);
        QCOMPARE(received.size(), whoisAsked[role].size());
    }
    for (int k = 0; k < FakeRegistries::RdapCount; ++k) {
        const QStringList paths = rdap(k).requestedPaths();
        QCOMPARE(paths.size(), rdapAsked[k] + (rdapAsked[k] > 0));
        for (const QString &path : paths)
            QVERIFY2(QUrl::toAce(path.section(u'/', -1)) == path.section(u'/', -1).toLatin1(), qPrintable(path)); // A-labels only
    }
    for (QString &host : untrusted)
        host += QStringLiteral("：无法确认未注册结果");
    untrusted.sort();
    QCOMPARE(r->query.untrustedHosts(), untrusted);
}

void TestQueryRun::bootstrapCopy_data()
{
    QTest::addColumn<QByteArray>("cached");
    QTest::addColumn<bool>("replaces"); // the run goes by the cached copy, else the built-in one
    QTest::newRow("a later copy") << QByteArray() << true;
    QTest::newRow("an older copy") << QByteArray("2001-01-01T00:00:00Z") << false;
    QTest::newRow("a broken copy") << QByteArray("{\"publication\": \"2099-") << false;
}

void TestQueryRun::bootstrapCopy()
{
    QFETCH(QByteArray, cached);
    QFETCH(bool, replaces);
    const LoopbackBootstrap::Services info = {{{QStringLiteral("info")}, m_registries->rdapBase(0)}};
    LoopbackBootstrap::writeBytes(cached.isEmpty() ? LoopbackBootstrap::json(info)
                                  : cached.startsWith('{') ? cached
                                                           : LoopbackBootstrap::json(info, QString::fromLatin1(cached)));
    auto r = start({}, 1);
    QCOMPARE(r->query.route(QStringLiteral("x.info")).rdapHost == rdap().host(), replaces);
    QCOMPARE(r->query.bootstrap().tldCount() > 1000, !replaces);
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
    QTest::newRow("a broken copy") << FakeHttpServer::Response{200, newer.left(newer.size() / 2)} << 8 << true << true << false;
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
    ServerConfig c = config();
    c.rdapBootstrap = url ? m_registries->rdapBase(1, path) : QString();
    QFile file(LoopbackBootstrap::path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    Run r(c);
    r.store.append(QStringLiteral("tqvname.info"));
    r.query.reset(1);
    QSignalSpy refreshed(&r.query.bootstrapCache(), &RdapBootstrapCache::refreshed);
    r.query.handOver(1);
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
    r.query.handOver(1);
    QTRY_COMPARE_WITH_TIMEOUT(r.finished, 2, 5000);
    QCOMPARE(rdap(1).requestedPaths().count(path), fetched ? 1 : 0);
    LoopbackBootstrap::setFetched(0);
}

QTEST_GUILESS_MAIN(TestQueryRun)
#include "tst_queryrun.moc"
