// Verdicts on replies in the forms the registries use today, end to end: a fake registry
// server on loopback answers, the window's channel queries it, and the row's result is
// read back from the task list.
#include "FakeHttpServer.h"
#include "FakeWhoisServer.h"

#include "config/ServerConfig.h"
#include "platform/MessageBox.h"
#include "platform/WindowTimer.h"
#include "whois/QueryChannel.h"
#include "window/DomainListModel.h"
#include "window/Form1.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

enum Role { Internic, Cnnic, La, Me, Iana, Name, Biz, EduCn, RoleCount, Rdap = -1 };

QHostAddress roleAddress(Role r)
{
    return QHostAddress(QStringLiteral("127.0.0.%1").arg(2 + int(r)));
}

const QString Registered = QStringLiteral("已经被注册");
const QString Free = QStringLiteral("没有被注册");
const QString Undecidable = QStringLiteral("无法获取数据");
const QString TimedOut = QStringLiteral("查询超时");

// --- Reply fixtures -----------------------------------------------------------------------

// Terms text in the registries' manner (CR LF lines), none of the searched words in it.
const char *const TermsLines[] = {
    "You may use this information only to find out about a domain name\r\n",
    "registration record, and you agree not to use it to send bulk mail,\r\n",
    "advertising or solicitations of any kind, nor to run automated queries\r\n",
    "that put a heavy load on the systems of the registry or its registrars.\r\n",
    "Collecting, reselling or redistributing the data for profit is not\r\n",
    "permitted without prior written consent. The registry may restrict or\r\n",
    "end your access at any time to protect its systems and its data.\r\n",
    "By sending a query you accept these terms and the limits set above.\r\n",
    "\r\n",
};

// Appends terms lines while the text stays within `size` bytes.
QByteArray padWithTerms(QByteArray text, qsizetype size)
{
    for (int i = 0;; ++i) {
        const QByteArray line = TermsLines[i % std::size(TermsLines)];
        if (text.size() + line.size() > size)
            return text;
        text += line;
    }
}

QByteArray internicMarker()
{
    return ">>> Last update of whois database: 2024-09-01T10:00:00Z <<<\r\n";
}

QByteArray internicTail()
{
    QByteArray t = "\r\nFor more information on Whois status codes, please visit https://icann.org/epp\r\n\r\n"
                   "NOTICE: The expiration date shown in this record is the date until which\r\n"
                   "the sponsoring registrar keeps the registration in the registry. It is\r\n"
                   "not necessarily the end date of the holder's contract with the registrar;\r\n"
                   "ask the registrar for the date of expiration that it reports.\r\n\r\n"
                   "TERMS OF USE: ";
    return t;
}

// InterNIC, registered: about 3,500 bytes, the record first, the marker at about 1,240.
QByteArray internicRegistered(const QByteArray &upper, const QByteArray &idSuffix)
{
    QByteArray r = "   Domain Name: " + upper + "\r\n"
                   "   Registry Domain ID: 2138514_DOMAIN_" + idSuffix + "-VRSN\r\n"
                   "   Registrar WHOIS Server: whois.registrar.test\r\n"
                   "   Registrar URL: http://www.registrar.test\r\n"
                   "   Updated Date: 2024-08-14T07:01:34Z\r\n"
                   "   Creation Date: 1995-08-14T04:00:00Z\r\n"
                   "   Registry Expiry Date: 2025-08-13T04:00:00Z\r\n"
                   "   Registrar: Example Registrar, Inc.\r\n"
                   "   Registrar IANA ID: 9999\r\n"
                   "   Registrar Abuse Contact Email: abuse@registrar.test\r\n"
                   "   Registrar Abuse Contact Phone: +1.5555550100\r\n"
                   "   Domain Status: clientDeleteProhibited https://icann.org/epp#clientDeleteProhibited\r\n"
                   "   Domain Status: clientTransferProhibited https://icann.org/epp#clientTransferProhibited\r\n"
                   "   Domain Status: clientUpdateProhibited https://icann.org/epp#clientUpdateProhibited\r\n"
                   "   Domain Status: serverDeleteProhibited https://icann.org/epp#serverDeleteProhibited\r\n"
                   "   Domain Status: serverTransferProhibited https://icann.org/epp#serverTransferProhibited\r\n"
                   "   Domain Status: serverUpdateProhibited https://icann.org/epp#serverUpdateProhibited\r\n"
                   "   DNSSEC: signedDelegation\r\n"
                   "   DNSSEC DS Data: 31589 8 2 3490A6806D47F17A34C29E2CE80E8A999FFBE4BE\r\n"
                   "   URL of the ICANN Whois Inaccuracy Complaint Form: https://www.icann.org/wicf/\r\n";
    for (int n = 1; r.size() < 1205; ++n)
        r += "   Name Server: NS" + QByteArray::number(n) + ".REGISTRAR.TEST\r\n";
    r += internicMarker() + internicTail();
    return padWithTerms(r, 3500);
}

QByteArray internicFree(const QByteArray &upper)
{
    return padWithTerms("No match for \"" + upper + "\".\r\n" + internicMarker() + internicTail(), 2400);
}

// .name: a disclaimer of about 1,300 bytes, then the record, the marker near the end.
QByteArray nameDisclaimer()
{
    return padWithTerms("Disclaimer: the registry of .NAME offers this service for lawful purposes\r\n"
                        "only; its data are given as they are, without any warranty.\r\n",
                        1270);
}

QByteArray nameRegistered(const QByteArray &upper)
{
    return nameDisclaimer() + "Domain Name: " + upper + "\r\n"
           "Registry Domain ID: 1802345_DOMAIN_NAME-VRSN\r\n"
           "Registrar WHOIS Server: whois.registrar.test\r\n"
           "Registrar URL: http://www.registrar.test\r\n"
           "Updated Date: 2024-02-01T12:00:00Z\r\n"
           "Creation Date: 2004-02-01T12:00:00Z\r\n"
           "Registry Expiry Date: 2026-02-01T12:00:00Z\r\n"
           "Registrar: Example Registrar, Inc.\r\n"
           "Domain Status: clientTransferProhibited https://icann.org/epp#clientTransferProhibited\r\n"
           "Name Server: NS1.REGISTRAR.TEST\r\n"
           "Name Server: NS2.REGISTRAR.TEST\r\n"
           "DNSSEC: unsigned\r\n"
           "URL of the ICANN Whois Inaccuracy Complaint Form: https://www.icann.org/wicf/\r\n"
           + internicMarker() + "\r\n";
}

QByteArray nameFree(const QByteArray &upper)
{
    return nameDisclaimer() + "No match for \"" + upper + "\".\r\n" + internicMarker() + "\r\n";
}

QByteArray registryWhoisLine()
{
    return ">>> Last update of WHOIS database: 2024-09-01T10:00:00.0Z <<<\r\n";
}

QByteArray registryTail()
{
    return padWithTerms(registryWhoisLine() + "\r\nFor more information on Whois status codes, please visit https://icann.org/epp\r\n\r\n"
                        "Terms of Use: ",
                        1400);
}

// .la and .me: the record at the top, then the update line in capitals and terms.
QByteArray registryRegistered(const QByteArray &upper, const QByteArray &roid)
{
    return "Domain Name: " + upper + "\r\n"
           "Registry Domain ID: " + roid + "\r\n"
           "Registrar WHOIS Server: whois.registrar.test\r\n"
           "Registrar URL: http://www.registrar.test\r\n"
           "Updated Date: 2024-05-01T10:00:00.0Z\r\n"
           "Creation Date: 2010-05-01T10:00:00.0Z\r\n"
           "Registry Expiry Date: 2025-05-01T23:59:59.0Z\r\n"
           "Registrar: Example Registrar\r\n"
           "Domain Status: clientTransferProhibited https://icann.org/epp#clientTransferProhibited\r\n"
           "Registrant Organization: Example Holder\r\n"
           "Name Server: NS1.REGISTRAR.TEST\r\n"
           "Name Server: NS2.REGISTRAR.TEST\r\n"
           "DNSSEC: unsigned\r\n"
           "URL of the ICANN Whois Inaccuracy Complaint Form: https://www.icann.org/wicf/\r\n"
           + registryTail();
}

QByteArray laFree()
{
    return "The queried object does not exist: DOMAIN NOT FOUND\r\n" + registryTail();
}

QByteArray meFree()
{
    return "NOT FOUND\r\n" + registryTail();
}

// CNNIC: LF line ends, UTF-8 names in the record.
QByteArray cnnicRegistered(const QByteArray &domain)
{
    return "Domain Name: " + domain + "\n"
           "ROID: 20030312s10001s00033735-cn\n"
           "Domain Status: ok\n"
           "Registrant: " + QStringLiteral("示例科技有限公司").toUtf8() + "\n"
           "Registrant Contact Email: holder@example.test\n"
           "Sponsoring Registrar: " + QStringLiteral("示例注册服务机构").toUtf8() + "\n"
           "Name Server: ns1.example.test\n"
           "Name Server: ns2.example.test\n"
           "Registration Time: 2003-03-17 12:20:05\n"
           "Expiration Time: 2030-03-17 12:48:36\n"
           "DNSSEC: unsigned\n";
}

QByteArray cnnicFree()
{
    return "No matching record.\n";
}

QByteArray rdapDomain(const QByteArray &ldh)
{
    return "{\"objectClassName\":\"domain\",\"handle\":\"D503300000040403495-LRMS\",\"ldhName\":\"" + ldh
           + "\",\"status\":[\"client transfer prohibited\"],\"events\":[{\"eventAction\":\"registration\","
             "\"eventDate\":\"2001-07-31T23:57:50Z\"},{\"eventAction\":\"expiration\",\"eventDate\":\"2026-07-31T23:57:50Z\"}],"
             "\"rdapConformance\":[\"rdap_level_0\"]}";
}

QByteArray rdapNotFound()
{
    return "{\"errorCode\":404,\"title\":\"Not Found\",\"description\":[\"The domain you are looking for was not found.\"],"
           "\"rdapConformance\":[\"rdap_level_0\"]}";
}

QByteArray rdapTooMany()
{
    return "{\"errorCode\":429,\"title\":\"Too Many Requests\",\"rdapConformance\":[\"rdap_level_0\"]}";
}

QString stateOf(const Form1 &f, int k)
{
    return DomainListModel::stateText(f.listModel()->state(k));
}

QString resultOf(const Form1 &f, int k)
{
    return DomainListModel::resultText(f.listModel()->result(k));
}

QStringList freeNames(const Form1 &f)
{
    return f.RichTextBox1->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

FakeWhoisServer::Script inPieces(const QByteArray &reply, int pieceSize, int gapMs)
{
    if (pieceSize <= 0)
        return FakeWhoisServer::replyAtOnce(reply);
    QList<QByteArray> pieces;
    for (qsizetype at = 0; at < reply.size(); at += pieceSize)
        pieces << reply.mid(at, pieceSize);
    return FakeWhoisServer::replyInPieces(pieces, gapMs);
}

} // namespace

class TestVerdicts : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void fixturesHaveTodaysForms();
    void verdict_data();
    void verdict();
    void neverFreeUnlessSaid_data();
    void neverFreeUnlessSaid();
    void rdapRequestAndNoWhois();
    void rdapNetworkErrorIsUndecidable();
    void rdapSilentTimesOut();
    void rdapEndedByUser();

private:
    ServerConfig config() const;
    void serve(int role, const QString &domain, const QByteArray &reply, int status, int pieceSize);
    // Queries `domain` on channel 0 and waits until its row is settled (or `waitMs` passed).
    void queryOne(Form1 &form, const QString &domain, int waitMs = 5000);

    std::array<std::unique_ptr<FakeWhoisServer>, RoleCount> m_servers;
    std::unique_ptr<FakeHttpServer> m_rdap;
};

void TestVerdicts::init()
{
    bool ok = false;
    for (int attempt = 0; attempt < 20 && !ok; ++attempt) {
        ok = true;
        quint16 port = 0;
        for (int r = 0; r < RoleCount && ok; ++r) {
            m_servers[size_t(r)] = std::make_unique<FakeWhoisServer>();
            ok = m_servers[size_t(r)]->listen(roleAddress(Role(r)), port);
            port = m_servers[size_t(r)]->port();
        }
    }
    QVERIFY2(ok, "no common port for the fake servers");
    m_rdap = std::make_unique<FakeHttpServer>();
    QVERIFY(m_rdap->listen(QHostAddress(QStringLiteral("127.0.0.20"))));
    MessageBox::setHook([](const MessageBox::Shown &) { return MessageBox::Answer::Ok; });
}

void TestVerdicts::cleanup()
{
    MessageBox::setHook(nullptr);
    for (auto &s : m_servers)
        s.reset();
    m_rdap.reset();
}

ServerConfig TestVerdicts::config() const
{
    ServerConfig c;
    c.internic = roleAddress(Internic).toString();
    c.cnnic = roleAddress(Cnnic).toString();
    c.la = roleAddress(La).toString();
    c.me = roleAddress(Me).toString();
    c.iana = roleAddress(Iana).toString();
    c.name = roleAddress(Name).toString();
    c.biz = roleAddress(Biz).toString();
    c.educn = roleAddress(EduCn).toString();
    c.rdapInfo = QStringLiteral("http://127.0.0.20:%1/rdap/").arg(m_rdap->port());
    c.whoisPort = m_servers[0]->port();
    c.updateBase = QStringLiteral("http://127.0.0.1:1");
    return c;
}

void TestVerdicts::serve(int role, const QString &domain, const QByteArray &reply, int status, int pieceSize)
{
    if (role == Rdap) {
        FakeHttpServer::Response r;
        r.status = status;
        r.body = reply;
        r.headers = {{"Content-Type", "application/rdap+json"}};
        if (status == 429)
            r.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("60")));
        m_rdap->setResponse(QStringLiteral("/rdap/domain/") + domain, r);
        return;
    }
    m_servers[size_t(role)]->setScript(inPieces(reply, pieceSize, 40));
}

void TestVerdicts::queryOne(Form1 &form, const QString &domain, int waitMs)
{
    for (int i = 0; i < Form1::ChannelCount; ++i) {
        form.Timerme(i).setInterval(3600 * 1000);
        form.Timer1(i).setInterval(3600 * 1000);
    }
    form.addRows({domain});
    form.threads = QStringLiteral("1");
    form.hosttt = 0;
    form.runflag = 1;
    form.Timerme_Timer(0);
    QTRY_COMPARE_WITH_TIMEOUT(stateOf(form, 1), QStringLiteral("查询结束"), waitMs);
}

void TestVerdicts::fixturesHaveTodaysForms()
{
    const QByteArray com = internicRegistered("QVEXAMPLE.COM", "COM");
    QVERIFY(com.size() >= 3300 && com.size() <= 3500);
    QVERIFY(com.indexOf("Registry Domain ID:") < 60);
    QVERIFY(qAbs(com.indexOf("Registry Expiry Date:") - 250) < 40);
    QVERIFY(qAbs(com.indexOf("Last update of whois database") - 1240) < 40);
    QVERIFY(com.contains("expiration"));
    QVERIFY(!com.contains("Expiration"));
    QCOMPARE(com.count('\n'), com.count("\r\n"));
    const QByteArray comFree = internicFree("QVFREE.COM");
    QVERIFY(comFree.startsWith("No match for \"QVFREE.COM\".\r\n>>> Last update of whois database"));

    const QByteArray name = nameRegistered("QVEXAMPLE.NAME");
    QVERIFY(qAbs(name.indexOf("Registry Domain ID:") - 1300) < 40);
    QVERIFY(name.size() - name.indexOf("Last update of whois database") < 100);
    QVERIFY(nameFree("QVFREE.NAME").indexOf("No match for") > 1200);

    for (const QByteArray &r : {registryRegistered("QVEXAMPLE.LA", "D4123-LANIC"), registryRegistered("QVEXAMPLE.ME", "D4255-AGRS")}) {
        QVERIFY(r.indexOf("Registry Domain ID:") < 200);
        QVERIFY(r.contains("Last update of WHOIS database"));
        QVERIFY(!r.contains("Last update of whois database"));
        QVERIFY(r.size() > 1000);
    }
    QVERIFY(laFree().indexOf("DOMAIN NOT FOUND") < 60);
    QVERIFY(meFree().startsWith("NOT FOUND"));
    QVERIFY(cnnicRegistered("abcdefg.cn").contains("\nExpiration Time: "));

    // The shared text says nothing either way.
    for (const QByteArray &text : {internicTail(), nameDisclaimer(), registryTail()})
        for (const char *word : {"Expiration", "Registry Domain ID:", "not found", "no match", "No match", "NOT FOUND"})
            QVERIFY2(!text.contains(word), word);
}

void TestVerdicts::verdict_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<int>("role");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("status"); // RDAP only
    QTest::addColumn<int>("pieceSize"); // 0: all at once
    QTest::addColumn<QString>("result");

    struct Case
    {
        const char *tag;
        const char *domain;
        Role role;
        QByteArray reply;
        int status;
        QString result;
    };
    const QList<Case> cases = {
        {".com registered", "qvexample.com", Internic, internicRegistered("QVEXAMPLE.COM", "COM"), 0, Registered},
        {".com free", "qvfree.com", Internic, internicFree("QVFREE.COM"), 0, Free},
        {".net registered", "qvexample.net", Internic, internicRegistered("QVEXAMPLE.NET", "NET"), 0, Registered},
        {".net free", "qvfree.net", Internic, internicFree("QVFREE.NET"), 0, Free},
        {".name registered", "qvexample.name", Name, nameRegistered("QVEXAMPLE.NAME"), 0, Registered},
        {".name free", "qvfree.name", Name, nameFree("QVFREE.NAME"), 0, Free},
        {".cn registered", "abcdefg.cn", Cnnic, cnnicRegistered("abcdefg.cn"), 0, Registered},
        {".cn free", "qvfreename.cn", Cnnic, cnnicFree(), 0, Free},
        {".com.cn registered", "abcdefg.com.cn", Cnnic, cnnicRegistered("abcdefg.com.cn"), 0, Registered},
        {".com.cn free", "qvfreename.com.cn", Cnnic, cnnicFree(), 0, Free},
        {".net.cn registered", "abcdefg.net.cn", Cnnic, cnnicRegistered("abcdefg.net.cn"), 0, Registered},
        {".net.cn free", "qvfreename.net.cn", Cnnic, cnnicFree(), 0, Free},
        {".la registered", "qvexample.la", La, registryRegistered("QVEXAMPLE.LA", "D4123-LANIC"), 0, Registered},
        {".la free", "qvfree.la", La, laFree(), 0, Free},
        {".me registered", "qvexample.me", Me, registryRegistered("QVEXAMPLE.ME", "D4255-AGRS"), 0, Registered},
        {".me free", "qvfree.me", Me, meFree(), 0, Free},
        {".info registered", "qvexample.info", Rdap, rdapDomain("qvexample.info"), 200, Registered},
        {".info free", "qvfree.info", Rdap, rdapNotFound(), 404, Free},
        {".info rate-limited", "qvbusy.info", Rdap, rdapTooMany(), 429, Undecidable},
        {".info server error", "qverror.info", Rdap, QByteArray("{\"errorCode\":500}"), 500, Undecidable},
        {".info unavailable", "qvdown.info", Rdap, QByteArray(), 503, Undecidable},
        // A record and a notice at once: the record wins.
        {"record and No match (InterNIC)", "qvboth.com", Internic,
         internicRegistered("QVBOTH.COM", "COM").replace("   DNSSEC: signedDelegation\r\n",
                                                         "   DNSSEC: signedDelegation\r\nNo match for \"QVBOTH.COM\".\r\n"),
         0, Registered},
        {"record and No match (.la)", "qvboth.la", La,
         "No match for \"QVBOTH.LA\".\r\n" + registryRegistered("QVBOTH.LA", "D4124-LANIC"), 0, Registered},
    };
    for (const Case &c : cases) {
        QTest::newRow(c.tag) << QString::fromLatin1(c.domain) << int(c.role) << c.reply << c.status << 0 << c.result;
        // Marker servers gather their reply; in pieces it must come out the same.
        if (c.role == Internic || c.role == Name)
            QTest::addRow("%s, in pieces", c.tag) << QString::fromLatin1(c.domain) << int(c.role) << c.reply << c.status
                                                   << 300 << c.result;
    }
}

void TestVerdicts::verdict()
{
    QFETCH(QString, domain);
    QFETCH(int, role);
    QFETCH(QByteArray, reply);
    QFETCH(int, status);
    QFETCH(int, pieceSize);
    QFETCH(QString, result);

    serve(role, domain, reply, status, pieceSize);
    Form1 form(config());
    queryOne(form, domain);
    QCOMPARE(resultOf(form, 1), result);
    QCOMPARE(freeNames(form), result == Free ? QStringList{domain} : QStringList());
    // The channel is handed back to the run.
    QCOMPARE(form.Winsockme(0).chanticks, 0);
    QVERIFY(form.Timerme(0).isEnabled() || form.SkinLabel14->text() == QStringLiteral("本次域名批量查询已经正常结束"));
    if (role == Rdap) {
        QCOMPARE(m_rdap->requestedPaths(), QStringList{QStringLiteral("/rdap/domain/") + domain});
    } else {
        QCOMPARE(m_servers[size_t(role)]->received(), QList<QByteArray>{domain.toLatin1() + "\r\n"});
        QTRY_COMPARE_WITH_TIMEOUT(m_servers[size_t(role)]->openConnections(), 0, 5000);
    }
}

void TestVerdicts::neverFreeUnlessSaid_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<int>("role");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("pieceSize");

    struct Case
    {
        const char *tag;
        const char *domain;
        Role role;
        QByteArray reply;
    };
    const QList<Case> cases = {
        {".com registered", "qvexample.com", Internic, internicRegistered("QVEXAMPLE.COM", "COM")},
        {".net registered", "qvexample.net", Internic, internicRegistered("QVEXAMPLE.NET", "NET")},
        {".name registered", "qvexample.name", Name, nameRegistered("QVEXAMPLE.NAME")},
        {".cn registered", "abcdefg.cn", Cnnic, cnnicRegistered("abcdefg.cn")},
        {".com.cn registered", "abcdefg.com.cn", Cnnic, cnnicRegistered("abcdefg.com.cn")},
        {".net.cn registered", "abcdefg.net.cn", Cnnic, cnnicRegistered("abcdefg.net.cn")},
        {".la registered", "qvexample.la", La, registryRegistered("QVEXAMPLE.LA", "D4123-LANIC")},
        {".me registered", "qvexample.me", Me, registryRegistered("QVEXAMPLE.ME", "D4255-AGRS")},
        // Replies that decide nothing.
        {"InterNIC rate limit", "qvbusy.com", Internic,
         "Your connection limit has been reached. Please wait and try again later.\r\n"},
        {".name disclaimer only", "qvcut.name", Name, nameDisclaimer()},
        {"CNNIC rate limit", "qvbusyname.cn", Cnnic, "Queried interval is too short.\n"},
        {"old .info host", "qvold.la", La, "TLD is not supported.\r\n"},
        {".me terms only", "qvterms.me", Me, registryTail()},
    };
    for (const Case &c : cases)
        for (int piece : {0, 120, 700})
            QTest::addRow("%s, pieces of %d", c.tag, piece) << QString::fromLatin1(c.domain) << int(c.role) << c.reply << piece;
}

void TestVerdicts::neverFreeUnlessSaid()
{
    QFETCH(QString, domain);
    QFETCH(int, role);
    QFETCH(QByteArray, reply);
    QFETCH(int, pieceSize);

    serve(role, domain, reply, 0, pieceSize);
    Form1 form(config());
    for (int i = 0; i < Form1::ChannelCount; ++i) {
        form.Timerme(i).setInterval(3600 * 1000);
        form.Timer1(i).setInterval(3600 * 1000);
    }
    form.addRows({domain});
    form.threads = QStringLiteral("1");
    form.Timerme_Timer(0);
    // Either a verdict comes, or the whole reply has been sent and the server hung up.
    QTRY_VERIFY_WITH_TIMEOUT(stateOf(form, 1) == QStringLiteral("查询结束")
                                 || (m_servers[size_t(role)]->connectionCount() == 1 && m_servers[size_t(role)]->openConnections() == 0),
                             8000);
    QTest::qWait(100);
    if (stateOf(form, 1) != QStringLiteral("查询结束")) {
        for (int t = 0; t < 5; ++t)
            form.Timer1_Timer(0);
        QCOMPARE(resultOf(form, 1), TimedOut);
    }
    QVERIFY2(resultOf(form, 1) != Free, qPrintable(resultOf(form, 1)));
    QVERIFY(form.RichTextBox1->toPlainText().isEmpty());
    // A registered record read whole is always found.
    const bool gathered = role == Internic || role == Name || pieceSize == 0;
    if (gathered && (reply.contains("Registry Domain ID:") || reply.contains("Expiration Time:")))
        QCOMPARE(resultOf(form, 1), Registered);
}

void TestVerdicts::rdapRequestAndNoWhois()
{
    serve(Rdap, QStringLiteral("qvexample.info"), rdapDomain("qvexample.info"), 200, 0);
    Form1 form(config());
    queryOne(form, QStringLiteral("qvexample.info"));
    QCOMPARE(resultOf(form, 1), Registered);
    const QList<FakeHttpServer::Request> requests = m_rdap->requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].method, QByteArray("GET"));
    QCOMPARE(requests[0].path, QStringLiteral("/rdap/domain/qvexample.info"));
    for (const auto &s : m_servers)
        QCOMPARE(s->connectionCount(), 0);
}

void TestVerdicts::rdapNetworkErrorIsUndecidable()
{
    ServerConfig c = config();
    {
        // A port that was just free: the connection is refused.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress(QStringLiteral("127.0.0.20"))));
        c.rdapInfo = QStringLiteral("http://127.0.0.20:%1/rdap/").arg(probe.serverPort());
    }
    Form1 form(c);
    queryOne(form, QStringLiteral("qvnowhere.info"));
    QCOMPARE(resultOf(form, 1), Undecidable);
    QVERIFY(form.RichTextBox1->toPlainText().isEmpty());
}

void TestVerdicts::rdapSilentTimesOut()
{
    FakeHttpServer::Response r;
    r.neverAnswer = true;
    m_rdap->setResponse(QStringLiteral("/rdap/domain/qvslow.info"), r);
    Form1 form(config());
    for (int i = 0; i < Form1::ChannelCount; ++i) {
        form.Timerme(i).setInterval(3600 * 1000);
        form.Timer1(i).setInterval(3600 * 1000);
    }
    form.addRows({QStringLiteral("qvslow.info"), QStringLiteral("qvexample.com")});
    form.threads = QStringLiteral("1");
    form.Timerme_Timer(0);
    QTRY_COMPARE_WITH_TIMEOUT(m_rdap->requests().size(), 1, 5000);
    for (int t = 0; t < 4; ++t)
        form.Timer1_Timer(0);
    QCOMPARE(stateOf(form, 1), QStringLiteral("正在查询"));
    form.Timer1_Timer(0);
    QCOMPARE(resultOf(form, 1), TimedOut);
    QVERIFY(form.Timerme(0).isEnabled());
    // The channel moves on to a WHOIS row; the forgotten request writes nothing.
    m_servers[Internic]->setScript(FakeWhoisServer::replyAtOnce(internicRegistered("QVEXAMPLE.COM", "COM")));
    form.Timerme_Timer(0);
    QTRY_COMPARE_WITH_TIMEOUT(resultOf(form, 2), Registered, 5000);
    QCOMPARE(resultOf(form, 1), TimedOut);
}

void TestVerdicts::rdapEndedByUser()
{
    FakeHttpServer::Response r;
    r.status = 404;
    r.body = rdapNotFound();
    r.firstByteDelayMs = 400;
    m_rdap->setResponse(QStringLiteral("/rdap/domain/qvlate.info"), r);
    Form1 form(config());
    for (int i = 0; i < Form1::ChannelCount; ++i) {
        form.Timerme(i).setInterval(3600 * 1000);
        form.Timer1(i).setInterval(3600 * 1000);
    }
    form.addRows({QStringLiteral("qvlate.info")});
    form.threads = QStringLiteral("1");
    form.Timerme_Timer(0);
    QTRY_COMPARE_WITH_TIMEOUT(m_rdap->requests().size(), 1, 5000);
    form.Command7_Click();
    QCOMPARE(resultOf(form, 1), QStringLiteral("用户终止"));
    QTest::qWait(800);
    QCOMPARE(resultOf(form, 1), QStringLiteral("用户终止"));
    QCOMPARE(stateOf(form, 1), QStringLiteral("查询结束"));
    QVERIFY(!form.Timerme(0).isEnabled());
}

QTEST_MAIN(TestVerdicts)
#include "tst_verdicts.moc"
