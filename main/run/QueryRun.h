#pragma once

#include "config/ServerConfig.h"
#include "platform/WindowTimer.h"
#include "run/HostPace.h"
#include "run/QueryChannel.h"
#include "whois/ReplyClassifier.h"
#include "whois/WhoisServers.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <array>
#include <deque>

class TaskListStore;

// The query run: up to twenty channels take the task list's rows in order, one per query
// tick, ask the registry and settle each row from its reply or by the time-out. Pause,
// continue and end act on the whole run; the end of the batch comes once every row is
// settled.
//
// A registry that limits us (a limit text, a refused connection after it has answered,
// RDAP 429/503, three time-outs in a row) costs no verdict: the row goes back to wait, the
// registry is held back and then paced just under what it answered (HostPace), and its rows
// are asked again before rows no channel has taken yet. A row the registry keeps refusing
// while it answers others is settled 无法获取数据. Without such evidence the run is the plain one.
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
    // The pacing constants; tests hand shorter ones. Taken at the next reset.
    void setPaceRules(const PaceRules &rules) { m_rules = rules; }
    const PaceRules &paceRules() const { return m_rules; }
    // Rows waiting for their held-back registry.
    int retryCount() const;
    // One line per held-back registry, "whois.cnnic.cn：查询受限，45 秒后继续", and while the
    // run goes on per paced one, "whois.cnnic.cn：限速 120 个/分".
    QStringList heldHosts() const;
    // The pace of a registry host in this run (nullptr before its first query).
    const HostPace *pace(const QString &host) const;
    // The registry host a domain is asked at: the WHOIS host, or the RDAP base's host.
    QString hostOf(const QString &domain) const;
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
    enum class Evidence { None, Limit };
    void settle(const QString &mydomain, ReplyClassifier::Verdict verdict, int myindex, int nowii);
    void checkEndOfBatch();
    int channels() const;
    // Pacing.
    qint64 now() const { return m_clock.elapsed(); }
    HostPace &paceOf(const QString &host);
    // The next row for a channel's tick: > 0 a row, 0 nothing to ask now (rows wait for
    // held-back registries), -1 no row left at all.
    int nextRow();
    int fromQueues(qint64 t, bool evenAfterLimit);
    void ask(int index, int row, bool fromCursor);
    // The channel's query met a limit: its row waits again, or the registry is given up.
    void limited(int index, qint64 retryAfterMs = -1);
    void requeue(int row, const QString &host);
    void giveUp(const QString &host, int alsoRow);
    void answered(int index);

    struct Queued
    {
        int row;
        quint64 order;
    };

    TaskListStore *m_store;
    WhoisServers m_servers;
    std::array<QueryChannel *, ChannelCount> m_channels{};
    bool m_batchEnded = false;
    bool m_pacing = true;
    PaceRules m_rules;
    QElapsedTimer m_clock;
    QHash<QString, HostPace> m_paces;
    QHash<QString, std::deque<Queued>> m_queues; // rows waiting for their registry, per host
    quint64 m_queueOrder = 0;
    int m_queued = 0;
    QSet<int> m_lastTryTimedOut;
    // Per row: the limits it drew that count, and its host's answers at its first and its last.
    struct RowLimits
    {
        int count = 0;
        quint64 answersAtFirst = 0;
        quint64 answersAtLast = 0;
    };
    QHash<int, RowLimits> m_rowLimits;
    std::array<QString, ChannelCount> m_chanhost; // the host of the channel's current slot
    std::array<quint64, ChannelCount> m_chantag{}; // its query's start tag at that host
};
