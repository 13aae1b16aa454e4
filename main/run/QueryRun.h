#pragma once

#include "config/ServerConfig.h"
#include "platform/WindowTimer.h"
#include "run/QueryChannel.h"
#include "whois/ReplyClassifier.h"
#include "whois/WhoisServers.h"

#include <QObject>
#include <QString>
#include <array>

class TaskListStore;

// The query run: up to twenty channels take the task list's rows in order, one per query
// tick, ask the registry and settle each row from its reply or by the time-out. Pause,
// continue and end act on the whole run; the end of the batch comes once every row is
// settled.
class QueryRun : public QObject
{
    Q_OBJECT
public:
    static constexpr int ChannelCount = 20;
    static constexpr int TimeoutTicks = 5; // of Timer1: a query gets 40 to 50 s

    QueryRun(const ServerConfig &config, TaskListStore *store, QObject *parent = nullptr);
    ~QueryRun() override;

    QueryChannel &Winsockme(int i) const { return *m_channels[size_t(i)]; }
    WindowTimer &Timerme(int i) const;
    WindowTimer &Timer1(int i) const;
    // The server to ask for a domain.
    WhoisTarget domain(const QString &strme) const { return m_servers.domain(strme); }

    // The run's values.
    qint32 hosttt = 0; // rows handed to channels so far
    int runflag = 1;   // 1 while channels may take rows
    int threads = 0;   // channels of this run: 0 .. threads-1 take part
    int hostii() const;

    // A new run: every channel stops and forgets its row, so no late reply or time-out of
    // an earlier run reaches a row of the new list; the cursor goes back to the first row.
    void reset(int channels);
    // The channels 0 .. channels-1 start taking rows.
    void handOver(int channels);
    void pause();
    void resume();
    void end();
    // Per-registry pacing and retries after a limit (on unless switched off, e.g. to
    // measure the run without it).
    void setPacing(bool on) { m_pacing = on; }
    bool pacing() const { return m_pacing; }
    // The end of the batch has come for this run.
    bool isFinished() const { return m_batchEnded; }
    // A channel of the run still waits for the reply to its row.
    bool isWaiting(int i) const;

    // --- Event handlers -----------------------------------------------------------------
    void Timerme_Timer(int index);
    void Winsockme_Connect(int index);
    void Winsockme_DataArrival(int index);
    void Winsockme_Error(int index, QueryChannel::Failure why);
    void Winsockme_RdapFinished(int index, int status);
    void Timer1_Timer(int index);
    // Classifies a reply and settles the channel's row.
    void ynwhois(const QString &mydomain, const QString &mydata, int myindex, int nowii);

signals:
    void freeName(const QString &domain);
    // Every row of the run is settled.
    void finished();
    // The row the query cursor passed, for the view to follow.
    void scrollTo(int row);

private:
    void settle(const QString &mydomain, ReplyClassifier::Verdict verdict, int myindex, int nowii);
    void checkEndOfBatch();
    int channels() const;

    TaskListStore *m_store;
    WhoisServers m_servers;
    std::array<QueryChannel *, ChannelCount> m_channels{};
    bool m_batchEnded = false;
    bool m_pacing = true;
};
