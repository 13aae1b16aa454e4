// The main window right after start-up, its layout pass, the task list and the window timer.
#include "config/ServerConfig.h"
#include "platform/WindowTimer.h"
#include "window/DomainListModel.h"
#include "window/Form1.h"
#include "window/MainLayout.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTreeView>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void startupState();
    void startupButtons_data();
    void startupButtons();
    void layoutFigures_data();
    void layoutFigures();
    void layoutFollowsResize_data();
    void layoutFollowsResize();
    void windowKeepsMinimumSize();
    void domainRowOrder();
    void addRowInvariants();
    void clearStartsNumberingAgain();
    void modelPassesTester();
    void newestRowScrolledIntoView();
    void timerEnableKeepsPeriod();
    void timerIntervalRestarts();
};

void TestMainWindow::startupState()
{
    Form1 form(ServerConfig::defaults());
    QCOMPARE(form.windowTitle(), QStringLiteral("Velmora-QuorvexV2.4"));
    QCOMPARE(form.domaingz->text(), QStringLiteral("[ni,wo,ta,c,a,d][数字][声母][韵母][字母][随机]"));
    QCOMPARE(form.Combo1->count(), 20);
    for (int i = 0; i < 20; ++i)
        QCOMPARE(form.Combo1->itemText(i), QString::number(i + 1));
    QCOMPARE(form.Combo1->currentText(), QStringLiteral("10"));
    QVERIFY(!form.Combo1->isEditable());
    const auto checks = form.checks();
    for (int i = 0; i < 9; ++i)
        QCOMPARE(checks[size_t(i)]->isChecked(), i == 0);
    QCOMPARE(form.SkinLabel14->text(), QStringLiteral("软件工作状态"));
    QCOMPARE(form.SkinLabel12->text(), QStringLiteral("↓未注册域名列表↓"));
    QVERIFY(form.RichTextBox1->toPlainText().isEmpty());
    QCOMPARE(form.hostii, 0);
    QCOMPARE(form.hosttt, 0);
    QCOMPARE(form.runflag, 1);
    QVERIFY(!form.Timersc->isEnabled());
    QCOMPARE(form.Timersc->interval(), 1);
    QCOMPARE(form.charfinals.split(QLatin1Char(',')).size(), 24);
    QCOMPARE(form.charall.split(QLatin1Char(',')).size(), 37);

    // The task list: four columns with their keys, captions and widths.
    auto *model = form.domainlist->model();
    QCOMPARE(model->columnCount(), 4);
    QCOMPARE(model->rowCount(), 0);
    const QStringList keys = {"Id", "domain", "state", "result"};
    const QStringList captions = {"序号", "域名", "工作状态", "查询结果"};
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(model->headerData(c, Qt::Horizontal, DomainListModel::KeyRole).toString(), keys[c]);
        QCOMPARE(model->headerData(c, Qt::Horizontal).toString(), captions[c]);
    }
    QCOMPARE(form.domainlist->header()->sectionSize(0), MainLayout::toPixels(800));
    QCOMPARE(form.domainlist->header()->sectionSize(2), MainLayout::toPixels(1000));
}

void TestMainWindow::startupButtons_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    const char *captions[] = {"生成并进行查询", "暂停生成", "继续生成", "结束生成", "暂停查询", "继续查询",
                              "结束查询", "保存未注册域名", "清空未注册域名列表", "保存生成列表", "导入生成列表",
                              "保存未查及超时及失败域名"};
    for (int i = 1; i <= 12; ++i)
        QTest::addRow("Command%d", i) << i << QString::fromUtf8(captions[i - 1]) << (i == 1 || i == 9 || i == 11);
}

void TestMainWindow::startupButtons()
{
    QFETCH(int, number);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    Form1 form(ServerConfig::defaults());
    QPushButton *b = form.commands()[size_t(number - 1)];
    QCOMPARE(b->text(), caption);
    QCOMPARE(b->isEnabled(), enabled);
}

void TestMainWindow::layoutFigures_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("twips");
    // At W = 12000, H = 8200.
    QTest::newRow("domaingz") << "domaingz" << QRect(120, 180, 5485, 270);
    QTest::newRow("Combo1") << "Combo1" << QRect(5725, 180, 615, 300);
    QTest::newRow("SkinLabel9") << "SkinLabel9" << QRect(6460, 220, 1095, 255);
    QTest::newRow("Command1") << "Command1" << QRect(7675, 180, 1455, 255);
    QTest::newRow("Command10") << "Command10" << QRect(9250, 180, 1215, 255);
    QTest::newRow("Command11") << "Command11" << QRect(10585, 180, 1215, 255);
    QTest::newRow("domainlist") << "domainlist" << QRect(120, 1200, 5465, 6200);
    QTest::newRow("RichTextBox1") << "RichTextBox1" << QRect(5705, 1200, 1875, 6200);
    QTest::newRow("SkinLabel14") << "SkinLabel14" << QRect(120, 960, 5465, 255);
    QTest::newRow("SkinLabel12") << "SkinLabel12" << QRect(5705, 960, 1875, 255);
    QTest::newRow("Frame2") << "Frame2" << QRect(120, 460, 12000, 495);
    const struct { const char *name; int left; int width; } row[] = {
        {"Command2", 120, 855}, {"Command3", 1095, 855}, {"Command4", 2070, 855},
        {"Command5", 3045, 855}, {"Command6", 4020, 855}, {"Command7", 4995, 855},
        {"Command8", 5970, 1455}, {"Command9", 7545, 1815}, {"Command12", 9480, 2295},
    };
    for (const auto &b : row)
        QTest::newRow(b.name) << b.name << QRect(b.left, 7500, b.width, 255);
}

void TestMainWindow::layoutFigures()
{
    QFETCH(QString, control);
    QFETCH(QRect, twips);
    const MainLayout::Result r = MainLayout::compute(12000, 8200, 12000);
    QVERIFY(!r.tooSmall);
    QCOMPARE(r.rects.value(control), twips);
}

void TestMainWindow::layoutFollowsResize_data()
{
    QTest::addColumn<int>("dw");
    QTest::addColumn<int>("dh");
    QTest::newRow("wider") << 1000 << 0;
    QTest::newRow("taller") << 0 << 1000;
    QTest::newRow("both") << 3000 << 2000;
}

void TestMainWindow::layoutFollowsResize()
{
    QFETCH(int, dw);
    QFETCH(int, dh);
    const auto base = MainLayout::compute(12000, 8200, 12000).rects;
    const auto grown = MainLayout::compute(12000 + dw, 8200 + dh, 12000 + dw).rects;
    // Stretch with the width.
    for (const char *name : {"domaingz", "domainlist", "SkinLabel14"})
        QCOMPARE(grown.value(name).width(), base.value(name).width() + dw);
    // Move right with the width, and keep their top.
    for (const char *name : {"Combo1", "SkinLabel9", "Command1", "Command10", "Command11", "RichTextBox1", "SkinLabel12"}) {
        QCOMPARE(grown.value(name).left(), base.value(name).left() + dw);
        QCOMPARE(grown.value(name).width(), base.value(name).width());
    }
    // Stretch with the height.
    for (const char *name : {"domainlist", "RichTextBox1"})
        QCOMPARE(grown.value(name).height(), base.value(name).height() + dh);
    // The button row moves down, never sideways; the upper rows never move.
    for (const char *name : {"Command2", "Command7", "Command9", "Command12"}) {
        QCOMPARE(grown.value(name).top(), base.value(name).top() + dh);
        QCOMPARE(grown.value(name).left(), base.value(name).left());
    }
    for (const char *name : {"domaingz", "Frame2", "SkinLabel14", "SkinLabel12", "Command1"})
        QCOMPARE(grown.value(name).top(), base.value(name).top());
}

void TestMainWindow::windowKeepsMinimumSize()
{
    Form1 form(ServerConfig::defaults());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.resize(MainLayout::toPixels(10000), MainLayout::toPixels(7000));
    QTRY_COMPARE(form.frameGeometry().width(), MainLayout::toPixels(12000));
    QTRY_COMPARE(form.frameGeometry().height(), MainLayout::toPixels(8200));
    // The controls sit where the pass puts them for the enlarged window.
    const auto expected = MainLayout::compute(form.frameGeometry().width() * 15, form.frameGeometry().height() * 15,
                                              form.width() * 15).rects;
    for (const char *name : {"domainlist", "RichTextBox1", "Command12", "Command11", "SkinLabel14"})
        QCOMPARE(form.findChild<QWidget *>(name)->geometry(), MainLayout::toPixels(expected.value(name)));

    // Widening the real window moves the list's neighbour with it.
    const int richLeft = form.RichTextBox1->x();
    form.resize(form.width() + 100, form.height());
    QTRY_COMPARE(form.RichTextBox1->x(), richLeft + 100);
}

void TestMainWindow::domainRowOrder()
{
    Form1 form(ServerConfig::defaults());
    // On screen: .com .cn .net .la .me .com.cn .net.cn .name .info, each box before its label.
    const QList<QPair<QCheckBox *, QString>> order = {
        {form.Check1, ".com"}, {form.Check2, ".cn"}, {form.Check3, ".net"}, {form.Check5, ".la"}, {form.Check8, ".me"},
        {form.Check4, ".com.cn"}, {form.Check6, ".net.cn"}, {form.Check7, ".name"}, {form.Check9, ".info"},
    };
    int lastLeft = -1;
    for (const auto &[check, caption] : order) {
        QVERIFY(check->x() > lastLeft);
        lastLeft = check->x();
        QLabel *label = nullptr;
        for (QLabel *l : form.Frame2->findChildren<QLabel *>())
            if (l->text() == caption)
                label = l;
        QVERIFY2(label, qPrintable(caption));
        QVERIFY(label->x() > check->x());
        QCOMPARE(label->y(), check->y());
    }
}

void TestMainWindow::addRowInvariants()
{
    Form1 form(ServerConfig::defaults());
    const QStringList domains = {"a.com", "b.net", "", "  c.cn ", "中文.com"};
    for (const QString &d : domains)
        form.addRow(d);
    form.addRows({"x.com", "y.com"});
    form.flushView();
    DomainListModel *m = form.listModel();
    QCOMPARE(form.hostii, 7);
    QCOMPARE(form.lastitem, 7);
    QCOMPARE(m->rowCount(), 7);
    const QStringList all = domains + QStringList{"x.com", "y.com"};
    for (int k = 1; k <= 7; ++k) {
        QCOMPARE(m->data(m->index(k - 1, 0)).toString(), QString::number(k));
        QCOMPARE(m->domain(k), all[k - 1]);
        QCOMPARE(m->data(m->index(k - 1, 1)).toString(), all[k - 1]);
        QCOMPARE(m->data(m->index(k - 1, 2)).toString(), QStringLiteral("等待查询"));
        QCOMPARE(m->data(m->index(k - 1, 3)).toString(), QString());
    }
    m->setState(2, DomainListModel::State::Finished);
    m->setResult(2, DomainListModel::Result::Free);
    QCOMPARE(m->data(m->index(1, 2)).toString(), QStringLiteral("查询结束"));
    QCOMPARE(m->data(m->index(1, 3)).toString(), QStringLiteral("没有被注册"));
    QCOMPARE(m->countState(DomainListModel::State::Waiting), 6);
    QCOMPARE(m->countResult(DomainListModel::Result::Free), 1);
    QCOMPARE(m->countResult(DomainListModel::Result::None), 6);
}

void TestMainWindow::clearStartsNumberingAgain()
{
    Form1 form(ServerConfig::defaults());
    for (int i = 0; i < 5; ++i)
        form.addRow(QStringLiteral("n%1.com").arg(i));
    form.flushView();
    form.clearList();
    QCOMPARE(form.hostii, 0);
    QCOMPARE(form.listModel()->rowCount(), 0);
    QCOMPARE(form.listModel()->countState(DomainListModel::State::Waiting), 0);
    form.addRow(QStringLiteral("again.com"));
    form.flushView();
    QCOMPARE(form.hostii, 1);
    QCOMPARE(form.listModel()->data(form.listModel()->index(0, 0)).toString(), QStringLiteral("1"));
}

void TestMainWindow::modelPassesTester()
{
    DomainListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (int i = 0; i < 50; ++i) {
        model.append(QStringLiteral("d%1.com").arg(i));
        if (i % 7 == 0)
            model.publish();
        if (i > 3)
            model.setState(i - 3, DomainListModel::State::Querying);
    }
    model.publish();
    model.setResult(10, DomainListModel::Result::Timeout);
    model.clear();
    model.appendMany({"a.com", "b.com"});
    model.publish();
    QCOMPARE(model.rowCount(), 2);
}

void TestMainWindow::newestRowScrolledIntoView()
{
    Form1 form(ServerConfig::defaults());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (int i = 1; i <= 2000; ++i)
        form.addRow(QStringLiteral("row%1.com").arg(i));
    // The view catches up by itself shortly after; nothing is lost in between.
    QTRY_COMPARE(form.listModel()->rowCount(), 2000);
    QScrollBar *bar = form.domainlist->verticalScrollBar();
    QTRY_COMPARE(bar->value(), bar->maximum());
    QVERIFY(bar->maximum() > 0);
}

void TestMainWindow::timerEnableKeepsPeriod()
{
    WindowTimer timer(200);
    QSignalSpy spy(&timer, &WindowTimer::timeout);
    QElapsedTimer clock;
    clock.start();
    timer.setEnabled(true);
    QTest::qWait(120);
    timer.setEnabled(true); // must not start a new period
    QVERIFY(spy.wait(1000));
    // Had the second enable restarted the timer, the tick would come ~320 ms after the start.
    QVERIFY2(clock.elapsed() < 290, qPrintable(QString::number(clock.elapsed())));
    timer.setEnabled(false);
    QVERIFY(!timer.isEnabled());
}

void TestMainWindow::timerIntervalRestarts()
{
    WindowTimer timer(200);
    QSignalSpy spy(&timer, &WindowTimer::timeout);
    QElapsedTimer clock;
    clock.start();
    timer.setEnabled(true);
    QTest::qWait(120);
    timer.setInterval(200); // a new interval starts a new period
    QVERIFY(spy.wait(1000));
    QVERIFY2(clock.elapsed() >= 300, qPrintable(QString::number(clock.elapsed())));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
