// The main window: its start, its layout, the task list and its view, the phases of a run with
// the buttons and timers each allows, generation and the list files through the window's
// handlers, and the run panel's figures.
#include "FakeRegistries.h"
#include "LoopbackBootstrap.h"
#include "TestFiles.h"
#include "WindowProbe.h"
#include "generation/Odometer.h"
#include "platform/MessageBox.h"
#include "platform/Twips.h"
#include "platform/WindowTimer.h"
#include "run/QueryRun.h"
#include "window/FileDialog.h"
#include "window/Form1.h"
#include "window/RunPanel.h"

#include <QAbstractItemModelTester>
#include <QtTest>
#include <QtWidgets>

using R = DomainListModel::Result;

namespace {
const QString Finished = QStringLiteral("本次域名批量查询已经正常结束");
}

class TestMainWindow : public QObject
{
    Q_OBJECT
    FakeWhoisServer m_server; // every registry: registered, 100 ms after the query
    std::unique_ptr<QTemporaryDir> m_dir;
    QList<MessageBox::Shown> m_shown;

    std::unique_ptr<Form1> makeForm() { return std::make_unique<Form1>(FakeRegistries::allAt(m_server)); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
        m_server.setScript(FakeWhoisServer::replyAfter(100, "Domain Name: X\r\n>>> Last update of whois database <<<\r\n"));
        MessageBox::recordAndAnswer(&m_shown);
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_shown.clear();
        FileDialog::setLastFolder(QString());
    }
    void cleanup() { FileDialog::setHook({}); }

    void startup()
    {
        auto form = makeForm();
        QCOMPARE(form->Combo1->count(), QueryRun::ChannelCount);
        for (int i = 0; i < form->Combo1->count(); ++i)
            QCOMPARE(form->Combo1->itemText(i), QString::number(i + 1));
        QCOMPARE(form->Combo1->currentText(), QStringLiteral("10"));
        QVERIFY(!form->Combo1->isEditable());
        QCOMPARE(WindowProbe(*form).ticks(), QStringLiteral("100000000"));
        // The run panel counts the rule's candidates as the rule and the ticks change.
        QCOMPARE(form->runPanel->candidateText(), QStringLiteral("27,705,600"));
        form->Check2->setChecked(true);
        QCOMPARE(form->runPanel->candidateText(), QStringLiteral("55,411,200"));
        form->domaingz->setText(QStringLiteral("[a,,b]"));
        QCOMPARE(form->runPanel->candidateText(), RuleParser::doubleCommaMessage());
    }

    void layoutFollowsResize()
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

    // Too small, the window grows back to its minimum, one side at a time, and places every
    // control where the layout pass says (the offscreen screen is 800 x 600, the minimum 800 x 547).
    void windowKeepsMinimumSize()
    {
        auto form = makeForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->resize(600, 400);
        QTRY_COMPARE(form->frameGeometry().size(), QSize(Twips::toPixels(MainLayout::MinWidth), Twips::toPixels(MainLayout::MinHeight)));
        const QSize frame = form->frameGeometry().size() - form->size();
        form->resize(QSize(700, 580) - frame);
        QTRY_COMPARE(form->frameGeometry().size(), QSize(800, 580));
        form->resize(QSize(800, 500) - frame);
        QTRY_COMPARE(form->frameGeometry().size(), QSize(800, 547));
        const QSize outer = form->frameGeometry().size() * Twips::PerPixel;
        const MainLayout::Result r = MainLayout::compute(outer.width(), outer.height(), form->width() * Twips::PerPixel,
                                                         form->screen()->availableGeometry().size() * Twips::PerPixel);
        for (auto it = r.rects.cbegin(); it != r.rects.cend(); ++it)
            QCOMPARE(form->findChild<QWidget *>(it.key())->geometry(), Twips::toPixels(it.value()));
        for (auto it = r.frame.cbegin(); it != r.frame.cend(); ++it)
            QCOMPARE(form->Frame2->findChild<QWidget *>(it.key())->geometry(), Twips::toPixels(it.value()));
        // The run panel stands right of the free names, from the caption row to the button row.
        const QRect panel = form->runPanel->geometry();
        QVERIFY(panel.left() > form->RichTextBox1->geometry().right() && panel.right() < form->width());
        QVERIFY(panel.top() == form->SkinLabel12->y() && panel.bottom() < form->Command2->y());
    }

    void taskList()
    {
        auto form = makeForm();
        DomainListModel *m = form->listModel();
        QAbstractItemModelTester tester(m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QStringList domains = {"a.com", "", "  c.cn ", "中文.com", "x.com", "y.com"};
        for (int i = 0; i < 4; ++i)
            form->addRow(domains[i]);
        form->addRows(domains.mid(4));
        m->setResult(2, R::Free); // rows not yet shown change too
        form->flushView();
        QCOMPARE(form->lastitem, 6);
        QCOMPARE(m->rowCount(), 6);
        for (int k = 1; k <= 6; ++k) {
            QCOMPARE(m->data(m->index(k - 1, 0)).toString(), QString::number(k));
            QCOMPARE(m->data(m->index(k - 1, 1)).toString(), domains[k - 1]);
            QCOMPARE(m->data(m->index(k - 1, 3)).toString(), k == 2 ? DomainListModel::resultText(R::Free) : QString());
        }
        // A shown row whose state or result changes is repainted, the last one too.
        QSignalSpy repainted(m, &QAbstractItemModel::dataChanged);
        form->store()->setState(3, DomainListModel::State::Querying);
        form->store()->setResult(6, R::Timeout);
        QCOMPARE(repainted.size(), 2);
        QCOMPARE(repainted[0][0].toModelIndex().row(), 2);
        QCOMPARE(repainted[1][0].toModelIndex().row(), 5);
        QCOMPARE(repainted[1][1].toModelIndex().column(), int(DomainListModel::ResultColumn));
        form->clearList();
        QCOMPARE(form->hostii() + m->rowCount() + m->countState(DomainListModel::State::Waiting), 0);
        form->addRow(QStringLiteral("again.com"));
        form->flushView();
        QCOMPARE(m->data(m->index(0, 0)).toString(), QStringLiteral("1"));
    }

    void newestRowScrolledIntoView()
    {
        auto form = makeForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        for (int i = 1; i <= 2000; ++i)
            form->addRow(QStringLiteral("row%1.com").arg(i));
        // The view catches up by itself shortly after.
        QTRY_COMPARE(form->listModel()->rowCount(), 2000);
        QScrollBar *bar = form->domainlist->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QTRY_COMPARE(bar->value(), bar->maximum());
    }

    void timerEnableKeepsPeriod()
    {
        WindowTimer timer(500);
        QSignalSpy spy(&timer, &WindowTimer::timeout);
        QElapsedTimer clock;
        clock.start();
        timer.setEnabled(true);
        QTest::qWait(300);
        timer.setEnabled(true); // must not start a new period (that would tick at ~800 ms)
        QVERIFY(spy.wait(2000));
        QVERIFY2(clock.elapsed() < 700, qPrintable(QString::number(clock.elapsed())));
        clock.restart();
        QTest::qWait(300);
        timer.setInterval(500); // a new interval does start a new period: the tick comes at ~800 ms, not ~500
        QVERIFY(spy.wait(2000));
        QVERIFY2(clock.elapsed() >= 700, qPrintable(QString::number(clock.elapsed())));
    }

    // Steps as WindowProbe::play, over two channels.
    void phases_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("buttons"); // Command1..Command12, 1 enabled
        QTest::addColumn<QString>("status");
        const QString idle = QStringLiteral("软件工作状态");
        const QString generating = QStringLiteral("正在生成待查询的域名列表，请稍候");
        const QString handedOver = QStringLiteral("正在批量查询已生成的域名");
        const QString endedEarly = QStringLiteral("正在批量查询已经生成域名");
        const QString querying = QStringLiteral("正在进行域名注册查询");
        const QString paused = QStringLiteral("域名注册查询暂停");
        const QString ended = QStringLiteral("域名查询结束");
        const QString finished = Finished;
        QTest::newRow("start-up") << "" << "100000001010" << idle;
        QTest::newRow("generating") << "g" << "010100001000" << generating;
        QTest::newRow("refused rule") << "x" << "100000001010" << idle;
        QTest::newRow("refused after a run") << "sfx" << "100000001010" << idle;
        QTest::newRow("generation paused") << "gp" << "001100001100" << generating;
        QTest::newRow("generation continued") << "gpc" << "010100001000" << generating;
        QTest::newRow("generation ended") << "ge" << "000010101100" << endedEarly;
        QTest::newRow("generation ended while paused") << "gpe" << "000010101100" << endedEarly;
        QTest::newRow("generation complete") << "gt" << "000010101100" << handedOver;
        QTest::newRow("single group") << "s" << "000010101100" << handedOver;
        QTest::newRow("query paused") << "sP" << "000001111101" << paused;
        QTest::newRow("query continued") << "sPC" << "000010101100" << querying;
        QTest::newRow("query ended") << "sE" << "100000011111" << ended;
        QTest::newRow("query ended while paused") << "sPE" << "100000011111" << ended;
        QTest::newRow("query finished") << "sf" << "100000011111" << finished;
        QTest::newRow("replies while paused, continued") << "sqPwC" << "100000011111" << finished;
        QTest::newRow("reply still due at continue") << "sqPC" << "000010101100" << querying;
        QTest::newRow("import") << "i" << "000010101100" << querying;
        QTest::newRow("import after a finish") << "sfi" << "000010101100" << querying;
        QTest::newRow("import after a finish, finished") << "sfif" << "100000011111" << finished;
        QTest::newRow("import while paused") << "sPi" << "000010101100" << querying;
        QTest::newRow("import while generating") << "gi" << "000010101100" << querying;
        QTest::newRow("import finished") << "if" << "100000011111" << finished;
        QTest::newRow("empty import finishes") << "Iq" << "100000011111" << finished;
        QTest::newRow("new generation after an end") << "sEg" << "010100001000" << generating;
    }
    void phases()
    {
        QFETCH(QString, steps);
        QFETCH(QString, buttons);
        QFETCH(QString, status);
        auto form = makeForm();
        WindowProbe probe(*form);
        form->Combo1->setCurrentText(QStringLiteral("2"));
        form->RichTextBox1->setPlainText(QStringLiteral("kept.com\n")); // found in an earlier run
        probe.play(steps);
        QCOMPARE(probe.buttons(), buttons);
        QCOMPARE(form->SkinLabel14->text(), status);
        QCOMPARE(form->RichTextBox1->toPlainText(), QStringLiteral("kept.com\n")); // no run clears the free names
        QCOMPARE(m_shown.size(), int(steps.count(u'x')));
        // A finished run has asked every row, whatever ran before it.
        QVERIFY(status != Finished || form->store()->countState(DomainListModel::State::Waiting) == 0);
        // Timers run only where the phase says: the generation tick while generating, the query
        // ticks of the run's channels while querying, nothing once a run is over.
        QCOMPARE(form->Timersc->isEnabled(), buttons.at(1) == u'1');
        const int ticking = probe.queryTimers();
        QVERIFY2(buttons.at(4) == u'1' ? ticking > 0 && ticking <= 2 : ticking == 0, qPrintable(QString::number(ticking)));
    }

    // 生成并进行查询 after an earlier run, ended by the user, with three channels chosen; the
    // generation is paused and continued after the given row counts, and ended with 结束生成
    // (nine channels chosen by then) where it has not ended by itself.
    void generation_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("ticks");
        QTest::addColumn<QList<int>>("pauses");
        QTest::addColumn<QString>("expected"); // the rows; "*n": the first n of an uninterrupted run; or the refusal
        QTest::newRow("one group, inside the click") << "foo,bar" << "110000000" << QList<int>{} << "foo.com foo.cn bar.com bar.cn";
        QTest::newRow("two groups to the last one") << "[a,b][c,-]" << "101000000" << QList<int>{} << "ac.com ac.net bc.com bc.net";
        QTest::newRow("an empty group") << "[][a]" << "110000000" << QList<int>{} << "";
        // After row 72 come two dropped candidates and a carry.
        QTest::newRow("paused at the drops and the carry") << CharTables::defaultRule() << "110000000" << QList<int>{1, 72, 72, 72, 700} << "*800";
        QTest::newRow("refused") << "ab.c" << "100000000" << QList<int>{} << RuleParser::badCharacterMessage();
        QTest::newRow("nothing ticked") << "[a]" << "000000000" << QList<int>{} << RuleParser::noTopLevelDomainMessage();
    }
    void generation()
    {
        QFETCH(QString, rule);
        QFETCH(QString, ticks);
        QFETCH(QList<int>, pauses);
        QFETCH(QString, expected);
        Form1 form{ServerConfig()}; // no server addresses: nothing can leave the machine
        WindowProbe probe(form);
        form.domaingz->setText(QStringLiteral("[x,y]"));
        form.Command1_Click();
        form.Command7_Click();
        form.domaingz->setText(rule);
        probe.setTicks(ticks);
        form.Combo1->setCurrentText(QStringLiteral("3"));
        const QStringList before = probe.rows();
        form.Command1_Click();
        if (!m_shown.isEmpty()) {
            QCOMPARE(m_shown.constLast().text, expected);
            // Nothing ticked is refused before anything is touched; a bad rule empties the list.
            QCOMPARE(probe.rows(), ticks.contains(u'1') ? QStringList() : before);
            return;
        }
        // One group is generated inside the click; two or more run on the timer.
        QCOMPARE(form.Timersc->isEnabled(), rule.contains(QStringLiteral("][")));
        QStringList rows = expected.split(u' ', Qt::SkipEmptyParts);
        if (expected.startsWith(u'*')) {
            RuleParser::Ticks t{};
            for (qsizetype i = 0; i < ticks.size(); ++i)
                t[size_t(i)] = ticks.at(i) == u'1';
            Odometer odometer(RuleParser::parse(rule, t).rule.groups);
            rows.clear();
            while (rows.size() < expected.mid(1).toInt())
                if (const Odometer::Tick tick = odometer.tick(); tick.step == Odometer::Step::Candidate)
                    rows << tick.candidate;
        }
        form.runPanel->refresh(); // the run panel counts the generation towards the rule's candidates
        QVERIFY(!expected.startsWith(u'*') || form.runPanel->progressText().endsWith(QStringLiteral(" / ") + form.runPanel->candidateText()));
        form.Combo1->setCurrentText(QStringLiteral("9"));
        const auto tickTo = [&form](qsizetype n) {
            for (int i = 0; i < 1000000 && form.hostii() < n && form.Timersc->isEnabled(); ++i)
                form.Timersc_Timer();
        };
        for (int at : pauses) {
            tickTo(at);
            form.Timersc_Timer(); // also right after a drop or a carry
            form.Command2_Click();
            QVERIFY(!form.Timersc->isEnabled());
            form.Command3_Click();
            QVERIFY(form.Timersc->isEnabled());
        }
        tickTo(expected.startsWith(u'*') ? rows.size() : INT_MAX);
        const bool endedByHand = form.Timersc->isEnabled();
        if (endedByHand)
            form.Command4_Click();
        for (QString &row : rows)
            row += QStringLiteral("/等待查询");
        QCOMPARE(probe.rows(), rows);
        QCOMPARE(probe.queryTimers(), endedByHand ? 9 : 3);
        form.runPanel->refresh(); // and then the query run's rows
        QCOMPARE(form.runPanel->progressText(), QStringLiteral("已查询 0 / %1").arg(form.hostii()));
    }

    // A window holding a row of every result and two free names: each file command with what
    // its dialog answers ("" cancels). A save writes its bytes; an import replaces the rows and
    // queries them; a cancel or a failure changes nothing, and a failure says which file and why.
    void fileCommands_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes"); // saved, or imported
        // The registered names are left out of the rest list; a domain spelled like a result is a domain.
        const QByteArray rest("c.cn\r\n\xD2\xD1\xBE\xAD\xB1\xBB\xD7\xA2\xB2\xE1\r\ne.com\r\nf.com\r\ng.com\r\n");
        QTest::newRow("保存生成列表") << 10 << "list.txt" << "a.com\r\nb.net\r\n" + rest;
        QTest::newRow("保存未查及超时及失败域名") << 12 << "list.txt" << rest;
        QTest::newRow("保存未注册域名") << 8 << "list.txt" << QByteArray("c.cn\r\nz.cn\r\n");
        QTest::newRow("导入生成列表") << 11 << "list.txt" << QByteArray("x.com\r\ny.com");
        for (const int c : {8, 10, 11, 12})
            for (const char *file : {"", "no/such.txt", "folder"})
                QTest::addRow("Command%d to '%s'", c, file) << c << file << QByteArray();
    }
    void fileCommands()
    {
        QFETCH(int, command);
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        auto form = makeForm();
        WindowProbe probe(*form);
        form->addRows({"a.com", "b.net", "c.cn", QStringLiteral("已经被注册"), "e.com", "f.com", "g.com"});
        int k = 0;
        for (R r : {R::Registered, R::Registered, R::Free, R::None, R::Timeout, R::Undecidable, R::UserEnded})
            form->listModel()->setResult(++k, r);
        form->RichTextBox1->setPlainText(QStringLiteral("c.cn\nz.cn"));
        QPushButton *button = form->commands()[size_t(command - 1)];
        button->setEnabled(true); // as after a run
        const QString path = file.isEmpty() ? QString() : m_dir->filePath(file);
        QVERIFY(file != u"folder" || QDir().mkdir(path));
        QVERIFY(command != 11 || bytes.isEmpty() || writeFile(path, bytes));
        const QStringList rows = probe.rows();
        const QString buttons = probe.buttons();
        FileDialog::setHook([path](bool) { return path; });
        button->click();

        const bool fails = !file.isEmpty() && bytes.isEmpty();
        const QString message = (command == 11 ? QStringLiteral("无法读取文件：") : QStringLiteral("无法写入文件：")) + path + u'\n';
        QVERIFY2(m_shown.size() == int(fails) && (!fails || (m_shown[0].text.startsWith(message) && m_shown[0].text.size() > message.size())),
                 qPrintable(m_shown.value(0).text));
        QCOMPARE(form->RichTextBox1->toPlainText(), QStringLiteral("c.cn\nz.cn"));
        // The dialog opens next where a file was last read or written, never where one failed.
        QCOMPARE(FileDialog::lastFolder(), file == u"list.txt" ? m_dir->path() : QString());
        if (command != 11 || fails || file.isEmpty()) {
            QCOMPARE(probe.rows(), rows);
            QCOMPARE(probe.buttons(), buttons);
            if (!bytes.isEmpty())
                QCOMPARE(readFile(path), bytes);
            return;
        }
        QCOMPARE(probe.rows(), (QStringList{"x.com/等待查询", "y.com/等待查询"}));
        QCOMPARE(probe.queryTimers(), 10);
        QTRY_COMPARE_WITH_TIMEOUT(form->listModel()->countResult(R::None), 0, 10000);
    }

    void panelFollowsAWholeRun()
    {
        FakeWhoisServer com, cn; // .com names are free, .cn names registered
        QVERIFY(com.listen(QHostAddress(QStringLiteral("127.0.0.2"))));
        QVERIFY(cn.listen(QHostAddress(QStringLiteral("127.0.0.3")), com.port()));
        com.setScript(FakeWhoisServer::replyAtOnce("No match for domain.\r\n>>> Last update of whois database <<<\r\n"));
        cn.setScript(FakeWhoisServer::replyAtOnce("Domain Name: x.cn\r\nExpiration Time: 2030-01-01\r\n"));
        ServerConfig config = FakeRegistries::allAt(com);
        config.cnnic = cn.host();
        Form1 form(config);
        form.domaingz->setText(QStringLiteral("[free,taken]"));
        form.Check2->setChecked(true);
        form.Command1_Click();
        QTRY_COMPARE_WITH_TIMEOUT(form.SkinLabel14->text(), Finished, 10000);
        form.runPanel->refresh();
        for (R r : {R::Registered, R::Free, R::Undecidable, R::Timeout, R::UserEnded})
            QCOMPARE(form.runPanel->shownResultCount(r), r == R::Registered || r == R::Free ? 2 : 0);
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

    void panelShowsHeldRegistry()
    {
        FakeWhoisServer whois; // limits every query
        QVERIFY(whois.listen(QHostAddress(QStringLiteral("127.0.0.2"))));
        whois.setScript(FakeWhoisServer::replyAtOnce("Queried interval is too short.\r\n"));
        Form1 form(FakeRegistries::allAt(whois));
        PaceRules rules;
        rules.holdMs = 5000;
        form.query().setPaceRules(rules);
        form.domaingz->setText(QStringLiteral("[limited]"));
        form.Command1_Click();
        form.runPanel->refresh();
        QCOMPARE(form.runPanel->limitText(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(form.query().retryCount(), 1, 5000);
        form.runPanel->refresh();
        QCOMPARE(form.runPanel->limitText(), whois.host() + QStringLiteral("：查询受限，5 秒后继续\n等待重试：1"));
        QCOMPARE(form.SkinLabel14->text(), QStringLiteral("正在批量查询已生成的域名")); // the run goes on
        form.Command7_Click();
        QCOMPARE(form.listModel()->state(1), DomainListModel::State::Waiting);
    }

    // A free name goes into the free-names list without the spaces around it; its row keeps them.
    void freeNameTrimmed()
    {
        FakeWhoisServer free;
        QVERIFY(free.listen(QHostAddress(QStringLiteral("127.0.0.2"))));
        free.setScript(FakeWhoisServer::replyAtOnce("No match for domain.\r\n>>> Last update of whois database <<<\r\n"));
        const QString path = m_dir->filePath(QStringLiteral("list.txt"));
        QVERIFY(writeFile(path, "  a.com \r\n"));
        FileDialog::setHook([path](bool) { return path; });
        Form1 form(FakeRegistries::allAt(free));
        form.Command11->click();
        QTRY_COMPARE(form.RichTextBox1->toPlainText(), QStringLiteral("a.com\n"));
        QCOMPARE(form.listModel()->domain(1), QStringLiteral("  a.com "));
    }

    // An RDAP host that says 404 to everything, its probe name included, is named on the panel.
    void panelNamesUntrustedHost()
    {
        FakeHttpServer rdap;
        QVERIFY(rdap.listen());
        LoopbackBootstrap::write({{{QStringLiteral("info")}, rdap.baseUrl() + u'/'}});
        Form1 form(ServerConfig{{}, {}, {}, {}, {}, {}, {}, 43, {}});
        form.domaingz->setText(QStringLiteral("[qvname]"));
        for (QCheckBox *box : form.checks())
            box->setChecked(box == form.Check9); // .info
        form.Command1_Click();
        QTRY_COMPARE_WITH_TIMEOUT(form.SkinLabel14->text(), Finished, 5000);
        form.runPanel->refresh();
        QCOMPARE(form.runPanel->limitText(), rdap.host() + QStringLiteral("：无法确认未注册结果"));
        QCOMPARE(form.runPanel->shownResultCount(R::Undecidable), 1);
    }

    void paceAndTimeLeft()
    {
        RunStats stats;
        stats.start(0);
        for (int s = 0; s <= 30; ++s)
            stats.sample(s * 1000, s * 20); // 20 rows a second
        QCOMPARE(stats.secondsLeft(200), qint64(10));
        QCOMPARE(stats.secondsLeft(1), qint64(1)); // a row left is never no time left
        for (int s = 31; s <= 45; ++s) // a stall shows once it fills the last ten seconds
            stats.sample(s * 1000, 600);
        QCOMPARE(stats.secondsLeft(200), qint64(-1));
        QCOMPARE(RunStats::clock(3725), QStringLiteral("1:02:05"));
        stats.stop(50000);
        QCOMPARE(stats.elapsedMs(90000), qint64(50000));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
