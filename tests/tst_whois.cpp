// The pure WHOIS core: which service is asked (the RDAP bootstrap, our WHOIS table), how one
// connection's reads become the text that is judged, and the judgement itself.
#include "Replies.h"

#include "whois/QueryRoute.h"
#include "whois/RdapBootstrap.h"
#include "whois/ReplyClassifier.h"
#include "whois/ReplyFraming.h"
#include "whois/WhoisServers.h"

#include <QtTest>

using Verdict = ReplyClassifier::Verdict;

namespace {

// A whole reply as the framing hands it on after the server closed: reads of MaxRead.
QString whole(const QByteArray &reply)
{
    ReplyFraming framing(false);
    for (qsizetype at = 0; at < reply.size(); at += ReplyFraming::MaxRead)
        if (std::optional<QString> text = framing.feed(QString::fromLatin1(reply.mid(at, ReplyFraming::MaxRead))))
            return *text;
    return framing.finish().value_or(QString());
}

} // namespace

class TestWhois : public QObject
{
    Q_OBJECT
private slots:
    void routes_data();
    void routes();
    void bootstrapCopies_data();
    void bootstrapCopies();
    void verdict_data();
    void verdict();
    void framing_data();
    void framing();
};

namespace {

// Declared after the test class: moc does not read raw strings.
// A small bootstrap: two-label keys beside one-label ones, a service naming http before
// https, a base without its final "/", capitals.
const QByteArray SmallBootstrap = R"({"publication": "2030-01-01T00:00:00Z", "services": [
    [["com"], ["https://rdap.example/com/"]],
    [["cn"], ["https://rdap.example/cn/"]],
    [["COM.CN"], ["https://rdap.example/comcn/"]],
    [["xyz", "io"], ["http://plain.example/", "https://secure.example/"]],
    [["org"], ["https://org.example/rdap"]],
    [["kg"], ["http://rdap.example.kg/"]]]})";

QByteArray bundledBytes()
{
    QFile file(QStringLiteral(":/whois/iana-rdap-dns.json"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void TestWhois::routes_data()
{
    QTest::addColumn<bool>("bundled"); // the copy built into the program, else SmallBootstrap
    QTest::addColumn<QString>("domain");
    // RDAP: "<url> ?<probe name>", then " | <fallback>"; WHOIS: "host:port", "+" for a
    // completion-marker server; "-" nobody.
    QTest::addColumn<QString>("asked");
    const auto row = [](const char *tag, bool bundled, const QString &domain, const char *asked) {
        QTest::newRow(tag) << bundled << domain << QString::fromUtf8(asked);
    };
    row("longer label first", false, "x.com.cn", "https://rdap.example/comcn/domain/x.com.cn ?nic.com.cn | cnnic:4343");
    row("shorter label for the rest", false, "x.net.cn", "https://rdap.example/cn/domain/x.net.cn ?nic.cn | cnnic:4343");
    row("a name that is a TLD key is no TLD", false, "com.cn", "https://rdap.example/cn/domain/com.cn ?nic.cn | cnnic:4343");
    row("lower-case, spaces gone", false, "  X.Com ", "https://rdap.example/com/domain/x.com ?example.com | internic:4343+");
    row("IDN as its A-label", false, QStringLiteral("中文.com"), "https://rdap.example/com/domain/xn--fiq228c.com ?example.com | internic:4343+");
    row("https before http", false, "x.io", "https://secure.example/domain/x.io ?nic.io");
    row("http when there is nothing else", false, "x.kg", "http://rdap.example.kg/domain/x.kg ?nic.kg");
    row("base without its slash", false, "x.org", "https://org.example/rdap/domain/x.org ?example.org");
    row("no RDAP: WHOIS", false, "x.name", "name:4343+");
    row("no RDAP, no WHOIS: nobody", false, "x.info", "-");
    row("no dot", false, "com", "-");
    row("empty label", false, "x..com", "-");
    row("final dot", false, "x.com.", "-");
    row("space inside", false, "x y.com", "-");
    row("not a hostname", false, "x_y.com", "-");
    row("bundled .net", true, "x.net", "https://rdap.verisign.com/net/v1/domain/x.net ?example.net | internic:4343+");
    row("bundled .com.cn", true, "x.com.cn", "cnnic:4343");
    row("bundled: a TLD nobody serves", true, "x.qvzz", "-");
}

void TestWhois::routes()
{
    QFETCH(bool, bundled);
    QFETCH(QString, domain);
    QFETCH(QString, asked);
    const ServerConfig c{"internic", "cnnic", "la", "me", "name", "biz", {}, 4343, {}};
    const RdapBootstrap bootstrap = RdapBootstrap::parse(bundled ? bundledBytes() : SmallBootstrap);
    const QueryRoute r = QueryRoute::choose(domain, bootstrap, WhoisServers(c));
    const auto whois = [](const WhoisTarget &t) { return QStringLiteral("%1:%2%3").arg(t.host).arg(t.port).arg(t.marker ? "+" : ""); };
    QString got = r.kind == QueryRoute::None ? QStringLiteral("-") : r.kind == QueryRoute::Whois ? whois(*r.whois) : QString();
    if (r.kind == QueryRoute::Rdap) {
        QCOMPARE(r.probeUrl.adjusted(QUrl::RemoveFilename), r.rdapUrl.adjusted(QUrl::RemoveFilename));
        QCOMPARE(r.rdapHost, r.rdapUrl.host());
        got = r.rdapUrl.toString(QUrl::FullyEncoded) + " ?" + r.probeUrl.fileName() + (r.whois ? " | " + whois(*r.whois) : QString());
    }
    QCOMPARE(got, asked);
}

void TestWhois::bootstrapCopies_data()
{
    QTest::addColumn<QByteArray>("cached");
    QTest::addColumn<bool>("replaces"); // the cached copy is the one gone by
    const QByteArray later = R"({"publication": "2099-01-01T00:00:00Z", "services": [[["com"], ["https://a.example/"]]]})";
    QTest::newRow("published later") << later << true;
    QTest::newRow("published earlier") << QByteArray(later).replace("2099", "2001") << false;
    QTest::newRow("published with it") << QByteArray(later).replace("2099-01-01T00:00:00Z", "2026-01-30T00:00:01Z") << false;
    QTest::newRow("no publication") << QByteArray(later).replace("2099-01-01T00:00:00Z", "") << false;
    QTest::newRow("cut short") << later.left(later.size() / 2) << false;
    QTest::newRow("no services") << QByteArray(R"({"publication": "2099-01-01T00:00:00Z", "services": []})") << false;
    QTest::newRow("no usable base") << QByteArray(later).replace("https:", "ftp:") << false;
}

void TestWhois::bootstrapCopies()
{
    QFETCH(QByteArray, cached);
    QFETCH(bool, replaces);
    const RdapBootstrap bundled = RdapBootstrap::parse(bundledBytes());
    QVERIFY(!bundled.lookup(QStringLiteral("x.com")).isNull());
    const RdapBootstrap copy = RdapBootstrap::parse(cached);
    QCOMPARE(&RdapBootstrap::preferred(bundled, copy) == &copy, replaces);
}

// Every verdict, WHOIS and RDAP: the registries' own reply forms, then each rule of the
// classification at its edge.
void TestWhois::verdict_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<int>("status");       // RDAP; 0: a WHOIS reply
    QTest::addColumn<QByteArray>("reply"); // whole, as the server sent it
    QTest::addColumn<Verdict>("verdict");
    constexpr Verdict R = ReplyClassifier::Registered, F = ReplyClassifier::Free, U = ReplyClassifier::Undecidable,
                      L = ReplyClassifier::Limited;
    const auto row = [](const char *tag, const char *domain, const QByteArray &reply, Verdict verdict) {
        QTest::newRow(tag) << QString::fromLatin1(domain) << 0 << reply << verdict;
    };
    using namespace Replies;
    row("InterNIC registered", "qvtaken.com", internic("qvtaken.com", true), R);
    row("InterNIC free, terms with limit words", "qvfree.com", internic("qvfree.com", false), F);
    row(".name registered: Domain Name ID", "qvtaken.name", dotName("qvtaken.name", true), R);
    row("CNNIC registered: record past byte 500", "qvtaken.cn", cnnic("qvtaken.cn", true), R);
    row("CNNIC free", "qvfree.cn", cnnic("qvfree.cn", false), F);
    row(".la free: NOT FOUND", "qvfree.la", dotLa("qvfree.la", false), F);
    row(".me registered: record past byte 1,000", "qvtaken.me", dotMe("qvtaken.me", true), R);
    row(".biz free: No Data Found", "qvfree.biz", dotBiz("qvfree.biz", false), F);
    row("expiration in lower case", "x.com", "the expiration date is shown below", U);
    row("no match", "x.com", "there is no matching record for it", F);
    row("not found", "x.com", "Domain x.com not found here, sorry", F);
    row("Not Found is neither", "x.com", "Domain x.com: Not Found on this server", U);
    row("NO MATCH is neither", "x.com", "NO MATCH for this domain, sorry", U);
    row("short error line", "x.org", "Invalid input\r\n", U);
    row("empty reply", "x.com", "", U);
    row("Expiration before No match", "x.com", "No match\r\nExpiration Date: 2030\r\n", R);
    // A name with ".cn" in its first six characters counts as taken.
    row("ab.cn taken outright", "ab.cn", "No matching record.\r\n", R);
    row("abc.cn taken outright", "abc.cn", "No matching record.\r\n", R);
    row("abcd.cn free", "abcd.cn", "No matching record.\r\n", F);
    row("ab.CN: capitals are not .cn", "ab.CN", QByteArray(30, 'z'), U);
    row("ab.cn taken even on a limit text", "ab.cn", "Quota exceeded\r\n", R);
    for (const QByteArray &limit : limits())
        QTest::addRow("limit: %s", limit.trimmed().constData()) << "abcdefg.cn" << 0 << limit << L;
    row("limit text before a free text", "x.la", "Query limit exceeded; not found\r\n", L);
    row("record beats a limit text", "x.com", "Expiration Date: 2030\r\ntry again later\r\n", R);
    // Terms that speak of quotas and of trying again are no refusal; a refusal right above them is.
    const QByteArray quotaTerms = "TERMS OF USE: every address has a daily quota of queries. A client that has\n"
                                  "exceeded it may try again the next day.\n";
    row("terms with limit words", "x.la", "DOMAIN NOT FOUND\n\n" + quotaTerms, F);
    row("refusal right above the terms", "x.la", "Query limit exceeded.\n" + quotaTerms, L);
    // RDAP: only a domain record without an error is registered.
    const QByteArray record = R"({"objectClassName": "domain", "ldhName": "x.com"})";
    const auto rdap = [](const char *tag, int status, const QByteArray &body, Verdict verdict) {
        QTest::newRow(tag) << QStringLiteral("x.com") << status << body << verdict;
    };
    rdap("RDAP 200, a domain record", 200, record, R);
    rdap("RDAP 200 with an errorCode", 200, R"({"objectClassName": "domain", "errorCode": 404})", U);
    rdap("RDAP 200, another object", 200, R"({"objectClassName": "entity"})", U);
    rdap("RDAP 200, not JSON", 200, "<html>Welcome</html>", U);
    rdap("RDAP 404", 404, {}, F);
    rdap("RDAP 429", 429, {}, L);
    rdap("RDAP 503", 503, record, L);
    rdap("RDAP 500", 500, {}, U);
}

void TestWhois::verdict()
{
    QFETCH(QString, domain);
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(Verdict, verdict);
    QCOMPARE(status ? ReplyClassifier::classifyRdap(status, reply) : ReplyClassifier::classify(domain, whole(reply)), verdict);
}

void TestWhois::framing_data()
{
    QTest::addColumn<bool>("marker");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("closes");  // the server closes after the last byte
    QTest::addColumn<int>("handedOn"); // at which read of MaxRead the reply is handed on; -1: at the close; 0: never
    QByteArray lines;
    while (lines.size() < 70000)
        lines += "% notice text of the registry\n";
    const auto at = [&](qsizetype offset, qsizetype size) { // the marker line's ">" at `offset`
        return (lines.left(offset) + Replies::Marker + lines).left(qMax(size, offset + Replies::Marker.size()));
    };
    QTest::newRow("no marker server: complete on close") << false << lines.left(1500) << true << -1;
    QTest::newRow("no marker server: open, never a part") << false << lines.left(1500) << false << 0;
    QTest::newRow("no marker server: exactly 64 KiB, then close") << false << lines.left(ReplyFraming::MaxReply) << true << 66;
    QTest::newRow("marker at 1,240 of 1,500") << true << at(1240, 1500) << false << 2;
    QTest::newRow("marker across two reads") << true << at(980, 1500) << false << 2;
    // ">>> " then the marker's first 28 letters in the first read, its last in the second.
    QTest::newRow("marker's last letter in the next read") << true << at(968, 1500) << false << 2;
    QTest::newRow("marker: rest after it unread") << true << at(980, 3500) << true << 2;
    QTest::newRow("marker server closing before its marker") << true << lines.left(1500) << true << -1;
    QTest::newRow("marker server, open, no marker") << true << lines.left(1500) << false << 0;
    const qsizetype lastFit = ReplyFraming::MaxReply - 4 - ReplyFraming::marker().size(); // ends at 64 KiB
    QTest::newRow("marker ends at 64 KiB") << true << at(lastFit, 70000) << false << 66;
    QTest::newRow("marker ends one byte past: judged at 64 KiB") << true << at(lastFit + 1, 70000) << false << 66;
}

void TestWhois::framing()
{
    QFETCH(bool, marker);
    QFETCH(QByteArray, reply);
    const qsizetype readSize = ReplyFraming::MaxRead;
    QFETCH(bool, closes);
    QFETCH(int, handedOn);
    ReplyFraming framing(marker);
    std::optional<QString> text;
    int at = 0;
    int n = 0;
    for (qsizetype offset = 0; offset < reply.size(); offset += readSize) {
        ++n;
        if (std::optional<QString> t = framing.feed(QString::fromLatin1(reply.mid(offset, readSize)))) {
            QVERIFY2(!text, "handed on twice");
            text = t;
            at = n;
        }
    }
    if (closes) {
        if (std::optional<QString> t = framing.finish()) {
            QVERIFY2(!text, "handed on twice");
            text = t;
            at = -1;
        }
    }
    QCOMPARE(at, handedOn);
    QCOMPARE(framing.done(), handedOn != 0);
    if (text) { // all that was gathered, up to the limit, every LF as CR LF
        const qsizetype gathered = at > 0 ? qMin(at * readSize, ReplyFraming::MaxReply) : reply.size();
        QCOMPARE(*text, QString::fromLatin1(reply.left(gathered).replace("\n", "\r\n")));
    }
}

QTEST_GUILESS_MAIN(TestWhois)
#include "tst_whois.moc"
