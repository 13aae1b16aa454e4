// The generation run in the main window: Command1, the Timersc tick, pause, continue and
// end, the hand-over to the query channels and the refusals. Ticks are driven by calling
// the handler, never by waiting on the timer, so every count here is exact.
#include "FakeWhoisServer.h"
#include "config/ServerConfig.h"
#include "platform/MessageBox.h"
#include "platform/WindowTimer.h"
#include "whois/QueryChannel.h"
#include "window/DomainListModel.h"
#include "window/Form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

const QString DefaultRule = QStringLiteral("[ni,wo,ta,c,a,d][数字][声母][韵母][字母][随机]");
const QString Generating = QStringLiteral("正在生成待查询的域名列表，请稍候");
const QString QueryingAfterEnd = QStringLiteral("正在批量查询已生成的域名");
const QString QueryingAfterCommand4 = QStringLiteral("正在批量查询已经生成域名");
const QString Idle = QStringLiteral("软件工作状态");
const QString BadCharacter = QStringLiteral("对不起，规则格式不正确，请确认没有空格或者其他非规则允许字符出现");
const QString DoubleComma = QStringLiteral("对不起，请不要输入连续的逗号");
const QString NoTopLevelDomain = QStringLiteral("请至少选择一个域名后缀");

// Every address of the window on loopback: a stray query tick never leaves the machine.
ServerConfig loopbackConfig(quint16 port)
{
    ServerConfig c;
    c.internic = c.cnnic = c.la = c.me = c.iana = c.educn = c.name = c.biz = QStringLiteral("127.0.0.1");
    c.rdapInfo = QStringLiteral("http://127.0.0.1:%1/").arg(port);
    c.whoisPort = port;
    c.updateBase = QStringLiteral("http://127.0.0.1:%1").arg(port);
    return c;
}

// "+" enabled, "-" disabled, "." not checked; one character per Command1..Command12.
QString buttonMismatch(const Form1 &form, const char *pattern)
{
    QStringList wrong;
    const auto buttons = form.commands();
    for (int i = 0; i < 12; ++i) {
        const char want = pattern[i];
        if (want == '.')
            continue;
        if (buttons[size_t(i)]->isEnabled() != (want == '+'))
            wrong << QStringLiteral("Command%1 %2").arg(i + 1).arg(buttons[size_t(i)]->isEnabled() ? "on" : "off");
    }
    return wrong.join(QStringLiteral(", "));
}

QString buttonPattern(const Form1 &form)
{
    QString p;
    for (QPushButton *b : form.commands())
        p += b->isEnabled() ? QLatin1Char('+') : QLatin1Char('-');
    return p;
}

QList<int> runningQueryTimers(const Form1 &form)
{
    QList<int> on;
    for (int i = 0; i < Form1::ChannelCount; ++i)
        if (form.Timerme(i).isEnabled())
            on << i;
    return on;
}

QList<int> range(int n)
{
    QList<int> r;
    for (int i = 0; i < n; ++i)
        r << i;
    return r;
}

QStringList domains(const Form1 &form)
{
    QStringList out;
    for (int k = 1; k <= form.listModel()->size(); ++k)
        out << form.listModel()->domain(k);
    return out;
}

void tickBoxes(Form1 &form, const QList<int> &numbers)
{
    const auto boxes = form.checks();
    for (int i = 0; i < 9; ++i)
        boxes[size_t(i)]->setChecked(numbers.contains(i + 1));
}

// Drives the tick handler until `rows` rows exist or generation stops; the ticks spent.
int tickUntilRows(Form1 &form, int rows, int limit = 1000000)
{
    int n = 0;
    while (form.hostii < rows && form.Timersc->isEnabled() && n < limit) {
        form.Timersc_Timer();
        ++n;
    }
    return n;
}

int tickUntilStopped(Form1 &form, int limit)
{
    int n = 0;
    while (form.Timersc->isEnabled() && n < limit) {
        form.Timersc_Timer();
        ++n;
    }
    return n;
}

QString words(const QString &stem, int n)
{
    QStringList w;
    for (int i = 0; i < n; ++i)
        w << stem + QString::number(i);
    return w.join(QLatin1Char(','));
}

// Everything a click could change, to compare before and after.
struct Snapshot
{
    QString buttons;
    QString status;
    QStringList rows; // domain | state | result
    int hostii, hosttt, runflag, lastitem;
    QString threads, tldstr, freeNames;
    bool generating;
    QList<int> queryTimers, timeoutTimers;
    int groups;

    static Snapshot of(const Form1 &form)
    {
        Snapshot s;
        s.buttons = buttonPattern(form);
        s.status = form.SkinLabel14->text();
        const DomainListModel *m = form.listModel();
        for (int k = 1; k <= m->size(); ++k)
            s.rows << m->domain(k) + u'|' + DomainListModel::stateText(m->state(k)) + u'|'
                          + DomainListModel::resultText(m->result(k));
        s.hostii = form.hostii;
        s.hosttt = form.hosttt;
        s.runflag = form.runflag;
        s.lastitem = form.lastitem;
        s.threads = form.threads;
        s.tldstr = form.tldstr;
        s.freeNames = form.RichTextBox1->toPlainText();
        s.generating = form.Timersc->isEnabled();
        s.queryTimers = runningQueryTimers(form);
        for (int i = 0; i < Form1::ChannelCount; ++i)
            if (form.Timer1(i).isEnabled())
                s.timeoutTimers << i;
        s.groups = int(form.odometer.groups().size());
        return s;
    }

    bool operator==(const Snapshot &o) const
    {
        return buttons == o.buttons && status == o.status && rows == o.rows && hostii == o.hostii
            && hosttt == o.hosttt && runflag == o.runflag && lastitem == o.lastitem && threads == o.threads
            && tldstr == o.tldstr && freeNames == o.freeNames && generating == o.generating
            && queryTimers == o.queryTimers && timeoutTimers == o.timeoutTimers && groups == o.groups;
    }
};

} // namespace

class TestGenerationRun : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void clickStartsGeneration();
    void defaultRuleFirstRows();
    void domainsAlternate_data();
    void domainsAlternate();
    void pauseContinueGivesSameRows_data();
    void pauseContinueGivesSameRows();
    void command4HandsOverWithComboCount_data();
    void command4HandsOverWithComboCount();
    void lastCombinationEndsGeneration();
    void singleGroupInsideClick_data();
    void singleGroupInsideClick();
    void emptyGroupEndsAtOnce_data();
    void emptyGroupEndsAtOnce();
    void fiveHundredAlternatives_data();
    void fiveHundredAlternatives();
    void refusedRuleBackToIdle_data();
    void refusedRuleBackToIdle();
    void nothingTickedLeavesWindowAlone_data();
    void nothingTickedLeavesWindowAlone();
    void freeNamesSurviveNewRun();
    void newRunDropsOutstandingQueries();

private:
    std::unique_ptr<Form1> makeForm();

    std::unique_ptr<FakeWhoisServer> m_server;
    QList<MessageBox::Shown> m_shown;
};

void TestGenerationRun::initTestCase()
{
    m_server = std::make_unique<FakeWhoisServer>();
    QVERIFY(m_server->listen(QHostAddress(QStringLiteral("127.0.0.1"))));
    m_server->setScript(FakeWhoisServer::neverReply());
}

void TestGenerationRun::init()
{
    m_shown.clear();
    MessageBox::recordAndAnswer(&m_shown);
}

void TestGenerationRun::cleanup()
{
    MessageBox::setHook(nullptr);
}

std::unique_ptr<Form1> TestGenerationRun::makeForm()
{
    return std::make_unique<Form1>(loopbackConfig(m_server->port()));
}

void TestGenerationRun::clickStartsGeneration()
{
    auto form = makeForm();
    // Left over from an earlier run: rows, a moved cursor, a paused flag, a saved-list button.
    form->addRows({QStringLiteral("old1.com"), QStringLiteral("old2.com")});
    form->hosttt = 2;
    form->runflag = 0;
    form->Command10->setEnabled(true);
    form->Combo1->setCurrentText(QStringLiteral("7"));
    QCOMPARE(form->domaingz->text(), DefaultRule);

    form->Command1_Click();

    QVERIFY(m_shown.isEmpty());
    QCOMPARE(form->hostii, 0);
    QCOMPARE(form->listModel()->size(), 0);
    QCOMPARE(form->hosttt, 0);
    QCOMPARE(form->runflag, 1);
    QCOMPARE(form->threads, QStringLiteral("7"));
    QCOMPARE(form->tldstr, QStringLiteral(".com"));
    QCOMPARE(form->SkinLabel14->text(), Generating);
    // Command9 and Command10 keep what they had; Command12 is not this run's business.
    const QString wrong = buttonMismatch(*form, "-+-+----++-.");
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QVERIFY(form->Timersc->isEnabled());
    QCOMPARE(form->Timersc->interval(), 1);
    QCOMPARE(runningQueryTimers(*form), QList<int>());

    // The worked example's table: six name groups and the domain group.
    QCOMPARE(form->odometer.s(), 6);
    QList<int> sizes;
    for (const QStringList &g : form->odometer.groups())
        sizes << int(g.size());
    QCOMPARE(sizes, (QList<int>{6, 10, 20, 24, 26, 37, 1}));
    QCOMPARE(form->odometer.groups().back(), QStringList{QStringLiteral(".com")});

    // Numbering starts from 1 again.
    form->Timersc_Timer();
    QCOMPARE(form->hostii, 1);
    form->flushView();
    const auto *m = form->listModel();
    QCOMPARE(m->rowCount(), 1);
    QCOMPARE(m->data(m->index(0, DomainListModel::IdColumn)).toString(), QStringLiteral("1"));
    QCOMPARE(m->data(m->index(0, DomainListModel::DomainColumn)).toString(), QStringLiteral("ni0baaa.com"));
}

void TestGenerationRun::defaultRuleFirstRows()
{
    auto form = makeForm();
    form->Command1_Click();
    QVERIFY(form->Timersc->isEnabled());

    const QString chars = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789");
    for (int i = 0; i < 36; ++i)
        form->Timersc_Timer();
    QCOMPARE(form->hostii, 36);
    form->flushView();
    const auto *m = form->listModel();
    QCOMPARE(m->rowCount(), 36);
    for (int k = 1; k <= 36; ++k) {
        QCOMPARE(m->data(m->index(k - 1, DomainListModel::IdColumn)).toString(), QString::number(k));
        QCOMPARE(m->data(m->index(k - 1, DomainListModel::DomainColumn)).toString(),
                 QStringLiteral("ni0baa") + chars.at(k - 1) + QStringLiteral(".com"));
        QCOMPARE(m->data(m->index(k - 1, DomainListModel::StateColumn)).toString(), QStringLiteral("等待查询"));
        QCOMPARE(m->data(m->index(k - 1, DomainListModel::ResultColumn)).toString(), QString());
    }
    QCOMPARE(form->lastitem, 36);

    // Tick 37 forms ni0baa-.com and drops it; tick 38 carries; tick 39 yields row 37.
    form->Timersc_Timer();
    QCOMPARE(form->hostii, 36);
    form->Timersc_Timer();
    QCOMPARE(form->hostii, 36);
    QVERIFY(form->Timersc->isEnabled());
    form->Timersc_Timer();
    QCOMPARE(form->hostii, 37);
    QCOMPARE(form->lastitem, 37);
    QCOMPARE(form->listModel()->domain(37), QStringLiteral("ni0baba.com"));
    QVERIFY(!domains(*form).join(u' ').contains(QStringLiteral("-.")));
    // Still generating: the query channels wait.
    QCOMPARE(runningQueryTimers(*form), QList<int>());
}

void TestGenerationRun::domainsAlternate_data()
{
    QTest::addColumn<QList<int>>("boxes");
    QTest::addColumn<QStringList>("first");
    QTest::newRow(".com") << QList<int>{1} << QStringList{"ni0baaa.com", "ni0baab.com", "ni0baac.com"};
    QTest::newRow(".com .cn") << QList<int>{1, 2}
                              << QStringList{"ni0baaa.com", "ni0baaa.cn", "ni0baab.com", "ni0baab.cn", "ni0baac.com"};
    // The fixed order, not the screen's: .info before .me.
    QTest::newRow(".me .info") << QList<int>{8, 9}
                               << QStringList{"ni0baaa.info", "ni0baaa.me", "ni0baab.info", "ni0baab.me"};
    QTest::newRow("all nine") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}
                              << QStringList{"ni0baaa.com", "ni0baaa.cn", "ni0baaa.net", "ni0baaa.com.cn",
                                             "ni0baaa.la", "ni0baaa.net.cn", "ni0baaa.name", "ni0baaa.info",
                                             "ni0baaa.me", "ni0baab.com"};
}

void TestGenerationRun::domainsAlternate()
{
    QFETCH(QList<int>, boxes);
    QFETCH(QStringList, first);
    auto form = makeForm();
    tickBoxes(*form, boxes);
    form->Command1_Click();
    QVERIFY(m_shown.isEmpty());
    // The domain group never costs a tick of its own.
    for (int i = 0; i < first.size(); ++i)
        form->Timersc_Timer();
    QCOMPARE(domains(*form), first);
}

void TestGenerationRun::pauseContinueGivesSameRows_data()
{
    QTest::addColumn<QList<int>>("pauses"); // row counts at which to pause
    QTest::newRow("after first row") << QList<int>{1};
    // With .com and .cn, after row 72 come two dropped candidates and a carry.
    QTest::newRow("at the drops and the carry") << QList<int>{72, 72, 72};
    QTest::newRow("several") << QList<int>{5, 100, 101, 700};
}

void TestGenerationRun::pauseContinueGivesSameRows()
{
    QFETCH(QList<int>, pauses);
    const int total = 1500;

    auto reference = makeForm();
    tickBoxes(*reference, {1, 2});
    reference->Command1_Click();
    tickUntilRows(*reference, total);
    const QStringList expected = domains(*reference);
    QCOMPARE(expected.size(), total);

    auto form = makeForm();
    tickBoxes(*form, {1, 2});
    form->Command1_Click();
    for (int at : pauses) {
        tickUntilRows(*form, at);
        // A pause right at a drop or carry must not lose the tick's place either.
        form->Timersc_Timer();
        const int before = form->hostii;
        form->Command2_Click();
        QVERIFY(!form->Timersc->isEnabled());
        QString wrong = buttonMismatch(*form, "--++----.+-.");
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        // While paused the real timer adds nothing.
        QTest::qWait(30);
        QCOMPARE(form->hostii, before);
        QCOMPARE(runningQueryTimers(*form), QList<int>());

        form->Command3_Click();
        QVERIFY(form->Timersc->isEnabled());
        wrong = buttonMismatch(*form, "-+-+----.--.");
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        QCOMPARE(form->SkinLabel14->text(), Generating);
    }
    tickUntilRows(*form, total);
    QCOMPARE(domains(*form).mid(0, total), expected);
}

void TestGenerationRun::command4HandsOverWithComboCount_data()
{
    QTest::addColumn<QString>("atClick");
    QTest::addColumn<QString>("atEnd");
    QTest::addColumn<bool>("paused");
    QTest::newRow("10 then 3") << "10" << "3" << false;
    QTest::newRow("2 then 20") << "2" << "20" << false;
    QTest::newRow("5 unchanged") << "5" << "5" << false;
    QTest::newRow("from paused, 10 then 1") << "10" << "1" << true;
}

void TestGenerationRun::command4HandsOverWithComboCount()
{
    QFETCH(QString, atClick);
    QFETCH(QString, atEnd);
    QFETCH(bool, paused);
    auto form = makeForm();
    form->Combo1->setCurrentText(atClick);
    form->Command1_Click();
    QCOMPARE(form->threads, atClick);
    tickUntilRows(*form, 50);
    if (paused)
        form->Command2_Click();
    form->Combo1->setCurrentText(atEnd);

    form->Command4_Click();

    QCOMPARE(form->threads, atEnd);
    QVERIFY(!form->Timersc->isEnabled());
    // Command5, Command7 and Command10 on; the rest as generation left them.
    QVERIFY2(buttonMismatch(*form, "----+-+-.+-.").isEmpty(), qPrintable(buttonPattern(*form)));
    QCOMPARE(form->SkinLabel14->text(), QueryingAfterCommand4);
    QCOMPARE(runningQueryTimers(*form), range(atEnd.toInt()));
    for (int k = 0; k < atEnd.toInt(); ++k)
        QCOMPARE(form->Timerme(k).interval(), 100);
    // The rows made so far are the query run's list; nothing was added by the click.
    QCOMPARE(form->hostii, 50);
    QCOMPARE(form->hosttt, 0);
    QCOMPARE(form->runflag, 1);
}

void TestGenerationRun::lastCombinationEndsGeneration()
{
    auto form = makeForm();
    tickBoxes(*form, {1, 3});
    form->domaingz->setText(QStringLiteral("[a,b][c,-]"));
    form->Combo1->setCurrentText(QStringLiteral("4"));
    form->Command1_Click();
    QVERIFY(form->Timersc->isEnabled());
    // A change of Combo1 during generation counts only for Command4.
    form->Combo1->setCurrentText(QStringLiteral("9"));

    const int ticks = tickUntilStopped(*form, 100);
    QVERIFY(ticks < 100);
    QCOMPARE(domains(*form), (QStringList{"ac.com", "ac.net", "bc.com", "bc.net"}));
    QVERIFY(!form->Timersc->isEnabled());
    QVERIFY2(buttonMismatch(*form, "----+-+-.+-.").isEmpty(), qPrintable(buttonPattern(*form)));
    QCOMPARE(form->SkinLabel14->text(), QueryingAfterEnd);
    QCOMPARE(form->threads, QStringLiteral("4"));
    QCOMPARE(runningQueryTimers(*form), range(4));
    QCOMPARE(form->Timerme(0).interval(), 100);
    QCOMPARE(form->hosttt, 0);
    QCOMPARE(form->runflag, 1);
}

void TestGenerationRun::singleGroupInsideClick_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QList<int>>("boxes");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("no brackets") << "foo,bar" << QList<int>{1} << QStringList{"foo.com", "bar.com"};
    QTest::newRow("pieces outermost") << "[foo,bar]" << QList<int>{1, 2}
                                      << QStringList{"foo.com", "foo.cn", "bar.com", "bar.cn"};
    QTest::newRow("text outside brackets joins") << "[a,b]x[c,d]" << QList<int>{1}
                                                 << QStringList{"a.com", "bxc.com", "d.com"};
    QTest::newRow("keyword in group") << "[ni,数字]" << QList<int>{1}
                                      << QStringList{"ni.com", "0.com", "1.com", "2.com", "3.com", "4.com",
                                                     "5.com", "6.com", "7.com", "8.com", "9.com"};
    QTest::newRow("hyphens") << "[-a,b-,c-d]" << QList<int>{1, 3} << QStringList{"c-d.com", "c-d.net"};
    QTest::newRow("upper case kept") << "[Ab,CD]" << QList<int>{1} << QStringList{"Ab.com", "CD.com"};
    QTest::newRow("finals list e twice") << "[韵母]" << QList<int>{1}
                                         << QStringList{"a.com", "o.com", "e.com", "e.com", "u.com", "v.com",
                                                        "ai.com", "ei.com", "ui.com", "ao.com", "ou.com", "iu.com",
                                                        "ie.com", "ue.com", "er.com", "an.com", "en.com", "in.com",
                                                        "un.com", "vn.com", "ang.com", "eng.com", "ing.com", "ong.com"};
}

void TestGenerationRun::singleGroupInsideClick()
{
    QFETCH(QString, rule);
    QFETCH(QList<int>, boxes);
    QFETCH(QStringList, rows);
    auto form = makeForm();
    tickBoxes(*form, boxes);
    form->domaingz->setText(rule);
    form->Combo1->setCurrentText(QStringLiteral("3"));

    form->Command1_Click();

    QVERIFY(m_shown.isEmpty());
    QCOMPARE(domains(*form), rows);
    QCOMPARE(form->hostii, rows.size());
    QCOMPARE(form->lastitem, int(rows.size()));
    for (int k = 1; k <= form->hostii; ++k) {
        QCOMPARE(form->listModel()->state(k), DomainListModel::State::Waiting);
        QCOMPARE(form->listModel()->result(k), DomainListModel::Result::None);
    }
    QVERIFY(!form->Timersc->isEnabled());
    QVERIFY2(buttonMismatch(*form, "----+-+-.+-.").isEmpty(), qPrintable(buttonPattern(*form)));
    QCOMPARE(form->SkinLabel14->text(), QueryingAfterEnd);
    QCOMPARE(runningQueryTimers(*form), range(3));
    QCOMPARE(form->hosttt, 0);
    QCOMPARE(form->runflag, 1);
}

void TestGenerationRun::emptyGroupEndsAtOnce_data()
{
    QTest::addColumn<QString>("rule");
    QTest::newRow("[a][]") << "[a][]";
    QTest::newRow("[][a]") << "[][a]";
    QTest::newRow("[a,b][][c]") << "[a,b][][c]";
}

void TestGenerationRun::emptyGroupEndsAtOnce()
{
    QFETCH(QString, rule);
    auto form = makeForm();
    form->domaingz->setText(rule);
    form->Combo1->setCurrentText(QStringLiteral("2"));
    form->Command1_Click();
    QVERIFY(m_shown.isEmpty());
    // Either inside the click or on the very first tick, never later.
    if (form->Timersc->isEnabled())
        form->Timersc_Timer();
    QVERIFY(!form->Timersc->isEnabled());
    QCOMPARE(form->hostii, 0);
    QCOMPARE(form->listModel()->size(), 0);
    QCOMPARE(form->SkinLabel14->text(), QueryingAfterEnd);
    QVERIFY2(buttonMismatch(*form, "----+-+-.+-.").isEmpty(), qPrintable(buttonPattern(*form)));
    QCOMPARE(runningQueryTimers(*form), range(2));
}

void TestGenerationRun::fiveHundredAlternatives_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::newRow("one group") << "[" + words("w", 500) + "]" << "w0.com" << "w499.com";
    QTest::newRow("first of two") << "[" + words("w", 500) + "][x]" << "w0x.com" << "w499x.com";
    QTest::newRow("second of two") << "[p][" + words("w", 500) + "]" << "pw0.com" << "pw499.com";
}

void TestGenerationRun::fiveHundredAlternatives()
{
    QFETCH(QString, rule);
    QFETCH(QString, first);
    QFETCH(QString, last);
    auto form = makeForm();
    form->domaingz->setText(rule);
    form->Command1_Click();
    QVERIFY(m_shown.isEmpty());
    const int ticks = tickUntilStopped(*form, 5000);
    QVERIFY(ticks < 5000);
    QCOMPARE(form->hostii, 500);
    QCOMPARE(form->listModel()->domain(1), first);
    QCOMPARE(form->listModel()->domain(500), last);
    const QStringList all = domains(*form);
    QCOMPARE(QSet<QString>(all.cbegin(), all.cend()).size(), 500);
    QCOMPARE(form->SkinLabel14->text(), QueryingAfterEnd);
}

void TestGenerationRun::refusedRuleBackToIdle_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("message");
    QTest::newRow("dot") << "ab.c" << BadCharacter;
    QTest::newRow("space in group") << "[a b]" << BadCharacter;
    QTest::newRow("tab") << "[a]\t[b]" << BadCharacter;
    QTest::newRow("not a keyword") << "[ni,wo]中" << BadCharacter;
    QTest::newRow("two commas") << "[a,,b]" << DoubleComma;
    QTest::newRow("commas between groups") << "[a,b],,[c]" << DoubleComma;
}

void TestGenerationRun::refusedRuleBackToIdle()
{
    QFETCH(QString, rule);
    QFETCH(QString, message);
    auto form = makeForm();
    // An earlier run, ended by the user: rows, free names, Command1 back on.
    form->domaingz->setText(QStringLiteral("[x,y]"));
    form->Command1_Click();
    QCOMPARE(form->hostii, 2);
    form->Command7_Click();
    QVERIFY(form->Command1->isEnabled());
    form->RichTextBox1->setPlainText(QStringLiteral("keep.com\n"));

    form->domaingz->setText(rule);
    form->Command1_Click();

    QCOMPARE(m_shown.size(), 1);
    QCOMPARE(m_shown.first().text, message);
    QVERIFY(!m_shown.first().question);
    QVERIFY2(buttonMismatch(*form, "+-------..+.").isEmpty(), qPrintable(buttonPattern(*form)));
    QCOMPARE(form->SkinLabel14->text(), Idle);
    QCOMPARE(form->hostii, 0);
    QCOMPARE(form->listModel()->size(), 0);
    QVERIFY(!form->Timersc->isEnabled());
    QCOMPARE(runningQueryTimers(*form), QList<int>());
    QCOMPARE(form->RichTextBox1->toPlainText(), QStringLiteral("keep.com\n"));

    // A corrected rule starts.
    form->domaingz->setText(QStringLiteral("[a,b][c]"));
    form->Command1_Click();
    QCOMPARE(m_shown.size(), 1);
    QVERIFY(form->Timersc->isEnabled());
    QCOMPARE(form->SkinLabel14->text(), Generating);
}

void TestGenerationRun::nothingTickedLeavesWindowAlone_data()
{
    QTest::addColumn<QString>("before");
    QTest::newRow("fresh window") << "fresh";
    QTest::newRow("after an ended run") << "ended";
    QTest::newRow("refused rule in the box") << "badrule";
}

void TestGenerationRun::nothingTickedLeavesWindowAlone()
{
    QFETCH(QString, before);
    auto form = makeForm();
    if (before == QLatin1String("ended")) {
        form->domaingz->setText(QStringLiteral("[x,y,z]"));
        form->Command1_Click();
        form->listModel()->setResult(1, DomainListModel::Result::Free);
        form->RichTextBox1->setPlainText(QStringLiteral("x.com\n"));
        form->Command7_Click();
        form->domaingz->setText(DefaultRule);
    } else if (before == QLatin1String("badrule")) {
        form->domaingz->setText(QStringLiteral("a b"));
    }
    tickBoxes(*form, {});
    const Snapshot was = Snapshot::of(*form);

    form->Command1_Click();

    QCOMPARE(m_shown.size(), 1);
    QCOMPARE(m_shown.first().text, NoTopLevelDomain);
    QVERIFY(Snapshot::of(*form) == was);
}

void TestGenerationRun::freeNamesSurviveNewRun()
{
    auto form = makeForm();
    // Free names as the query run appends them (row 0: no row of the list).
    form->ynwhois(QStringLiteral("free1.com"), QStringLiteral("No match for \"FREE1.COM\"."), 0, 0);
    form->ynwhois(QStringLiteral("free2.net"), QStringLiteral("No match for \"FREE2.NET\"."), 0, 0);
    const QString names = form->RichTextBox1->toPlainText();
    QVERIFY(names.contains(QStringLiteral("free1.com")));
    QVERIFY(names.contains(QStringLiteral("free2.net")));

    form->domaingz->setText(QStringLiteral("[a,b]"));
    form->Command1_Click();
    QCOMPARE(form->RichTextBox1->toPlainText(), names);
    form->Command7_Click();
    form->domaingz->setText(QStringLiteral("[a][b]"));
    form->Command1_Click();
    tickUntilStopped(*form, 100);
    QCOMPARE(form->RichTextBox1->toPlainText(), names);
}

void TestGenerationRun::newRunDropsOutstandingQueries()
{
    // The first run's servers answer late; by then a new run has replaced the list.
    m_server->setScript(FakeWhoisServer::replyAfter(
        400, "No match for domain.\r\n>>> Last update of whois database: 2024-01-01T00:00:00Z <<<\r\n"));
    auto form = makeForm();
    form->domaingz->setText(QStringLiteral("[first1,first2,first3]"));
    form->Combo1->setCurrentText(QStringLiteral("3"));
    const int connectionsBefore = m_server->connectionCount();
    form->Command1_Click();
    QTRY_COMPARE_WITH_TIMEOUT(form->listModel()->countState(DomainListModel::State::Querying), 3, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->connectionCount() - connectionsBefore, 3, 5000);
    // As after an import, Command1 is on while a query run goes on.
    form->Command1->setEnabled(true);

    form->domaingz->setText(QStringLiteral("[a,b][c]"));
    form->Command1_Click();
    for (int i = 0; i < Form1::ChannelCount; ++i) {
        QCOMPARE(form->Winsockme(i).chanrow, 0);
        QVERIFY(!form->Timerme(i).isEnabled());
        QVERIFY(!form->Timer1(i).isEnabled());
    }
    tickUntilRows(*form, 1);
    form->Command2_Click(); // hold the generation while the late answers would arrive
    QCOMPARE(domains(*form), QStringList{QStringLiteral("ac.com")});
    QTest::qWait(800);
    QCOMPARE(form->listModel()->state(1), DomainListModel::State::Waiting);
    QCOMPARE(form->listModel()->result(1), DomainListModel::Result::None);
    QVERIFY(form->RichTextBox1->toPlainText().isEmpty());
    m_server->setScript(FakeWhoisServer::neverReply());
}

QTEST_MAIN(TestGenerationRun)
#include "tst_generationrun.moc"
