// The main window after start-up, its layout pass, the task list, the window timer and the
// run panel.
#include "FakeHttpServer.h"
#include "FakeWhoisServer.h"
#include "LoopbackBootstrap.h"
#include "platform/MessageBox.h"
#include "run/QueryRun.h"
#include "window/FileDialog.h"
#include "platform/WindowTimer.h"
#include "run/QueryRun.h"
#include "window/Form1.h"
#include "window/RunPanel.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeView>
#include <QtTest>

using R = DomainListModel::Result;

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void startupState();
    void layoutFigures_data();
    void layoutFigures();
    void layoutFollowsResize();
    void windowKeepsMinimumSize();
    void taskList();
    void newestRowScrolledIntoView();
    void timerEnableKeepsPeriod();
    void panelFollowsAWholeRun();
    void panelShowsHeldRegistry();
    void panelNamesUntrustedHost();
    void phases_data();
    void phases();
    void paceAndTimeLeft();
};

void TestMainWindow::startupState()
{
    Form1 form(ServerConfig::defaults());
    QCOMPARE(form.windowTitle(), QStringLiteral("Velmora-QuorvexV2.4"));
    QCOMPARE(form.domaingz->text(), QStringLiteral("[ni,wo,ta,c,a,d][数字][声母][韵母][字母][随机]"));
    QStringList items;
    for (int i = 0; i < form.Combo1->count(); ++i)
        items << form.Combo1->itemText(i);
    QCOMPARE(items.join(','), QStringLiteral("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20"));
    QCOMPARE(form.Combo1->currentText(), QStringLiteral("10"));
    QVERIFY(!form.Combo1->isEditable());
    QString ticked, enabled;
    for (QCheckBox *c : form.checks())
        ticked += c->isChecked() ? '1' : '0';
    for (QPushButton *b : form.commands())
        enabled += b->isEnabled() ? '1' : '0';
    QCOMPARE(ticked, QStringLiteral("100000000"));
    QCOMPARE(enabled, QStringLiteral("100000001010")); // Command1, Command9, Command11
    QCOMPARE(form.SkinLabel14->text(), QStringLiteral("软件工作状态"));
    QCOMPARE(form.hostii() + form.hosttt(), 0);
    QCOMPARE(form.runflag(), 1);
    for (int i = 0; i < Form1::ChannelCount; ++i) {
        QVERIFY(!form.Timerme(i).isEnabled() && !form.Timer1(i).isEnabled());
        QCOMPARE(form.Timerme(i).interval() * 100, form.Timer1(i).interval());
    }
    QStringList header;
    for (int c = 0; c < 4; ++c)
        header << form.listModel()->headerData(c, Qt::Horizontal, DomainListModel::KeyRole).toString() + '='
                      + form.listModel()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(header.join(' '), QStringLiteral("Id=序号 domain=域名 state=工作状态 result=查询结果"));
    QCOMPARE(form.domainlist->header()->sectionSize(2), MainLayout::toPixels(1000));
    // The run panel counts the rule's candidates as the rule and the ticks change.
    QCOMPARE(form.runPanel->candidateText(), QStringLiteral("27,705,600"));
    form.Check2->setChecked(true);
    QCOMPARE(form.runPanel->candidateText(), QStringLiteral("55,411,200"));
    form.domaingz->setText(QStringLiteral("[a,,b]"));
    QCOMPARE(form.runPanel->candidateText(), QStringLiteral("对不起，请不要输入连续的逗号"));
}

void TestMainWindow::layoutFigures_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("twips");
    const struct { const char *name; QRect r; } rows[] = {
        {"domaingz", {120, 180, 5485, 270}}, {"Combo1", {5725, 180, 615, 300}},
        {"SkinLabel9", {6460, 220, 1095, 255}}, {"Command1", {7675, 180, 1455, 255}},
        {"Command10", {9250, 180, 1215, 255}}, {"Command11", {10585, 180, 1215, 255}},
        {"domainlist", {120, 1200, 5465, 6200}}, {"RichTextBox1", {5705, 1200, 1875, 6200}},
        {"SkinLabel14", {120, 960, 5465, 255}}, {"SkinLabel12", {5705, 960, 1875, 255}},
        {"Frame2", {120, 460, 12000, 495}}, {"Command2", {120, 7500, 855, 255}},
        {"Command3", {1095, 7500, 855, 255}}, {"Command4", {2070, 7500, 855, 255}},
        {"Command5", {3045, 7500, 855, 255}}, {"Command6", {4020, 7500, 855, 255}},
        {"Command7", {4995, 7500, 855, 255}}, {"Command8", {5970, 7500, 1455, 255}},
        {"Command9", {7545, 7500, 1815, 255}}, {"Command12", {9480, 7500, 2295, 255}},
    };
    for (const auto &row : rows)
        QTest::newRow(row.name) << row.name << row.r;
}

void TestMainWindow::layoutFigures()
{
    QFETCH(QString, control);
    QFETCH(QRect, twips);
    QCOMPARE(MainLayout::compute(12000, 8200, 12000).rects.value(control), twips);
}

void TestMainWindow::layoutFollowsResize()
{
    const auto base = MainLayout::compute(12000, 8200, 12000).rects;
    const auto grown = MainLayout::compute(13000, 9200, 13000).rects; // 1000 wider and taller
    const auto moved = [&](const char *n) { return grown.value(n).topLeft() - base.value(n).topLeft(); };
    const auto growth = [&](const char *n) { return grown.value(n).size() - base.value(n).size(); };
    for (const char *n : {"domaingz", "SkinLabel14"})
        QCOMPARE(growth(n), QSize(1000, 0));
    QCOMPARE(growth("domainlist"), QSize(1000, 1000));
    QCOMPARE(growth("RichTextBox1"), QSize(0, 1000));
    for (const char *n : {"Combo1", "SkinLabel9", "Command1", "Command10", "Command11", "RichTextBox1", "SkinLabel12"})
        QCOMPARE(moved(n), QPoint(1000, 0));
    for (const char *n : {"Command2", "Command8", "Command12"})
        QCOMPARE(moved(n), QPoint(0, 1000));
}

void TestMainWindow::windowKeepsMinimumSize()
{
    Form1 form(ServerConfig::defaults());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.resize(MainLayout::toPixels(10000), MainLayout::toPixels(7000));
    QTRY_COMPARE(form.frameGeometry().size(), QSize(MainLayout::toPixels(12000), MainLayout::toPixels(8200)));
    // Only one side too small: that side grows back, the other keeps its size (the
    // offscreen screen is 800 x 600, the minimum 800 x 547).
    const int frameW = form.frameGeometry().width() - form.width(), frameH = form.frameGeometry().height() - form.height();
    form.resize(700 - frameW, 580 - frameH);
    QTRY_COMPARE(form.frameGeometry().size(), QSize(800, 580));
    form.resize(800 - frameW, 500 - frameH);
    QTRY_COMPARE(form.frameGeometry().size(), QSize(800, 547));
    const QSize outer = form.frameGeometry().size() * 15;
    const auto expected = MainLayout::compute(outer.width(), outer.height(), form.width() * 15).rects;
    for (const char *n : {"domainlist", "RichTextBox1", "Command12", "Command11", "SkinLabel14"})
        QCOMPARE(form.findChild<QWidget *>(n)->geometry(), MainLayout::toPixels(expected.value(n)));
    // The domain row reads .com .cn .net .la .me .com.cn .net.cn .name .info, box before label.
    int left = -1;
    for (QCheckBox *c : {form.Check1, form.Check2, form.Check3, form.Check5, form.Check8, form.Check4, form.Check6,
                         form.Check7, form.Check9}) {
        QVERIFY(c->x() > left);
        left = c->x();
    }
    QCOMPARE(form.SkinLabel11->text(), QStringLiteral(".me"));
    QVERIFY(form.SkinLabel11->x() > form.Check8->x() && form.SkinLabel11->x() < form.Check4->x());
    // The run panel stands right of the free names, from the caption row to the button row.
    const QRect panel = form.runPanel->geometry();
    QVERIFY(panel.left() > form.RichTextBox1->geometry().right() && panel.right() < form.width());
    QVERIFY(panel.top() == form.SkinLabel12->y() && panel.bottom() < form.Command2->y());
}

void TestMainWindow::taskList()
{
    Form1 form(ServerConfig::defaults());
    DomainListModel *m = form.listModel();
    QAbstractItemModelTester tester(m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QStringList domains = {"a.com", "", "  c.cn ", "中文.com", "x.com", "y.com"};
    for (int i = 0; i < 4; ++i)
        form.addRow(domains[i]);
    form.addRows(domains.mid(4));
    m->setState(2, DomainListModel::State::Finished); // rows not yet shown change too
    m->setResult(2, R::Free);
    form.flushView();
    QCOMPARE(form.hostii(), 6);
    QCOMPARE(form.lastitem, 6);
    QCOMPARE(m->rowCount(), 6);
    for (int k = 1; k <= 6; ++k) {
        QCOMPARE(m->data(m->index(k - 1, 0)).toString(), QString::number(k));
        QCOMPARE(m->data(m->index(k - 1, 1)).toString(), domains[k - 1]);
        QCOMPARE(m->data(m->index(k - 1, 2)).toString(), k == 2 ? QStringLiteral("查询结束") : QStringLiteral("等待查询"));
        QCOMPARE(m->data(m->index(k - 1, 3)).toString(), k == 2 ? QStringLiteral("没有被注册") : QString());
    }
    QCOMPARE(m->countState(DomainListModel::State::Waiting), 5);
    QCOMPARE(m->countResult(R::Free), 1);
    // A shown row whose state or result changes is repainted.
    QSignalSpy repainted(m, &QAbstractItemModel::dataChanged);
    form.store()->setState(3, DomainListModel::State::Querying);
    form.store()->setResult(5, R::Timeout);
    QCOMPARE(repainted.size(), 2);
    QCOMPARE(repainted[0][0].toModelIndex().row(), 2);
    QCOMPARE(repainted[1][0].toModelIndex().row(), 4);
    QCOMPARE(repainted[1][1].toModelIndex().column(), int(DomainListModel::ResultColumn));
    QCOMPARE(m->data(m->index(4, 3)).toString(), QStringLiteral("查询超时"));
    form.store()->setState(3, DomainListModel::State::Waiting);
    form.store()->setResult(5, R::None);
    form.clearList();
    QCOMPARE(form.hostii() + m->rowCount() + m->countState(DomainListModel::State::Waiting), 0);
    form.addRow(QStringLiteral("again.com"));
    form.flushView();
    QCOMPARE(m->data(m->index(0, 0)).toString(), QStringLiteral("1"));
}

void TestMainWindow::newestRowScrolledIntoView()
{
    Form1 form(ServerConfig::defaults());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (int i = 1; i <= 2000; ++i)
        form.addRow(QStringLiteral("row%1.com").arg(i));
    // The view catches up by itself shortly after.
    QTRY_COMPARE(form.listModel()->rowCount(), 2000);
    QScrollBar *bar = form.domainlist->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QTRY_COMPARE(bar->value(), bar->maximum());
}

void TestMainWindow::timerEnableKeepsPeriod()
{
    WindowTimer timer(200);
    QSignalSpy spy(&timer, &WindowTimer::timeout);
    QElapsedTimer clock;
    clock.start();
    timer.setEnabled(true);
    QTest::qWait(120);
    timer.setEnabled(true); // must not start a new period (that would tick at ~320 ms)
    QVERIFY(spy.wait(1000));
    QVERIFY2(clock.elapsed() < 290, qPrintable(QString::number(clock.elapsed())));
    timer.setInterval(200); // a new interval does start one
    clock.restart();
    QVERIFY(spy.wait(1000));
    QVERIFY(clock.elapsed() >= 190);
}

void TestMainWindow::panelFollowsAWholeRun()
{
    FakeWhoisServer com, cn; // .com names are free, .cn names registered
    QVERIFY(com.listen(QHostAddress(QStringLiteral("127.0.0.2"))));
    QVERIFY(cn.listen(QHostAddress(QStringLiteral("127.0.0.3")), com.port()));
    com.setScript(FakeWhoisServer::replyAtOnce("No match for domain.\r\n>>> Last update of whois database <<<\r\n"));
    cn.setScript(FakeWhoisServer::replyAtOnce("Domain Name: x.cn\r\nExpiration Time: 2030-01-01\r\n"));
    ServerConfig config = ServerConfig::defaults();
    config.internic = com.host();
    config.cnnic = cn.host();
    config.whoisPort = com.port();
    Form1 form(config);
    form.domaingz->setText(QStringLiteral("[free,taken]"));
    form.Check2->setChecked(true);
    form.Command1_Click();
    QTRY_COMPARE_WITH_TIMEOUT(form.SkinLabel14->text(), QStringLiteral("本次域名批量查询已经正常结束"), 10000);
    form.runPanel->refresh();
    int counted[DomainListModel::ResultCount] = {};
    for (int k = 1; k <= form.hostii(); ++k)
        ++counted[int(form.listModel()->result(k))];
    for (R r : {R::Registered, R::Free, R::Undecidable, R::Timeout, R::UserEnded})
        QCOMPARE(form.runPanel->shownResultCount(r), counted[int(r)]);
    QCOMPARE(counted[int(R::Free)] * 10 + counted[int(R::Registered)], 22);
    QCOMPARE(form.runPanel->shownStateCount(DomainListModel::State::Waiting), 0);
    QCOMPARE(form.runPanel->progressValue(), 4);
    QCOMPARE(form.runPanel->progressMaximum(), 4);
    QCOMPARE(form.runPanel->etaText(), QStringLiteral("—"));
    // The clock stops with the run.
    const QString elapsed = form.runPanel->elapsedText();
    QTest::qWait(1100);
    form.runPanel->refresh();
    QCOMPARE(form.runPanel->elapsedText(), elapsed);
}

void TestMainWindow::panelShowsHeldRegistry()
{
    FakeWhoisServer whois; // limits every query
    QVERIFY(whois.listen(QHostAddress(QStringLiteral("127.0.0.2"))));
    whois.setScript(FakeWhoisServer::replyAtOnce("Queried interval is too short.\r\n"));
    const QString h = whois.host();
    Form1 form(ServerConfig{h, h, h, h, h, h, {}, whois.port(), {}});
    PaceRules rules;
    rules.holdMs = 5000;
    form.query().setPaceRules(rules);
    form.domaingz->setText(QStringLiteral("[limited]"));
    form.Command1_Click();
    form.runPanel->refresh();
    QCOMPARE(form.runPanel->limitText(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(form.query().retryCount(), 1, 5000);
    form.runPanel->refresh();
    QCOMPARE(form.runPanel->limitText(), h + QStringLiteral("：查询受限，5 秒后继续\n等待重试：1"));
    QCOMPARE(form.SkinLabel14->text(), QStringLiteral("正在批量查询已生成的域名")); // the run goes on
    form.Command7_Click();
    QCOMPARE(form.listModel()->state(1), DomainListModel::State::Waiting);
}

void TestMainWindow::panelNamesUntrustedHost()
{
    FakeHttpServer rdap; // says 404 to everything, its probe name included
    QVERIFY(rdap.listen());
    LoopbackBootstrap::write({{{QStringLiteral("info")}, rdap.baseUrl() + u'/'}});
    Form1 form(ServerConfig{{}, {}, {}, {}, {}, {}, {}, 43, {}});
    form.domaingz->setText(QStringLiteral("[qvname]"));
    for (QCheckBox *box : form.checks())
        box->setChecked(box == form.Check9); // .info
    form.Command1_Click();
    QTRY_COMPARE_WITH_TIMEOUT(form.SkinLabel14->text(), QStringLiteral("本次域名批量查询已经正常结束"), 5000);
    form.runPanel->refresh();
    QCOMPARE(form.runPanel->limitText(), rdap.host() + QStringLiteral("：无法确认未注册结果"));
    QCOMPARE(form.runPanel->shownResultCount(R::Undecidable), 1);
}

void TestMainWindow::phases_data()
{
    // Steps: g start a generation of two groups, s of one group, x a refused rule, i import a
    // list, I import an empty list; p/c/e pause, continue, end the generation; t tick the
    // generation to its end; P/C/E pause, continue, end the query run; q a query tick of both
    // channels, w wait for the replies; f = qwq, the query run finishes.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("buttons"); // Command1..Command12, 1 enabled
    QTest::addColumn<QString>("status");
    const QString generating = QStringLiteral("正在生成待查询的域名列表，请稍候");
    const QString querying = QStringLiteral("正在进行域名注册查询");
    const QString paused = QStringLiteral("域名注册查询暂停");
    const QString ended = QStringLiteral("域名查询结束");
    const QString finished = QStringLiteral("本次域名批量查询已经正常结束");
    QTest::newRow("start-up") << "" << "100000001010" << "软件工作状态";
    QTest::newRow("generating") << "g" << "010100001000" << generating;
    QTest::newRow("refused rule") << "x" << "100000001010" << "软件工作状态";
    QTest::newRow("refused after a run") << "sfx" << "100000001010" << "软件工作状态";
    QTest::newRow("generation paused") << "gp" << "001100001100" << generating;
    QTest::newRow("generation continued") << "gpc" << "010100001000" << generating;
    QTest::newRow("generation ended") << "ge" << "000010101100" << "正在批量查询已经生成域名";
    QTest::newRow("generation ended while paused") << "gpe" << "000010101100" << "正在批量查询已经生成域名";
    QTest::newRow("generation complete") << "gt" << "000010101100" << "正在批量查询已生成的域名";
    QTest::newRow("single group") << "s" << "000010101100" << "正在批量查询已生成的域名";
    QTest::newRow("query paused") << "sP" << "000001111101" << paused;
    QTest::newRow("query continued") << "sPC" << "000010101100" << querying;
    QTest::newRow("query ended") << "sE" << "100000011111" << ended;
    QTest::newRow("query ended while paused") << "sPE" << "100000011111" << ended;
    QTest::newRow("query finished") << "sf" << "100000011111" << finished;
    QTest::newRow("replies while paused, continued") << "sqPwC" << "100000011111" << finished;
    QTest::newRow("reply still due at continue") << "sqPC" << "000010101100" << querying;
    QTest::newRow("import") << "i" << "000010101100" << querying;
    QTest::newRow("import after a finish") << "sfi" << "000010101100" << querying;
    QTest::newRow("import while paused") << "sPi" << "000010101100" << querying;
    QTest::newRow("import while generating") << "gi" << "000010101100" << querying;
    QTest::newRow("import finished") << "if" << "100000011111" << finished;
    QTest::newRow("empty import finishes") << "Iq" << "100000011111" << finished;
    QTest::newRow("new generation after an end") << "sEg" << "010100001000" << generating;
}

void TestMainWindow::phases()
{
    QFETCH(QString, steps);
    QFETCH(QString, buttons);
    QFETCH(QString, status);
    FakeWhoisServer whois;
    QVERIFY(whois.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
    whois.setScript(FakeWhoisServer::replyAfter(100, "Domain Name: X\r\nRegistry Domain ID: 1\r\n>>> Last update of whois database <<<\r\n"));
    const QString h = whois.host();
    Form1 form(ServerConfig{h, h, h, h, h, h, {}, whois.port(), {}});
    QTemporaryDir dir;
    QFile list(dir.filePath(QStringLiteral("list.txt"))), empty(dir.filePath(QStringLiteral("empty.txt")));
    QVERIFY(list.open(QIODevice::WriteOnly) && list.write("a.com\r\nb.com\r\n") > 0 && empty.open(QIODevice::WriteOnly));
    list.close();
    empty.close();
    QList<MessageBox::Shown> shown;
    MessageBox::recordAndAnswer(&shown);
    form.Combo1->setCurrentText(QStringLiteral("2"));
    form.RichTextBox1->setPlainText(QStringLiteral("kept.com\n")); // found in an earlier run
    const QString expanded = QString(steps).replace(u'f', QStringLiteral("qwq"));
    for (const QChar step : expanded) {
        switch (step.toLatin1()) {
        case 'g': form.domaingz->setText(QStringLiteral("[a,b][c]")); form.Command1_Click(); break;
        case 's': form.domaingz->setText(QStringLiteral("[a,b]")); form.Command1_Click(); break;
        case 'x': form.domaingz->setText(QStringLiteral("[a b]")); form.Command1_Click(); break;
        case 'i': FileDialog::setHook([&](bool) { return list.fileName(); }); form.Command11_Click(); break;
        case 'I': FileDialog::setHook([&](bool) { return empty.fileName(); }); form.Command11_Click(); break;
        case 'p': form.Command2_Click(); break;
        case 'c': form.Command3_Click(); break;
        case 'e': form.Command4_Click(); break;
        case 't': for (int n = 0; n < 10 && form.Timersc->isEnabled(); ++n) form.Timersc_Timer(); break;
        case 'P': form.Command5_Click(); break;
        case 'C': form.Command6_Click(); break;
        case 'E': form.Command7_Click(); break;
        case 'q': for (int i = 0; i < 2; ++i) form.Timerme_Timer(i); break;
        case 'w': QTRY_VERIFY_WITH_TIMEOUT(form.store()->countState(DomainListModel::State::Querying) == 0, 5000); break;
        }
    }
    FileDialog::setHook({});
    MessageBox::setHook({});
    QString enabled;
    for (QPushButton *b : form.commands())
        enabled += b->isEnabled() ? '1' : '0';
    QCOMPARE(enabled, buttons);
    QCOMPARE(form.SkinLabel14->text(), status);
    QCOMPARE(form.RichTextBox1->toPlainText(), QStringLiteral("kept.com\n")); // no run clears the free names
    QCOMPARE(shown.size(), int(steps.count(u'x')));
    // Timers run only where the phase says: the generation tick while generating, the query
    // ticks of the run's channels while querying, nothing once a run is over.
    const bool generating = buttons.at(1) == u'1';
    const bool querying = buttons.at(4) == u'1';
    QCOMPARE(form.Timersc->isEnabled(), generating);
    int ticking = 0;
    for (int i = 0; i < Form1::ChannelCount; ++i)
        ticking += form.Timerme(i).isEnabled() || form.Timer1(i).isEnabled();
    QVERIFY2(querying ? ticking > 0 && ticking <= 2 : ticking == 0, qPrintable(QString::number(ticking)));
}

void TestMainWindow::paceAndTimeLeft()
{
    RunStats stats;
    stats.start(0);
    for (int s = 0; s <= 30; ++s)
        stats.sample(s * 1000, s * 20); // 20 rows a second
    QCOMPARE(stats.secondsLeft(200), qint64(10));
    for (int s = 31; s <= 45; ++s) // a stall shows once it fills the last ten seconds
        stats.sample(s * 1000, 600);
    QCOMPARE(stats.secondsLeft(200), qint64(-1));
    QCOMPARE(RunStats::clock(3725), QStringLiteral("1:02:05"));
    stats.stop(50000);
    QCOMPARE(stats.elapsedMs(90000), qint64(50000));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
