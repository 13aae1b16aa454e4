#include "window/Form1.h"

#include "generation/CandidateCount.h"
#include "generation/RuleParser.h"
#include "listfiles/ListFile.h"
#include "listfiles/ListFileIo.h"
#include "config/ProgramFiles.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/Twips.h"
#include "platform/WindowTimer.h"
#include "run/GenerationRun.h"
#include "run/QueryChannel.h"
#include "run/QueryRun.h"
#include "run/TaskListStore.h"
#include "window/DomainListModel.h"
#include "window/FileDialog.h"
#include "window/MainLayout.h"
#include "window/RunPanel.h"
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

std::array<QCheckBox *, TopLevelDomains::Count> Form1::checks() const
{
    std::array<QCheckBox *, TopLevelDomains::Count> boxes{};
    for (size_t i = 0; i < boxes.size(); ++i)
        boxes[i] = this->*CheckMembers[i];
    return boxes;
}

std::array<QPushButton *, 12> Form1::commands() const
{
    return {Command1, Command2, Command3, Command4, Command5, Command6,
            Command7, Command8, Command9, Command10, Command11, Command12};
}

void Form1::createControls()
{
    // The client area starts at 10875 x 7485 twips; the first layout pass enlarges it.
    resize(Twips::toPixels(10875), Twips::toPixels(7485));

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
    // Made from left to right, so Tab follows the row.
    for (const MainLayout::DomainPair &pair : MainLayout::domainPairs()) {
        auto *c = new QCheckBox(Frame2);
        c->setObjectName(pair.checkName());
        this->*CheckMembers[size_t(pair.box)] = c;
        m_checkLabels[size_t(pair.box)] = label(pair.label, TopLevelDomains::ofBox(pair.box), Frame2);
    }
    Check1->setChecked(true);
    const auto row = MainLayout::domainRow();
    for (auto it = row.cbegin(); it != row.cend(); ++it) {
        if (QWidget *w = Frame2->findChild<QWidget *>(it.key(), Qt::FindDirectChildrenOnly))
            w->setGeometry(Twips::toPixels(it.value()));
    }

    SkinLabel14 = label("SkinLabel14", QStringLiteral("软件工作状态"), nullptr);
    SkinLabel12 = label("SkinLabel12", QStringLiteral("↓未注册域名列表↓"), nullptr);

    m_store = new TaskListStore(this);
    m_list = new DomainListModel(m_store, this);
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
    Skin1.LoadSkin(ProgramFolder::file(ProgramFiles::Skin));
    Skin1.ApplySkin(this);
    const CharTables fixed;
    charall = fixed.charall;
    charinitials = fixed.charinitials;
    charfinals = fixed.charfinals;
    chardigits = fixed.chardigits;
    charletters = fixed.charletters;
    domaingz->setText(CharTables::defaultRule());
    // The four columns: Id 800 twips, domain default, state 1000 twips, result default.
    domainlist->setModel(m_list);
    domainlist->header()->setStretchLastSection(true);
    domainlist->header()->resizeSection(DomainListModel::IdColumn, Twips::toPixels(800));
    domainlist->header()->resizeSection(DomainListModel::DomainColumn, 120);
    domainlist->header()->resizeSection(DomainListModel::StateColumn, Twips::toPixels(1000));
    for (int i = 1; i <= QueryRun::ChannelCount; ++i)
        Combo1->addItem(QString::number(i));
    Combo1->setCurrentIndex(Combo1->findText(QStringLiteral("10")));
    setPhase(RunPhase::Phase::Idle);
    createRuns();
    updateCandidateCount();
}

void Form1::createRuns()
{
    m_generation = new GenerationRun(m_store, this);
    Timersc = &m_generation->tickTimer;
    connect(m_generation, &GenerationRun::rowsAdded, this, [this](int lastRow) {
        lastitem = lastRow;
        scrollRowIntoView(lastRow);
    });
    connect(m_generation, &GenerationRun::finished, this, &Form1::endOfGeneration);

    m_query = new QueryRun(m_config, m_store, this);
    connect(m_query, &QueryRun::freeName, this, &Form1::appendFreeName);
    connect(m_query, &QueryRun::scrollTo, this, &Form1::scrollRowIntoView);
    connect(m_query, &QueryRun::finished, this, &Form1::queryFinished);
    runPanel->setQueryRun(m_query);
}

void Form1::setPhase(RunPhase::Phase phase)
{
    m_phase = phase;
    const RunPhase::Buttons on = RunPhase::enabledButtons(phase);
    const auto buttons = commands();
    for (size_t i = 0; i < buttons.size(); ++i)
        buttons[i]->setEnabled(on[i]);
}

int Form1::hostii() const
{
    return m_store->size();
}

// --- Task list ----------------------------------------------------------------------------

void Form1::clearList()
{
    m_store->clear();
    lastitem = 0;
    m_pendingScroll = 0;
}

void Form1::addRow(const QString &domain)
{
    lastitem = m_store->append(domain);
    scrollRowIntoView(lastitem);
}

void Form1::addRows(const QStringList &domains)
{
    if (domains.isEmpty())
        return;
    m_store->appendMany(domains);
    lastitem = hostii();
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
    const int W = frame.width() * Twips::PerPixel;
    const int H = frame.height() * Twips::PerPixel;
    const int SW = width() * Twips::PerPixel;
    applyLayout(W, H, SW);
}

void Form1::applyLayout(int W, int H, int SW)
{
    // The minimum never asks for more than the screen offers (small or scaled screens).
    const QSize screenTwips = screen() ? screen()->availableGeometry().size() * Twips::PerPixel : QSize();
    const MainLayout::Result r = MainLayout::compute(W, H, SW, screenTwips);
    const auto place = [this, &r](std::initializer_list<const char *> names) {
        for (const char *name : names) {
            if (QWidget *w = findChild<QWidget *>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly))
                w->setGeometry(Twips::toPixels(r.rects.value(QString::fromLatin1(name))));
        }
    };
    place({"Frame2", "domaingz", "Command1", "Command10", "Command11", "domainlist", "Command2", "Command3",
           "Command4", "Command5", "Command6", "Command7", "Command8", "Command9", "Command12"});
    for (auto it = r.frame.cbegin(); it != r.frame.cend(); ++it) {
        if (QWidget *w = Frame2->findChild<QWidget *>(it.key(), Qt::FindDirectChildrenOnly))
            w->setGeometry(Twips::toPixels(it.value()));
    }
    if (r.tooSmall || r.tooLarge) {
        if (m_inLayout || isMinimized() || isMaximized() || isFullScreen())
            return; // the window cannot be resized now; the next size change lays it out again
        // Grow the outer size to the minimum; the client area follows by the frame's size.
        const int frameW = frameGeometry().width() - width();
        const int frameH = frameGeometry().height() - height();
        const int newW = Twips::toPixels(r.minW) - frameW;
        const int newH = Twips::toPixels(r.minH) - frameH;
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
    m_generation->end();
    m_query->reset(0);
    event->accept();
    QCoreApplication::quit();
}

bool Form1::runGoing() const
{
    return RunPhase::isRunning(m_phase);
}

QueryChannel &Form1::Winsockme(int i) const
{
    return m_query->channel(i);
}

WindowTimer &Form1::Timerme(int i) const
{
    return m_query->channel(i).queryTimer;
}

WindowTimer &Form1::Timer1(int i) const
{
    return m_query->channel(i).timeoutTimer;
}

int Form1::hosttt() const
{
    return m_query->cursor();
}

int Form1::runflag() const
{
    return m_query->isAccepting() ? 1 : 0;
}

int Form1::threads() const
{
    return m_query->channelCount();
}

int Form1::comboChannels() const
{
    return Combo1->currentText().toInt();
}

void Form1::layoutExtras(const MainLayout::Result &r)
{
    // The run panel fills the space right of the free-names list, from the caption row
    // down to the button row.
    const QRect rich = r.rects.value(QStringLiteral("RichTextBox1"));
    const QRect buttons = r.rects.value(QStringLiteral("Command2"));
    const int left = rich.left() + rich.width() + 120;
    const int top = r.rects.value(QStringLiteral("SkinLabel12")).top();
    const int right = width() * Twips::PerPixel - 120;
    const QRect panel(left, top, qMax(0, right - left), qMax(0, buttons.top() - 120 - top));
    runPanel->setGeometry(Twips::toPixels(panel));
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

    m_generation->end();
    m_query->reset(comboChannels());
    tldstr.clear();
    clearList();
    SkinLabel14->setText(QStringLiteral("正在生成待查询的域名列表，请稍候"));
    setPhase(RunPhase::Phase::Generating);

    const RuleParser::Result parsed = RuleParser::parse(domaingz->text(), ticks(), charTables());
    tldstr = RuleParser::tldString(ticks());
    if (!parsed.ok) {
        MessageBox::information(this, parsed.message);
        // Back to idle, so a corrected rule can be started.
        setPhase(RunPhase::Phase::Idle);
        SkinLabel14->setText(QStringLiteral("软件工作状态"));
        return;
    }
    runPanel->runStarted();
    if (parsed.rule.multiGroup)
        runPanel->setGenerating(true, CandidateCount::decimal(parsed.rule).toLongLong());
    m_generation->start(parsed.rule); // a single group ends here already
}

void Form1::Timersc_Timer()
{
    m_generation->onTick();
}

void Form1::endOfGeneration()
{
    startQuerying(threads(), QStringLiteral("正在批量查询已生成的域名"));
}

void Form1::startQuerying(int channels, const QString &status)
{
    setPhase(RunPhase::Phase::Querying);
    m_query->handOver(channels);
    runPanel->setQuerying(true);
    SkinLabel14->setText(status);
}

void Form1::Command2_Click()
{
    m_generation->pause();
    setPhase(RunPhase::Phase::GenerationPaused);
}

void Form1::Command3_Click()
{
    m_generation->resume();
    setPhase(RunPhase::Phase::Generating);
}

void Form1::Command4_Click()
{
    m_generation->end();
    // A change of the channel count made during the generation counts from here.
    startQuerying(comboChannels(), QStringLiteral("正在批量查询已经生成域名"));
}

// --- Query run ----------------------------------------------------------------------------

void Form1::Timerme_Timer(int index)
{
    m_query->onQueryTick(index);
}

void Form1::Timer1_Timer(int index)
{
    m_query->channel(index).onTimeoutTick();
}

void Form1::queryFinished()
{
    setPhase(RunPhase::Phase::Finished);
    SkinLabel14->setText(QStringLiteral("本次域名批量查询已经正常结束"));
    runPanel->runEnded();
}

void Form1::appendFreeName(const QString &mydomain)
{
    QTextCursor cursor(RichTextBox1->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(mydomain.trimmed() + QLatin1Char('\n')); // the row keeps the file's spaces
}

void Form1::Command5_Click()
{
    m_query->pause();
    setPhase(RunPhase::Phase::QueryPaused);
    SkinLabel14->setText(QStringLiteral("域名注册查询暂停"));
    runPanel->setQuerying(false);
}

void Form1::Command6_Click()
{
    setPhase(RunPhase::Phase::Querying);
    SkinLabel14->setText(QStringLiteral("正在进行域名注册查询"));
    runPanel->setQuerying(true);
    m_query->resume(); // may find every row settled and finish the run at once
}

void Form1::Command7_Click()
{
    m_query->end();
    setPhase(RunPhase::Phase::Ended);
    SkinLabel14->setText(QStringLiteral("域名查询结束"));
    runPanel->runEnded();
}

// --- List files -------------------------------------------------------------------------

bool Form1::writeListFile(const QString &path, const QByteArray &bytes)
{
    QString error;
    if (ListFileIo::write(path, bytes, &error)) {
        FileDialog::rememberFolderOf(path);
        return true;
    }
    MessageBox::information(this, QStringLiteral("无法写入文件：") + path + QLatin1Char('\n') + error);
    return false;
}

void Form1::Command10_Click()
{
    const QByteArray bytes = ListFile::generatedListBytes(m_store->domains());
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
    QStringList lines;
    QString error;
    if (!ListFileIo::readLines(path, &lines, &error)) {
        MessageBox::information(this, QStringLiteral("无法读取文件：") + path + QLatin1Char('\n') + error);
        return;
    }
    FileDialog::rememberFolderOf(path);
    m_generation->end();
    m_query->reset(comboChannels());
    clearList();
    addRows(lines);
    lines.clear();
    runPanel->runStarted();
    startQuerying(threads(), QStringLiteral("正在进行域名注册查询"));
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
    const QByteArray bytes = ListFile::generatedListBytes(m_store->domains(true));
    const QString path = FileDialog::getSaveFileName(this);
    if (path.isEmpty())
        return;
    writeListFile(path, bytes);
}
