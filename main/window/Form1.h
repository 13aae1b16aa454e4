#pragma once

#include "config/ServerConfig.h"
#include "generation/Odometer.h"
#include "generation/RuleParser.h"
#include "skin/Skin.h"
#include "whois/ReplyClassifier.h"
#include "whois/WhoisServers.h"
#include "window/MainLayout.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>

class CloseQuestion;
class DomainListModel;
class QueryChannel;
class RunPanel;
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
// that drive a run. Handlers are named after their control and event; the work itself is
// done by the core (generation, whois, listfiles).
class Form1 : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ChannelCount = 20;

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
    // Plain labels: 1-8 and 11 name the top-level domains, 9 the channel count, 10 the
    // domain row, 12 the free-names list, 14 is the status line.
    QLabel *SkinLabel1 = nullptr, *SkinLabel2 = nullptr, *SkinLabel3 = nullptr, *SkinLabel4 = nullptr,
           *SkinLabel5 = nullptr, *SkinLabel6 = nullptr, *SkinLabel7 = nullptr, *SkinLabel8 = nullptr,
           *SkinLabel9 = nullptr, *SkinLabel10 = nullptr, *SkinLabel11 = nullptr, *SkinLabel12 = nullptr,
           *SkinLabel14 = nullptr;
    WindowTimer *Timersc = nullptr;
    Skin Skin1;
    // Where the design had its advertising: the candidate count and the run's figures.
    RunPanel *runPanel = nullptr;

    std::array<QCheckBox *, 9> checks() const; // Check1..Check9
    std::array<QPushButton *, 12> commands() const; // Command1..Command12
    std::array<QLabel *, 9> checkLabels() const; // the caption beside each of Check1..Check9

    // --- Form-level state -----------------------------------------------------------------
    int hostii = 0;       // rows in the task list = Id of the last row
    qint32 hosttt = 0;    // query cursor: rows handed to channels so far
    int runflag = 1;      // 1 while channels may take rows
    QString threads;      // channel count of the current run, as Combo1 shows it
    QString tldstr;
    QStringList tlds;
    QString ruletext;
    QString rulecheck;
    int lastitem = 0;     // row number of the row added last; 0: none
    // The group table `groups`, the odometer `counters` and `s` live in the odometer.
    Odometer odometer;
    QString charall, charinitials, charfinals, chardigits, charletters;

    // --- Task list operations -------------------------------------------------------------
    DomainListModel *listModel() const { return m_list; }
    void clearList();                     // also sets hostii to 0
    void addRow(const QString &domain);  // the six steps of adding a row
    void addRows(const QStringList &domains); // the same for many rows at once
    void scrollRowIntoView(int k);
    // Carries out a pending scroll and shows pending rows now (tests, benchmarks).
    void flushView();

    // --- Query channels -------------------------------------------------------------------
    QueryChannel &Winsockme(int i) const { return *m_channels[size_t(i)]; }
    WindowTimer &Timerme(int i) const;
    WindowTimer &Timer1(int i) const;
    // The server to ask for a domain.
    WhoisTarget domain(const QString &strme) const { return m_servers.domain(strme); }
    // Stops every channel and forgets its row: no late reply or time-out of an earlier run
    // can reach a row of a new list.
    void resetChannels();

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
    void Winsockme_Connect(int index);
    void Winsockme_DataArrival(int index);
    void Winsockme_RdapFinished(int index, int status);
    void Timer1_Timer(int index);
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    // Classifies a reply and settles the channel's row.
    void ynwhois(const QString &mydomain, const QString &mydata, int myindex, int nowii);
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
    void settle(const QString &mydomain, ReplyClassifier::Verdict verdict, int myindex, int nowii);
    void endOfGeneration();
    void updateCandidateCount();
    RuleParser::Ticks ticks() const;
    CharTables charTables() const;
    void handOverToQuery();
    void checkEndOfBatch(int index);
    void endOfBatch(int index);
    int channelCount() const;
    void appendFreeName(const QString &mydomain);
    bool writeListFile(const QString &path, const QByteArray &bytes);
    QStringList domainsWhere(bool skipRegistered) const;
    void createControls();
    void createChannels();
    void stopEverything();
    void layoutExtras(const MainLayout::Result &r);
    void applyLayout(int W, int H, int SW);
    // A generation or query run is going, paused or not.
    bool runGoing() const;

    ServerConfig m_config;
    WhoisServers m_servers;
    std::array<QueryChannel *, ChannelCount> m_channels{};
    bool m_batchEnded = false; // the end-of-batch step ran for the current run
    DomainListModel *m_list = nullptr;
    QTimer *m_viewFlush = nullptr;
    int m_pendingScroll = 0;
    bool m_inLayout = false;
    CloseQuestion *m_closeQuestion = nullptr;
};
