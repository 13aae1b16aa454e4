// The query run in the main window against loopback registries: one fake WHOIS server per
// role (127.0.0.2, 127.0.0.3, ... on one port) and a local RDAP server. Query and time-out
// ticks are driven by hand; only the whole run uses the real 100 ms query ticks.
#include "FakeHttpServer.h"
#include "FakeWhoisServer.h"

#include "whois/QueryChannel.h"
#include "window/DomainListModel.h"
#include "window/Form1.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(FakeWhoisServer::Script)

namespace {

enum Role { Internic, Cnnic, La, Me, Iana, Name, Biz, RoleCount, Rdap = -1 };
const QString Ended = QStringLiteral("本次域名批量查询已经正常结束");
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

QString resultOf(const Form1 &f, int k) { return DomainListModel::resultText(f.listModel()->result(k)); }

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
    void pauseContinueEnd();
    void newRunAfterStaleChannels();

private:
    // A run over `domains` as the starters set it up, its query ticks left to the test.
    std::unique_ptr<Form1> start(const QStringList &domains, int channels);
    FakeWhoisServer &server(int role) { return *m_servers[size_t(role)]; }

    std::array<std::unique_ptr<FakeWhoisServer>, RoleCount> m_servers;
    std::unique_ptr<FakeHttpServer> m_rdap;
};

void TestQueryRun::init()
{
    bool ok = false;
    for (int attempt = 0; attempt < 20 && !ok; ++attempt)
        for (int r = 0; r < RoleCount; ++r) {
            m_servers[size_t(r)] = std::make_unique<FakeWhoisServer>();
            if (!(ok = server(r).listen(QHostAddress(QStringLiteral("127.0.0.%1").arg(r + 2)), r ? server(0).port() : 0)))
                break;
        }
    QVERIFY(ok);
    m_rdap = std::make_unique<FakeHttpServer>();
    QVERIFY(m_rdap->listen());
}

std::unique_ptr<Form1> TestQueryRun::start(const QStringList &domains, int channels)
{
    const auto h = [this](Role r) { return server(r).host(); };
    const ServerConfig c{h(Internic), h(Cnnic), h(La), h(Me), h(Iana), h(Iana), h(Name), h(Biz),
                         m_rdap->baseUrl() + QStringLiteral("/rdap/"), server(Internic).port(), {}};
    auto f = std::make_unique<Form1>(c);
    f->addRows(domains);
    f->threads = QString::number(channels);
    f->Command5->setEnabled(true);
    f->Command7->setEnabled(true);
    return f;
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
    QTest::newRow("CNNIC in two pieces: the whole decides") << "abcdefg.cn" << int(Cnnic)
        << FakeWhoisServer::replyInPieces({"Domain Name: abcdefg.cn\n", cnnic("abcdefg.cn", true)}, 300) << 0 << Registered;
    QTest::newRow("InterNIC decides with its marker") << "qvtaken.com" << int(Internic)
        << FakeWhoisServer::replyInPieces({"   Domain Name: QVTAKEN.COM\r\n", internic("QVTAKEN.COM", true)}, 300) << 0 << Registered;
    QTest::newRow("endless data, no marker server") << "abcdefg.cn" << int(Cnnic) << FakeWhoisServer::streamEndless() << 0 << Undecidable;
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
        m_rdap->setResponse(QStringLiteral("/rdap/domain/") + domain, {status, "{\"objectClassName\":\"domain\"}"});
    else
        server(role).setScript(script);
    auto f = start({domain}, 1);
    f->Timerme_Timer(0);
    QTRY_COMPARE_WITH_TIMEOUT(f->SkinLabel14->text(), Ended, 5000);
    QCOMPARE(resultOf(*f, 1), result);
    QCOMPARE(f->RichTextBox1->toPlainText(), result == Free ? domain + QLatin1Char('\n') : QString());
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
    QTest::newRow("endless data, marker server: judged at 64 KiB") << "endless" << 0 << 0 << Undecidable;
}

void TestQueryRun::timeout()
{
    QFETCH(QString, mode);
    const bool endless = mode == QLatin1String("endless");
    QFETCH(int, channel);
    QFETCH(int, ticks);
    QFETCH(QString, result);
    if (endless)
        server(Internic).setScript(FakeWhoisServer::streamEndless());
    auto f = start({QStringLiteral("a.com")}, 2);
    f->Timerme_Timer(0);
    f->Timerme_Timer(1); // finds no row
    const QueryChannel &c = f->Winsockme(0);
    if (endless) { // 64 KiB without a marker: judged on what came
        QTRY_VERIFY_WITH_TIMEOUT(c.framing().overLimit() && !c.isConnected(), 10000);
        QCOMPARE(c.framing().taken(), ReplyFraming::MaxReply);
    }
    if (mode == QLatin1String("pause"))
        f->Command5_Click();
    for (int t = 0; t < ticks; ++t)
        f->Timer1_Timer(channel);
    QCOMPARE(resultOf(*f, 1), result);
    QCOMPARE(f->listModel()->state(1) == DomainListModel::State::Querying, result.isEmpty());
    // A run whose last row timed out is over.
    QCOMPARE(f->SkinLabel14->text() == Ended, !result.isEmpty());
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
    auto f = start(QStringList{"a.com", "b.com", "c.com"}.mid(0, rows), channels);
    for (int i = 0; i < channels; ++i) {
        f->Timerme_Timer(i);
        QCOMPARE(f->Winsockme(i).chanrow, i + 1);
        if (f->SkinLabel14->text() == Ended) { // at the first tick that finds no row left, once
            QCOMPARE(i, rows);
            f->SkinLabel14->clear();
        }
    }
    QCOMPARE(f->hosttt, channels);
    QTRY_COMPARE_WITH_TIMEOUT(server(Internic).connectionCount(), rows, 5000); // rows past the last open nothing
    // Queries still waiting keep the run going; an empty one is over.
    QCOMPARE(f->SkinLabel14->text().isEmpty(), rows == 0);
    QCOMPARE(f->Command5->isEnabled() && f->Command7->isEnabled(), rows > 0);
}

void TestQueryRun::pauseContinueEnd()
{
    auto f = start(QStringLiteral("p1.com p2.com p3.com p4.com p5.com p6.com p7.com p8.com p9.com").split(QLatin1Char(' ')), 2);
    f->hosttt = 3; // rows 1 to 3 were handed out before
    f->Timerme_Timer(0);
    f->Timerme_Timer(1);
    f->Command5_Click();
    QCOMPARE(f->SkinLabel14->text(), QStringLiteral("域名注册查询暂停"));
    QVERIFY(f->Command6->isEnabled() && !f->Command5->isEnabled());
    f->Timerme_Timer(0);
    QCOMPARE(f->hosttt, 5); // a paused run takes no row
    f->Command6_Click();
    QCOMPARE(f->SkinLabel14->text(), QStringLiteral("正在进行域名注册查询"));
    QVERIFY(!f->Command6->isEnabled() && f->Command5->isEnabled());

    // Each button the other way round first, so what follows is the end's doing.
    for (int n : {1, 8, 11, 12})
        f->commands()[size_t(n - 1)]->setEnabled(false);
    f->Command6->setEnabled(true);
    f->Command7_Click();
    QCOMPARE(f->SkinLabel14->text(), QStringLiteral("域名查询结束"));
    for (int k = 1; k <= 9; ++k)
        QCOMPARE(resultOf(*f, k), k == 4 || k == 5 ? QStringLiteral("用户终止") : QString());
    for (int n : {1, 5, 6, 7, 8, 11, 12})
        QCOMPARE(f->commands()[size_t(n - 1)]->isEnabled(), n == 1 || n >= 8);
}

void TestQueryRun::newRunAfterStaleChannels()
{
    // An earlier run's channel waits for a late reply that would call its row free, and
    // has counted four time-out ticks.
    server(Cnnic).setScript(FakeWhoisServer::replyAfter(500, cnnic("", false)));
    auto f = start({QStringLiteral("oldname.cn")}, 1);
    f->Timerme_Timer(0);
    for (int t = 0; t < 4; ++t)
        f->Timer1_Timer(0);
    QTRY_COMPARE_WITH_TIMEOUT(server(Cnnic).connectionCount(), 1, 5000);

    server(Internic).setScript(FakeWhoisServer::replyInPieces({internic("X.COM", true).left(700), internic("X.COM", true).mid(700)}, 30));
    server(Cnnic).setScript(FakeWhoisServer::replyAtOnce(cnnic("", false)));
    f->show();
    f->domaingz->setText(QStringLiteral("[qa,qb][xy,zw]"));
    for (QCheckBox *box : f->checks())
        box->setChecked(box == f->Check1 || box == f->Check2);
    QTest::mouseClick(f->Command1, Qt::LeftButton);
    for (int i = 0; i < Form1::ChannelCount; ++i) // no late reply or tick of the old run reaches the new list
        QVERIFY(f->Winsockme(i).chanrow == 0 && f->Winsockme(i).chanticks == 0 && !f->Winsockme(i).isConnected()
                && f->Winsockme(i).chandomain.isEmpty() && !f->Timer1(i).isEnabled());

    QTRY_COMPARE_WITH_TIMEOUT(f->SkinLabel14->text(), Ended, 20000);
    QTest::qWait(500); // past the old reply's time
    QCOMPARE(f->listModel()->countResult(DomainListModel::Result::Registered), 4); // the .com names
    QStringList shown = f->RichTextBox1->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    shown.sort();
    QCOMPARE(shown, QStringList({"qaxy.cn", "qazw.cn", "qbxy.cn", "qbzw.cn"}));
}

QTEST_MAIN(TestQueryRun)
#include "tst_queryrun.moc"
