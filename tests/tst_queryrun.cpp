// The query run in the main window: channels taking rows, the WHOIS exchange over real
// loopback sockets, time-outs, pause / continue / end, the end of a batch, the reset of
// channels when a new list comes in, and servers that misbehave.
#include "FakeHttpServer.h"
#include "FakeWhoisServer.h"

#include "config/ServerConfig.h"
#include "platform/MessageBox.h"
#include "platform/WindowTimer.h"
#include "whois/QueryChannel.h"
#include "whois/ReplyFraming.h"
#include "window/DomainListModel.h"
#include "window/FileDialog.h"
#include "window/Form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <map>
#include <memory>

namespace {

const QString Finished = QStringLiteral("本次域名批量查询已经正常结束");

enum Role { Internic, Cnnic, La, Me, Iana, Name, Biz, EduCn, RoleCount };

// One loopback address per role, all on one port, as a build's configuration has it.
QHostAddress roleAddress(Role r)
{
    return QHostAddress(QStringLiteral("127.0.0.%1").arg(2 + int(r)));
}

QByteArray marker()
{
    return ">>> Last update of whois database: 2024-09-01T10:00:00Z <<<\r\n";
}

QByteArray internicRegistered(const QByteArray &upper)
{
    QByteArray r = "   Domain Name: " + upper + "\r\n"
                   "   Registry Domain ID: 2138514_DOMAIN_COM-VRSN\r\n"
                   "   Registrar WHOIS Server: whois.registrar.test\r\n"
                   "   Updated Date: 2024-08-14T07:01:34Z\r\n"
                   "   Creation Date: 1995-08-14T04:00:00Z\r\n"
                   "   Registry Expiry Date: 2025-08-13T04:00:00Z\r\n"
                   "   Registrar: Example Registrar, Inc.\r\n";
    return r + marker() + "\r\nNOTICE: The expiration date displayed in this record is the date the\r\n"
                          "registrar's sponsorship of the domain name registration is set to expire.\r\n";
}

QByteArray internicFree(const QByteArray &upper)
{
    return "No match for \"" + upper + "\".\r\n" + marker() + "\r\nTERMS OF USE: queries are for lawful purposes only.\r\n";
}

QByteArray cnnicRegistered(const QByteArray &domain)
{
    return "Domain Name: " + domain + "\nROID: 20030312s10001s00033735-cn\nDomain Status: ok\n"
           "Registration Time: 2003-03-17 12:20:05\nExpiration Time: 2030-03-17 12:48:36\nDNSSEC: unsigned\n";
}

QByteArray cnnicFree()
{
    return "No matching record.\n";
}

QByteArray laFree()
{
    return "The queried object does not exist: DOMAIN NOT FOUND\r\n"
           ">>> Last update of WHOIS database: 2024-09-01T10:00:00Z <<<\r\n";
}

QByteArray meRegistered(const QByteArray &upper)
{
    return "Domain Name: " + upper + "\r\nRegistry Domain ID: D425500000000012345-AGRS\r\n"
           "Registry Expiry Date: 2026-01-01T00:00:00Z\r\n"
           ">>> Last update of WHOIS database: 2024-09-01T10:00:00Z <<<\r\n";
}

long rssKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Measures the longest pause of the event loop while it is alive.
struct LoopWatch
{
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
    LoopWatch()
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            worst = qMax(worst, now - last);
            last = now;
        });
        clock.start();
        timer.start();
    }
};

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

// Ticks are driven by hand: no query or time-out timer of the window fires by itself.
void freezeTimers(Form1 &f)
{
    for (int i = 0; i < Form1::ChannelCount; ++i) {
        f.Timerme(i).setInterval(3600 * 1000);
        f.Timer1(i).setInterval(3600 * 1000);
    }
}

// A query run over `domains`, started the way the starters do it, without its timers.
void startByHand(Form1 &f, const QStringList &domains, int channels)
{
    freezeTimers(f);
    f.addRows(domains);
    f.threads = QString::number(channels);
    f.hosttt = 0;
    f.runflag = 1;
    f.Command5->setEnabled(true);
    f.Command7->setEnabled(true);
}

} // namespace

Q_DECLARE_METATYPE(FakeWhoisServer::Script)

class TestQueryRun : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    // The exchange, seen from the window.
    void sendsExactQueryLine_data();
    void sendsExactQueryLine();
    void cnnicReplyInTwoPieces();
    void internicReplyWaitsForMarker();
    void markerAt1240Of1500_data();
    void markerAt1240Of1500();

    // Time-outs.
    void timeoutOnFifthTickAfterClear();
    void timeoutCountsFromLastClear();
    void noTimeoutWhilePaused();
    void noTimeoutPastLastRow();
    void lateReplyReplacesTimeout();

    // The run.
    void tenChannelsThreeRows();
    void importStartsRunWithRealTicks();
    void emptyListFinishesAtFirstTick();
    void scrollRule_data();
    void scrollRule();
    void pauseAndContinue();
    void replyDuringPauseIsSettled();
    void endMarksRowsTakenLast();
    void buttonsAfterEnd_data();
    void buttonsAfterEnd();
    void lateReplyAfterEndTouchesNoRow();

    // End of batch.
    void endOfBatchOnceAfterLastSettles();
    void lastRowTimeoutFinishes();
    void finishWaitsForContinue();

    // A new list resets the channels.
    void importResetsRunningChannels();
    void generationResetsRunningChannels();

    // Servers that misbehave.
    void hostileServer_data();
    void hostileServer();
    void hostileServersOnAllChannels();

    // From the rule to the end of the batch.
    void wholeRunOffscreen();

private:
    ServerConfig config() const;
    FakeWhoisServer &server(Role r) { return *m_servers[size_t(r)]; }
    QString importFile(const QStringList &lines);

    std::array<std::unique_ptr<FakeWhoisServer>, RoleCount> m_servers;
    std::unique_ptr<FakeHttpServer> m_rdap;
    std::unique_ptr<QTemporaryDir> m_dir;
    int m_files = 0;
};

void TestQueryRun::init()
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
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    MessageBox::setHook([](const MessageBox::Shown &) { return MessageBox::Answer::Ok; });
}

void TestQueryRun::cleanup()
{
    FileDialog::setHook(nullptr);
    MessageBox::setHook(nullptr);
    for (auto &s : m_servers)
        s.reset();
    m_rdap.reset();
    m_dir.reset();
}

ServerConfig TestQueryRun::config() const
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

QString TestQueryRun::importFile(const QStringList &lines)
{
    const QString path = m_dir->filePath(QStringLiteral("list%1.txt").arg(++m_files));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    for (const QString &l : lines)
        f.write(l.toLatin1() + "\r\n");
    return path;
}

// --- The exchange -------------------------------------------------------------------------

void TestQueryRun::sendsExactQueryLine_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<int>("role");

    QTest::newRow("x.com") << "x.com" << int(Internic);
    QTest::newRow("x.net") << "x.net" << int(Internic);
    QTest::newRow("x.cn") << "x.cn" << int(Cnnic);
    QTest::newRow("x.com.cn") << "x.com.cn" << int(Cnnic);
    QTest::newRow("x.edu.cn") << "x.edu.cn" << int(Cnnic);
    QTest::newRow("x.la") << "x.la" << int(La);
    QTest::newRow("spaces kept on the line") << " x.la " << int(La);
    QTest::newRow("x.me") << "x.me" << int(Me);
    QTest::newRow("x.name") << "x.name" << int(Name);
    QTest::newRow("x.biz") << "x.biz" << int(Biz);
    QTest::newRow("x.org") << "x.org" << int(Iana);
    QTest::newRow("capitals go to IANA") << "X.COM" << int(Iana);
}

void TestQueryRun::sendsExactQueryLine()
{
    QFETCH(QString, domain);
    QFETCH(int, role);
    for (auto &s : m_servers)
        s->setScript(FakeWhoisServer::neverReply());

    Form1 form(config());
    startByHand(form, {domain}, 4);
    form.Timerme_Timer(3);

    QCOMPARE(form.Winsockme(3).chanrow, 1);
    QCOMPARE(form.Winsockme(3).chandomain, domain);
    QCOMPARE(stateOf(form, 1), QStringLiteral("正在查询"));
    QCOMPARE(resultOf(form, 1), QString());
    QTRY_COMPARE_WITH_TIMEOUT(server(Role(role)).lastReceived(), domain.toLatin1() + "\r\n", 5000);
    for (int r = 0; r < RoleCount; ++r)
        QCOMPARE(server(Role(r)).connectionCount(), r == role ? 1 : 0);
    QCOMPARE(m_rdap->requests().size(), 0);
    // Nothing more is sent on the connection.
    QTest::qWait(100);
    QCOMPARE(server(Role(role)).lastReceived(), domain.toLatin1() + "\r\n");
}

void TestQueryRun::cnnicReplyInTwoPieces()
{
    // Without its second piece the reply decides nothing; with it, it would say registered.
    server(Cnnic).setScript(FakeWhoisServer::replyInPieces(
        {"Domain Name: abcdefg.cn\nROID: 20030312s10001s00033735-cn\n", "Expiration Time: 2030-03-17 12:48:36\n"}, 800));
    Form1 form(config());
    startByHand(form, {"abcdefg.cn"}, 1);
    form.Timerme_Timer(0);

    QTRY_COMPARE_WITH_TIMEOUT(resultOf(form, 1), QStringLiteral("无法获取数据"), 5000);
    QCOMPARE(stateOf(form, 1), QStringLiteral("查询结束"));
    QVERIFY(!form.Winsockme(0).isConnected());
    QTRY_COMPARE_WITH_TIMEOUT(server(Cnnic).openConnections(), 0, 5000);
    QTest::qWait(1000); // the second piece would have come by now
    QCOMPARE(resultOf(form, 1), QStringLiteral("无法获取数据"));
    QVERIFY(form.RichTextBox1->toPlainText().isEmpty());
}

void TestQueryRun::internicReplyWaitsForMarker()
{
    // The verdict is in the first piece, the marker in the second: nothing may be decided
    // before the marker, and then on both pieces together.
    server(Internic).setScript(FakeWhoisServer::replyInPieces(
        {"No match for \"QVFREE.COM\".\r\n", marker() + "\r\nTERMS OF USE: lawful purposes only.\r\n"}, 500));
    Form1 form(config());
    startByHand(form, {"qvfree.com"}, 1);
    form.Timerme_Timer(0);

    QTRY_VERIFY_WITH_TIMEOUT(server(Internic).lastReceived().endsWith("\r\n"), 5000);
    QTest::qWait(250);
    QCOMPARE(stateOf(form, 1), QStringLiteral("正在查询"));
    QCOMPARE(resultOf(form, 1), QString());
    QVERIFY(!form.Timerme(0).isEnabled());

    QTRY_COMPARE_WITH_TIMEOUT(resultOf(form, 1), QStringLiteral("没有被注册"), 5000);
    QCOMPARE(stateOf(form, 1), QStringLiteral("查询结束"));
    QCOMPARE(freeNames(form), QStringList{"qvfree.com"});
    QVERIFY(!form.Winsockme(0).isConnected());
}

void TestQueryRun::markerAt1240Of1500_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("verdictAt");
    QTest::addColumn<QByteArray>("verdict");
    QTest::addColumn<int>("markerAt");
    QTest::addColumn<QString>("result");

    // The marker server: the whole reply up to the marker counts, whichever read holds what.
    QTest::newRow("record in the first read") << "a.com" << int(Internic) << 3 << QByteArray("Registry Domain ID: 1_DOMAIN_COM-VRSN")
                                              << 1240 << "已经被注册";
    QTest::newRow("record in the second read") << "a.com" << int(Internic) << 1100 << QByteArray("Registry Domain ID: 1_DOMAIN_COM-VRSN")
                                               << 1240 << "已经被注册";
    QTest::newRow("no match before the marker") << "a.com" << int(Internic) << 0 << QByteArray("No match for \"A.COM\".")
                                                 << 1240 << "没有被注册";
    QTest::newRow("marker across the first read's end") << "a.com" << int(Internic) << 3 << QByteArray("No match for \"A.COM\".")
                                                        << 985 << "没有被注册";
    QTest::newRow("nothing decisive") << "a.com" << int(Internic) << -1 << QByteArray() << 1240 << "无法获取数据";
    // Any other server: only the first 1000 characters count.
    QTest::newRow("cnnic: verdict past the first read") << "abcdefg.cn" << int(Cnnic) << 1100 << QByteArray("Expiration Time: 2030")
                                                        << 1240 << "无法获取数据";
    QTest::newRow("cnnic: verdict in the first read") << "abcdefg.cn" << int(Cnnic) << 900 << QByteArray("Expiration Time: 2030")
                                                      << 1240 << "已经被注册";
}

void TestQueryRun::markerAt1240Of1500()
{
    QFETCH(QString, domain);
    QFETCH(int, role);
    QFETCH(int, verdictAt);
    QFETCH(QByteArray, verdict);
    QFETCH(int, markerAt);
    QFETCH(QString, result);

    // 1,500 bytes of filler lines, with the verdict and the marker laid over them.
    QByteArray reply;
    while (reply.size() < 1500)
        reply += "% filler text of the registry's notice, kept here to pad the reply\r\n";
    reply.truncate(1500);
    if (verdictAt >= 0)
        reply.replace(verdictAt, verdict.size(), verdict);
    const QByteArray m = ">>> Last update of whois database: 2024-09-01T10:00:00Z <<<";
    reply.replace(markerAt, m.size(), m);
    QCOMPARE(reply.size(), 1500);
    QCOMPARE(reply.indexOf("Last update of whois database"), qsizetype(markerAt + 4));

    server(Role(role)).setScript(FakeWhoisServer::replyAtOnce(reply));
    Form1 form(config());
    startByHand(form, {domain}, 1);
    form.Timerme_Timer(0);
    QTRY_COMPARE_WITH_TIMEOUT(stateOf(form, 1), QStringLiteral("查询结束"), 5000);
    QCOMPARE(resultOf(form, 1), result);
    QCOMPARE(freeNames(form).contains(domain), result == QStringLiteral("没有被注册"));
}

// --- Time-outs ----------------------------------------------------------------------------

void TestQueryRun::timeoutOnFifthTickAfterClear()
{
    server(Internic).setScript(FakeWhoisServer::neverReply());
    Form1 form(config());
    startByHand(form, {"a.com", "b.com"}, 1);
    form.Timerme_Timer(0);
    QVERIFY(form.Timer1(0).isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(server(Internic).connectionCount(), 1, 5000);

    for (int tick = 1; tick <= 4; ++tick) {
        form.Timer1_Timer(0);
        QCOMPARE(form.Winsockme(0).chanticks, tick);
        QCOMPARE(stateOf(form, 1), QStringLiteral("正在查询"));
    }
    form.Timer1_Timer(0);
    QCOMPARE(resultOf(form, 1), QStringLiteral("查询超时"));
    QCOMPARE(stateOf(form, 1), QStringLiteral("查询结束"));
    QVERIFY(form.Timerme(0).isEnabled());
    QVERIFY(!form.Timer1(0).isEnabled());
    QCOMPARE(form.Winsockme(0).chanticks, 0);
    // The connection stays until the next query.
    QCOMPARE(server(Internic).openConnections(), 1);

    // Coming from a time-out: again the fifth tick.
    form.Timerme_Timer(0);
    QCOMPARE(form.Winsockme(0).chanrow, 2);
    QTRY_COMPARE_WITH_TIMEOUT(server(Internic).connectionCount(), 2, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(server(Internic).openConnections(), 1, 5000);
    for (int tick = 1; tick <= 4; ++tick)
        form.Timer1_Timer(0);
    QCOMPARE(stateOf(form, 2), QStringLiteral("正在查询"));
    form.Timer1_Timer(0);
    QCOMPARE(resultOf(form, 2), QStringLiteral("查询超时"));
}

void TestQueryRun::timeoutCountsFromLastClear()
{
    // The counter is cleared by a classification, not by taking a row: ticks that come
    // between the two count towards the next row's time-out.
    server(La).setScript(FakeWhoisServer::replyAtOnce(laFree()));
    server(Me).setScript(FakeWhoisServer::neverReply());
    Form1 form(config());
    startByHand(form, {"qvfree.la", "slow.me"}, 1);
    form.Timerme_Timer(0);
    form.Timer1_Timer(0); // a tick before the reply
    QTRY_COMPARE_WITH_TIMEOUT(resultOf(form, 1), QStringLiteral("没有被注册"), 5000);
    QCOMPARE(form.Winsockme(0).chanticks, 0);
    QVERIFY(form.Timer1(0).isEnabled()); // left running by the classification

    form.Timer1_Timer(0);
    form.Timer1_Timer(0); // the channel is free: no time-out
    QCOMPARE(form.Winsockme(0).chanticks, 2);
    form.Timerme_Timer(0);
    QCOMPARE(form.Winsockme(0).chanrow, 2);
    form.Timer1_Timer(0);
    form.Timer1_Timer(0);
    QCOMPARE(stateOf(form, 2), QStringLiteral("正在查询"));
    form.Timer1_Timer(0);
    QCOMPARE(resultOf(form, 2), QStringLiteral("查询超时"));
}

void TestQueryRun::noTimeoutWhilePaused()
{
    server(Internic).setScript(FakeWhoisServer::neverReply());
    Form1 form(config());
    startByHand(form, {"a.com"}, 2);
    form.Timerme_Timer(0);
    form.Timer1_Timer(0);
    form.Timer1_Timer(0);
    form.Timer1_Timer(0);
    form.Command5_Click();
    QVERIFY(!form.Timer1(0).isEnabled());
    QVERIFY(!form.Timerme(0).isEnabled());
    for (int tick = 0; tick < 10; ++tick)
        form.Timer1_Timer(0);
    QCOMPARE(stateOf(form, 1), QStringLiteral("正在查询"));
    QCOMPARE(resultOf(form, 1), QString());
}

void TestQueryRun::noTimeoutPastLastRow()
{
    server(Internic).setScript(FakeWhoisServer::neverReply());
    Form1 form(config());
    startByHand(form, {"a.com"}, 2);
    form.Timerme_Timer(0);
    form.Timerme_Timer(1);
    QCOMPARE(form.Winsockme(1).chanrow, 2);
    QVERIFY(!form.Timerme(1).isEnabled());
    QVERIFY(form.Timer1(1).isEnabled());
    for (int tick = 0; tick < 12; ++tick)
        form.Timer1_Timer(1);
    QCOMPARE(stateOf(form, 1), QStringLiteral("正在查询"));
    QCOMPARE(resultOf(form, 1), QString());
    QVERIFY(!form.Timerme(1).isEnabled());
    QVERIFY(form.Timer1(1).isEnabled());
    QVERIFY(form.SkinLabel14->text() != Finished);
    QTRY_COMPARE_WITH_TIMEOUT(server(Internic).connectionCount(), 1, 5000);
}

void TestQueryRun::lateReplyReplacesTimeout()
{
    // A reply that comes after the time-out but before the channel's next row still
    // settles that row.
    server(Cnnic).setScript(FakeWhoisServer::replyAfter(500, cnnicFree()));
    server(Me).setScript(FakeWhoisServer::neverReply());
    Form1 form(config());
    startByHand(form, {"qvfreename.cn", "slow.me"}, 2);
    form.Timerme_Timer(0);
    form.Timerme_Timer(1);
    QTRY_COMPARE_WITH_TIMEOUT(server(Cnnic).connectionCount(), 1, 5000);
    for (int tick = 0; tick < 5; ++tick)
        form.Timer1_Timer(0);
    QCOMPARE(resultOf(form, 1), QStringLiteral("查询超时"));
    QTRY_COMPARE_WITH_TIMEOUT(resultOf(form, 1), QStringLiteral("没有被注册"), 5000);
    QCOMPARE(stateOf(form, 1), QStringLiteral("查询结束"));
    QCOMPARE(freeNames(form), QStringList{"qvfreename.cn"});
}

// --- The run ------------------------------------------------------------------------------

void TestQueryRun::tenChannelsThreeRows()
{
    server(Internic).setScript(FakeWhoisServer::neverReply());
    Form1 form(config());
    startByHand(form, {"a.com", "b.com", "c.com"}, 10);
    for (int i = 0; i < 10; ++i) {
        form.Timerme_Timer(i);
        QCOMPARE(form.Winsockme(i).chanrow, i + 1);
        QCOMPARE(form.hosttt, i + 1);
        QVERIFY(!form.Timerme(i).isEnabled());
        QVERIFY(form.Timer1(i).isEnabled());
    }
    QCOMPARE(form.hosttt, 10);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(form.Winsockme(i).chandomain, QStringList({"a.com", "b.com", "c.com"})[i]);
        QCOMPARE(stateOf(form, i + 1), QStringLiteral("正在查询"));
    }
    for (int i = 3; i < 10; ++i)
        QVERIFY(form.Winsockme(i).chandomain.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(server(Internic).connectionCount(), 3, 5000);
    QTest::qWait(100);
    QCOMPARE(server(Internic).connectionCount(), 3);
    // Three queries are still open: the batch has not ended.
    QVERIFY(form.SkinLabel14->text() != Finished);
    QVERIFY(form.Command5->isEnabled());
}

void TestQueryRun::importStartsRunWithRealTicks()
{
    server(Internic).setScript(FakeWhoisServer::neverReply());
    Form1 form(config());
    form.Combo1->setCurrentText(QStringLiteral("10"));
    const QString path = importFile({"a.com", "b.com", "c.com"});
    FileDialog::setHook([path](bool) { return path; });
    form.Command11_Click();
    QCOMPARE(form.hostii, 3);
    QCOMPARE(form.threads, QStringLiteral("10"));
    QCOMPARE(form.runflag, 1);
    QVERIFY(form.Command5->isEnabled());
    QVERIFY(form.Command7->isEnabled());
    for (int i = 0; i < Form1::ChannelCount; ++i) {
        QCOMPARE(form.Timerme(i).isEnabled(), i < 10);
        if (i < 10)
            QCOMPARE(form.Timerme(i).interval(), 100);
    }

    QTRY_COMPARE_WITH_TIMEOUT(form.hosttt, 10, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(server(Internic).connectionCount(), 3, 5000);
    QTest::qWait(300);
    QCOMPARE(form.hosttt, 10);
    QCOMPARE(server(Internic).connectionCount(), 3);
    QList<int> rows;
    for (int i = 0; i < Form1::ChannelCount; ++i) {
        QVERIFY(!form.Timerme(i).isEnabled());
        QCOMPARE(form.Timer1(i).isEnabled(), i < 10);
        if (i < 10)
            rows.append(form.Winsockme(i).chanrow);
    }
    std::sort(rows.begin(), rows.end());
    QCOMPARE(rows, QList<int>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    for (int k = 1; k <= 3; ++k)
        QCOMPARE(stateOf(form, k), QStringLiteral("正在查询"));
}

void TestQueryRun::emptyListFinishesAtFirstTick()
{
    Form1 form(config());
    form.Combo1->setCurrentText(QStringLiteral("5"));
    const QString path = importFile({});
    FileDialog::setHook([path](bool) { return path; });
    form.Command11_Click();
    QCOMPARE(form.hostii, 0);
    QVERIFY(form.Command5->isEnabled());

    QTRY_COMPARE_WITH_TIMEOUT(form.SkinLabel14->text(), Finished, 3000);
    QVERIFY(!form.Command5->isEnabled());
    QVERIFY(!form.Command7->isEnabled());
    QVERIFY(form.Command1->isEnabled());
    QVERIFY(form.Command8->isEnabled());
    // The other channels' first ticks neither open anything nor end the batch again.
    form.SkinLabel14->setText(QStringLiteral("x"));
    form.Command1->setEnabled(false);
    QTest::qWait(400);
    QCOMPARE(form.SkinLabel14->text(), QStringLiteral("x"));
    QVERIFY(!form.Command1->isEnabled());
    QCOMPARE(form.hosttt, 5);
    for (int r = 0; r < RoleCount; ++r)
        QCOMPARE(server(Role(r)).connectionCount(), 0);
}

void TestQueryRun::scrollRule_data()
{
    QTest::addColumn<int>("cursor");
    QTest::addColumn<bool>("scrolls");
    // 80 rows; the row before the one taken is scrolled to only when 1 < hosttt < hostii.
    QTest::newRow("first tick") << 0 << false;
    QTest::newRow("second tick") << 1 << false;
    QTest::newRow("third tick") << 2 << true;
    QTest::newRow("middle") << 40 << true;
    QTest::newRow("last row taken") << 79 << true;
    QTest::newRow("no row left") << 80 << false;
}

void TestQueryRun::scrollRule()
{
    QFETCH(int, cursor);
    QFETCH(bool, scrolls);
    server(Internic).setScript(FakeWhoisServer::neverReply());
    Form1 form(config());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QStringList domains;
    for (int k = 1; k <= 80; ++k)
        domains << QStringLiteral("r%1.com").arg(k);
    startByHand(form, domains, 1);
    form.flushView();
    QScrollBar *bar = form.domainlist->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    // Look from the far end, so a scroll shows.
    if (cursor <= 40)
        bar->setValue(bar->maximum());
    else
        bar->setValue(0);
    const int before = bar->value();

    form.hosttt = cursor;
    form.Timerme_Timer(0);
    form.flushView();
    QCOMPARE(form.hosttt, cursor + 1);
    if (scrolls) {
        const QRect r = form.domainlist->visualRect(form.listModel()->index(cursor - 1, 0));
        QVERIFY2(form.domainlist->viewport()->rect().contains(r.center()), "row hosttt is not in view");
    } else {
        QCOMPARE(bar->value(), before);
    }
}

void TestQueryRun::pauseAndContinue()
{
    server(Internic).setScript(FakeWhoisServer::neverReply());
    Form1 form(config());
    QStringList domains;
    for (int k = 1; k <= 9; ++k)
        domains << QStringLiteral("p%1.com").arg(k);
    startByHand(form, domains, 3);
    form.hosttt = 6;
    form.Timerme_Timer(2);
    QCOMPARE(form.Winsockme(2).chanrow, 7);
    QTRY_COMPARE_WITH_TIMEOUT(server(Internic).openConnections(), 1, 5000);

    form.Command5_Click();
    QCOMPARE(form.runflag, 0);
    for (int i = 0; i < 3; ++i) {
        QVERIFY(!form.Timerme(i).isEnabled());
        QVERIFY(!form.Timer1(i).isEnabled());
    }
    QVERIFY(form.Command6->isEnabled());
    QVERIFY(!form.Command5->isEnabled());
    QVERIFY(form.Command7->isEnabled());
    QVERIFY(form.Command8->isEnabled());
    QCOMPARE(form.SkinLabel14->text(), QStringLiteral("域名注册查询暂停"));
    // A tick while paused does nothing.
    form.Timerme_Timer(0);
    QCOMPARE(form.hosttt, 7);
    QCOMPARE(form.Winsockme(0).chanrow, 0);

    form.Command6_Click();
    QCOMPARE(form.runflag, 1);
    for (int i = 0; i < 3; ++i) {
        QVERIFY(form.Timerme(i).isEnabled());
        QVERIFY(form.Timer1(i).isEnabled());
    }
    for (int i = 3; i < Form1::ChannelCount; ++i)
        QVERIFY(!form.Timerme(i).isEnabled());
    QVERIFY(!form.Command6->isEnabled());
    QVERIFY(form.Command5->isEnabled());
    QVERIFY(form.Command7->isEnabled());
    QVERIFY(!form.Command8->isEnabled());
    QCOMPARE(form.SkinLabel14->text(), QStringLiteral("正在进行域名注册查询"));

    // The waiting channel takes a new row; its old row stays as it was.
    form.Timerme_Timer(2);
    QCOMPARE(form.Winsockme(2).chanrow, 8);
    QCOMPARE(stateOf(form, 7), QStringLiteral("正在查询"));
    QCOMPARE(resultOf(form, 7), QString());
    QCOMPARE(stateOf(form, 8), QStringLiteral("正在查询"));
    // Opening the new query dropped the old connection.
    QTRY_COMPARE_WITH_TIMEOUT(server(Internic).connectionCount(), 2, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(server(Internic).openConnections(), 1, 5000);
}

void TestQueryRun::replyDuringPauseIsSettled()
{
    server(Cnnic).setScript(FakeWhoisServer::replyAfter(400, cnnicFree()));
    Form1 form(config());
    startByHand(form, {"qvfreename.cn", "other.cn"}, 1);
    form.Timerme_Timer(0);
    form.Command5_Click();
    QVERIFY(!form.Timerme(0).isEnabled());

    QTRY_COMPARE_WITH_TIMEOUT(resultOf(form, 1), QStringLiteral("没有被注册"), 5000);
    QCOMPARE(stateOf(form, 1), QStringLiteral("查询结束"));
    QCOMPARE(freeNames(form), QStringList{"qvfreename.cn"});
    QVERIFY(form.Timerme(0).isEnabled()); // restarted by the classification ...
    form.Timerme_Timer(0);                 // ... but its ticks take nothing while paused
    QCOMPARE(form.hosttt, 1);
    QCOMPARE(form.Winsockme(0).chanrow, 1);
    QCOMPARE(stateOf(form, 2), QStringLiteral("等待查询"));
    QVERIFY(form.SkinLabel14->text() != Finished);

    form.Command6_Click();
    form.Timerme_Timer(0);
    QCOMPARE(form.Winsockme(0).chanrow, 2);
}

void TestQueryRun::endMarksRowsTakenLast()
{
    server(La).setScript(FakeWhoisServer::replyAtOnce(laFree()));
    server(Me).setScript(FakeWhoisServer::neverReply());
    Form1 form(config());
    startByHand(form, {"a1.la", "a2.la", "a3.la", "b4.me", "b5.me", "b6.me", "b7.me", "b8.me", "b9.me"}, 2);
    form.Timerme_Timer(0);
    form.Timerme_Timer(1);
    QTRY_COMPARE_WITH_TIMEOUT(form.listModel()->countState(DomainListModel::State::Finished), 2, 5000);
    form.Timerme_Timer(0);
    QTRY_COMPARE_WITH_TIMEOUT(form.listModel()->countState(DomainListModel::State::Finished), 3, 5000);
    form.Timerme_Timer(0);
    form.Timerme_Timer(1);
    QCOMPARE(form.Winsockme(0).chanrow, 4);
    QCOMPARE(form.Winsockme(1).chanrow, 5);
    form.Timer1_Timer(0);

    form.Command7_Click();
    QCOMPARE(form.runflag, 0);
    QCOMPARE(form.SkinLabel14->text(), QStringLiteral("域名查询结束"));
    for (int k = 1; k <= 3; ++k) {
        QCOMPARE(resultOf(form, k), QStringLiteral("没有被注册"));
        QCOMPARE(stateOf(form, k), QStringLiteral("查询结束"));
    }
    for (int k = 4; k <= 5; ++k) {
        QCOMPARE(resultOf(form, k), QStringLiteral("用户终止"));
        QCOMPARE(stateOf(form, k), QStringLiteral("查询结束"));
    }
    for (int k = 6; k <= 9; ++k) {
        QCOMPARE(stateOf(form, k), QStringLiteral("等待查询"));
        QCOMPARE(resultOf(form, k), QString());
    }
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(form.Winsockme(i).chanrow, 0);
        QCOMPARE(form.Winsockme(i).chanticks, 0);
        QVERIFY(!form.Timerme(i).isEnabled());
        QVERIFY(!form.Timer1(i).isEnabled());
    }
    // Ticks that still come take nothing.
    form.Timerme_Timer(0);
    QCOMPARE(form.hosttt, 5);
    for (int tick = 0; tick < 6; ++tick)
        form.Timer1_Timer(1);
    QCOMPARE(resultOf(form, 5), QStringLiteral("用户终止"));
}

void TestQueryRun::buttonsAfterEnd_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("enabled");
    for (int n : {1, 8, 11, 12})
        QTest::addRow("Command%d on", n) << n << true;
    for (int n : {5, 6, 7})
        QTest::addRow("Command%d off", n) << n << false;
}

void TestQueryRun::buttonsAfterEnd()
{
    QFETCH(int, number);
    QFETCH(bool, enabled);
    server(Internic).setScript(FakeWhoisServer::neverReply());
    Form1 form(config());
    startByHand(form, {"a.com", "b.com"}, 2);
    form.Timerme_Timer(0);
    // Everything the other way round first, so each button's state is the end's doing.
    for (int n : {1, 8, 11, 12})
        form.commands()[size_t(n - 1)]->setEnabled(false);
    for (int n : {5, 6, 7})
        form.commands()[size_t(n - 1)]->setEnabled(true);
    form.Command7_Click();
    QCOMPARE(form.commands()[size_t(number - 1)]->isEnabled(), enabled);
}

void TestQueryRun::lateReplyAfterEndTouchesNoRow()
{
    server(Cnnic).setScript(FakeWhoisServer::replyAfter(300, cnnicFree()));
    Form1 form(config());
    startByHand(form, {"qvfreename.cn", "next.cn"}, 1);
    form.Timerme_Timer(0);
    QTRY_COMPARE_WITH_TIMEOUT(server(Cnnic).connectionCount(), 1, 5000);
    form.Command7_Click();
    QCOMPARE(resultOf(form, 1), QStringLiteral("用户终止"));
    QTest::qWait(700);
    QCOMPARE(resultOf(form, 1), QStringLiteral("用户终止"));
    QCOMPARE(stateOf(form, 1), QStringLiteral("查询结束"));
    QCOMPARE(stateOf(form, 2), QStringLiteral("等待查询"));
    QVERIFY(!form.Timerme(0).isEnabled());
    QCOMPARE(form.SkinLabel14->text(), QStringLiteral("域名查询结束"));
}

// --- End of batch -------------------------------------------------------------------------

void TestQueryRun::endOfBatchOnceAfterLastSettles()
{
    server(La).setScript(FakeWhoisServer::replyAtOnce(laFree()));
    server(Cnnic).setScript(FakeWhoisServer::replyAfter(800, cnnicRegistered("abcdefg.cn")));
    server(Me).setScript(FakeWhoisServer::replyAtOnce(meRegistered("QVTAKEN.ME")));
    Form1 form(config());
    startByHand(form, {"qvfree.la", "abcdefg.cn", "qvtaken.me"}, 3);
    for (int i = 0; i < 3; ++i) {
        form.Timerme(i).setInterval(100);
        form.Timerme(i).setEnabled(true);
    }
    // Rows 1 and 3 are settled and every row has been handed out, but row 2 still waits.
    QTRY_COMPARE_WITH_TIMEOUT(form.listModel()->countState(DomainListModel::State::Finished), 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(form.hosttt >= 4, 3000);
    QCOMPARE(stateOf(form, 2), QStringLiteral("正在查询"));
    QVERIFY(form.SkinLabel14->text() != Finished);
    QVERIFY(form.Command5->isEnabled());
    QVERIFY(form.Command7->isEnabled());

    const int slow = form.Winsockme(0).chanrow == 2 ? 0 : form.Winsockme(1).chanrow == 2 ? 1 : 2;
    QCOMPARE(form.Winsockme(slow).chanrow, 2);
    QTRY_COMPARE_WITH_TIMEOUT(resultOf(form, 2), QStringLiteral("已经被注册"), 5000);
    QCOMPARE(form.SkinLabel14->text(), Finished);
    QVERIFY(!form.Command5->isEnabled());
    QVERIFY(!form.Command7->isEnabled());
    QVERIFY(form.Command1->isEnabled());
    QVERIFY(form.Command8->isEnabled());
    QCOMPARE(form.runflag, 1);
    QVERIFY(!form.Timerme(slow).isEnabled());
    QVERIFY(!form.Timer1(slow).isEnabled());
    QCOMPARE(resultOf(form, 1), QStringLiteral("没有被注册"));
    QCOMPARE(resultOf(form, 3), QStringLiteral("已经被注册"));

    // Exactly once: whatever ticks still come, the step does not run again.
    form.SkinLabel14->setText(QStringLiteral("x"));
    form.Command1->setEnabled(false);
    for (int round = 0; round < 3; ++round)
        for (int i = 0; i < 3; ++i) {
            form.Timerme_Timer(i);
            for (int t = 0; t < 5; ++t)
                form.Timer1_Timer(i);
        }
    QTest::qWait(300);
    QCOMPARE(form.SkinLabel14->text(), QStringLiteral("x"));
    QVERIFY(!form.Command1->isEnabled());
}

void TestQueryRun::lastRowTimeoutFinishes()
{
    server(Internic).setScript(FakeWhoisServer::neverReply());
    Form1 form(config());
    startByHand(form, {"a.com"}, 2);
    form.Timerme_Timer(0);
    form.Timerme_Timer(1);
    QVERIFY(form.SkinLabel14->text() != Finished);
    for (int t = 0; t < 5; ++t)
        form.Timer1_Timer(0);
    QCOMPARE(resultOf(form, 1), QStringLiteral("查询超时"));
    QCOMPARE(form.SkinLabel14->text(), Finished);
    QVERIFY(!form.Command5->isEnabled());
    QVERIFY(!form.Command7->isEnabled());
}

void TestQueryRun::finishWaitsForContinue()
{
    server(Cnnic).setScript(FakeWhoisServer::replyAfter(300, cnnicFree()));
    Form1 form(config());
    startByHand(form, {"qvfreename.cn"}, 1);
    form.Timerme_Timer(0);
    form.Command5_Click();
    QTRY_COMPARE_WITH_TIMEOUT(resultOf(form, 1), QStringLiteral("没有被注册"), 5000);
    QCOMPARE(form.SkinLabel14->text(), QStringLiteral("域名注册查询暂停"));
    form.Command6_Click();
    QCOMPARE(form.SkinLabel14->text(), QStringLiteral("正在进行域名注册查询"));
    form.Timerme_Timer(0);
    QCOMPARE(form.SkinLabel14->text(), Finished);
    QVERIFY(!form.Command5->isEnabled());
    QVERIFY(!form.Command7->isEnabled());
}

// --- A new list resets the channels -------------------------------------------------------

void TestQueryRun::importResetsRunningChannels()
{
    // The first run's replies come late and would call every row free.
    server(Cnnic).setScript(FakeWhoisServer::replyAfter(600, cnnicFree()));
    Form1 form(config());
    form.Combo1->setCurrentText(QStringLiteral("2"));
    startByHand(form, {"oldnamea.cn", "oldnameb.cn"}, 2);
    form.Timerme_Timer(0);
    form.Timerme_Timer(1);
    QTRY_COMPARE_WITH_TIMEOUT(server(Cnnic).connectionCount(), 2, 5000);
    for (int t = 0; t < 4; ++t)
        form.Timer1_Timer(0);
    QCOMPARE(form.Winsockme(0).chanticks, 4);

    server(Cnnic).setScript(FakeWhoisServer::neverReply());
    const QString path = importFile({"newnamea.cn", "newnameb.cn"});
    FileDialog::setHook([path](bool) { return path; });
    form.Command11_Click();
    for (int i = 0; i < Form1::ChannelCount; ++i) {
        QCOMPARE(form.Winsockme(i).chanrow, 0);
        QCOMPARE(form.Winsockme(i).chanticks, 0);
        QVERIFY(form.Winsockme(i).chandomain.isEmpty());
        QVERIFY(!form.Timer1(i).isEnabled());
        QVERIFY(!form.Winsockme(i).isConnected());
        QCOMPARE(form.Timerme(i).isEnabled(), i < 2);
    }
    QCOMPARE(form.hosttt, 0);
    QCOMPARE(form.runflag, 1);
    // A time-out tick of the old run reaches nothing.
    for (int t = 0; t < 5; ++t)
        form.Timer1_Timer(0);
    QCOMPARE(stateOf(form, 1), QStringLiteral("等待查询"));
    QCOMPARE(resultOf(form, 1), QString());

    // The new run takes its rows; the old replies never arrive anywhere.
    QTRY_COMPARE_WITH_TIMEOUT(server(Cnnic).connectionCount(), 4, 5000);
    QTest::qWait(900);
    QCOMPARE(form.Winsockme(0).chandomain.startsWith(QLatin1String("newname")), true);
    for (int k = 1; k <= 2; ++k) {
        QCOMPARE(form.listModel()->domain(k), QStringList({"newnamea.cn", "newnameb.cn"})[k - 1]);
        QCOMPARE(stateOf(form, k), QStringLiteral("正在查询"));
        QCOMPARE(resultOf(form, k), QString());
    }
    QVERIFY(form.RichTextBox1->toPlainText().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(server(Cnnic).openConnections(), 2, 5000);
}

void TestQueryRun::generationResetsRunningChannels()
{
    server(Cnnic).setScript(FakeWhoisServer::replyAfter(600, cnnicFree()));
    Form1 form(config());
    form.Combo1->setCurrentText(QStringLiteral("2"));
    startByHand(form, {"oldnamea.cn", "oldnameb.cn"}, 2);
    form.Timerme_Timer(0);
    form.Timerme_Timer(1);
    QTRY_COMPARE_WITH_TIMEOUT(server(Cnnic).connectionCount(), 2, 5000);
    for (int t = 0; t < 4; ++t)
        form.Timer1_Timer(1);

    server(Cnnic).setScript(FakeWhoisServer::replyAtOnce(cnnicRegistered("x")));
    form.domaingz->setText(QStringLiteral("[qa,qb][xy,zw]"));
    for (QCheckBox *c : form.checks())
        c->setChecked(false);
    form.Check2->setChecked(true); // .cn
    form.Command1_Click();
    // Generation runs; no channel may query or time out meanwhile.
    for (int i = 0; i < Form1::ChannelCount; ++i) {
        QCOMPARE(form.Winsockme(i).chanrow, 0);
        QCOMPARE(form.Winsockme(i).chanticks, 0);
        QVERIFY(!form.Timerme(i).isEnabled());
        QVERIFY(!form.Timer1(i).isEnabled());
        QVERIFY(!form.Winsockme(i).isConnected());
    }
    for (int t = 0; t < 5; ++t)
        form.Timer1_Timer(1);

    QTRY_COMPARE_WITH_TIMEOUT(form.SkinLabel14->text(), Finished, 10000);
    QCOMPARE(form.hostii, 4);
    for (int k = 1; k <= 4; ++k)
        QCOMPARE(resultOf(form, k), QStringLiteral("已经被注册"));
    QTest::qWait(700); // past the old replies' time
    for (int k = 1; k <= 4; ++k)
        QCOMPARE(resultOf(form, k), QStringLiteral("已经被注册"));
    QVERIFY(form.RichTextBox1->toPlainText().isEmpty());
}

// --- Servers that misbehave ---------------------------------------------------------------

void TestQueryRun::hostileServer_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<int>("role");
    QTest::addColumn<FakeWhoisServer::Script>("script");
    QTest::addColumn<QString>("result"); // empty: left to the time-out

    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(char((i * 7 + 3) % 256));
    QByteArray binaryWithLines = binary;
    for (int i = 50; i < binaryWithLines.size(); i += 97)
        binaryWithLines[i] = '\n';

    QTest::newRow("endless data, other server") << "abcdefg.cn" << int(Cnnic)
                                                << FakeWhoisServer::streamEndless() << "无法获取数据";
    QTest::newRow("endless data, marker server") << "a.com" << int(Internic)
                                                 << FakeWhoisServer::streamEndless() << QString();
    QTest::newRow("endless line ends, marker server") << "a.com" << int(Internic)
                                                      << FakeWhoisServer::streamEndless(QByteArray(4096, '\n')) << QString();
    QTest::newRow("binary bytes, other server") << "abcdefg.cn" << int(Cnnic)
                                                << FakeWhoisServer::replyAtOnce(binaryWithLines) << "无法获取数据";
    QTest::newRow("binary then marker") << "a.com" << int(Internic)
                                        << FakeWhoisServer::replyAtOnce(binary + "\r\nNo match for \"A.COM\".\r\n" + marker())
                                        << "没有被注册";
    QTest::newRow("endless binary, marker server") << "a.com" << int(Internic)
                                                   << FakeWhoisServer::streamEndless(binary) << QString();
    QTest::newRow("accepts, says nothing") << "a.com" << int(Internic) << FakeWhoisServer::neverReply() << QString();
    QTest::newRow("says nothing, other server") << "x.la" << int(La) << FakeWhoisServer::neverReply() << QString();
    QTest::newRow("closes without a reply") << "x.me" << int(Me) << FakeWhoisServer::closeWithoutReply() << QString();
    QTest::newRow("marker never comes, then closes") << "a.com" << int(Internic)
                                                     << FakeWhoisServer::replyAtOnce(internicRegistered("A.COM").left(300))
                                                     << QString();
}

void TestQueryRun::hostileServer()
{
    QFETCH(QString, domain);
    QFETCH(int, role);
    QFETCH(FakeWhoisServer::Script, script);
    QFETCH(QString, result);

    server(Role(role)).setScript(script);
    Form1 form(config());
    startByHand(form, {domain}, 1);
    const long rss0 = rssKiB();
    LoopWatch watch;
    form.Timerme_Timer(0);
    QTRY_COMPARE_WITH_TIMEOUT(server(Role(role)).connectionCount(), 1, 5000);
    if (!result.isEmpty())
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(form, 1), QStringLiteral("查询结束"), 5000);
    QTest::qWait(1500);
    const long grownKiB = rssKiB() - rss0;
    QVERIFY2(watch.worst < 500, qPrintable(QStringLiteral("event loop stalled %1 ms").arg(watch.worst)));
    QVERIFY2(grownKiB < 32 * 1024, qPrintable(QStringLiteral("grew %1 KiB").arg(grownKiB)));
    const QueryChannel &c = form.Winsockme(0);
    QVERIFY(c.framing().taken() <= ReplyFraming::MaxReply);
    QVERIFY(c.bytesAvailable() <= ReplyFraming::MaxReply);

    if (result.isEmpty()) {
        QCOMPARE(stateOf(form, 1), QStringLiteral("正在查询"));
        for (int t = 0; t < 5; ++t)
            form.Timer1_Timer(0);
        result = QStringLiteral("查询超时");
    }
    QCOMPARE(resultOf(form, 1), result);
    QCOMPARE(stateOf(form, 1), QStringLiteral("查询结束"));
    QCOMPARE(form.SkinLabel14->text(), Finished);
    QCOMPARE(freeNames(form).isEmpty(), result != QStringLiteral("没有被注册"));
}

void TestQueryRun::hostileServersOnAllChannels()
{
    // Twenty marker-server queries flooded at once: memory stays bounded, the window keeps
    // its pace, and every row is settled by its time-out.
    server(Internic).setScript(FakeWhoisServer::streamEndless());
    Form1 form(config());
    QStringList domains;
    for (int k = 1; k <= 20; ++k)
        domains << QStringLiteral("flood%1.com").arg(k);
    startByHand(form, domains, 20);
    const long rss0 = rssKiB();
    LoopWatch watch;
    for (int i = 0; i < 20; ++i)
        form.Timerme_Timer(i);
    QTRY_COMPARE_WITH_TIMEOUT(server(Internic).connectionCount(), 20, 5000);
    QTest::qWait(2000);
    const long grownKiB = rssKiB() - rss0;
    QVERIFY2(watch.worst < 500, qPrintable(QStringLiteral("event loop stalled %1 ms").arg(watch.worst)));
    QVERIFY2(grownKiB < 64 * 1024, qPrintable(QStringLiteral("grew %1 KiB").arg(grownKiB)));
    for (int i = 0; i < 20; ++i) {
        QVERIFY(form.Winsockme(i).framing().taken() <= ReplyFraming::MaxReply);
        QCOMPARE(stateOf(form, i + 1), QStringLiteral("正在查询"));
    }
    for (int i = 0; i < 20; ++i)
        for (int t = 0; t < 5; ++t)
            form.Timer1_Timer(i);
    QCOMPARE(form.listModel()->countResult(DomainListModel::Result::Timeout), 20);
    QCOMPARE(form.SkinLabel14->text(), Finished);
}

// --- A whole run --------------------------------------------------------------------------

void TestQueryRun::wholeRunOffscreen()
{
    server(Internic).setScript(FakeWhoisServer::replyInPieces(
        {internicRegistered("NAME.COM").left(120), internicRegistered("NAME.COM").mid(120)}, 30));
    server(Cnnic).setScript(FakeWhoisServer::replyAtOnce(cnnicFree()));
    server(La).setScript(FakeWhoisServer::replyAtOnce(laFree()));
    // .info over RDAP: the qa names exist, the qb names do not.
    for (const char *label : {"qaxy", "qazw", "qbxy", "qbzw"}) {
        const bool taken = label[1] == 'a';
        m_rdap->setResponse(QStringLiteral("/rdap/domain/%1.info").arg(QLatin1String(label)), taken ? 200 : 404,
                            taken ? QByteArray("{\"objectClassName\":\"domain\"}") : QByteArray("{\"errorCode\":404}"));
    }

    Form1 form(config());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.domaingz->setText(QStringLiteral("[qa,qb][xy,zw]"));
    for (QCheckBox *c : form.checks())
        c->setChecked(false);
    form.Check1->setChecked(true); // .com
    form.Check2->setChecked(true); // .cn
    form.Check5->setChecked(true); // .la
    form.Check9->setChecked(true); // .info
    form.Combo1->setCurrentText(QStringLiteral("3"));
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QVERIFY(form.Timersc->isEnabled());

    QTRY_COMPARE_WITH_TIMEOUT(form.SkinLabel14->text(), Finished, 20000);
    QStringList expected;
    for (const char *label : {"qaxy", "qazw", "qbxy", "qbzw"})
        for (const char *tld : {".com", ".cn", ".la", ".info"})
            expected << QLatin1String(label) + QLatin1String(tld);
    QCOMPARE(form.hostii, expected.size());
    QStringList freeExpected;
    for (int k = 1; k <= form.hostii; ++k) {
        const QString d = form.listModel()->domain(k);
        QCOMPARE(d, expected[k - 1]);
        QCOMPARE(stateOf(form, k), QStringLiteral("查询结束"));
        const bool free = d.endsWith(QLatin1String(".cn")) || d.endsWith(QLatin1String(".la"))
                          || (d.endsWith(QLatin1String(".info")) && d.startsWith(QLatin1String("qb")));
        QCOMPARE(resultOf(form, k), free ? QStringLiteral("没有被注册") : QStringLiteral("已经被注册"));
        if (free)
            freeExpected << d;
    }
    QStringList freeShown = freeNames(form);
    freeShown.sort();
    freeExpected.sort();
    QCOMPARE(freeShown, freeExpected);
    QVERIFY(!form.Command5->isEnabled());
    QVERIFY(!form.Command7->isEnabled());
    QVERIFY(form.Command1->isEnabled());
    QVERIFY(form.Command8->isEnabled());
    QCOMPARE(server(Internic).connectionCount(), 4);
    QCOMPARE(server(Cnnic).connectionCount(), 4);
    QCOMPARE(server(La).connectionCount(), 4);
    QCOMPARE(m_rdap->requests().size(), 4);
}

QTEST_MAIN(TestQueryRun)
#include "tst_queryrun.moc"
