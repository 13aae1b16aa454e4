// The pure WHOIS core: which server is asked, how one connection's reads become the text
// that is judged, and the judgement itself.
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
    void servers_data();
    void servers();
    void classify_data();
    void classify();
    void rdap_data();
    void rdap();
    void framing_data();
    void framing();
};

void TestWhois::servers_data()
{
    QTest::addColumn<QString>("strme");
    QTest::addColumn<QString>("asked"); // host:port, "+" for a completion-marker server; or the RDAP URL
    QTest::newRow(".com") << "x.com" << "internic:4343+";
    QTest::newRow(".name has its own registry") << "x.name" << "name:4343+";
    QTest::newRow(".biz has its own registry") << "x.biz" << "biz:4343";
    QTest::newRow(".info over RDAP") << "x.info" << "http://127.0.0.1:8/rdap/domain/x.info";
    QTest::newRow(".cn") << "x.cn" << "cnnic:4343";
    QTest::newRow(".edu.cn keyed on its last label") << "x.edu.cn" << "cnnic:4343";
    QTest::newRow(".la") << "x.la" << "la:4343";
    QTest::newRow("unknown key") << "x.org" << "iana:4343";
    QTest::newRow("capitals differ") << "x.COM" << "iana:4343";
    QTest::newRow("spaces trimmed") << "  x.la " << "la:4343";
    QTest::newRow("a tab is no space") << "x.la\t" << "iana:4343";
    QTest::newRow("key after the last dot") << "com.example.me" << "me:4343";
    QTest::newRow("no dot: the whole text") << "com" << "internic:4343+";
    QTest::newRow("empty") << "" << "iana:4343";
}

void TestWhois::servers()
{
    QFETCH(QString, strme);
    QFETCH(QString, asked);
    const ServerConfig c{"internic", "cnnic", "la", "me", "iana", "educn", "name", "biz", "http://127.0.0.1:8/rdap/", 4343, {}};
    const WhoisTarget t = WhoisServers(c).domain(strme);
    QCOMPARE(t.kind == WhoisTarget::Rdap ? t.rdapDomainUrl(strme).toString()
                                         : QStringLiteral("%1:%2%3").arg(t.host).arg(t.port).arg(t.marker ? "+" : ""),
             asked);
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
    QTest::addColumn<Verdict>("verdict");
    QTest::newRow("200") << 200 << Registered;
    QTest::newRow("404") << 404 << Free;
    QTest::newRow("429") << 429 << Limited;
    QTest::newRow("503") << 503 << Limited;
    QTest::newRow("network error") << 0 << Undecidable;
    QTest::newRow("400") << 400 << Undecidable;
    QTest::newRow("403") << 403 << Undecidable;
    QTest::newRow("500") << 500 << Undecidable;
    QTest::newRow("502") << 502 << Undecidable;
}

void TestWhois::rdap()
{
    QFETCH(int, status);
    QFETCH(Verdict, verdict);
    QCOMPARE(ReplyClassifier::classifyRdap(status), verdict);
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
