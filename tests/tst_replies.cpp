// Whole replies only, end to end: replies in the registries' own forms, served by loopback
// WHOIS servers whole, split, slow, oversized or not at all, read through the real main
// window to the row's result. Query and time-out ticks are driven by hand where it matters.
#include "FakeRegistries.h"

#include "run/QueryChannel.h"
#include "run/QueryRun.h"
#include "whois/RdapQuery.h"
#include "window/DomainListModel.h"
#include "window/Form1.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTimeZone>
#include <QtTest>

#include <memory>

namespace {

// --- The run ------------------------------------------------------------------------------
// Everything that sets up or drives a run is here, so it can follow the run's owner.

// A window whose roles point at `config`, holding `domains` as its task list, ready to
// query over `channels` channels; its query ticks are left to the caller.
std::unique_ptr<Form1> startRun(const ServerConfig &config, const QStringList &domains, int channels)
{
    auto f = std::make_unique<Form1>(config);
    f->addRows(domains);
    f->query().reset(channels);
    // Judged as the reply stands: a limit is not retried here (the pacing has tests of its own).
    f->query().setPacing(false);
    return f;
}
void queryTick(Form1 &f, int channel) { f.Timerme_Timer(channel); }
void timeoutTick(Form1 &f, int channel) { f.Timer1_Timer(channel); }
QueryChannel &channel(Form1 &f, int i) { return f.Winsockme(i); }
QString resultOf(const Form1 &f, int k) { return DomainListModel::resultText(f.listModel()->result(k)); }
bool querying(const Form1 &f, int k) { return f.listModel()->state(k) == DomainListModel::State::Querying; }
bool batchEnded(const Form1 &f) { return f.SkinLabel14->text() == QStringLiteral("本次域名批量查询已经正常结束"); }
QString freeNames(const Form1 &f) { return f.RichTextBox1->toPlainText(); }

// --- Replies ------------------------------------------------------------------------------

enum Role { Internic, Cnnic, La, Me, Iana, Name, Biz };
const QString Registered = QStringLiteral("已经被注册"), Free = QStringLiteral("没有被注册"),
              Undecidable = QStringLiteral("无法获取数据"), TimedOut = QStringLiteral("查询超时");
const QString Unresolvable = QStringLiteral("whois.nowhere.invalid");
const QString Closed = QStringLiteral("127.0.0.20"); // nobody listens there

// In the replies "{D}" stands for the domain asked, "{U}" for it in capitals.
QByteArray fill(QByteArray reply, const QString &domain)
{
    return reply.replace("{D}", domain.toLatin1()).replace("{U}", domain.toUpper().toLatin1());
}

QByteArray pad(QByteArray text, qsizetype size, const QByteArray &line)
{
    while (text.size() + line.size() <= size)
        text += line;
    return text;
}

// Terms of use as ordinary replies carry them, words about limits included.
const QByteArray Terms =
    "TERMS OF USE: You are not authorized to access or query our Whois database through the use of\r\n"
    "electronic processes that are high-volume and automated. Queries are subject to a rate limit;\r\n"
    "too many queries are throttled and excessive querying may get your access restricted.\r\n";
const QByteArray Marker = ">>> Last update of whois database: 2024-09-01T10:00:00Z <<<\r\n";

// InterNIC: record first, marker at about byte 1,240, notice and terms to about 3,500.
QByteArray internic(bool taken)
{
    const QByteArray record = pad("   Domain Name: {U}\r\n   Registry Domain ID: 2138514_DOMAIN_COM-VRSN\r\n", 250,
                                  "   Domain Status: clientTransferProhibited\r\n")
                              + "   Registry Expiry Date: 2028-09-14T04:00:00Z\r\n";
    const QByteArray head = taken ? pad(record, 1240, "   Name Server: NS1.EXAMPLE.TEST\r\n") : "No match for \"{U}\".\r\n";
    return pad(head + Marker + "NOTICE: The expiration date displayed in this record is the date the\r\n", 3500, Terms);
}

// .name in its older layout: a long disclaimer, then the record, the marker at the end.
QByteArray dotName()
{
    return pad("", 1300, "Disclaimer: this service is offered for lookups of single names.\r\n")
           + "Domain Name ID: 1802345_DOMAIN_NAME-VRSN\r\nDomain Name: {U}\r\nSponsoring Registrar ID: 1\r\n" + Marker;
}

// CNNIC: bare LF; the expiration line below byte 500.
QByteArray cnnic(bool taken)
{
    if (!taken)
        return "No matching record.\n";
    return pad("Domain Name: {D}\nROID: 20030312s10001s00033735-cn\nDomain Status: ok\n", 560,
               "Name Server: dns.example-cloud-service.test\n")
           + "Registration Time: 2003-03-17 12:20:05\nExpiration Time: 2030-03-17 12:48:36\nDNSSEC: unsigned\n";
}

// .la (CentralNic): record, update line, terms.
QByteArray dotLa(bool taken)
{
    const QByteArray head = taken ? "Domain Name: {U}\r\nRegistry Domain ID: D4255000001-CNIC\r\nRegistry Expiry Date: 2026-01-01T23:59:59.0Z\r\n"
                                  : "DOMAIN NOT FOUND\r\n";
    return pad(head + ">>> Last update of WHOIS database: 2024-09-01T10:00:00.0Z <<<\r\n", 1500, Terms);
}

// .me and .biz in their older layouts: the record below a header of more than 1,000 bytes.
QByteArray dotMe()
{
    return pad("", 1100, "Access to .ME WHOIS information is provided to assist persons in determining the contents.\n")
           + "Domain ID:D425500000001-MEREG\nDomain Name:{U}\nCreated On:01-May-2008 12:00:00 UTC\n"
             "Domain Expiration Date:01-May-2030 12:00:00 UTC\nSponsoring Registrar:Example Registrar\n";
}
QByteArray dotBiz(bool taken)
{
    const QByteArray terms = pad("", 1200, "NeuStar, Inc., the Registry Operator for .BIZ, provides this data for information only.\n");
    return taken ? terms + "Domain Name:                                 {U}\nDomain ID:                                   D1234567-BIZ\n"
                           "Domain Expiration Date:                      Sun Nov 06 23:59:59 GMT 2030\n"
                 : "No Data Found\n\n" + Terms;
}


} // namespace

Q_DECLARE_METATYPE(FakeWhoisServer::Script)

class TestReplies : public QObject
{
    Q_OBJECT
    std::unique_ptr<FakeRegistries> m_registries;
    ServerConfig config() const { return m_registries->config(); }
    FakeWhoisServer &server(int role) { return m_registries->server(role); }
    FakeHttpServer &rdapServer() { return m_registries->rdap(); }

private slots:
    void init()
    {
        m_registries = std::make_unique<FakeRegistries>();
        QVERIFY(m_registries->listen());
    }

    void verdicts_data()
    {
        QTest::addColumn<QString>("domain"); // "%1" takes the number of the split
        QTest::addColumn<int>("role");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("result");
        const auto row = [](const char *tag, const char *domain, Role role, const QByteArray &reply, const QString &result) {
            QTest::newRow(tag) << QString::fromLatin1(domain) << int(role) << reply << result;
        };
        row(".com registered", "qvtaken%1.com", Internic, internic(true), Registered);
        row(".com free", "qvfree%1.com", Internic, internic(false), Free);
        row(".com limit text, then close", "qvlimit%1.com", Internic,
            "Your connection limit exceeded. Please slow down and try again later.\r\n", Undecidable);
        row(".com empty", "qvempty%1.com", Internic, "", Undecidable);
        row(".name registered, record past 1,000", "qvtaken%1.name", Name, dotName(), Registered);
        row(".cn registered, record past 500", "qvtaken%1.cn", Cnnic, cnnic(true), Registered);
        row(".cn free", "qvfree%1.cn", Cnnic, cnnic(false), Free);
        row(".cn limit", "qvlimit%1.cn", Cnnic, "Queried interval is too short.\n", Undecidable);
        row(".la registered", "qvtaken%1.la", La, dotLa(true), Registered);
        row(".la free", "qvfree%1.la", La, dotLa(false), Free);
        row(".me registered, record past 1,000", "qvtaken%1.me", Me, dotMe(), Registered);
        row(".me free", "qvfree%1.me", Me, "NOT FOUND\n", Free);
        row(".me limit", "qvlimit%1.me", Me, "WHOIS LIMIT EXCEEDED - SEE WWW.PIR.ORG/WHOIS FOR DETAILS\n", Undecidable);
        row(".biz registered, record past 1,000", "qvtaken%1.biz", Biz, dotBiz(true), Registered);
        row(".biz free, with terms", "qvfree%1.biz", Biz, dotBiz(false), Free);
        row("short error line", "qverror%1.la", La, "Invalid input\r\n", Undecidable);
        row("unavailable", "qvbusy%1.la", La, "Service temporarily unavailable\r\n", Undecidable);
    }
    void verdicts()
    {
        QFETCH(QString, domain);
        QFETCH(int, role);
        QFETCH(QByteArray, reply);
        QFETCH(QString, result);
        // Whole, then split after 1, 10, 19 and 500 bytes with the rest 300 ms later: the
        // split never changes the verdict.
        const QList<int> firstPieces = {0, 1, 10, 19, 500};
        QStringList domains, expectedFree;
        for (int split = 0; split < firstPieces.size(); ++split) {
            domains << domain.arg(split);
            const QByteArray d = domains.last().toLatin1();
            server(role).setScriptFor(d, FakeWhoisServer::inTwo(fill(reply, domains.last()), firstPieces[split], 300));
        }
        auto f = startRun(config(), domains, int(domains.size()));
        for (int i = 0; i < domains.size(); ++i)
            queryTick(*f, i);
        QTRY_VERIFY_WITH_TIMEOUT(batchEnded(*f), 5000);
        for (int k = 1; k <= domains.size(); ++k) {
            QVERIFY2(resultOf(*f, k) == result, qPrintable(QStringLiteral("first piece %1: %2").arg(firstPieces[k - 1]).arg(resultOf(*f, k))));
            if (result == Free)
                expectedFree << domains[k - 1];
        }
        QStringList shown = freeNames(*f).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        shown.sort();
        QCOMPARE(shown, expectedFree);
        QCOMPARE(server(role).connectionCount(), int(domains.size()));
    }

    // One row, one reply that ends in an awkward way; no time-out tick is needed.
    void awkwardReply_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<FakeWhoisServer::Script>("script");
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("pending"); // ms the row is still being queried
        const QByteArray record = fill(internic(true), QStringLiteral("qvearly.com"));
        const QByteArray beforeMarker = record.left(record.indexOf(Marker));
        const auto row = [](const char *tag, Role role, const char *domain, const FakeWhoisServer::Script &script,
                            const QString &result, int pending = 0) {
            QTest::newRow(tag) << int(role) << QString::fromLatin1(domain) << script << result << pending;
        };
        using S = FakeWhoisServer;
        row("marker server: record, closed", Internic, "qvearly.com", S::replyAtOnce(beforeMarker), Registered);
        row("marker server: record in two pieces, closed", Internic, "qvearly.com", S::inTwo(beforeMarker, 100, 300), Registered);
        row("marker server: no match, closed", Internic, "qvearly.com", S::replyAtOnce("No match for \"QVEARLY.COM\".\r\n"), Free);
        // Free only once the last byte is in: judging any earlier piece gives another answer.
        row("one byte a second", Me, "qvslow.me", S::byteByByte("No match", 1000), Free, 3500);
        // The record in the first kilobyte, then notices past 64 KiB, no marker, held open.
        FakeWhoisServer::Script big = FakeWhoisServer::replyAtOnce(
            pad(fill(internic(true), QStringLiteral("qvbig.com")).left(900), 70000, "% notice of the registry\r\n"));
        big.hold = true;
        row("oversized, judged at the limit", Internic, "qvbig.com", big, Registered);
    }
    void awkwardReply()
    {
        QFETCH(int, role);
        QFETCH(QString, domain);
        QFETCH(FakeWhoisServer::Script, script);
        QFETCH(QString, result);
        QFETCH(int, pending);
        server(role).setScript(script);
        auto f = startRun(config(), {domain}, 1);
        queryTick(*f, 0);
        QTest::qWait(pending);
        QVERIFY(!pending || querying(*f, 1));
        QTRY_COMPARE_WITH_TIMEOUT(resultOf(*f, 1), result, 6000);
        QCOMPARE(freeNames(*f), result == Free ? domain + u'\n' : QString());
        if (script.hold) {
            QVERIFY(channel(*f, 0).framing().overLimit());
            QCOMPARE(channel(*f, 0).framing().taken(), ReplyFraming::MaxReply);
        }
    }

    void noConnection_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("refused") << Closed;
        QTest::newRow("unresolvable") << Unresolvable;
    }
    void noConnection()
    {
        QFETCH(QString, host);
        ServerConfig c = config();
        c.me = host;
        server(Cnnic).setScript(FakeWhoisServer::replyAtOnce(fill(cnnic(true), QStringLiteral("qvnext.cn"))));
        auto f = startRun(c, {QStringLiteral("qvnobody.me"), QStringLiteral("qvnext.cn")}, 1);
        channel(*f, 0).chanticks = 3;
        QElapsedTimer clock;
        clock.start();
        queryTick(*f, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!querying(*f, 1), 1000);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(resultOf(*f, 1), Undecidable);
        QCOMPARE(channel(*f, 0).host(), host);
        // Settled as a classification settles: the channel is free and its count cleared.
        QVERIFY(f->Timerme(0).isEnabled());
        QCOMPARE(channel(*f, 0).chanticks, 0);
        QCOMPARE(freeNames(*f), QString());
        // The channel takes the next row at its own next tick.
        QTRY_COMPARE_WITH_TIMEOUT(resultOf(*f, 2), Registered, 2000);
        QVERIFY(batchEnded(*f));
    }

    void silentServerTimesOut()
    {
        server(Cnnic).setScript(FakeWhoisServer::silent());
        server(Cnnic).setScriptFor("qvnext.cn", FakeWhoisServer::replyAfter(200, fill(cnnic(true), QStringLiteral("qvnext.cn"))));
        auto f = startRun(config(), {QStringLiteral("qvsilent.cn"), QStringLiteral("qvnext.cn")}, 1);
        queryTick(*f, 0);
        QTRY_COMPARE_WITH_TIMEOUT(server(Cnnic).received(), QList<QByteArray>{"qvsilent.cn\r\n"}, 2000);
        QTest::qWait(200);
        for (int t = 0; t < 4; ++t)
            timeoutTick(*f, 0);
        QVERIFY(querying(*f, 1));
        QSignalSpy failures(&channel(*f, 0), &QueryChannel::failed);
        timeoutTick(*f, 0);
        QCOMPARE(resultOf(*f, 1), TimedOut);
        // The next row drops the silent connection; that drop is no failure of the new query.
        QTRY_VERIFY_WITH_TIMEOUT(f->listModel()->isRow(channel(*f, 0).chanrow) && channel(*f, 0).chanrow == 2, 1000);
        QVERIFY(querying(*f, 2));
        QTRY_COMPARE_WITH_TIMEOUT(resultOf(*f, 2), Registered, 2000);
        QCOMPARE(resultOf(*f, 1), TimedOut);
        QCOMPARE(failures.size(), 0);
        QVERIFY(batchEnded(*f));
    }

    void nobodyToAsk()
    {
        // Blank lines, a TLD no registry of ours serves (once IANA's WHOIS, which knows no
        // names), a TLD that exists nowhere, and a text that is no domain name.
        const QStringList nobody = {QString(), QStringLiteral("   "), QStringLiteral("qvname.org"), QStringLiteral("qvname.qvzz"),
                                    QStringLiteral("qv name.cn")};
        server(Cnnic).setScript(FakeWhoisServer::replyAtOnce(fill(cnnic(true), QStringLiteral("qvtaken.cn"))));
        auto f = startRun(config(), nobody + QStringList{QStringLiteral("qvtaken.cn")}, 1);
        queryTick(*f, 0);
        // Settled inside the tick, nobody asked.
        QCOMPARE(resultOf(*f, 1), Undecidable);
        QVERIFY(!querying(*f, 1));
        QVERIFY(f->Timerme(0).isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(batchEnded(*f), 3000);
        for (int k = 2; k <= nobody.size(); ++k)
            QCOMPARE(resultOf(*f, k), Undecidable);
        QCOMPARE(resultOf(*f, int(nobody.size()) + 1), Registered);
        int connections = 0;
        for (int r = 0; r < FakeRegistries::RoleCount; ++r)
            connections += server(r).connectionCount();
        QCOMPARE(connections, 1);
        QCOMPARE(rdapServer().requestedPaths(), QStringList());
        QCOMPARE(freeNames(*f), QString());
    }

    void rdap_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("result");
        QTest::newRow("200") << 200 << Registered;
        QTest::newRow("404") << 404 << Free;
        QTest::newRow("429") << 429 << Undecidable;
        QTest::newRow("500") << 500 << Undecidable;
    }
    void rdap()
    {
        QFETCH(int, status);
        QFETCH(QString, result);
        const QString path = QStringLiteral("/rdap/domain/qvname.info");
        rdapServer().setResponse(path, {status, FakeRegistries::rdapRecord(QStringLiteral("qvname.info")).body});
        auto f = startRun(config(), {QStringLiteral("  qvname.info ")}, 1); // imported with spaces around it
        queryTick(*f, 0); // the host's probe comes first
        QVERIFY(f->query().isProbing(0) && !querying(*f, 1));
        QTRY_VERIFY_WITH_TIMEOUT(!f->query().isWaiting(0), 5000);
        queryTick(*f, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!querying(*f, 1), 5000);
        QCOMPARE(resultOf(*f, 1), result);
        QCOMPARE(rdapServer().requestedPaths(), QStringList({QStringLiteral("/rdap/domain/nic.info"), path}));
        QCOMPARE(channel(*f, 0).host(), rdapServer().host());
    }

    // One RDAP exchange against loopback HTTP and HTTPS servers: what it asks for, how far it
    // follows redirects, how much it reads, and what it reports.
    void rdapExchange_data()
    {
        QTest::addColumn<QString>("setup"); // "tls": HTTPS, trusted; "untrusted": HTTPS, not trusted
        QTest::addColumn<QStringList>("hops");    // statuses of the redirects before the answer
        QTest::addColumn<FakeHttpServer::Response>("answer");
        QTest::addColumn<QString>("outcome"); // "<status> <body bytes> <Retry-After>", or "unreachable"
        const FakeHttpServer::Response record = FakeRegistries::rdapRecord(QStringLiteral("x.com"));
        const QString recordOutcome = QStringLiteral("200 %1 -1").arg(record.body.size());
        const auto row = [](const char *tag, const char *setup, const QStringList &hops, const FakeHttpServer::Response &answer,
                            const QString &outcome) { QTest::newRow(tag) << QString::fromLatin1(setup) << hops << answer << outcome; };
        row("record", "", {}, record, recordOutcome);
        row("404", "", {}, {404, "{}"}, "404 2 -1");
        row("429 after 120 s", "", {}, {429, {}, -1, false, "Retry-After: 120\r\n"}, "429 0 120");
        row("503 at a date gone by", "", {}, {503, {}, -1, false, "Retry-After: Sun, 01 Sep 2024 10:01:00 GMT\r\n"}, "503 0 0");
        row("three redirects followed", "", {"301", "302", "307"}, record, recordOutcome);
        row("a fourth is not", "", {"301", "302", "307", "308"}, record, "308 0 -1");
        row("over HTTPS", "tls", {}, record, recordOutcome);
        row("HTTPS never redirected to HTTP", "tls", {"302"}, record, "302 0 -1");
        row("a certificate not trusted", "untrusted", {}, record, "unreachable");
        row("refused", "refused", {}, record, "unreachable");
        row("unresolvable", "unresolvable", {}, record, "unreachable");
        FakeHttpServer::Response hangUp;
        hangUp.hangUp = true;
        row("closed before the status", "", {}, hangUp, "unreachable");
        const QByteArray huge = "{\"objectClassName\": \"domain\", \"notices\": \"" + QByteArray(RdapQuery::MaxBody, 'n') + "\"}";
        row("a body past 1 MiB is cut", "", {}, {200, huge}, QStringLiteral("200 %1 -1").arg(RdapQuery::MaxBody));
    }
    void rdapExchange()
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
        const QString base = setup == QLatin1String("refused") ? QStringLiteral("http://") + Closed + QStringLiteral(":1")
                             : setup == QLatin1String("unresolvable") ? QStringLiteral("http://") + Unresolvable
                                                                       : server.baseUrl();
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

    void channelReports_data()
    {
        QTest::addColumn<QString>("host"); // empty: the CNNIC server
        QTest::addColumn<FakeWhoisServer::Script>("script");
        QTest::addColumn<int>("failure"); // -1: a reply
        QTest::addColumn<QString>("reply");
        using F = QueryChannel::Failure;
        QTest::newRow("refused") << Closed << FakeWhoisServer::Script() << int(F::Refused) << QString();
        QTest::newRow("unresolvable") << Unresolvable << FakeWhoisServer::Script() << int(F::HostNotFound) << QString();
        QTest::newRow("closed without a byte") << QString() << FakeWhoisServer::closeWithoutReply() << int(F::ClosedEmpty) << QString();
        QTest::newRow("closed after a reply") << QString() << FakeWhoisServer::inTwo("No match\nfor it\n", 3, 100) << -1
                                              << QStringLiteral("No match\r\nfor it\r\n");
        QTest::newRow("closed after one byte") << QString() << FakeWhoisServer::replyAtOnce("%") << -1 << QStringLiteral("%");
    }
    void channelReports()
    {
        QFETCH(QString, host);
        QFETCH(FakeWhoisServer::Script, script);
        QFETCH(int, failure);
        QFETCH(QString, reply);
        server(Cnnic).setScript(script);
        QueryChannel c(0);
        const WhoisTarget target{host.isEmpty() ? server(Cnnic).host() : host, server(Cnnic).port()};
        c.chandomain = QStringLiteral("qvchannel.cn");
        QSignalSpy failed(&c, &QueryChannel::failed);
        QStringList replies;
        connect(&c, &QueryChannel::connected, &c, [&c] { c.sendLine(c.chandomain); });
        connect(&c, &QueryChannel::dataArrived, &c, [&] {
            if (std::optional<QString> text = c.takeReply())
                replies << *text;
        });
        c.openQuery(target);
        QCOMPARE(failed.size(), 0); // never from inside openQuery
        QCOMPARE(c.host(), target.host);
        QTRY_VERIFY_WITH_TIMEOUT(failed.size() + replies.size() > 0, 3000);
        QTest::qWait(150); // nothing more follows
        QCOMPARE(failed.size(), failure >= 0 ? 1 : 0);
        if (failure >= 0)
            QCOMPARE(int(failed.at(0).at(0).value<QueryChannel::Failure>()), failure);
        QCOMPARE(replies, failure >= 0 ? QStringList() : QStringList{reply});
        c.reset();
        QCOMPARE(c.host(), QString());
    }

    void retryAfter_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("seconds");
        const std::pair<const char *, int> rows[] = {
            {"120", 120}, {" 7 ", 7}, {"0", 0}, {"99999999999999999999", INT_MAX}, {"", -1}, {"-5", -1}, {"soon", -1},
            {"Sun, 01 Sep 2024 10:01:00 GMT", 60}, {"Sunday, 01-Sep-24 10:01:00 GMT", 60}, {"Sun Sep  1 10:01:00 2024", 60},
            {"Sun, 01 Sep 2024 09:00:00 GMT", 0}}; // the dates are against 10:00:00 that day
        for (const auto &[value, seconds] : rows)
            QTest::addRow("\"%s\"", value) << (*value ? QByteArray(value) : QByteArray()) << seconds;
    }
    void retryAfter()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, seconds);
        QCOMPARE(RdapQuery::retryAfterSeconds(value, QDateTime(QDate(2024, 9, 1), QTime(10, 0), QTimeZone::utc())), seconds);
    }
};

QTEST_MAIN(TestReplies)
#include "tst_replies.moc"
