#include "window/RunPanel.h"

#include "run/QueryRun.h"

#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <limits>

namespace {
int shownNumber(const QLabel *label)
{
    QString digits = label->text();
    digits.remove(QLatin1Char(','));
    return digits.toInt();
}

QString grouped(qint64 n)
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::DefaultNumberOptions); // keeps the "," between thousands
    return c.toString(n);
}
} // namespace

RunPanel::RunPanel(const DomainListModel *model, QWidget *parent)
    : QFrame(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("RunPanel"));
    setFrameShape(QFrame::StyledPanel);
    m_clock.start();

    auto *box = new QVBoxLayout(this);
    box->setContentsMargins(8, 6, 8, 6);
    box->setSpacing(4);

    auto *title = new QLabel(QStringLiteral("规则候选域名数"), this);
    title->setObjectName(QStringLiteral("RunPanelTitle"));
    box->addWidget(title);
    m_candidates = new QLabel(this);
    m_candidates->setObjectName(QStringLiteral("RunPanelCandidates"));
    m_candidates->setWordWrap(true);
    box->addWidget(m_candidates);

    m_progressTitle = new QLabel(QStringLiteral("本次查询进度"), this);
    m_progressTitle->setObjectName(QStringLiteral("RunPanelTitle"));
    box->addSpacing(6);
    box->addWidget(m_progressTitle);
    m_progress = new QProgressBar(this);
    m_progress->setTextVisible(false);
    m_progress->setMaximum(1);
    m_progress->setValue(0);
    box->addWidget(m_progress);
    m_progressText = new QLabel(this);
    box->addWidget(m_progressText);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(2);
    box->addLayout(grid);
    int row = 0;
    QLabel *name = nullptr;
    auto figure = [&](const QString &caption) {
        name = new QLabel(caption + QStringLiteral("："), this);
        auto *value = new QLabel(QStringLiteral("0"), this);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(name, row, 0);
        grid->addWidget(value, row, 1);
        ++row;
        return value;
    };
    using R = DomainListModel::Result;
    for (R r : {R::Registered, R::Free, R::Undecidable, R::Timeout, R::UserEnded})
        m_results[size_t(r)] = figure(DomainListModel::resultText(r));
    m_waiting = figure(DomainListModel::stateText(DomainListModel::State::Waiting));
    m_querying_ = figure(DomainListModel::stateText(DomainListModel::State::Querying));
    m_rate = figure(QStringLiteral("查询速度（近十秒）"));
    m_rateCaption = name;
    m_elapsed = figure(QStringLiteral("已用时间"));
    m_eta = figure(QStringLiteral("预计剩余时间"));
    // Registries that limit us: which, for how long, and how many rows wait for them.
    m_limits = new QLabel(this);
    m_limits->setObjectName(QStringLiteral("RunPanelLimits"));
    m_limits->setWordWrap(true);
    box->addWidget(m_limits);
    box->addStretch(1);

    m_refresh = new QTimer(this);
    m_refresh->setInterval(RefreshMs);
    connect(m_refresh, &QTimer::timeout, this, [this] {
        if (m_dirty || m_stats.running())
            refresh();
    });
    m_refresh->start();
    connect(m_model, &DomainListModel::countsChanged, this, [this] { m_dirty = true; });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { m_dirty = true; });
    refresh();
}

void RunPanel::setCandidateText(const QString &text)
{
    m_candidates->setText(text);
}

void RunPanel::runStarted()
{
    m_generating = false;
    m_stats.start(m_clock.elapsed());
    m_querying = false;
    refresh();
}

void RunPanel::setGenerating(bool on, qint64 candidateTotal)
{
    m_generating = on;
    m_candidateTotal = on ? candidateTotal : 0;
    if (on)
        m_generation.start(m_clock.elapsed());
    else
        m_generation.stop(m_clock.elapsed());
    refresh();
}

void RunPanel::setQuerying(bool querying)
{
    if (querying && m_generating)
        setGenerating(false, 0); // the query run starts only once generation is over
    m_querying = querying;
    m_dirty = true;
}

void RunPanel::runEnded()
{
    m_generating = false;
    m_querying = false;
    m_stats.stop(m_clock.elapsed());
    refresh();
}

void RunPanel::refresh()
{
    m_dirty = false;
    const qint64 now = m_clock.elapsed();
    const int total = m_model->size();
    const int settled = m_model->countState(DomainListModel::State::Finished);
    if (m_stats.running())
        m_stats.sample(now, settled);

    if (m_generating) {
        // Generated rows of the rule's candidates; a count beyond the bar's range is shown in
        // millionths.
        m_generation.sample(now, total);
        const qint64 of = m_candidateTotal > 0 ? m_candidateTotal : total;
        const qint64 scale = of > std::numeric_limits<int>::max() ? of / 1000000 + 1 : 1;
        m_progressTitle->setText(QStringLiteral("本次生成进度"));
        m_progress->setMaximum(int(qMax<qint64>(1, of / scale)));
        m_progress->setValue(int(qMin<qint64>(total, of) / scale));
        m_progressText->setText(m_candidateTotal > 0
                                    ? QStringLiteral("已生成 %1 / %2").arg(grouped(total), grouped(m_candidateTotal))
                                    : QStringLiteral("已生成 %1").arg(grouped(total)));
    } else {
        m_progressTitle->setText(QStringLiteral("本次查询进度"));
        m_progress->setMaximum(qMax(1, total));
        m_progress->setValue(qMin(settled, qMax(1, total)));
        m_progressText->setText(QStringLiteral("已查询 %1 / %2").arg(grouped(settled), grouped(total)));
    }
    m_progress->setAccessibleName(m_progressTitle->text());
    using R = DomainListModel::Result;
    for (R r : {R::Registered, R::Free, R::Undecidable, R::Timeout, R::UserEnded})
        m_results[size_t(r)]->setText(grouped(m_model->countResult(r)));
    m_waiting->setText(grouped(m_model->countState(DomainListModel::State::Waiting)));
    m_querying_->setText(grouped(m_model->countState(DomainListModel::State::Querying)));
    const RunStats &pace = m_generating ? m_generation : m_stats;
    m_rateCaption->setText(m_generating ? QStringLiteral("生成速度（近十秒）：") : QStringLiteral("查询速度（近十秒）："));
    m_rate->setText(QStringLiteral("%1 个/秒").arg(pace.ratePerSecond(), 0, 'f', 1));
    m_elapsed->setText(RunStats::clock(m_stats.elapsedMs(now) / 1000));
    if (m_generating) {
        m_eta->setText(m_candidateTotal > 0 ? RunStats::clock(m_generation.secondsLeft(m_candidateTotal - total))
                                            : QStringLiteral("—"));
    } else {
        const int remaining = m_model->countState(DomainListModel::State::Waiting)
                              + m_model->countState(DomainListModel::State::Querying);
        m_eta->setText(m_querying && m_stats.running() ? RunStats::clock(m_stats.secondsLeft(remaining))
                                                       : QStringLiteral("—"));
    }
    QStringList limits = m_run ? m_run->heldHosts() + m_run->untrustedHosts() : QStringList();
    if (m_run && m_run->retryCount() > 0)
        limits << QStringLiteral("等待重试：%1").arg(grouped(m_run->retryCount()));
    m_limits->setText(limits.join(QLatin1Char('\n')));
    m_limits->setVisible(!limits.isEmpty());
}

QString RunPanel::candidateText() const
{
    return m_candidates->text();
}

QString RunPanel::progressText() const
{
    return m_progressText->text();
}

QString RunPanel::rateCaption() const
{
    return m_rateCaption->text();
}

int RunPanel::progressValue() const
{
    return m_progress->value();
}

int RunPanel::progressMaximum() const
{
    return m_progress->maximum();
}

int RunPanel::shownResultCount(DomainListModel::Result r) const
{
    return m_results[size_t(r)] ? shownNumber(m_results[size_t(r)]) : -1;
}

int RunPanel::shownStateCount(DomainListModel::State s) const
{
    if (s == DomainListModel::State::Waiting)
        return shownNumber(m_waiting);
    if (s == DomainListModel::State::Querying)
        return shownNumber(m_querying_);
    return -1;
}

QString RunPanel::rateText() const
{
    return m_rate->text();
}

QString RunPanel::elapsedText() const
{
    return m_elapsed->text();
}

QString RunPanel::limitText() const
{
    return m_limits->text();
}

QString RunPanel::etaText() const
{
    return m_eta->text();
}
