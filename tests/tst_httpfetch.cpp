#include "FakeHttpServer.h"
#include "httpfetch/HttpFetch.h"

#include <QElapsedTimer>
#include <QtTest>

using Response = FakeHttpServer::Response;

namespace {

const QString ManifestPath = QStringLiteral("/update/update.html");

// "中文" as GB2312 and as UTF-8.
const QByteArray ChineseGb = QByteArray::fromHex("d6d0cec4");
const QByteArray ChineseUtf8 = QByteArray::fromHex("e4b8ade69687");

Response make(int status, const QByteArray &body)
{
    Response r;
    r.status = status;
    r.body = body;
    return r;
}

} // namespace

class TestHttpFetch : public QObject
{
    Q_OBJECT

private slots:
    void bodytextDecodes_data();
    void bodytextDecodes();

    void fetchReturnsBody_data();
    void fetchReturnsBody();

    void fetchSendsOnePlainGet();

    void incompleteExchangeGivesEmpty_data();
    void incompleteExchangeGivesEmpty();

    void silentServerGivesUpWithinTimeout();
    void slowTrickleStillBoundedByTimeout();
};

void TestHttpFetch::bodytextDecodes_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("ascii manifest") << QByteArray("081218|v1.3|Quorvex") << QStringLiteral("081218|v1.3|Quorvex");
    QTest::newRow("gb2312 chinese") << ChineseGb << QStringLiteral("中文");
    QTest::newRow("gbk extension") << QByteArray::fromHex("8140") << QStringLiteral("丂");
    QTest::newRow("crlf kept") << QByteArray("a|b\r\n") << QStringLiteral("a|b\r\n");
    // Nothing is skipped at the start, not even what looks like a byte-order mark.
    QTest::newRow("gb18030 bom kept") << QByteArray::fromHex("84319533") + "Q" << QString(QChar(0xFEFF)) + "Q";
}

void TestHttpFetch::bodytextDecodes()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    QCOMPARE(HttpFetch::bodytext(body), expected);
}

void TestHttpFetch::fetchReturnsBody_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<QString>("expected");

    QTest::newRow("200 manifest") << make(200, "081218|v1.3|Quorvex") << QStringLiteral("081218|v1.3|Quorvex");
    QTest::newRow("404 page is text like any body")
        << make(404, "<html><body>Not Found</body></html>") << QStringLiteral("<html><body>Not Found</body></html>");
    QTest::newRow("500 page") << make(500, "oops") << QStringLiteral("oops");
    QTest::newRow("403 page") << make(403, "denied") << QStringLiteral("denied");
    QTest::newRow("empty body") << make(200, QByteArray()) << QString();
    QTest::newRow("gb2312 chinese") << make(200, "081218|" + ChineseGb + "|Quorvex")
                                    << QStringLiteral("081218|中文|Quorvex");
    {
        // The same characters in UTF-8 are read as GB18030 all the same.
        const QString asGb = HttpFetch::bodytext(ChineseUtf8);
        QVERIFY(asGb != QStringLiteral("中文"));
        QTest::newRow("utf-8 is not tried") << make(200, ChineseUtf8) << asGb;
    }
    {
        // Not even a UTF-8 byte-order mark is stripped: its bytes become GB18030 characters.
        const QByteArray body = QByteArray::fromHex("efbbbf") + "Quorvex";
        const QString got = HttpFetch::bodytext(body);
        QVERIFY(!got.startsWith(QLatin1Char('Q')));
        QTest::newRow("utf-8 bom not skipped") << make(200, body) << got;
    }
    QTest::newRow("leading spaces kept") << make(200, "  081218|x") << QStringLiteral("  081218|x");
    {
        Response r = make(200, "081218|" + ChineseGb + "|Quorvex\r\n");
        r.chunked = true;
        r.pieceSize = 3; // splits the double-byte characters across chunks
        r.pieceDelayMs = 15;
        QTest::newRow("chunked in pieces") << r << QStringLiteral("081218|中文|Quorvex\r\n");
    }
    {
        Response r = make(200, "081218|v|Quorvex");
        r.noLength = true;
        QTest::newRow("ends with the connection") << r << QStringLiteral("081218|v|Quorvex");
    }
    {
        Response r = make(200, "081218|v|Quorvex");
        r.headers = {{"Content-Type", "text/html; charset=utf-8"}};
        QTest::newRow("declared charset ignored") << r << QStringLiteral("081218|v|Quorvex");
    }
}

void TestHttpFetch::fetchReturnsBody()
{
    QFETCH(Response, response);
    QFETCH(QString, expected);

    FakeHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(ManifestPath, response);
    QCOMPARE(HttpFetch::fetchtext(server.baseUrl() + ManifestPath, 5000), expected);
}

void TestHttpFetch::fetchSendsOnePlainGet()
{
    FakeHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(ManifestPath, 200, "x");
    HttpFetch::fetchtext(server.baseUrl() + ManifestPath, 5000);
    QCOMPARE(server.requestedPaths(), QStringList{ManifestPath});
    QCOMPARE(server.requests().first().method, QByteArray("GET"));
    QVERIFY(server.requests().first().body.isEmpty());
}

void TestHttpFetch::incompleteExchangeGivesEmpty_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<bool>("refused");

    {
        Response r = make(200, QByteArray(4000, 'a') + "Quorvex");
        r.breakAfter = 1000;
        QTest::newRow("broken mid-body") << r << false;
    }
    {
        Response r = make(200, QByteArray(4000, 'a') + "Quorvex");
        r.pieceSize = 500;
        r.pieceDelayMs = 10;
        r.breakAfter = 1500;
        QTest::newRow("broken after a pause") << r << false;
    }
    {
        Response r = make(200, "Quorvex");
        r.breakAfter = 0;
        QTest::newRow("headers only, then gone") << r << false;
    }
    QTest::newRow("connection refused") << Response() << true;
}

void TestHttpFetch::incompleteExchangeGivesEmpty()
{
    QFETCH(Response, response);
    QFETCH(bool, refused);

    FakeHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(ManifestPath, response);
    const QString url = server.baseUrl() + ManifestPath;
    if (refused)
        server.close();
    QCOMPARE(HttpFetch::fetchtext(url, 5000), QString());
}

void TestHttpFetch::silentServerGivesUpWithinTimeout()
{
    FakeHttpServer server;
    QVERIFY(server.listen());
    Response r;
    r.neverAnswer = true;
    server.setResponse(ManifestPath, r);

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(HttpFetch::fetchtext(server.baseUrl() + ManifestPath, 300), QString());
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 250 && took < 3000, qPrintable(QString::number(took)));
    QCOMPARE(server.requestedPaths().size(), 1);
}

void TestHttpFetch::slowTrickleStillBoundedByTimeout()
{
    // A server that keeps sending a byte now and then must not hold the start-up either.
    FakeHttpServer server;
    QVERIFY(server.listen());
    Response r = make(200, "081218|v1.3|Quorvex");
    r.pieceSize = 1;
    r.pieceDelayMs = 100;
    server.setResponse(ManifestPath, r);

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(HttpFetch::fetchtext(server.baseUrl() + ManifestPath, 500), QString());
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(TestHttpFetch)
#include "tst_httpfetch.moc"
