#include "FakeHttpServer.h"
#include "FakeWhoisServer.h"

#include "whois/QueryChannel.h"
#include "whois/ReplyClassifier.h"
#include "whois/WhoisServers.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <optional>

namespace {

const QHostAddress InternicAddress(QStringLiteral("127.0.0.2"));
const QHostAddress CnnicAddress(QStringLiteral("127.0.0.3"));

QByteArray updateLine()
{
    return ">>> Last update of whois database: 2024-09-01T10:00:00Z <<<\r\n";
}

// Drives a channel the way the window does: send the line on connect, take reads on
// data, close once a text is ready.
struct Driver
{
    QueryChannel &ch;
    std::optional<QString> text;
    int dataEvents = 0;
    std::vector<QMetaObject::Connection> links;

    explicit Driver(QueryChannel &channel) : ch(channel)
    {
        links.push_back(QObject::connect(&ch, &QueryChannel::connected, [this] { ch.sendLine(ch.chandomain); }));
        links.push_back(QObject::connect(&ch, &QueryChannel::dataArrived, [this] {
            ++dataEvents;
            if (text)
                return;
            text = ch.takeReply();
            if (text)
                ch.close();
        }));
    }
    ~Driver()
    {
        for (const auto &l : links)
            QObject::disconnect(l);
    }
};

} // namespace

class TestQueryChannel : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startsIdle();
    void sendsExactQueryLine_data();
    void sendsExactQueryLine();
    void otherServerClassifiedOnFirstPiece();
    void markerServerWaitsForMarkerPiece();
    void markerReplyOf1500Bytes();
    void replyAfterDelay();
    void silentServers_data();
    void silentServers();
    void readIsLatin1AndCapped();
    void resetAbortsConnection();
    void newQueryDropsOldConnection();
    void endlessStreamFromMarkerServerIsCutOff();
    void unreadEndlessStreamStaysBounded();
    void refusedConnectionIsSilent();

    void rdapStatus_data();
    void rdapStatus();
    void rdapNetworkError();
    void rdapLongBodyBounded();
    void rdapResetCancels();
    void rdapThenWhoisOnSameChannel();

private:
    WhoisTarget target(const FakeWhoisServer &server, bool marker) const;
    ServerConfig configFor(quint16 port, const QString &rdapBase = QString()) const;

    std::unique_ptr<FakeWhoisServer> m_internic;
    std::unique_ptr<FakeWhoisServer> m_cnnic;
};

void TestQueryChannel::init()
{
    // One address per role, both on one port, as a build's configuration has it.
    for (int attempt = 0; attempt < 10; ++attempt) {
        m_internic = std::make_unique<FakeWhoisServer>();
        m_cnnic = std::make_unique<FakeWhoisServer>();
        QVERIFY(m_internic->listen(InternicAddress));
        if (m_cnnic->listen(CnnicAddress, m_internic->port()))
            return;
    }
    QFAIL("no common port for the fake servers");
}

void TestQueryChannel::cleanup()
{
    m_internic.reset();
    m_cnnic.reset();
}

ServerConfig TestQueryChannel::configFor(quint16 port, const QString &rdapBase) const
{
    ServerConfig c;
    c.internic = InternicAddress.toString();
    c.cnnic = CnnicAddress.toString();
    c.la = c.me = c.iana = c.educn = c.biz = QStringLiteral("127.0.0.9");
    c.name = QStringLiteral("127.0.0.10");
    c.rdapInfo = rdapBase;
    c.whoisPort = port;
    return c;
}

WhoisTarget TestQueryChannel::target(const FakeWhoisServer &server, bool marker) const
{
    WhoisTarget t;
    t.kind = WhoisTarget::Whois;
    t.host = server.host();
    t.port = server.port();
    t.marker = marker;
    return t;
}

void TestQueryChannel::startsIdle()
{
    QueryChannel ch(7);
    QCOMPARE(ch.index(), 7);
    QVERIFY(!ch.Timerme.isEnabled());
    QVERIFY(!ch.Timer1.isEnabled());
    QCOMPARE(ch.Timerme.interval(), 100);
    QCOMPARE(ch.Timer1.interval(), 10000);
    QCOMPARE(ch.chanrow, 0);
    QCOMPARE(ch.chanticks, 0);
    QVERIFY(ch.chandomain.isEmpty());
    QVERIFY(!ch.isConnected());
    QCOMPARE(ch.bytesAvailable(), qint64(0));
    QVERIFY(!ch.takeReply());
}

void TestQueryChannel::sendsExactQueryLine_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("x.com") << "x.com" << QByteArray("x.com\r\n");
    QTest::newRow("spaces kept") << " x.com " << QByteArray(" x.com \r\n");
    QTest::newRow("case kept") << "Ab.Com" << QByteArray("Ab.Com\r\n");
    QTest::newRow("Latin-1 byte") << QString::fromLatin1("\xe9t\xe9.com") << QByteArray("\xe9t\xe9.com\r\n");
}

void TestQueryChannel::sendsExactQueryLine()
{
    QFETCH(QString, domain);
    QFETCH(QByteArray, bytes);

    m_internic->setScript(FakeWhoisServer::neverReply());
    QueryChannel ch(3);
    Driver d(ch);
    QSignalSpy connectedSpy(&ch, &QueryChannel::connected);
    ch.chandomain = domain;
    // The window asks the table: x.com goes to the InterNIC host on the configured port.
    const WhoisTarget t = WhoisServers(configFor(m_internic->port())).domain(QStringLiteral("x.com"));
    ch.openQuery(t);
    QVERIFY(connectedSpy.wait(5000));
    QTRY_COMPARE_WITH_TIMEOUT(m_internic->lastReceived(), bytes, 5000);
    QCOMPARE(m_internic->connectionCount(), 1);
    QCOMPARE(m_cnnic->connectionCount(), 0);
    QCOMPARE(ch.peerName(), InternicAddress.toString());
    QCOMPARE(ch.chandomain, domain);
}

void TestQueryChannel::otherServerClassifiedOnFirstPiece()
{
    m_cnnic->setScript(FakeWhoisServer::replyInPieces(
        {"Domain Name: abcd.cn\nROID: 20030312s10001s00012345-cn\n",
         "Expiration Time: 2030-03-12 12:00:00\n"},
        300));
    QueryChannel ch(0);
    Driver d(ch);
    ch.chandomain = QStringLiteral("abcd.cn");
    ch.openQuery(WhoisServers(configFor(m_cnnic->port())).domain(ch.chandomain));
    QVERIFY(!ch.framing().markerServer());

    QTRY_VERIFY_WITH_TIMEOUT(d.text.has_value(), 5000);
    QCOMPARE(*d.text, QStringLiteral("Domain Name: abcd.cn\r\nROID: 20030312s10001s00012345-cn\r\n"));
    // Without the second piece the reply says nothing either way.
    QCOMPARE(ReplyClassifier::classify(ch.chandomain, *d.text), ReplyClassifier::Undecidable);
    QVERIFY(!ch.isConnected());
    QTRY_COMPARE_WITH_TIMEOUT(m_cnnic->openConnections(), 0, 5000);
    QTest::qWait(400);
    QCOMPARE(d.dataEvents, 1);
}

void TestQueryChannel::markerServerWaitsForMarkerPiece()
{
    const QByteArray first = "   Domain Name: X.COM\r\n   Registry Domain ID: 2138514_DOMAIN_COM-VRSN\r\n"
                             "   Registry Expiry Date: 2030-01-01T00:00:00Z\r\n";
    const QByteArray second = updateLine() + "\r\nNOTICE: The expiration date displayed in this record\r\n";
    m_internic->setScript(FakeWhoisServer::replyInPieces({first, second}, 400));

    QueryChannel ch(1);
    Driver d(ch);
    ch.chandomain = QStringLiteral("x.com");
    ch.openQuery(WhoisServers(configFor(m_internic->port())).domain(ch.chandomain));
    QVERIFY(ch.framing().markerServer());

    QTRY_VERIFY_WITH_TIMEOUT(d.dataEvents >= 1, 5000);
    QVERIFY(!d.text);
    QVERIFY(ch.isConnected());
    QTRY_VERIFY_WITH_TIMEOUT(d.text.has_value(), 5000);
    QCOMPARE(*d.text, ReplyFraming::lfToCrLf(QString::fromLatin1(first + second)));
    QCOMPARE(ReplyClassifier::classify(ch.chandomain, *d.text), ReplyClassifier::Registered);
}

void TestQueryChannel::markerReplyOf1500Bytes()
{
    // The record comes first; the marker at byte 1,240; a free name says so on line 1.
    QByteArray reply = "No match for \"NI0BAAA.COM\".\r\n";
    reply += QByteArray(1240 - reply.size() - 2, '-') + "\r\n";
    reply += updateLine();
    reply += QByteArray(1500 - reply.size(), 't');
    QCOMPARE(reply.size(), 1500);
    QCOMPARE(reply.indexOf("Last update"), 1240 + 4);
    m_internic->setScript(FakeWhoisServer::replyAtOnce(reply));

    QueryChannel ch(2);
    Driver d(ch);
    ch.chandomain = QStringLiteral("ni0baaa.com");
    ch.openQuery(WhoisServers(configFor(m_internic->port())).domain(ch.chandomain));
    QTRY_VERIFY_WITH_TIMEOUT(d.text.has_value(), 5000);
    QCOMPARE(d.text->size(), 1500 + reply.count('\n')); // each LF gains a CR
    QVERIFY(d.text->startsWith(QLatin1String("No match")));
    QCOMPARE(ReplyClassifier::classify(ch.chandomain, *d.text), ReplyClassifier::Free);
}

void TestQueryChannel::replyAfterDelay()
{
    m_cnnic->setScript(FakeWhoisServer::replyAfter(300, "No matching record.\r\n"));
    QueryChannel ch(4);
    Driver d(ch);
    ch.chandomain = QStringLiteral("qzq8x.cn");
    QElapsedTimer clock;
    clock.start();
    ch.openQuery(WhoisServers(configFor(m_cnnic->port())).domain(ch.chandomain));
    QTRY_VERIFY_WITH_TIMEOUT(d.text.has_value(), 5000);
    QVERIFY(clock.elapsed() >= 250);
    QCOMPARE(*d.text, QStringLiteral("No matching record.\r\r\n"));
    QCOMPARE(ReplyClassifier::classify(ch.chandomain, *d.text), ReplyClassifier::Free);
}

void TestQueryChannel::silentServers_data()
{
    QTest::addColumn<bool>("closes");
    QTest::newRow("never replies") << false;
    QTest::newRow("closes without a reply") << true;
}

void TestQueryChannel::silentServers()
{
    QFETCH(bool, closes);
    m_cnnic->setScript(closes ? FakeWhoisServer::closeWithoutReply() : FakeWhoisServer::neverReply());
    QueryChannel ch(5);
    Driver d(ch);
    ch.chandomain = QStringLiteral("abcd.cn");
    ch.openQuery(WhoisServers(configFor(m_cnnic->port())).domain(ch.chandomain));
    QTRY_COMPARE_WITH_TIMEOUT(m_cnnic->connectionCount(), 1, 5000);
    QTest::qWait(300);
    // Nothing to classify: the time-out settles such a row.
    QVERIFY(!d.text);
    QVERIFY(!ch.takeReply());
    QCOMPARE(ch.bytesAvailable(), qint64(0));
}

void TestQueryChannel::readIsLatin1AndCapped()
{
    QByteArray bytes;
    for (int i = 0; i < 2500; ++i)
        bytes.append(char(i % 256));
    m_cnnic->setScript(FakeWhoisServer::replyAtOnce(bytes));
    QueryChannel ch(6);
    connect(&ch, &QueryChannel::connected, &ch, [&ch] { ch.sendLine(QStringLiteral("abcd.cn")); });
    ch.openQuery(target(*m_cnnic, false));
    QTRY_COMPARE_WITH_TIMEOUT(ch.bytesAvailable(), qint64(2500), 5000);
    const QString a = ch.read();
    const QString b = ch.read();
    const QString c = ch.read();
    QCOMPARE(a.size(), 1000);
    QCOMPARE(b.size(), 1000);
    QCOMPARE(c.size(), 500);
    QCOMPARE(a + b + c, QString::fromLatin1(bytes));
    QCOMPARE(ch.bytesAvailable(), qint64(0));
}

void TestQueryChannel::resetAbortsConnection()
{
    m_internic->setScript(FakeWhoisServer::neverReply());
    QueryChannel ch(9);
    Driver d(ch);
    QSignalSpy connectedSpy(&ch, &QueryChannel::connected);
    ch.chandomain = QStringLiteral("x.com");
    ch.chanrow = 12;
    ch.chanticks = 3;
    ch.openQuery(target(*m_internic, true));
    ch.Timerme.setEnabled(true);
    ch.Timer1.setEnabled(true);
    QVERIFY(connectedSpy.wait(5000));
    QTRY_COMPARE_WITH_TIMEOUT(m_internic->openConnections(), 1, 5000);

    ch.reset();
    QVERIFY(!ch.Timerme.isEnabled());
    QVERIFY(!ch.Timer1.isEnabled());
    QCOMPARE(ch.chanrow, 0);
    QCOMPARE(ch.chanticks, 0);
    QVERIFY(ch.chandomain.isEmpty());
    QVERIFY(!ch.isConnected());
    QCOMPARE(ch.socket().state(), QAbstractSocket::UnconnectedState);
    QVERIFY(ch.peerName().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(m_internic->openConnections(), 0, 5000);
}

void TestQueryChannel::newQueryDropsOldConnection()
{
    // The old server answers late; that answer must not reach the new query.
    m_internic->setScript(FakeWhoisServer::replyAfter(300, "Registry Domain ID: OLD\r\n" + updateLine()));
    m_cnnic->setScript(FakeWhoisServer::replyAfter(500, "No matching record.\r\n"));
    QueryChannel ch(10);
    Driver d(ch);
    QSignalSpy line(m_internic.get(), &FakeWhoisServer::lineReceived);
    ch.chandomain = QStringLiteral("old.com");
    ch.openQuery(target(*m_internic, true));
    QVERIFY(line.wait(5000));

    ch.chandomain = QStringLiteral("newer.cn");
    ch.openQuery(target(*m_cnnic, false));
    QTRY_COMPARE_WITH_TIMEOUT(m_internic->openConnections(), 0, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(d.text.has_value(), 5000);
    QCOMPARE(*d.text, QStringLiteral("No matching record.\r\r\n"));
    QCOMPARE(m_cnnic->lastReceived(), QByteArray("newer.cn\r\n"));
}

void TestQueryChannel::endlessStreamFromMarkerServerIsCutOff()
{
    m_internic->setScript(FakeWhoisServer::streamEndless(QByteArray(4096, 'x')));
    QueryChannel ch(11);
    Driver d(ch);
    ch.chandomain = QStringLiteral("x.com");
    ch.openQuery(target(*m_internic, true));
    QTRY_VERIFY_WITH_TIMEOUT(ch.framing().overLimit(), 10000);
    QVERIFY(!d.text);
    QCOMPARE(ch.framing().taken(), ReplyFraming::MaxReply);
    QCOMPARE(ch.socket().state(), QAbstractSocket::UnconnectedState);
    QTRY_COMPARE_WITH_TIMEOUT(m_internic->openConnections(), 0, 5000);
    QCOMPARE(ch.bytesAvailable(), qint64(0));
}

void TestQueryChannel::unreadEndlessStreamStaysBounded()
{
    // Nobody reads (a handler that never comes): the socket must not buffer without end.
    m_cnnic->setScript(FakeWhoisServer::streamEndless(QByteArray(4096, 'y')));
    QueryChannel ch(12);
    connect(&ch, &QueryChannel::connected, &ch, [&ch] { ch.sendLine(QStringLiteral("abcd.cn")); });
    ch.openQuery(target(*m_cnnic, false));
    QTRY_VERIFY_WITH_TIMEOUT(m_cnnic->bytesSent() > 4 * ReplyFraming::MaxReply, 10000);
    QTest::qWait(200);
    QVERIFY(ch.bytesAvailable() > 0);
    QVERIFY(ch.bytesAvailable() <= ReplyFraming::MaxReply);
    // The first read of it still comes through, at most 1000 characters.
    const auto text = ch.takeReply();
    QVERIFY(text);
    QCOMPARE(text->size(), 1000);
    ch.close();
    QTRY_COMPARE_WITH_TIMEOUT(m_cnnic->openConnections(), 0, 5000);
}

void TestQueryChannel::refusedConnectionIsSilent()
{
    // A port nobody listens on: no event reaches the window, the time-out settles it.
    quint16 closedPort = 0;
    {
        FakeWhoisServer probe;
        QVERIFY(probe.listen(InternicAddress));
        closedPort = probe.port();
    }
    QueryChannel ch(13);
    QSignalSpy connectedSpy(&ch, &QueryChannel::connected);
    QSignalSpy dataSpy(&ch, &QueryChannel::dataArrived);
    WhoisTarget t = target(*m_internic, true);
    t.port = closedPort;
    ch.chandomain = QStringLiteral("x.com");
    ch.openQuery(t);
    QTRY_COMPARE_WITH_TIMEOUT(ch.socket().state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(connectedSpy.count(), 0);
    QCOMPARE(dataSpy.count(), 0);
}

void TestQueryChannel::rdapStatus_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("verdict");

    QTest::newRow("404 free") << "qzq8x.info" << 404 << int(ReplyClassifier::Free);
    QTest::newRow("200 registered") << "google.info" << 200 << int(ReplyClassifier::Registered);
    QTest::newRow("429 undecidable") << "busy.info" << 429 << int(ReplyClassifier::Undecidable);
    QTest::newRow("503 undecidable") << "down.info" << 503 << int(ReplyClassifier::Undecidable);
}

void TestQueryChannel::rdapStatus()
{
    QFETCH(QString, domain);
    QFETCH(int, status);
    QFETCH(int, verdict);

    FakeHttpServer http;
    QVERIFY(http.listen(QHostAddress::LocalHost));
    const QString path = QStringLiteral("/rdap/domain/") + domain;
    http.setResponse(path, status,
                     status == 200 ? QByteArray("{\"objectClassName\":\"domain\",\"ldhName\":\"X.INFO\"}")
                                   : QByteArray("{\"errorCode\":") + QByteArray::number(status) + "}");

    QueryChannel ch(14);
    QSignalSpy done(&ch, &QueryChannel::rdapFinished);
    ch.chandomain = domain;
    const WhoisTarget t = WhoisServers(configFor(43, http.baseUrl() + QStringLiteral("/rdap/"))).domain(domain);
    QCOMPARE(t.kind, WhoisTarget::Rdap);
    ch.openQuery(t);
    QVERIFY(ch.rdapPending());
    QVERIFY(done.wait(5000));
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.at(0).at(0).toInt(), status);
    QCOMPARE(int(ReplyClassifier::classifyRdap(status)), verdict);
    QCOMPARE(http.requestedPaths(), QStringList{path});
    QVERIFY(!ch.rdapPending());
    QVERIFY(!ch.rdapBody().isEmpty());
    // No WHOIS connection is made for an RDAP role.
    QCOMPARE(m_internic->connectionCount() + m_cnnic->connectionCount(), 0);
}

void TestQueryChannel::rdapNetworkError()
{
    quint16 closedPort = 0;
    {
        FakeHttpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.port();
    }
    QueryChannel ch(15);
    QSignalSpy done(&ch, &QueryChannel::rdapFinished);
    ch.chandomain = QStringLiteral("x.info");
    WhoisTarget t;
    t.kind = WhoisTarget::Rdap;
    t.rdapBase = QStringLiteral("http://127.0.0.1:%1/rdap/").arg(closedPort);
    ch.openQuery(t);
    QVERIFY(done.wait(5000));
    QCOMPARE(done.at(0).at(0).toInt(), 0);
    QCOMPARE(ReplyClassifier::classifyRdap(0), ReplyClassifier::Undecidable);
}

void TestQueryChannel::rdapLongBodyBounded()
{
    FakeHttpServer http;
    QVERIFY(http.listen(QHostAddress::LocalHost));
    FakeHttpServer::Response r;
    r.status = 200;
    r.body = QByteArray(1024 * 1024, 'b');
    r.pieceSize = 16 * 1024;
    http.setResponse(QStringLiteral("/rdap/domain/big.info"), r);

    QueryChannel ch(16);
    QSignalSpy done(&ch, &QueryChannel::rdapFinished);
    ch.chandomain = QStringLiteral("big.info");
    WhoisTarget t;
    t.kind = WhoisTarget::Rdap;
    t.rdapBase = http.baseUrl() + QStringLiteral("/rdap/");
    ch.openQuery(t);
    QVERIFY(done.wait(10000));
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.at(0).at(0).toInt(), 200);
    QVERIFY(ch.rdapBody().size() <= QueryChannel::MaxBody);
    QVERIFY(ch.rdapBodyTruncated());
    QTest::qWait(200);
    QCOMPARE(done.count(), 1);
}

void TestQueryChannel::rdapResetCancels()
{
    FakeHttpServer http;
    QVERIFY(http.listen(QHostAddress::LocalHost));
    FakeHttpServer::Response r;
    r.neverAnswer = true;
    http.setResponse(QStringLiteral("/rdap/domain/slow.info"), r);

    QueryChannel ch(17);
    QSignalSpy done(&ch, &QueryChannel::rdapFinished);
    QSignalSpy asked(&http, &FakeHttpServer::requestReceived);
    ch.chandomain = QStringLiteral("slow.info");
    WhoisTarget t;
    t.kind = WhoisTarget::Rdap;
    t.rdapBase = http.baseUrl() + QStringLiteral("/rdap/");
    ch.openQuery(t);
    QVERIFY(asked.wait(5000));
    ch.reset();
    QVERIFY(!ch.rdapPending());
    QTest::qWait(300);
    QCOMPARE(done.count(), 0);
}

void TestQueryChannel::rdapThenWhoisOnSameChannel()
{
    FakeHttpServer http;
    QVERIFY(http.listen(QHostAddress::LocalHost));
    http.setResponse(QStringLiteral("/rdap/domain/a.info"), 404, "{}");
    m_cnnic->setScript(FakeWhoisServer::replyAtOnce("No matching record.\r\n"));

    const WhoisServers servers(configFor(m_cnnic->port(), http.baseUrl() + QStringLiteral("/rdap/")));
    QueryChannel ch(18);
    QSignalSpy done(&ch, &QueryChannel::rdapFinished);
    ch.chandomain = QStringLiteral("a.info");
    ch.openQuery(servers.domain(ch.chandomain));
    QVERIFY(done.wait(5000));
    QCOMPARE(done.at(0).at(0).toInt(), 404);

    Driver d(ch);
    ch.chandomain = QStringLiteral("abcd.cn");
    ch.openQuery(servers.domain(ch.chandomain));
    QTRY_VERIFY_WITH_TIMEOUT(d.text.has_value(), 5000);
    QCOMPARE(m_cnnic->lastReceived(), QByteArray("abcd.cn\r\n"));
    QCOMPARE(done.count(), 1);
}

QTEST_GUILESS_MAIN(TestQueryChannel)
#include "tst_querychannel.moc"
