#include "whois/ReplyClassifier.h"
#include "whois/ReplyFraming.h"
#include "whois/WhoisServers.h"

#include <QtTest>

using Verdict = ReplyClassifier::Verdict;
Q_DECLARE_METATYPE(ReplyClassifier::Verdict)

namespace {

// Replies in the forms the registries send today.
const char Terms[] =
    "NOTICE: The expiration date displayed in this record is the date the\r\n"
    "registrar's sponsorship of the domain name registration in the registry is\r\n"
    "currently set to expire. This date does not necessarily reflect the expiration\r\n"
    "date of the domain name registrant's agreement with the sponsoring\r\n"
    "registrar.  Users may consult the sponsoring registrar's Whois database to\r\n"
    "view the registrar's reported date of expiration for this registration.\r\n"
    "\r\n"
    "TERMS OF USE: You are not authorized to access or query our Whois\r\n"
    "database through the use of electronic processes that are high-volume and\r\n"
    "automated except as reasonably necessary to register domain names or\r\n"
    "modify existing registrations; the Data in the registry's Whois database\r\n"
    "is provided for information purposes only, and to assist persons in\r\n"
    "obtaining information about or related to a domain name registration\r\n"
    "record. The registry does not guarantee its accuracy. By submitting a\r\n"
    "Whois query, you agree to abide by the following terms of use.\r\n";

QByteArray padTo(QByteArray text, qsizetype size, const QByteArray &line)
{
    while (text.size() + line.size() <= size)
        text += line;
    return text;
}

QByteArray updateLine(const char *whois = "whois")
{
    return QByteArray(">>> Last update of ") + whois + " database: 2024-09-01T10:00:00Z <<<\r\n";
}

// InterNIC, registered: record first, marker at about byte 1,240, then terms to ~3,500.
QByteArray internicRegistered(const QByteArray &upper)
{
    QByteArray r = "   Domain Name: " + upper + "\r\n"
                   "   Registry Domain ID: 2138514_DOMAIN_COM-VRSN\r\n"
                   "   Registrar WHOIS Server: whois.registrar.test\r\n"
                   "   Registrar URL: http://www.registrar.test\r\n"
                   "   Updated Date: 2024-08-14T07:01:34Z\r\n"
                   "   Creation Date: 1997-09-15T04:00:00Z\r\n"
                   "   Registry Expiry Date: 2028-09-14T04:00:00Z\r\n"
                   "   Registrar: Registrar Test, Inc.\r\n"
                   "   Registrar IANA ID: 292\r\n";
    r = padTo(r, 1238 - 60, "   Name Server: NS1.REGISTRAR.TEST\r\n");
    r = padTo(r, 1238, "   DNSSEC: unsigned\r\n");
    r += updateLine() + "\r\n";
    return padTo(r, 3500, Terms);
}

QByteArray internicFree(const QByteArray &upper)
{
    return padTo("No match for \"" + upper + "\".\r\n" + updateLine() + "\r\n", 3500, Terms);
}

// .name: a long disclaimer, then the record, then the marker near the end.
QByteArray nameReply(const QByteArray &record)
{
    QByteArray r = padTo(QByteArray(), 1300,
                         "Disclaimer: this service is provided for lookups of individual\r\n");
    r += record;
    r += Terms;
    r += updateLine();
    return r;
}

QByteArray nameRegistered()
{
    return nameReply("Domain Name: X.NAME\r\n"
                     "Registry Domain ID: 1234567_DOMAIN_NAME-VRSN\r\n"
                     "Registry Expiry Date: 2027-01-01T00:00:00Z\r\n");
}

QByteArray nameFree()
{
    return nameReply("No match for \"X.NAME\".\r\n");
}

QByteArray laRegistered()
{
    return padTo("Domain Name: X.LA\r\n"
                 "Registry Domain ID: D1234567-LANIC\r\n"
                 "Registrar WHOIS Server: whois.registrar.test\r\n"
                 "Registry Expiry Date: 2026-05-05T00:00:00Z\r\n"
                 + updateLine("WHOIS"),
                 2000, Terms);
}

QByteArray laFree()
{
    return padTo("The queried object does not exist: DOMAIN NOT FOUND\r\n" + updateLine("WHOIS"),
                 1500, Terms);
}

QByteArray meRegistered()
{
    return padTo("Domain Name: X.ME\r\n"
                 "Registry Domain ID: D108500000001234567-AGRS\r\n"
                 "Registry Expiry Date: 2026-05-05T00:00:00Z\r\n"
                 + updateLine("WHOIS"),
                 2000, Terms);
}

QByteArray meFree()
{
    return padTo("NOT FOUND\r\n" + updateLine("WHOIS"), 1500, Terms);
}

QByteArray cnnicRegistered(const QByteArray &domain)
{
    return "Domain Name: " + domain + "\r\n"
           "ROID: 20030312s10001s00012345-cn\r\n"
           "Domain Status: ok\r\n"
           "Registrant: Test Co.\r\n"
           "Sponsoring Registrar: Test Registrar\r\n"
           "Name Server: ns1.test.cn\r\n"
           "Registration Time: 2003-03-12 12:00:00\r\n"
           "Expiration Time: 2030-03-12 12:00:00\r\n"
           "DNSSEC: unsigned\r\n";
}

QByteArray cnnicFree()
{
    return "No matching record.\r\n";
}

// The text classification sees for `bytes` arriving from `host`: reads of at most 1000
// characters, framed as the channel frames them.
QString framed(const QByteArray &bytes, bool marker)
{
    ReplyFraming f(marker);
    for (qsizetype at = 0; at < bytes.size(); at += ReplyFraming::MaxRead) {
        if (auto text = f.feed(QString::fromLatin1(bytes.mid(at, ReplyFraming::MaxRead))))
            return *text;
    }
    return QString();
}

ServerConfig config()
{
    ServerConfig c;
    c.internic = QStringLiteral("127.0.0.2");
    c.cnnic = QStringLiteral("127.0.0.3");
    c.la = QStringLiteral("127.0.0.4");
    c.me = QStringLiteral("127.0.0.5");
    c.iana = QStringLiteral("127.0.0.6");
    c.name = QStringLiteral("127.0.0.7");
    c.biz = QStringLiteral("127.0.0.8");
    c.rdapInfo = QStringLiteral("http://127.0.0.1:9/");
    return c;
}

} // namespace

class TestReplyClassifier : public QObject
{
    Q_OBJECT
private slots:
    void classify_data();
    void classify();
    void todaysReplies_data();
    void todaysReplies();
    void rdap_data();
    void rdap();
    void resultTexts();

    void lfToCrLf_data();
    void lfToCrLf();
    void conversionCountsTowardTwenty();
    void otherServerFirstReadOnly();
    void markerServerWaitsForMarker();
    void markerAcrossReads();
    void markerLimit_data();
    void markerLimit();
    void endlessWithoutMarker();
    void resetStartsOver();
};

void TestReplyClassifier::classify_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QString>("data");
    QTest::addColumn<Verdict>("verdict");

    const QString filler20 = QStringLiteral("abcdefghijklmnopqrst");
    const QString filler1000 = QString(1000, QLatin1Char('z'));

    QTest::newRow("Expiration line") << "x.com" << "Domain: X.COM\r\nExpiration Date: 2030\r\n" << ReplyClassifier::Registered;
    QTest::newRow("No match first line") << "x.com" << "No match for \"X.COM\".\r\n>>> Last update <<<\r\n" << ReplyClassifier::Free;
    QTest::newRow("19 chars") << "x.com" << QString(19, QLatin1Char('q')) << ReplyClassifier::Free;
    QTest::newRow("20 chars") << "x.com" << filler20 << ReplyClassifier::Undecidable;
    QTest::newRow("1000 chars nothing") << "x.com" << filler1000 << ReplyClassifier::Undecidable;
    QTest::newRow("not found") << "x.com" << "Domain x.com not found here, sorry" << ReplyClassifier::Free;
    QTest::newRow("NOT FOUND capitals") << "x.me" << "NOT FOUND\r\n>>> Last update of WHOIS database <<<" << ReplyClassifier::Free;
    QTest::newRow("DOMAIN NOT FOUND") << "x.la" << "The queried object does not exist: DOMAIN NOT FOUND\r\n" << ReplyClassifier::Free;
    QTest::newRow("Not Found mixed") << "x.com" << "Domain x.com: Not Found on this server" << ReplyClassifier::Undecidable;
    QTest::newRow("no matching") << "x.com" << "there is no matching record for it" << ReplyClassifier::Free;
    QTest::newRow("No matching record") << "abcd.cn" << "No matching record.\r\n" << ReplyClassifier::Free;
    QTest::newRow("No Match mixed") << "x.com" << "No Match for this domain, sorry" << ReplyClassifier::Undecidable;
    QTest::newRow("NO MATCH capitals") << "x.com" << "NO MATCH for this domain, sorry" << ReplyClassifier::Undecidable;
    QTest::newRow("expiration lower case") << "x.com" << "the expiration date is shown below" << ReplyClassifier::Undecidable;
    QTest::newRow("Registry Domain ID") << "x.com" << "   Registry Domain ID: 2138514_DOMAIN_COM-VRSN\r\n" << ReplyClassifier::Registered;
    QTest::newRow("Registry Domain ID without colon") << "x.com" << "Registry Domain ID 2138514_DOMAIN_COM" << ReplyClassifier::Undecidable;
    QTest::newRow("Expiration before No match") << "x.com" << "No match\r\nExpiration Date: 2030\r\n" << ReplyClassifier::Registered;
    QTest::newRow("Registry Domain ID before No match") << "x.com" << "No match for \"X.COM\".\r\nRegistry Domain ID: 1_DOMAIN\r\n" << ReplyClassifier::Registered;
    QTest::newRow("Registry Domain ID before NOT FOUND") << "x.la" << "NOT FOUND\r\nRegistry Domain ID: D1-LANIC\r\n" << ReplyClassifier::Registered;
    QTest::newRow("Expiration in short text") << "x.com" << "Expiration" << ReplyClassifier::Registered;

    // Short .cn names count as taken whatever the reply says.
    QTest::newRow("ab.cn free reply") << "ab.cn" << "No matching record.\r\n" << ReplyClassifier::Registered;
    QTest::newRow("abc.cn filler") << "abc.cn" << filler1000 << ReplyClassifier::Registered;
    QTest::newRow("ab.cn short reply") << "ab.cn" << "" << ReplyClassifier::Registered;
    QTest::newRow("abcd.cn free reply") << "abcd.cn" << "No matching record.\r\n" << ReplyClassifier::Free;
    QTest::newRow("abcd.cn filler") << "abcd.cn" << filler1000 << ReplyClassifier::Undecidable;
    QTest::newRow("ab.com.cn free reply") << "ab.com.cn" << "No matching record.\r\n" << ReplyClassifier::Free;
    QTest::newRow("ab.com.cn filler") << "ab.com.cn" << filler20 << ReplyClassifier::Undecidable;
    QTest::newRow("first six, not last six") << "abcdefg.cn" << filler20 << ReplyClassifier::Undecidable;
    QTest::newRow(".cn early in a .com") << "a.cnb.com" << filler20 << ReplyClassifier::Registered;
    QTest::newRow("domain not trimmed") << " ab.cn" << filler20 << ReplyClassifier::Registered;
    QTest::newRow("domain not trimmed, pushed out") << "    ab.cn" << filler20 << ReplyClassifier::Undecidable;
    QTest::newRow(".CN capitals") << "ab.CN" << filler20 << ReplyClassifier::Undecidable;
}

void TestReplyClassifier::classify()
{
    QFETCH(QString, domain);
    QFETCH(QString, data);
    QFETCH(Verdict, verdict);
    QCOMPARE(ReplyClassifier::classify(domain, data), verdict);
}

void TestReplyClassifier::todaysReplies_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Verdict>("verdict");

    QTest::newRow(".com registered") << "google.com" << internicRegistered("GOOGLE.COM") << ReplyClassifier::Registered;
    QTest::newRow(".com free") << "ni0baaa.com" << internicFree("NI0BAAA.COM") << ReplyClassifier::Free;
    QTest::newRow(".net registered") << "example.net" << internicRegistered("EXAMPLE.NET") << ReplyClassifier::Registered;
    QTest::newRow(".net free") << "qzq8x.net" << internicFree("QZQ8X.NET") << ReplyClassifier::Free;
    QTest::newRow(".cn registered") << "baidu.cn" << cnnicRegistered("baidu.cn") << ReplyClassifier::Registered;
    QTest::newRow(".cn free") << "qzq8xw.cn" << cnnicFree() << ReplyClassifier::Free;
    QTest::newRow(".com.cn registered") << "sina.com.cn" << cnnicRegistered("sina.com.cn") << ReplyClassifier::Registered;
    QTest::newRow(".com.cn free") << "qzq8x.com.cn" << cnnicFree() << ReplyClassifier::Free;
    QTest::newRow(".net.cn registered") << "cnnic.net.cn" << cnnicRegistered("cnnic.net.cn") << ReplyClassifier::Registered;
    QTest::newRow(".net.cn free") << "qzq8x.net.cn" << cnnicFree() << ReplyClassifier::Free;
    QTest::newRow(".la registered") << "x.la" << laRegistered() << ReplyClassifier::Registered;
    QTest::newRow(".la free") << "qzq8x.la" << laFree() << ReplyClassifier::Free;
    QTest::newRow(".me registered") << "x.me" << meRegistered() << ReplyClassifier::Registered;
    QTest::newRow(".me free") << "qzq8x.me" << meFree() << ReplyClassifier::Free;
    QTest::newRow(".name registered") << "x.name" << nameRegistered() << ReplyClassifier::Registered;
    QTest::newRow(".name free") << "x.name" << nameFree() << ReplyClassifier::Free;
}

void TestReplyClassifier::todaysReplies()
{
    QFETCH(QString, domain);
    QFETCH(QByteArray, reply);
    QFETCH(Verdict, verdict);

    const WhoisServers servers(config());
    const WhoisTarget target = servers.domain(domain);
    QCOMPARE(target.kind, WhoisTarget::Whois);

    const QString text = framed(reply, target.marker);
    QVERIFY2(!text.isEmpty(), "reply never handed on");
    QCOMPARE(ReplyClassifier::classify(domain, text), verdict);

    // Marker servers are classified with the marker and everything before it.
    if (target.marker) {
        QVERIFY(text.contains(ReplyFraming::marker()));
        QVERIFY(text.startsWith(ReplyFraming::lfToCrLf(QString::fromLatin1(reply.left(30)))));
    }
}

void TestReplyClassifier::rdap_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<Verdict>("verdict");

    QTest::newRow("200") << 200 << ReplyClassifier::Registered;
    QTest::newRow("404") << 404 << ReplyClassifier::Free;
    QTest::newRow("429") << 429 << ReplyClassifier::Undecidable;
    QTest::newRow("500") << 500 << ReplyClassifier::Undecidable;
    QTest::newRow("503") << 503 << ReplyClassifier::Undecidable;
    QTest::newRow("403") << 403 << ReplyClassifier::Undecidable;
    QTest::newRow("302 not followed") << 302 << ReplyClassifier::Undecidable;
    QTest::newRow("network error") << 0 << ReplyClassifier::Undecidable;
}

void TestReplyClassifier::rdap()
{
    QFETCH(int, status);
    QFETCH(Verdict, verdict);
    QCOMPARE(ReplyClassifier::classifyRdap(status), verdict);
}

void TestReplyClassifier::resultTexts()
{
    QCOMPARE(ReplyClassifier::resultText(ReplyClassifier::Registered), QStringLiteral("已经被注册"));
    QCOMPARE(ReplyClassifier::resultText(ReplyClassifier::Free), QStringLiteral("没有被注册"));
    QCOMPARE(ReplyClassifier::resultText(ReplyClassifier::Undecidable), QStringLiteral("无法获取数据"));
}

void TestReplyClassifier::lfToCrLf_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");

    QTest::newRow("bare LF") << "a\nb\n" << "a\r\nb\r\n";
    QTest::newRow("CR LF gets another CR") << "a\r\nb" << "a\r\r\nb";
    QTest::newRow("no LF") << "abc\rdef" << "abc\rdef";
    QTest::newRow("only LFs") << "\n\n" << "\r\n\r\n";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("Latin-1 kept") << QString::fromLatin1("\xe9\n\xff") << QString::fromLatin1("\xe9\r\n\xff");
}

void TestReplyClassifier::lfToCrLf()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(ReplyFraming::lfToCrLf(in), out);
}

void TestReplyClassifier::conversionCountsTowardTwenty()
{
    // 18 characters with two bare LF are 20 after the conversion: no longer "short".
    const QString read = QStringLiteral("abcdefgh\nijklmnop\n");
    QCOMPARE(read.size(), 18);
    ReplyFraming f(false);
    const auto text = f.feed(read);
    QVERIFY(text);
    QCOMPARE(text->size(), 20);
    QCOMPARE(ReplyClassifier::classify(QStringLiteral("x.org"), *text), ReplyClassifier::Undecidable);
    // The same 18 characters without line ends stay short.
    QCOMPARE(ReplyClassifier::classify(QStringLiteral("x.org"), QStringLiteral("abcdefghXijklmnopX")),
             ReplyClassifier::Free);
}

void TestReplyClassifier::otherServerFirstReadOnly()
{
    ReplyFraming f(false);
    const auto first = f.feed(QStringLiteral("Domain Name: abcd.cn\n"));
    QVERIFY(first);
    QCOMPARE(*first, QStringLiteral("Domain Name: abcd.cn\r\n"));
    QVERIFY(f.done());
    // The rest of that reply is never looked at.
    QVERIFY(!f.feed(QStringLiteral("Expiration Time: 2030\n")));
}

void TestReplyClassifier::markerServerWaitsForMarker()
{
    // 1,500 bytes, record at the top, marker at byte 1,240.
    QByteArray reply = "   Domain Name: X.COM\r\n   Registry Domain ID: 1_DOMAIN_COM-VRSN\r\n"
                       "   Registry Expiry Date: 2030-01-01T00:00:00Z\r\n";
    reply = padTo(reply, 1240, "   Name Server: NS.TEST\r\n");
    reply += QByteArray(1240 - reply.size(), ' ');
    QCOMPARE(reply.size(), 1240);
    reply += updateLine();
    reply += QByteArray(1500 - reply.size(), 'n');
    QCOMPARE(reply.size(), 1500);

    ReplyFraming f(true);
    QVERIFY(!f.feed(QString::fromLatin1(reply.left(1000))));
    QVERIFY(!f.done());
    const auto text = f.feed(QString::fromLatin1(reply.mid(1000)));
    QVERIFY(text);
    QCOMPARE(*text, ReplyFraming::lfToCrLf(QString::fromLatin1(reply))); // CR LF becomes CR CR LF
    QVERIFY(text->contains(QLatin1String("Registry Domain ID:")));
    QCOMPARE(ReplyClassifier::classify(QStringLiteral("x.com"), *text), ReplyClassifier::Registered);
    QCOMPARE(f.taken(), qsizetype(1500));
}

void TestReplyClassifier::markerAcrossReads()
{
    const QByteArray reply = QByteArray(990, 'a') + updateLine() + "tail";
    ReplyFraming f(true);
    QVERIFY(!f.feed(QString::fromLatin1(reply.left(1000))));
    const auto text = f.feed(QString::fromLatin1(reply.mid(1000)));
    QVERIFY(text);
    QCOMPARE(text->size(), reply.size() + 1); // the update line's LF
}

void TestReplyClassifier::markerLimit_data()
{
    QTest::addColumn<qsizetype>("markerEnd");
    QTest::addColumn<bool>("classified");

    QTest::newRow("ends at the limit") << qsizetype(ReplyFraming::MaxReply) << true;
    QTest::newRow("one byte past") << qsizetype(ReplyFraming::MaxReply + 1) << false;
    QTest::newRow("well inside") << qsizetype(40000) << true;
}

void TestReplyClassifier::markerLimit()
{
    QFETCH(qsizetype, markerEnd);
    QFETCH(bool, classified);

    const QByteArray m = ReplyFraming::marker().latin1();
    QByteArray reply = QByteArray(markerEnd - m.size(), 'x') + m + QByteArray(5000, 'y');
    ReplyFraming f(true);
    std::optional<QString> text;
    for (qsizetype at = 0; at < reply.size() && !text; at += 1000)
        text = f.feed(QString::fromLatin1(reply.mid(at, 1000)));
    QCOMPARE(bool(text), classified);
    QCOMPARE(f.overLimit(), !classified);
    QVERIFY(f.taken() <= ReplyFraming::MaxReply);
    if (text)
        QVERIFY(text->size() <= ReplyFraming::MaxReply + 1000);
}

void TestReplyClassifier::endlessWithoutMarker()
{
    ReplyFraming f(true);
    const QString read(1000, QLatin1Char('\n')); // worst case: every byte doubles
    int reads = 0;
    while (!f.overLimit() && reads < 1000) {
        QVERIFY(!f.feed(read));
        ++reads;
    }
    QVERIFY(f.overLimit());
    QCOMPARE(f.taken(), ReplyFraming::MaxReply);
    QCOMPARE(reads, 66);
    QVERIFY(!f.feed(read + ReplyFraming::marker()));
}

void TestReplyClassifier::resetStartsOver()
{
    ReplyFraming f(true);
    QVERIFY(!f.feed(QStringLiteral("Registry Domain ID: 1\r\n")));
    f.reset(true);
    const auto text = f.feed(QStringLiteral("No match\r\n") + ReplyFraming::marker());
    QVERIFY(text);
    QVERIFY(!text->contains(QLatin1String("Registry Domain ID")));
    f.reset(false);
    QVERIFY(!f.markerServer());
    QVERIFY(f.feed(QStringLiteral("anything")));
}

QTEST_GUILESS_MAIN(TestReplyClassifier)
#include "tst_replyclassifier.moc"
