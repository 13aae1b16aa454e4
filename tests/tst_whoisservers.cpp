#include "whois/WhoisServers.h"

#include <QtTest>

namespace {
ServerConfig testConfig()
{
    ServerConfig c;
    c.internic = QStringLiteral("internic.test");
    c.cnnic = QStringLiteral("cnnic.test");
    c.la = QStringLiteral("la.test");
    c.me = QStringLiteral("me.test");
    c.iana = QStringLiteral("iana.test");
    c.educn = QStringLiteral("educn.test");
    c.name = QStringLiteral("name.test");
    c.biz = QStringLiteral("biz.test");
    c.rdapInfo = QStringLiteral("http://127.0.0.1:8/rdap/");
    c.whoisPort = 4343;
    return c;
}
}

class TestWhoisServers : public QObject
{
    Q_OBJECT
private slots:
    void domain_data();
    void domain();
    void rdapUrl_data();
    void rdapUrl();
    void markerServers_data();
    void markerServers();
    void defaultsCarryBuildValues();
};

void TestWhoisServers::domain_data()
{
    QTest::addColumn<QString>("strme");
    QTest::addColumn<QString>("host"); // "" for RDAP
    QTest::addColumn<bool>("marker");

    QTest::newRow("ni0baaa.com") << "ni0baaa.com" << "internic.test" << true;
    QTest::newRow("x.net") << "x.net" << "internic.test" << true;
    // .name and .biz have registries of their own; InterNIC would call every one free.
    QTest::newRow("x.name") << "x.name" << "name.test" << true;
    QTest::newRow("x.biz") << "x.biz" << "biz.test" << false;
    QTest::newRow("x.info is RDAP") << "x.info" << "" << false;
    QTest::newRow("x.cn") << "x.cn" << "cnnic.test" << false;
    QTest::newRow("x.com.cn") << "x.com.cn" << "cnnic.test" << false;
    QTest::newRow("x.net.cn") << "x.net.cn" << "cnnic.test" << false;
    QTest::newRow("x.edu.cn keyed on last label") << "x.edu.cn" << "cnnic.test" << false;
    QTest::newRow("x.la") << "x.la" << "la.test" << false;
    QTest::newRow("x.me") << "x.me" << "me.test" << false;
    QTest::newRow("x.org") << "x.org" << "iana.test" << false;
    QTest::newRow("x.tv") << "x.tv" << "iana.test" << false;
    QTest::newRow("x.COM case counts") << "x.COM" << "iana.test" << false;
    QTest::newRow("x.Cn case counts") << "x.Cn" << "iana.test" << false;
    QTest::newRow("x.INFO case counts") << "x.INFO" << "iana.test" << false;
    QTest::newRow("spaces around x.la") << "   x.la  " << "la.test" << false;
    QTest::newRow("space inside key") << "x. la" << "iana.test" << false;
    QTest::newRow("tab is no space") << "x.la\t" << "iana.test" << false;
    QTest::newRow("empty") << "" << "iana.test" << false;
    QTest::newRow("only spaces") << "   " << "iana.test" << false;
    QTest::newRow("trailing dot") << "x.com." << "iana.test" << false;
    QTest::newRow("no dot, no key") << "example" << "iana.test" << false;
    QTest::newRow("cn alone") << "cn" << "cnnic.test" << false;
    QTest::newRow("com alone") << "com" << "internic.test" << true;
    QTest::newRow("info alone") << "info" << "" << false;
    QTest::newRow("key after the last dot") << "com.example.me" << "me.test" << false;
    QTest::newRow("dot only") << "." << "iana.test" << false;
}

void TestWhoisServers::domain()
{
    QFETCH(QString, strme);
    QFETCH(QString, host);
    QFETCH(bool, marker);

    const WhoisServers servers(testConfig());
    const WhoisTarget t = servers.domain(strme);
    if (host.isEmpty()) {
        QCOMPARE(t.kind, WhoisTarget::Rdap);
        QCOMPARE(t.rdapBase, QStringLiteral("http://127.0.0.1:8/rdap/"));
        QVERIFY(t.host.isEmpty());
    } else {
        QCOMPARE(t.kind, WhoisTarget::Whois);
        QCOMPARE(t.host, host);
        QCOMPARE(t.port, quint16(4343));
        QVERIFY(t.rdapBase.isEmpty());
    }
    QCOMPARE(t.marker, marker);
    // The same text always gives the same server.
    const WhoisTarget again = servers.domain(strme);
    QCOMPARE(again.host, t.host);
    QCOMPARE(again.kind, t.kind);
}

void TestWhoisServers::rdapUrl_data()
{
    QTest::addColumn<QString>("strme");
    QTest::addColumn<QString>("url");

    QTest::newRow("plain") << "abc.info" << "http://127.0.0.1:8/rdap/domain/abc.info";
    QTest::newRow("spaces dropped") << "  abc.info " << "http://127.0.0.1:8/rdap/domain/abc.info";
    QTest::newRow("digits and hyphen") << "a-1.info" << "http://127.0.0.1:8/rdap/domain/a-1.info";
}

void TestWhoisServers::rdapUrl()
{
    QFETCH(QString, strme);
    QFETCH(QString, url);
    const WhoisTarget t = WhoisServers(testConfig()).domain(strme);
    QCOMPARE(t.kind, WhoisTarget::Rdap);
    QCOMPARE(t.rdapDomainUrl(strme).toString(), url);
}

void TestWhoisServers::markerServers_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("marker");

    QTest::newRow("internic") << "internic.test" << true;
    QTest::newRow("name") << "name.test" << true;
    QTest::newRow("cnnic") << "cnnic.test" << false;
    QTest::newRow("biz") << "biz.test" << false;
    QTest::newRow("iana") << "iana.test" << false;
    QTest::newRow("case counts") << "INTERNIC.test" << false;
    QTest::newRow("no trimming") << "internic.test " << false;
    QTest::newRow("empty") << "" << false;
}

void TestWhoisServers::markerServers()
{
    QFETCH(QString, host);
    QFETCH(bool, marker);
    QCOMPARE(WhoisServers(testConfig()).isMarkerServer(host), marker);
}

void TestWhoisServers::defaultsCarryBuildValues()
{
    // The shipped table must send each role somewhere, and .info to an RDAP base.
    const ServerConfig d = ServerConfig::defaults();
    const WhoisServers servers(d);
    QCOMPARE(servers.domain(QStringLiteral("a.com")).host, d.internic);
    QCOMPARE(servers.domain(QStringLiteral("a.name")).host, d.name);
    QCOMPARE(servers.domain(QStringLiteral("a.biz")).host, d.biz);
    QCOMPARE(servers.domain(QStringLiteral("a.info")).rdapBase, d.rdapInfo);
    QVERIFY(d.rdapInfo.endsWith(QLatin1Char('/')));
    QVERIFY(servers.domain(QStringLiteral("a.com")).marker);
    QVERIFY(!d.internic.isEmpty() && !d.name.isEmpty() && d.internic != d.name);
}

QTEST_GUILESS_MAIN(TestWhoisServers)
#include "tst_whoisservers.moc"
