// The pure WHOIS core: which service is asked (the RDAP bootstrap, our WHOIS table), how one
// connection's reads become the text that is judged, and the judgement itself.
#include "whois/QueryRoute.h"
#include "whois/RdapBootstrap.h"
#include "whois/ReplyClassifier.h"
#include "whois/ReplyFraming.h"
#include "whois/WhoisServers.h"

#include <QtTest>

using Verdict = ReplyClassifier::Verdict;
constexpr Verdict Registered = ReplyClassifier::Registered, Free = ReplyClassifier::Free,
                  Undecidable = ReplyClassifier::Undecidable, Limited = ReplyClassifier::Limited;

namespace {

// The terms text registries append to ordinary replies: full of words about limits that
// must not make such a reply "limited".
const QByteArray TermsOfUse =
    "TERMS OF USE: You are not authorized to access or query our Whois database through the use of\n"
    "electronic processes that are high-volume and automated. Queries are subject to a rate limit;\n"
    "too many queries from one address are throttled, and excessive querying may get access\n"
    "restricted. The registry reserves the right to modify these terms at any time.\n";

// A whole reply as the framing hands it on after the server closed: reads of MaxRead.
QString whole(const QByteArray &reply)
{
    ReplyFraming framing(false);
    for (qsizetype at = 0; at < reply.size(); at += ReplyFraming::MaxRead)
        if (std::optional<QString> text = framing.feed(QString::fromLatin1(reply.mid(at, ReplyFraming::MaxRead))))
            return *text;
    return framing.finish().value_or(QString());
}

QByteArray header(qsizetype size)
{
    QByteArray text;
    while (text.size() < size)
        text += "% The data in this record is provided for information purposes only.\n";
    return text;
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
    void classify_data();
    void classify();
    void rdap_data();
    void rdap();
    void framing_data();
    void framing();
};

namespace {

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
    QTest::addColumn<QString>("strme");
    // RDAP: "<url> ?<probe name>", then " | <fallback>"; WHOIS: "host:port", "+" for a
    // completion-marker server; "-" nobody.
    QTest::addColumn<QString>("asked");
    const auto row = [](const char *tag, bool bundled, const QString &strme, const char *asked) {
        QTest::newRow(tag) << bundled << strme << QString::fromUtf8(asked);
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
    row("empty", false, "", "-");
    row("no dot", false, "com", "-");
    row("empty label", false, "x..com", "-");
    row("final dot", false, "x.com.", "-");
    row("space inside", false, "x y.com", "-");
    row("not a hostname", false, "x_y.com", "-");
    row("bundled .com", true, "x.com", "https://rdap.verisign.com/com/v1/domain/x.com ?example.com | internic:4343+");
    row("bundled .net", true, "x.net", "https://rdap.verisign.com/net/v1/domain/x.net ?example.net | internic:4343+");
    row("bundled .name", true, "x.name", "https://tld-rdap.verisign.com/name/v1/domain/x.name ?nic.name | name:4343+");
    row("bundled .biz", true, "x.biz", "https://rdap.nic.biz/domain/x.biz ?nic.biz | biz:4343");
    row("bundled .info", true, "x.info", "https://rdap.identitydigital.services/rdap/domain/x.info ?nic.info");
    row("bundled .org", true, "x.org", "https://rdap.publicinterestregistry.org/rdap/domain/x.org ?example.org");
    row("bundled .cn", true, "x.cn", "cnnic:4343");
    row("bundled .com.cn", true, "x.com.cn", "cnnic:4343");
    row("bundled .net.cn", true, "x.net.cn", "cnnic:4343");
    row("bundled .la", true, "x.la", "la:4343");
    row("bundled .me", true, "x.me", "me:4343");
    row("bundled: a TLD nobody serves", true, "x.qvzz", "-");
}

void TestWhois::routes()
{
    QFETCH(bool, bundled);
    QFETCH(QString, strme);
    QFETCH(QString, asked);
    const ServerConfig c{"internic", "cnnic", "la", "me", "educn", "name", "biz", {}, 4343, {}};
    const RdapBootstrap bootstrap = RdapBootstrap::parse(bundled ? bundledBytes() : SmallBootstrap);
    QVERIFY(bootstrap.isValid());
    const QueryRoute r = QueryRoute::choose(strme, bootstrap, WhoisServers(c));
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
    QTest::newRow("not JSON") << QByteArray("<html>503 Service Unavailable</html>") << false;
    QTest::newRow("no services") << QByteArray(R"({"publication": "2099-01-01T00:00:00Z", "services": []})") << false;
    QTest::newRow("no usable base") << QByteArray(later).replace("https:", "ftp:") << false;
}

void TestWhois::bootstrapCopies()
{
    QFETCH(QByteArray, cached);
    QFETCH(bool, replaces);
    const RdapBootstrap bundled = RdapBootstrap::parse(bundledBytes());
    QVERIFY(bundled.isValid() && bundled.tldCount() > 1000);
    const RdapBootstrap copy = RdapBootstrap::parse(cached);
    QCOMPARE(&RdapBootstrap::preferred(bundled, copy) == &copy, replaces);
}

void TestWhois::classify_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QByteArray>("reply"); // the whole reply as the server sent it
    QTest::addColumn<Verdict>("verdict");
    QTest::newRow("Expiration") << "x.com" << QByteArray("Domain: X.COM\nExpiration Date: 2030\n") << Registered;
    QTest::newRow("expiration in lower case") << "x.com" << QByteArray("the expiration date is shown below") << Undecidable;
    QTest::newRow("Registry Domain ID:") << "x.com" << QByteArray("Registry Domain ID: 2138514_DOMAIN_COM-VRSN\n") << Registered;
    QTest::newRow("Domain Name ID: of the older .name record") << "x.name"
        << QByteArray("Domain Name ID: 1802345_DOMAIN_NAME-VRSN\nDomain Name: X.NAME\n") << Registered;
    QTest::newRow("record beyond byte 1,000") << "x.me" << header(1200) + "Domain Name: X.ME\nDomain Expiration Date: 2030\n" << Registered;
    QTest::newRow("No match") << "x.com" << QByteArray("No match for \"X.COM\".\r\n") << Free;
    QTest::newRow("no matching matches no match") << "x.com" << QByteArray("there is no matching record for it") << Free;
    QTest::newRow("not found") << "x.com" << QByteArray("Domain x.com not found here, sorry") << Free;
    QTest::newRow("NOT FOUND") << "x.me" << QByteArray("NOT FOUND\n") << Free;
    QTest::newRow("No Data Found") << "x.biz" << QByteArray("No Data Found\n") << Free;
    QTest::newRow("free text beyond byte 1,000") << "x.biz" << header(1500) + "No Data Found\n" << Free;
    QTest::newRow("Not Found is neither") << "x.com" << QByteArray("Domain x.com: Not Found on this server") << Undecidable;
    QTest::newRow("NO MATCH is neither") << "x.com" << QByteArray("NO MATCH for this domain, sorry") << Undecidable;
    QTest::newRow("short error line") << "x.org" << QByteArray("Invalid input\r\n") << Undecidable;
    QTest::newRow("19 characters") << "x.com" << QByteArray(19, 'q') << Undecidable;
    QTest::newRow("one character") << "x.com" << QByteArray("%") << Undecidable;
    QTest::newRow("empty reply") << "x.com" << QByteArray() << Undecidable;
    QTest::newRow("Expiration before No match") << "x.com" << QByteArray("No match\r\nExpiration Date: 2030\r\n") << Registered;
    QTest::newRow("ab.cn is taken outright") << "ab.cn" << QByteArray("No matching record.\r\n") << Registered;
    QTest::newRow("ab.cn taken even on a limit text") << "ab.cn" << QByteArray("Quota exceeded\r\n") << Registered;
    QTest::newRow("abcd.cn free") << "abcd.cn" << QByteArray("No matching record.\r\n") << Free;
    QTest::newRow("abcd.cn says nothing") << "abcd.cn" << QByteArray(30, 'z') << Undecidable;
    QTest::newRow("ab.com.cn free") << "ab.com.cn" << QByteArray("No matching record.\r\n") << Free;
    QTest::newRow("ab.CN capitals") << "ab.CN" << QByteArray(30, 'z') << Undecidable;
    // Refusals, in the forms registries send them.
    for (const char *text : {"WHOIS LIMIT EXCEEDED - SEE WWW.PIR.ORG/WHOIS FOR DETAILS",
                             "Your connection limit exceeded. Please slow down and try again later.",
                             "You have exceeded this query limit.", "Please try again later.",
                             "Slow down, you are querying too fast", "Please wait a while and retry",
                             "Query interval is too short", "Service temporarily unavailable",
                             "The WHOIS service is currently down for maintenance", "Daily QUOTA reached"})
        QTest::addRow("limit: %s", text) << "abcdefg.cn" << QByteArray(text) + "\r\n" << Limited;
    QTest::newRow("limit text before a free text") << "x.la" << QByteArray("Query limit exceeded; not found\r\n") << Limited;
    QTest::newRow("record beats a limit text") << "x.com" << QByteArray("Expiration Date: 2030\r\ntry again later\r\n") << Registered;
    // Ordinary replies carrying terms of use stay what they are.
    QTest::newRow("terms: registered") << "x.com"
        << "Domain Name: X.COM\nRegistry Domain ID: 1_DOMAIN_COM-VRSN\n" + TermsOfUse << Registered;
    QTest::newRow("terms: free") << "x.com" << "No match for \"X.COM\".\n" + TermsOfUse << Free;
    QTest::newRow("terms: free, terms first") << "x.biz" << TermsOfUse + "No Data Found\n" << Free;
    QTest::newRow("terms alone say nothing") << "x.com" << TermsOfUse << Undecidable;
    // Terms that speak of quotas and of trying again are no refusal; a refusal right above them is.
    const QByteArray quotaTerms = "TERMS OF USE: every address has a daily quota of queries. A client that has\n"
                                  "exceeded it may try again the next day.\n";
    QTest::newRow("terms with limit words: free") << "x.la" << "DOMAIN NOT FOUND\n\n" + quotaTerms << Free;
    QTest::newRow("refusal right above the terms") << "x.la" << "Query limit exceeded.\n" + quotaTerms << Limited;
}

void TestWhois::classify()
{
    QFETCH(QString, domain);
    QFETCH(QByteArray, reply);
    QFETCH(Verdict, verdict);
    QCOMPARE(ReplyClassifier::classify(domain, whole(reply)), verdict);
    QCOMPARE(ReplyClassifier::resultText(verdict), verdict == Registered ? QStringLiteral("已经被注册")
                                                   : verdict == Free     ? QStringLiteral("没有被注册")
                                                                         : QStringLiteral("无法获取数据"));
}

void TestWhois::rdap_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<Verdict>("verdict");
    const QByteArray record = R"({"objectClassName": "domain", "ldhName": "x.com"})";
    QTest::newRow("200, a domain record") << 200 << record << Registered;
    QTest::newRow("200 with an errorCode") << 200 << QByteArray(R"({"objectClassName": "domain", "errorCode": 404})") << Undecidable;
    QTest::newRow("200, another object") << 200 << QByteArray(R"({"objectClassName": "entity"})") << Undecidable;
    QTest::newRow("200, not JSON") << 200 << QByteArray("<html>Welcome</html>") << Undecidable;
    QTest::newRow("200, cut short") << 200 << record.left(20) << Undecidable;
    QTest::newRow("404") << 404 << QByteArray() << Free;
    QTest::newRow("429") << 429 << QByteArray() << Limited;
    QTest::newRow("503") << 503 << record << Limited;
    QTest::newRow("301 not followed") << 301 << QByteArray() << Undecidable;
    QTest::newRow("400") << 400 << QByteArray() << Undecidable;
    QTest::newRow("500") << 500 << QByteArray() << Undecidable;
}

void TestWhois::rdap()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(Verdict, verdict);
    QCOMPARE(ReplyClassifier::classifyRdap(status, body), verdict);
}

void TestWhois::framing_data()
{
    QTest::addColumn<bool>("marker");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("readSize");
    QTest::addColumn<bool>("closes");  // the server closes after the last byte
    QTest::addColumn<int>("handedOn"); // at which read the reply is handed on; -1: at the close; 0: never
    const QByteArray m = ">>> Last update of whois database: 2024-09-01T10:00:00Z <<<\r\n";
    QByteArray lines;
    while (lines.size() < 70000)
        lines += "% notice text of the registry\n";
    const auto at = [&](qsizetype offset, qsizetype size) { // the marker's ">" at `offset`
        return (lines.left(offset) + m + lines).left(qMax(size, offset + m.size()));
    };
    const int R = int(ReplyFraming::MaxRead);
    QTest::newRow("no marker server: complete on close") << false << lines.left(1500) << R << true << -1;
    QTest::newRow("no marker server: open, never a part") << false << lines.left(1500) << R << false << 0;
    QTest::newRow("no marker server: a byte at a time") << false << QByteArray("No match\n") << 1 << true << -1;
    QTest::newRow("no marker server: 64 KiB") << false << lines.left(70000) << R << false << 66;
    QTest::newRow("no marker server: exactly 64 KiB, then close") << false << lines.left(ReplyFraming::MaxReply) << R << true << 66;
    QTest::newRow("empty, closed: nothing") << false << QByteArray() << R << true << 0;
    QTest::newRow("marker at 1,240 of 1,500") << true << at(1240, 1500) << R << false << 2;
    QTest::newRow("marker across two reads") << true << at(980, 1500) << R << false << 2;
    QTest::newRow("marker: rest after it unread") << true << at(980, 3500) << R << true << 2;
    QTest::newRow("marker server closing before its marker") << true << lines.left(1500) << R << true << -1;
    QTest::newRow("marker server, open, no marker") << true << lines.left(1500) << R << false << 0;
    const qsizetype lastFit = ReplyFraming::MaxReply - 4 - ReplyFraming::marker().size(); // ends at 64 KiB
    QTest::newRow("marker ends at 64 KiB") << true << at(lastFit, 70000) << R << false << 66;
    QTest::newRow("marker ends one byte past: judged at 64 KiB") << true << at(lastFit + 1, 70000) << R << false << 66;
}

void TestWhois::framing()
{
    QFETCH(bool, marker);
    QFETCH(QByteArray, reply);
    QFETCH(int, readSize);
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
    // Handed on at a read without the marker: only the size limit does that.
    QCOMPARE(framing.overLimit(), handedOn > 0 && !(marker && text->contains(ReplyFraming::marker())));
    if (text) { // all that was gathered, up to the limit, every LF as CR LF
        const qsizetype gathered = at > 0 ? qMin(at * qsizetype(readSize), ReplyFraming::MaxReply) : reply.size();
        QCOMPARE(*text, QString::fromLatin1(reply.left(gathered).replace("\n", "\r\n")));
    }
}

QTEST_GUILESS_MAIN(TestWhois)
#include "tst_whois.moc"
