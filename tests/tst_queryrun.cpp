// The query run without a window, against loopback registries: one fake WHOIS server per
// role (127.0.0.2, 127.0.0.3, ... on one port) and a local RDAP server. Query and time-out
// ticks are driven by hand where waiting would be slow; whole runs use the real ticks.
#include "FakeRegistries.h"

#include "run/QueryChannel.h"
#include "run/QueryRun.h"
#include "run/TaskListStore.h"

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

private:
    // A run over `domains` as the starters set it up, its query ticks left to the test.
    std::unique_ptr<Run> start(const QStringList &domains, int channels);
    ServerConfig config() const { return m_registries->config(); }
    FakeWhoisServer &server(int role) { return m_registries->server(role); }
    FakeHttpServer &rdap() { return m_registries->rdap(); }

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

QTEST_GUILESS_MAIN(TestQueryRun)
#include "tst_queryrun.moc"
