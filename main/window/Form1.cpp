#include "window/Form1.h"

#include "generation/RuleParser.h"
#include "generation/SingleGroupGeneration.h"
#include "listfiles/ListFile.h"
#include "window/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "whois/QueryChannel.h"
#include "platform/WindowTimer.h"
#include "window/DomainListModel.h"
#include "window/MainLayout.h"
#include "window/RunPanel.h"
#include "generation/CandidateCount.h"
#include "window/CloseQuestion.h"
#include "window/ControlAids.h"
#include "window/WindowSettings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QFile>
#include <QSaveFile>
#include <QTextCursor>
#include <QTimer>
#include <QTreeView>

namespace {
// New rows and the scroll to the newest row reach the view at most this often: rows can
// arrive every millisecond, far faster than anyone can read them.
constexpr int ViewFlushMs = 40;
} // namespace

Form1::Form1(const ServerConfig &config, QWidget *parent)
    : QWidget(parent)
    , m_config(config)
    , m_servers(config)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Velmora-QuorvexV2.4"));
    createControls();
    Form_Load();
    new ControlAids(*this);
    m_closeQuestion = new CloseQuestion(this, RichTextBox1, [this] { return runGoing(); }, [this] { Command8_Click(); });
    connect(Command8, &QPushButton::clicked, m_closeQuestion, &CloseQuestion::noteSave);
    WindowSettings::restore(*this);
}

Form1::~Form1() = default;

std::array<QCheckBox *, 9> Form1::checks() const
{
    return {Check1, Check2, Check3, Check4, Check5, Check6, Check7, Check8, Check9};
}

std::array<QPushButton *, 12> Form1::commands() const
{
    return {Command1, Command2, Command3, Command4, Command5, Command6,
            Command7, Command8, Command9, Command10, Command11, Command12};
}

std::array<QLabel *, 9> Form1::checkLabels() const
{
    return {SkinLabel1, SkinLabel2, SkinLabel3, SkinLabel4, SkinLabel5, SkinLabel6, SkinLabel7, SkinLabel11, SkinLabel8};
}

void Form1::createControls()
{
    // The design's client area is 10875 x 7485 twips; the first layout pass enlarges it.
    resize(MainLayout::toPixels(10875), MainLayout::toPixels(7485));

    auto label = [this](const char *name, const QString &text, QWidget *parent) {
        auto *l = new QLabel(text, parent ? parent : this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    auto button = [this](const char *name, const QString &text) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };

    domaingz = new QLineEdit(this);
    domaingz->setObjectName(QStringLiteral("domaingz"));

    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(false); // a drop-down list: pick, never type
    SkinLabel9 = label("SkinLabel9", QStringLiteral("线程同步查询"), nullptr);

    Command1 = button("Command1", QStringLiteral("生成并进行查询"));
    Command10 = button("Command10", QStringLiteral("保存生成列表"));
    Command11 = button("Command11", QStringLiteral("导入生成列表"));

    Frame2 = new QFrame(this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    SkinLabel10 = label("SkinLabel10", QStringLiteral("域名后缀："), Frame2);
    auto check = [this](const char *name) {
        auto *c = new QCheckBox(Frame2);
        c->setObjectName(QString::fromLatin1(name));
        return c;
    };
    Check1 = check("Check1");
    SkinLabel1 = label("SkinLabel1", QStringLiteral(".com"), Frame2);
    Check2 = check("Check2");
    SkinLabel2 = label("SkinLabel2", QStringLiteral(".cn"), Frame2);
    Check3 = check("Check3");
    SkinLabel3 = label("SkinLabel3", QStringLiteral(".net"), Frame2);
    Check5 = check("Check5");
    SkinLabel5 = label("SkinLabel5", QStringLiteral(".la"), Frame2);
    Check8 = check("Check8");
    SkinLabel11 = label("SkinLabel11", QStringLiteral(".me"), Frame2);
    Check4 = check("Check4");
    SkinLabel4 = label("SkinLabel4", QStringLiteral(".com.cn"), Frame2);
    Check6 = check("Check6");
    SkinLabel6 = label("SkinLabel6", QStringLiteral(".net.cn"), Frame2);
    Check7 = check("Check7");
    SkinLabel7 = label("SkinLabel7", QStringLiteral(".name"), Frame2);
    Check9 = check("Check9");
    SkinLabel8 = label("SkinLabel8", QStringLiteral(".info"), Frame2);
    Check1->setChecked(true);
    const auto row = MainLayout::domainRow();
    for (auto it = row.cbegin(); it != row.cend(); ++it) {
        if (QWidget *w = Frame2->findChild<QWidget *>(it.key(), Qt::FindDirectChildrenOnly))
            w->setGeometry(MainLayout::toPixels(it.value()));
    }

    SkinLabel14 = label("SkinLabel14", QStringLiteral("软件工作状态"), nullptr);
    SkinLabel12 = label("SkinLabel12", QStringLiteral("↓未注册域名列表↓"), nullptr);

    m_list = new DomainListModel(this);
    domainlist = new QTreeView(this);
    domainlist->setObjectName(QStringLiteral("domainlist"));
    domainlist->setRootIsDecorated(false);
    domainlist->setUniformRowHeights(true);
    domainlist->setItemsExpandable(false);
    domainlist->setAllColumnsShowFocus(true);
    domainlist->setSelectionBehavior(QAbstractItemView::SelectRows);
    domainlist->setEditTriggers(QAbstractItemView::NoEditTriggers);

    RichTextBox1 = new QPlainTextEdit(this);
    RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));

    Command2 = button("Command2", QStringLiteral("暂停生成"));
    Command3 = button("Command3", QStringLiteral("继续生成"));
    Command4 = button("Command4", QStringLiteral("结束生成"));
    Command5 = button("Command5", QStringLiteral("暂停查询"));
    Command6 = button("Command6", QStringLiteral("继续查询"));
    Command7 = button("Command7", QStringLiteral("结束查询"));
    Command8 = button("Command8", QStringLiteral("保存未注册域名"));
    Command9 = button("Command9", QStringLiteral("清空未注册域名列表"));
    Command12 = button("Command12", QStringLiteral("保存未查及超时及失败域名"));
    Command12->setEnabled(false); // disabled in the window's design

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    connect(Command10, &QPushButton::clicked, this, &Form1::Command10_Click);
    connect(Command11, &QPushButton::clicked, this, &Form1::Command11_Click);
    connect(Command12, &QPushButton::clicked, this, &Form1::Command12_Click);

    Timersc = new WindowTimer(1, this);
    Timersc->setPrecise(true); // as close to 1 ms as the platform keeps
    connect(Timersc, &WindowTimer::timeout, this, &Form1::Timersc_Timer);

    runPanel = new RunPanel(m_list, this);
    connect(domaingz, &QLineEdit::textChanged, this, &Form1::updateCandidateCount);
    for (QCheckBox *c : checks())
        connect(c, &QCheckBox::toggled, this, &Form1::updateCandidateCount);

    m_viewFlush = new QTimer(this);
    m_viewFlush->setSingleShot(true);
    m_viewFlush->setInterval(ViewFlushMs);
    connect(m_viewFlush, &QTimer::timeout, this, &Form1::flushView);
}

void Form1::Form_Load()
{
    // Start-up runs in a fixed order: skin first, channels last.
    Skin1.LoadSkin(ProgramFolder::file(QStringLiteral("winaqua.mys")));
    Skin1.ApplySkin(this);
    hosttt = 0;
    const CharTables fixed;
    charall = fixed.charall;
    charinitials = fixed.charinitials;
    charfinals = fixed.charfinals;
    chardigits = fixed.chardigits;
    charletters = fixed.charletters;
    hostii = 0;
    domaingz->setText(CharTables::defaultRule());
    // The four columns: Id 800 twips, domain default, state 1000 twips, result default.
    domainlist->setModel(m_list);
    domainlist->header()->setStretchLastSection(true);
    domainlist->header()->resizeSection(DomainListModel::IdColumn, MainLayout::toPixels(800));
    domainlist->header()->resizeSection(DomainListModel::DomainColumn, 120);
    domainlist->header()->resizeSection(DomainListModel::StateColumn, MainLayout::toPixels(1000));
    Command2->setEnabled(false);
    Command3->setEnabled(false);
    Command4->setEnabled(false);
    Command10->setEnabled(false);
    for (int i = 1; i <= 20; ++i)
        Combo1->addItem(QString::number(i));
    Combo1->setCurrentIndex(Combo1->findText(QStringLiteral("10")));
    runflag = 1;
    Command5->setEnabled(false);
    Command6->setEnabled(false);
    Command7->setEnabled(false);
    Command8->setEnabled(false);
    createChannels();
    updateCandidateCount();
}

// --- Task list ----------------------------------------------------------------------------

void Form1::clearList()
{
    m_list->clear();
    hostii = 0;
    lastitem = 0;
    m_pendingScroll = 0;
}

void Form1::addRow(const QString &domain)
{
    ++hostii;
    lastitem = m_list->append(domain);
    scrollRowIntoView(lastitem);
}

void Form1::addRows(const QStringList &domains)
{
    if (domains.isEmpty())
        return;
    m_list->appendMany(domains);
    hostii += int(domains.size());
    lastitem = hostii;
    scrollRowIntoView(lastitem);
}

void Form1::scrollRowIntoView(int k)
{
    m_pendingScroll = k;
    if (!m_viewFlush->isActive())
        m_viewFlush->start();
}

void Form1::flushView()
{
    m_viewFlush->stop();
    QElapsedTimer clock;
    clock.start();
    m_list->publish();
    if (m_pendingScroll >= 1 && m_pendingScroll <= m_list->publishedRows())
        domainlist->scrollTo(m_list->index(m_pendingScroll - 1, 0), QAbstractItemView::EnsureVisible);
    m_pendingScroll = 0;
    // The view lays out every row again when rows arrive, which grows with the list; keep
    // that to a few percent of the time so generation and queries keep their pace.
    const int spentMs = int(clock.elapsed());
    m_viewFlush->setInterval(qBound(ViewFlushMs, spentMs * 30, 1000));
}

// --- Layout -------------------------------------------------------------------------------

void Form1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void Form1::Form_Resize()
{
    // W and H: the outer size, frame and caption included; SW: the client width.
    const QRect frame = frameGeometry();
    const int W = frame.width() * MainLayout::TwipsPerPixel;
    const int H = frame.height() * MainLayout::TwipsPerPixel;
    const int SW = width() * MainLayout::TwipsPerPixel;
    applyLayout(W, H, SW);
}

void Form1::applyLayout(int W, int H, int SW)
{
    // The minimum never asks for more than the screen offers (small or scaled screens).
    const QSize screenTwips = screen() ? screen()->availableGeometry().size() * MainLayout::TwipsPerPixel : QSize();
    const MainLayout::Result r = MainLayout::compute(W, H, SW, screenTwips);
    const auto place = [this, &r](std::initializer_list<const char *> names) {
        for (const char *name : names) {
            if (QWidget *w = findChild<QWidget *>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly))
                w->setGeometry(MainLayout::toPixels(r.rects.value(QString::fromLatin1(name))));
        }
    };
    place({"Frame2", "domaingz", "Command1", "Command10", "Command11", "domainlist", "Command2", "Command3",
           "Command4", "Command5", "Command6", "Command7", "Command8", "Command9", "Command12"});
    for (auto it = r.frame.cbegin(); it != r.frame.cend(); ++it) {
        if (QWidget *w = Frame2->findChild<QWidget *>(it.key(), Qt::FindDirectChildrenOnly))
            w->setGeometry(MainLayout::toPixels(it.value()));
    }
    if (r.tooSmall || r.tooLarge) {
        if (m_inLayout || isMinimized() || isMaximized() || isFullScreen())
            return; // the window cannot be resized now; the next size change lays it out again
        // Grow the outer size to the minimum; the client area follows by the frame's size.
        const int frameW = frameGeometry().width() - width();
        const int frameH = frameGeometry().height() - height();
        const int newW = MainLayout::toPixels(r.minW) - frameW;
        const int newH = MainLayout::toPixels(r.minH) - frameH;
        m_inLayout = true;
        resize(newW, newH);
        m_inLayout = false;
        Form_Resize(); // the whole pass for the enlarged size, whether or not the event came yet
        return;
    }
    place({"Combo1", "SkinLabel9", "RichTextBox1", "SkinLabel12", "SkinLabel14"});
    layoutExtras(r);
}

// --- Closing ------------------------------------------------------------------------------

void Form1::closeEvent(QCloseEvent *event)
{
    if (!m_closeQuestion->mayClose()) {
        event->ignore();
        return;
    }
    WindowSettings::save(*this);
    // Closing the main window ends the program at once, whatever run is going on.
    stopEverything();
    event->accept();
    QCoreApplication::quit();
}

bool Form1::runGoing() const
{
    // 结束生成 stays enabled through a generation, 结束查询 through a query run, paused or not.
    return Timersc->isEnabled() || Command4->isEnabled() || Command7->isEnabled();
}

void Form1::stopEverything()
{
    Timersc->setEnabled(false);
    resetChannels();
}

void Form1::createChannels()
{
    // Channel 0 is part of the design; 1 to 19 are made alike at start-up.
    for (int i = 0; i < ChannelCount; ++i) {
        auto *c = new QueryChannel(i, this);
        m_channels[size_t(i)] = c;
        connect(&c->Timerme, &WindowTimer::timeout, this, [this, i] { Timerme_Timer(i); });
        connect(&c->Timer1, &WindowTimer::timeout, this, [this, i] { Timer1_Timer(i); });
        connect(c, &QueryChannel::connected, this, [this, i] { Winsockme_Connect(i); });
        connect(c, &QueryChannel::dataArrived, this, [this, i] { Winsockme_DataArrival(i); });
        connect(c, &QueryChannel::rdapFinished, this, [this, i](int status) { Winsockme_RdapFinished(i, status); });
    }
}

WindowTimer &Form1::Timerme(int i) const
{
    return m_channels[size_t(i)]->Timerme;
}

WindowTimer &Form1::Timer1(int i) const
{
    return m_channels[size_t(i)]->Timer1;
}

void Form1::resetChannels()
{
    for (QueryChannel *c : m_channels)
        c->reset();
}

int Form1::channelCount() const
{
    return qBound(0, threads.toInt(), int(ChannelCount));
}

void Form1::layoutExtras(const MainLayout::Result &r)
{
    // The run panel fills the space right of the free-names list, from the caption row
    // down to the button row.
    const QRect rich = r.rects.value(QStringLiteral("RichTextBox1"));
    const QRect buttons = r.rects.value(QStringLiteral("Command2"));
    const int left = rich.left() + rich.width() + 120;
    const int top = r.rects.value(QStringLiteral("SkinLabel12")).top();
    const int right = width() * MainLayout::TwipsPerPixel - 120;
    const QRect panel(left, top, qMax(0, right - left), qMax(0, buttons.top() - 120 - top));
    runPanel->setGeometry(MainLayout::toPixels(panel));
}

RuleParser::Ticks Form1::ticks() const
{
    RuleParser::Ticks ticked{};
    const auto boxes = checks();
    for (size_t i = 0; i < boxes.size(); ++i)
        ticked[i] = boxes[i]->isChecked();
    return ticked;
}

CharTables Form1::charTables() const
{
    return CharTables{charall, charinitials, charfinals, chardigits, charletters};
}

void Form1::updateCandidateCount()
{
    const RuleParser::Result parsed = RuleParser::parse(domaingz->text(), ticks(), charTables());
    runPanel->setCandidateText(parsed.ok ? CandidateCount::formatted(parsed.rule) : parsed.message);
}

// --- Generation ---------------------------------------------------------------------------

void Form1::Command1_Click()
{
    // Without a ticked domain there is nothing to generate; refuse before touching anything.
    if (RuleParser::tldString(ticks()).isEmpty()) {
        MessageBox::information(this, RuleParser::noTopLevelDomainMessage());
        return;
    }

    Timersc->setEnabled(false);
    resetChannels();
    odometer = Odometer();
    tldstr.clear();
    clearList();
    hosttt = 0;
    hostii = 0;
    runflag = 1;
    m_batchEnded = false;
    threads = Combo1->currentText();
    SkinLabel14->setText(QStringLiteral("正在生成待查询的域名列表，请稍候"));
    Command1->setEnabled(false);
    Command2->setEnabled(true);
    Command4->setEnabled(true);
    Command5->setEnabled(false);
    Command6->setEnabled(false);
    Command7->setEnabled(false);
    Command8->setEnabled(false);
    Command11->setEnabled(false);

    ruletext = domaingz->text();
    const RuleParser::Result parsed = RuleParser::parse(ruletext, ticks(), charTables());
    tldstr = RuleParser::tldString(ticks());
    if (!parsed.ok) {
        MessageBox::information(this, parsed.message);
        // Back to idle, so a corrected rule can be started.
        Command1->setEnabled(true);
        Command11->setEnabled(true);
        Command2->setEnabled(false);
        Command3->setEnabled(false);
        Command4->setEnabled(false);
        SkinLabel14->setText(QStringLiteral("软件工作状态"));
        return;
    }
    tlds = parsed.rule.tlds;
    runPanel->runStarted();
    if (parsed.rule.multiGroup) {
        runPanel->setGenerating(true, CandidateCount::decimal(parsed.rule).toLongLong());
        odometer = Odometer(parsed.rule.groups);
        Timersc->setEnabled(true);
        return;
    }
    addRows(SingleGroupGeneration::candidates(parsed.rule.pieces, tlds));
    endOfGeneration();
}

void Form1::Timersc_Timer()
{
    const Odometer::Tick tick = odometer.tick();
    if (tick.step == Odometer::Step::Candidate)
        addRow(tick.candidate);
    else if (tick.step == Odometer::Step::Done)
        endOfGeneration();
}

void Form1::endOfGeneration()
{
    Timersc->setEnabled(false);
    Command2->setEnabled(false);
    Command3->setEnabled(false);
    Command4->setEnabled(false);
    Command10->setEnabled(true);
    Command5->setEnabled(true);
    Command7->setEnabled(true);
    handOverToQuery();
    runPanel->setQuerying(true);
    SkinLabel14->setText(QStringLiteral("正在批量查询已生成的域名"));
}

void Form1::handOverToQuery()
{
    for (int k = 0; k < channelCount(); ++k) {
        Timerme(k).setInterval(QueryChannel::QueryInterval);
        Timerme(k).setEnabled(true);
    }
}

void Form1::Command2_Click()
{
    Timersc->setEnabled(false);
    Command2->setEnabled(false);
    Command3->setEnabled(true);
    Command10->setEnabled(true);
}

void Form1::Command3_Click()
{
    Timersc->setEnabled(true);
    Command2->setEnabled(true);
    Command3->setEnabled(false);
    Command10->setEnabled(false);
}

void Form1::Command4_Click()
{
    Timersc->setEnabled(false);
    Command2->setEnabled(false);
    Command3->setEnabled(false);
    Command4->setEnabled(false);
    Command5->setEnabled(true);
    Command7->setEnabled(true);
    Command10->setEnabled(true);
    threads = Combo1->currentText(); // a change made during the generation counts from here
    handOverToQuery();
    runPanel->setQuerying(true);
    SkinLabel14->setText(QStringLiteral("正在批量查询已经生成域名"));
}

// --- Query run ----------------------------------------------------------------------------

void Form1::Timerme_Timer(int index)
{
    if (runflag == 0)
        return;
    QueryChannel &c = Winsockme(index);
    c.chanrow = hosttt + 1;
    const bool taken = c.chanrow <= hostii;
    if (taken) {
        c.chandomain = m_list->domain(c.chanrow);
        c.openQuery(domain(c.chandomain));
        m_list->setState(c.chanrow, DomainListModel::State::Querying);
    }
    c.Timerme.setEnabled(false);
    c.Timer1.setEnabled(true);
    if (hosttt > 1 && hosttt < hostii)
        scrollRowIntoView(hosttt);
    ++hosttt;
    if (!taken)
        checkEndOfBatch(index);
}

void Form1::Winsockme_Connect(int index)
{
    QueryChannel &c = Winsockme(index);
    c.sendLine(c.chandomain);
}

void Form1::Winsockme_DataArrival(int index)
{
    QueryChannel &c = Winsockme(index);
    const std::optional<QString> text = c.takeReply();
    if (!text)
        return; // not complete yet: more data or the time-out will settle the row
    c.close();
    ynwhois(c.chandomain, *text, index, c.chanrow);
    checkEndOfBatch(index);
}

void Form1::Winsockme_RdapFinished(int index, int status)
{
    QueryChannel &c = Winsockme(index);
    settle(c.chandomain, ReplyClassifier::classifyRdap(status), index, c.chanrow);
    checkEndOfBatch(index);
}

void Form1::ynwhois(const QString &mydomain, const QString &mydata, int myindex, int nowii)
{
    settle(mydomain, ReplyClassifier::classify(mydomain, mydata), myindex, nowii);
}

void Form1::settle(const QString &mydomain, ReplyClassifier::Verdict verdict, int myindex, int nowii)
{
    if (verdict == ReplyClassifier::Free)
        appendFreeName(mydomain);
    // A row number that names no row (the run was ended, or the rows ran out): the free
    // name is kept, the list is not touched and the channel stays where it is.
    if (!m_list->isRow(nowii))
        return;
    static const DomainListModel::Result results[] = {
        DomainListModel::Result::Registered, DomainListModel::Result::Free, DomainListModel::Result::Undecidable};
    m_list->setResult(nowii, results[verdict]);
    Timerme(myindex).setEnabled(true);
    m_list->setState(nowii, DomainListModel::State::Finished);
    Winsockme(myindex).chanticks = 0;
}

void Form1::appendFreeName(const QString &mydomain)
{
    QTextCursor cursor(RichTextBox1->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(mydomain + QLatin1Char('\n'));
}

void Form1::Timer1_Timer(int index)
{
    QueryChannel &c = Winsockme(index);
    ++c.chanticks;
    if (!c.Timerme.isEnabled() && c.chanticks >= 5 && m_list->isRow(c.chanrow) && runflag != 0) {
        m_list->setResult(c.chanrow, DomainListModel::Result::Timeout);
        m_list->setState(c.chanrow, DomainListModel::State::Finished);
        c.Timerme.setEnabled(true);
        c.Timer1.setEnabled(false);
        c.chanticks = 0;
        checkEndOfBatch(index);
    }
}

void Form1::checkEndOfBatch(int index)
{
    // Finished: every row handed out and no channel of the run still waiting for a reply.
    if (runflag != 1 || m_batchEnded || hosttt < hostii)
        return;
    for (int i = 0; i < channelCount(); ++i) {
        const QueryChannel &c = Winsockme(i);
        if (m_list->isRow(c.chanrow) && m_list->state(c.chanrow) == DomainListModel::State::Querying)
            return;
    }
    m_batchEnded = true;
    endOfBatch(index);
}

void Form1::endOfBatch(int index)
{
    QueryChannel &c = Winsockme(index);
    c.Timerme.setEnabled(false);
    c.Timer1.setEnabled(false);
    c.close();
    Command5->setEnabled(false);
    Command7->setEnabled(false);
    Command8->setEnabled(true);
    Command1->setEnabled(true);
    SkinLabel14->setText(QStringLiteral("本次域名批量查询已经正常结束"));
    runPanel->runEnded();
}

void Form1::Command5_Click()
{
    runflag = 0;
    for (int i = 0; i < channelCount(); ++i) {
        Timerme(i).setEnabled(false);
        Timer1(i).setEnabled(false);
    }
    Command6->setEnabled(true);
    Command5->setEnabled(false);
    SkinLabel14->setText(QStringLiteral("域名注册查询暂停"));
    runPanel->setQuerying(false);
    Command8->setEnabled(true);
    Command7->setEnabled(true);
}

void Form1::Command6_Click()
{
    runflag = 1;
    for (int i = 0; i < channelCount(); ++i) {
        Timerme(i).setEnabled(true);
        Timer1(i).setEnabled(true);
    }
    Command6->setEnabled(false);
    Command5->setEnabled(true);
    SkinLabel14->setText(QStringLiteral("正在进行域名注册查询"));
    runPanel->setQuerying(true);
    Command7->setEnabled(true);
    Command8->setEnabled(false);
}

void Form1::Command7_Click()
{
    runflag = 0;
    for (int i = 0; i < channelCount(); ++i) {
        QueryChannel &c = Winsockme(i);
        c.Timerme.setEnabled(false);
        c.Timer1.setEnabled(false);
        if (m_list->isRow(c.chanrow)) {
            m_list->setResult(c.chanrow, DomainListModel::Result::UserEnded);
            m_list->setState(c.chanrow, DomainListModel::State::Finished);
        }
        c.chanrow = 0;
        c.chanticks = 0;
    }
    Command6->setEnabled(false);
    Command5->setEnabled(false);
    Command7->setEnabled(false);
    SkinLabel14->setText(QStringLiteral("域名查询结束"));
    runPanel->runEnded();
    Command8->setEnabled(true);
    Command1->setEnabled(true);
    Command11->setEnabled(true);
    Command12->setEnabled(true);
}

// --- List files -------------------------------------------------------------------------

QStringList Form1::domainsWhere(bool skipRegistered) const
{
    QStringList domains;
    domains.reserve(hostii);
    for (int k = 1; k <= hostii; ++k) {
        if (skipRegistered && m_list->result(k) == DomainListModel::Result::Registered)
            continue;
        domains.append(m_list->domain(k));
    }
    return domains;
}

bool Form1::writeListFile(const QString &path, const QByteArray &bytes)
{
    // Written beside the target and renamed over it only when complete: a failed save
    // never leaves a half-written or emptied list behind. A small list sits in the write
    // buffer until flushed, and commit() does not notice a failing flush, so flush first.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()
        || !file.commit()) {
        MessageBox::information(this, QStringLiteral("无法写入文件：") + path + QLatin1Char('\n') + file.errorString());
        return false;
    }
    return true;
}

void Form1::Command10_Click()
{
    const QByteArray bytes = ListFile::generatedListBytes(domainsWhere(false));
    const QString path = FileDialog::getSaveFileName(this);
    if (path.isEmpty())
        return;
    writeListFile(path, bytes);
}

void Form1::Command11_Click()
{
    // The dialog comes first: a cancel or an unreadable file leaves the current list alone.
    const QString path = FileDialog::getOpenFileName(this);
    if (path.isEmpty())
        return;
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        MessageBox::information(this, QStringLiteral("无法读取文件：") + path + QLatin1Char('\n') + file.errorString());
        return;
    }
    file.close();
    const QStringList lines = ListFile::splitLines(bytes);
    bytes.clear();

    Timersc->setEnabled(false);
    resetChannels();
    clearList();
    addRows(lines);
    Command5->setEnabled(true);
    Command7->setEnabled(true);
    threads = Combo1->currentText();
    hosttt = 0;
    runflag = 1;
    m_batchEnded = false;
    runPanel->runStarted();
    runPanel->setQuerying(true);
    handOverToQuery();
}

void Form1::Command8_Click()
{
    const QString path = FileDialog::getSaveFileName(this);
    if (path.isEmpty())
        return;
    // The text as it stands now, free names found while the dialog was open included.
    writeListFile(path, ListFile::freeNamesBytes(RichTextBox1->toPlainText()));
}

void Form1::Command9_Click()
{
    RichTextBox1->setPlainText(QString());
}

void Form1::Command12_Click()
{
    const QByteArray bytes = ListFile::generatedListBytes(domainsWhere(true));
    const QString path = FileDialog::getSaveFileName(this);
    if (path.isEmpty())
        return;
    writeListFile(path, bytes);
}
