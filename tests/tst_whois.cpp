// The pure WHOIS core: which server is asked, how one connection's reads become the text
// that is judged, and the judgement itself.
#include "whois/ReplyClassifier.h"
#include "whois/ReplyFraming.h"
#include "whois/WhoisServers.h"

#include <QtTest>

using Verdict = ReplyClassifier::Verdict;
constexpr Verdict Registered = ReplyClassifier::Registered, Free = ReplyClassifier::Free,
                  Undecidable = ReplyClassifier::Undecidable;

class TestWhois : public QObject
{
    Q_OBJECT
private slots:
    void servers_data();
    void servers();
    void classify_data();
    void classify();
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
    QTest::addColumn<QString>("reply"); // one read from a server without the marker
    QTest::addColumn<Verdict>("verdict");
    QTest::newRow("Expiration") << "x.com" << "Domain: X.COM\nExpiration Date: 2030\n" << Registered;
    QTest::newRow("expiration in lower case") << "x.com" << "the expiration date is shown below" << Undecidable;
    QTest::newRow("No match") << "x.com" << "No match for \"X.COM\".\r\n" << Free;
    QTest::newRow("no matching matches no match") << "x.com" << "there is no matching record for it" << Free;
    QTest::newRow("not found") << "x.com" << "Domain x.com not found here, sorry" << Free;
    QTest::newRow("Not Found is neither") << "x.com" << "Domain x.com: Not Found on this server" << Undecidable;
    QTest::newRow("NO MATCH is neither") << "x.com" << "NO MATCH for this domain, sorry" << Undecidable;
    QTest::newRow("19 characters") << "x.com" << QString(19, QLatin1Char('q')) << Free;
    QTest::newRow("20 characters") << "x.com" << QString(20, QLatin1Char('q')) << Undecidable;
    QTest::newRow("18 characters, 2 LF become CR LF") << "x.com" << "abcdefgh\nijklmnop\n" << Undecidable;
    QTest::newRow("Expiration before No match") << "x.com" << "No match\r\nExpiration Date: 2030\r\n" << Registered;
    QTest::newRow("ab.cn is taken outright") << "ab.cn" << "No matching record.\r\n" << Registered;
    QTest::newRow("abcd.cn free") << "abcd.cn" << "No matching record.\r\n" << Free;
    QTest::newRow("abcd.cn says nothing") << "abcd.cn" << QString(30, QLatin1Char('z')) << Undecidable;
    QTest::newRow("ab.com.cn free") << "ab.com.cn" << "No matching record.\r\n" << Free;
    QTest::newRow("ab.CN capitals") << "ab.CN" << QString(30, QLatin1Char('z')) << Undecidable;
}

void TestWhois::classify()
{
    QFETCH(QString, domain);
    QFETCH(QString, reply);
    QFETCH(Verdict, verdict);
    ReplyFraming framing(false);
    const std::optional<QString> text = framing.feed(reply);
    QVERIFY(text);
    QCOMPARE(ReplyClassifier::classify(domain, *text), verdict);
}

void TestWhois::framing_data()
{
    QTest::addColumn<bool>("marker");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("reads"); // reads until the text is handed on; 0: never
    const QByteArray m = ">>> Last update of whois database: 2024-09-01T10:00:00Z <<<\r\n";
    QByteArray lines;
    while (lines.size() < 70000)
        lines += "% notice text of the registry\n";
    const auto at = [&](qsizetype offset, qsizetype size) { // the marker's ">" at `offset`
        return (lines.left(offset) + m + lines).left(qMax(size, offset + m.size()));
    };
    QTest::newRow("no marker server: first read only") << false << at(1240, 1500) << 1;
    QTest::newRow("marker at 1,240 of 1,500") << true << at(1240, 1500) << 2;
    QTest::newRow("marker across two reads") << true << at(980, 1500) << 2;
    const qsizetype lastFit = ReplyFraming::MaxReply - 4 - ReplyFraming::marker().size(); // ends at 64 KiB
    QTest::newRow("marker ends at 64 KiB") << true << at(lastFit, 70000) << 66;
    QTest::newRow("marker ends one byte past") << true << at(lastFit + 1, 70000) << 0;
}

void TestWhois::framing()
{
    QFETCH(bool, marker);
    QFETCH(QByteArray, reply);
    QFETCH(int, reads);
    ReplyFraming framing(marker);
    std::optional<QString> text;
    int n = 0;
    while (!text && n * ReplyFraming::MaxRead < reply.size())
        text = framing.feed(QString::fromLatin1(reply.mid(n++ * ReplyFraming::MaxRead, ReplyFraming::MaxRead)));
    QCOMPARE(text ? n : 0, reads);
    QCOMPARE(framing.overLimit(), reads == 0);
    if (text) // all that was read, up to the limit, every LF as CR LF
        QCOMPARE(*text, QString::fromLatin1(reply.left(qMin(n * ReplyFraming::MaxRead, ReplyFraming::MaxReply)).replace("\n", "\r\n")));
}

QTEST_GUILESS_MAIN(TestWhois)
#include "tst_whois.moc"
