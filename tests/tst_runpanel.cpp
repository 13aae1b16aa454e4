// The run panel: the rule's candidate count before a run, and figures that agree with the
// rows through a whole run.
#include "FakeWhoisServer.h"
#include "config/ServerConfig.h"
#include "window/DomainListModel.h"
#include "window/Form1.h"
#include "window/MainLayout.h"
#include "window/RunPanel.h"
#include "window/RunStats.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QLabel>
#include <QPlainTextEdit>
#include <QtTest>

class TestRunPanel : public QObject
{
    Q_OBJECT
private slots:
    void candidateCount_data();
    void candidateCount();
    void panelFitsBesideTheFreeNames_data();
    void panelFitsBesideTheFreeNames();
    void figuresFollowAWholeRun();
    void rateAndTimeLeft();
};

void TestRunPanel::candidateCount_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<bool>("cn");
    QTest::addColumn<QString>("shown");
    QTest::newRow("default, .com") << "[ni,wo,ta,c,a,d][数字][声母][韵母][字母][随机]" << false << "27,705,600";
    QTest::newRow("default, .com .cn") << "[ni,wo,ta,c,a,d][数字][声母][韵母][字母][随机]" << true << "55,411,200";
    QTest::newRow("single group") << "foo,bar" << true << "4";
    QTest::newRow("empty group") << "[a][]" << false << "0";
    QTest::newRow("refused: space") << "[a b]" << false
                                    << "对不起，规则格式不正确，请确认没有空格或者其他非规则允许字符出现";
    QTest::newRow("refused: commas") << "[a,,b]" << false << "对不起，请不要输入连续的逗号";
}

void TestRunPanel::candidateCount()
{
    QFETCH(QString, rule);
    QFETCH(bool, cn);
    QFETCH(QString, shown);
    Form1 form(ServerConfig::defaults());
    form.domaingz->setText(rule);
    form.Check2->setChecked(cn);
    QCOMPARE(form.runPanel->candidateText(), shown);
}

void TestRunPanel::panelFitsBesideTheFreeNames_data()
{
    QTest::addColumn<int>("extraW");
    QTest::addColumn<int>("extraH");
    QTest::newRow("minimum") << 0 << 0;
    QTest::newRow("larger") << 300 << 200;
}

void TestRunPanel::panelFitsBesideTheFreeNames()
{
    QFETCH(int, extraW);
    QFETCH(int, extraH);
    Form1 form(ServerConfig::defaults());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.resize(MainLayout::toPixels(12000) + extraW, MainLayout::toPixels(8200) + extraH);
    QTRY_COMPARE(form.width(), MainLayout::toPixels(12000) + extraW);
    const QRect panel = form.runPanel->geometry();
    QVERIFY(form.runPanel->isVisible());
    QVERIFY(panel.left() > form.RichTextBox1->geometry().right());
    QVERIFY(panel.right() < form.width());
    QCOMPARE(panel.top(), form.SkinLabel12->y());
    QVERIFY(panel.bottom() < form.Command2->y());
    QVERIFY(panel.width() > 200);
}

void TestRunPanel::figuresFollowAWholeRun()
{
    // .com names are free, .cn names registered.
    FakeWhoisServer com, cn;
    QVERIFY(com.listen(QHostAddress(QStringLiteral("127.0.0.2"))));
    QVERIFY(cn.listen(QHostAddress(QStringLiteral("127.0.0.3")), com.port()));
    com.setScript(FakeWhoisServer::replyAtOnce("No match for domain.\r\n>>> Last update of whois database: now <<<\r\n"));
    cn.setScript(FakeWhoisServer::replyAtOnce("Domain Name: x.cn\r\nExpiration Time: 2030-01-01\r\n"));

    ServerConfig config = ServerConfig::defaults();
    config.internic = com.host();
    config.cnnic = cn.host();
    config.whoisPort = com.port();
    Form1 form(config);
    form.domaingz->setText(QStringLiteral("[free,taken]"));
    form.Check2->setChecked(true);
    form.Combo1->setCurrentText(QStringLiteral("3"));
    form.Command1_Click(); // single group: every row is there, the query run starts
    QCOMPARE(form.hostii, 4);
    QTRY_COMPARE_WITH_TIMEOUT(form.SkinLabel14->text(), QStringLiteral("本次域名批量查询已经正常结束"), 10000);
    form.runPanel->refresh();

    DomainListModel *m = form.listModel();
    int counted[DomainListModel::ResultCount] = {};
    int finished = 0;
    for (int k = 1; k <= form.hostii; ++k) {
        ++counted[int(m->result(k))];
        finished += m->state(k) == DomainListModel::State::Finished;
    }
    using R = DomainListModel::Result;
    for (R r : {R::Registered, R::Free, R::Undecidable, R::Timeout, R::UserEnded})
        QCOMPARE(form.runPanel->shownResultCount(r), counted[int(r)]);
    QCOMPARE(counted[int(R::Free)], 2);
    QCOMPARE(counted[int(R::Registered)], 2);
    QCOMPARE(form.runPanel->shownStateCount(DomainListModel::State::Waiting), 0);
    QCOMPARE(form.runPanel->shownStateCount(DomainListModel::State::Querying), 0);
    QCOMPARE(form.runPanel->progressValue(), finished);
    QCOMPARE(form.runPanel->progressMaximum(), 4);
    QCOMPARE(form.runPanel->etaText(), QStringLiteral("—"));

    // A new run starts the figures from nothing again.
    form.domaingz->setText(QStringLiteral("[a][b,c]"));
    form.Command1_Click();
    form.runPanel->refresh();
    QCOMPARE(form.runPanel->shownResultCount(R::Free), 0);
    QCOMPARE(form.runPanel->progressValue(), 0);
}

void TestRunPanel::rateAndTimeLeft()
{
    RunStats stats;
    stats.start(0);
    for (int s = 0; s <= 30; ++s)
        stats.sample(s * 1000, s * 20); // 20 rows a second
    QCOMPARE(stats.ratePerSecond(), 20.0);
    QCOMPARE(stats.secondsLeft(200), qint64(10));
    // The pace is that of the last ten seconds: a stall shows at once.
    for (int s = 31; s <= 45; ++s)
        stats.sample(s * 1000, 600);
    QCOMPARE(stats.ratePerSecond(), 0.0);
    QCOMPARE(stats.secondsLeft(200), qint64(-1));
    QCOMPARE(RunStats::clock(-1), QStringLiteral("—"));
    QCOMPARE(RunStats::clock(3725), QStringLiteral("1:02:05"));
    QCOMPARE(stats.elapsedMs(45000), qint64(45000));
    stats.stop(50000);
    QCOMPARE(stats.elapsedMs(90000), qint64(50000));
}

QTEST_MAIN(TestRunPanel)
#include "tst_runpanel.moc"
