#pragma once

#include "config/ServerConfig.h"
#include "generation/RuleParser.h"
#include "generation/TopLevelDomains.h"
#include "run/RunPhase.h"
#include "skin/Skin.h"
#include "window/MainLayout.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>

class CloseQuestion;
class DomainListModel;
class GenerationRun;
class QueryChannel;
class QueryRun;
class RunPanel;
class TaskListStore;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QTreeView;
class WindowTimer;

// The main window: rule, top-level domains, the task list, the free names and the buttons
// that drive a run. Handlers are named after their control and event; the runs themselves
// are GenerationRun and QueryRun, and the phase they are in decides which buttons work.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(const ServerConfig &config, QWidget *parent = nullptr);
    ~Form1() override;

    // --- Controls -------------------------------------------------------------------------
    QLineEdit *domaingz = nullptr;
    QFrame *Frame2 = nullptr;
    QCheckBox *Check1 = nullptr, *Check2 = nullptr, *Check3 = nullptr, *Check4 = nullptr, *Check5 = nullptr,
              *Check6 = nullptr, *Check7 = nullptr, *Check8 = nullptr, *Check9 = nullptr;
    QComboBox *Combo1 = nullptr;
    QPushButton *Command1 = nullptr, *Command2 = nullptr, *Command3 = nullptr, *Command4 = nullptr,
                *Command5 = nullptr, *Command6 = nullptr, *Command7 = nullptr, *Command8 = nullptr,
                *Command9 = nullptr, *Command10 = nullptr, *Command11 = nullptr, *Command12 = nullptr;
    QTreeView *domainlist = nullptr;
    QPlainTextEdit *RichTextBox1 = nullptr;
    // Plain labels: 9 names the channel count, 10 the domain row, 12 the free-names list, 14
    // is the status line; 1-8 and 11, the domains' captions, are checkLabels().
    QLabel *SkinLabel9 = nullptr, *SkinLabel10 = nullptr, *SkinLabel12 = nullptr, *SkinLabel14 = nullptr;
    WindowTimer *Timersc = nullptr; // the generation run's tick
    Skin Skin1;
    // Beside the free names: the rule's candidate count and the run's figures.
    RunPanel *runPanel = nullptr;

    // Check1..Check9, by TopLevelDomains' box index.
    std::array<QCheckBox *, TopLevelDomains::Count> checks() const;
    std::array<QPushButton *, 12> commands() const; // Command1..Command12
    // The caption beside each of Check1..Check9 (SkinLabel1..8 and 11), by box index.
    const std::array<QLabel *, TopLevelDomains::Count> &checkLabels() const { return m_checkLabels; }

    // --- Form-level state -----------------------------------------------------------------
    QString tldstr;
    int lastitem = 0;     // row number of the row added last; 0: none
    QString charall, charinitials, charfinals, chardigits, charletters;
    // Rows in the task list = Id of the last row.
    int hostii() const;
    // The query run's cursor, whether its channels may take rows (1) or not (0), and its
    // channel count.
    int hosttt() const;
    int runflag() const;
    int threads() const;

    GenerationRun &generation() const { return *m_generation; }
    QueryRun &query() const { return *m_query; }
    RunPhase::Phase phase() const { return m_phase; }

    // --- Task list operations -------------------------------------------------------------
    DomainListModel *listModel() const { return m_list; }
    TaskListStore *store() const { return m_store; }
    void clearList();
    void addRow(const QString &domain);
    void addRows(const QStringList &domains);
    void scrollRowIntoView(int k);
    // Carries out a pending scroll and shows pending rows now (tests, benchmarks).
    void flushView();

    // --- Query channels -------------------------------------------------------------------
    QueryChannel &Winsockme(int i) const;
    WindowTimer &Timerme(int i) const;
    WindowTimer &Timer1(int i) const;

    // --- Event handlers -------------------------------------------------------------------
    void Form_Load();
    void Form_Resize();
    // Generation.
    void Command1_Click();
    void Timersc_Timer();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    // Query run.
    void Timerme_Timer(int index);
    void Timer1_Timer(int index);
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    // List files.
    void Command8_Click();
    void Command9_Click();
    void Command10_Click();
    void Command11_Click();
    void Command12_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void setPhase(RunPhase::Phase phase);
    void endOfGeneration();
    void queryFinished();
    void startQuerying(int channels, const QString &status);
    void updateCandidateCount();
    RuleParser::Ticks ticks() const;
    CharTables charTables() const;
    int comboChannels() const;
    void appendFreeName(const QString &mydomain);
    bool writeListFile(const QString &path, const QByteArray &bytes);
    void createControls();
    void createRuns();
    void layoutExtras(const MainLayout::Result &r);
    void applyLayout(int W, int H, int SW);
    // A generation or query run is going, paused or not.
    bool runGoing() const;

    static constexpr std::array<QCheckBox *Form1::*, TopLevelDomains::Count> CheckMembers{
        &Form1::Check1, &Form1::Check2, &Form1::Check3, &Form1::Check4, &Form1::Check5,
        &Form1::Check6, &Form1::Check7, &Form1::Check8, &Form1::Check9};
    std::array<QLabel *, TopLevelDomains::Count> m_checkLabels{};
    ServerConfig m_config;
    TaskListStore *m_store = nullptr;
    DomainListModel *m_list = nullptr;
    GenerationRun *m_generation = nullptr;
    QueryRun *m_query = nullptr;
    RunPhase::Phase m_phase = RunPhase::Phase::Idle;
    QTimer *m_viewFlush = nullptr;
    int m_pendingScroll = 0;
    bool m_inLayout = false;
    CloseQuestion *m_closeQuestion = nullptr;
};
