#pragma once

#include "window/DomainListModel.h"
#include "window/RunStats.h"

#include <QElapsedTimer>
#include <QFrame>
#include <array>

class QLabel;
class QProgressBar;
class QueryRun;
class QTimer;

// The panel beside the free-names list: how many candidates the rule describes, and how far
// the current run has come and what it found. It reads the task list's running tallies,
// never the rows themselves, and repaints at most ten times a second.
class RunPanel : public QFrame
{
    Q_OBJECT
public:
    static constexpr int RefreshMs = 100;

    explicit RunPanel(const DomainListModel *model, QWidget *parent = nullptr);

    // The count of candidates the rule describes ("27,705,600"), or why the rule is refused.
    void setCandidateText(const QString &text);

    // The query run whose held-back registries, waiting retries and RDAP hosts whose 404s
    // are not believed the panel shows.
    void setQueryRun(const QueryRun *run) { m_run = run; }

    void runStarted();
    // Generation of the run's candidates has begun (on) or is over (off): the progress shows
    // the rows generated of `candidateTotal` (the rule's count; 0 or less: not known), the
    // pace and the time left of the generation. The query run's start ends it too.
    void setGenerating(bool on, qint64 candidateTotal);
    void setQuerying(bool querying);
    void runEnded();

    // Brings every figure up to date now.
    void refresh();

    // What the panel shows, for tests.
    QString candidateText() const;
    QString progressText() const;
    QString rateCaption() const;
    int progressValue() const;
    int progressMaximum() const;
    int shownResultCount(DomainListModel::Result r) const;
    int shownStateCount(DomainListModel::State s) const;
    QString rateText() const;
    QString elapsedText() const;
    QString etaText() const;
    QString limitText() const;

private:

    const DomainListModel *m_model;
    RunStats m_stats;
    RunStats m_generation; // the pace of the generation, apart from the query run's
    qint64 m_candidateTotal = 0;
    bool m_generating = false;
    QElapsedTimer m_clock;
    QTimer *m_refresh;
    bool m_dirty = true;
    bool m_querying = false;

    QLabel *m_candidates;
    QLabel *m_progressTitle;
    QProgressBar *m_progress;
    QLabel *m_progressText;
    std::array<QLabel *, DomainListModel::ResultCount> m_results{};
    QLabel *m_waiting;
    QLabel *m_querying_;
    QLabel *m_rateCaption;
    QLabel *m_rate;
    QLabel *m_elapsed;
    QLabel *m_eta;
    QLabel *m_limits;
    const QueryRun *m_run = nullptr;
};
