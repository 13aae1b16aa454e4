#pragma once

#include "config/ServerConfig.h"
#include "platform/WindowTimer.h"
#include "run/HostPace.h"
#include "run/QueryChannel.h"
#include "run/TaskListStore.h"
#include "whois/QueryRoute.h"
#include "whois/RdapBootstrap.h"
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

class RdapBootstrapCache;

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
//
// Each row goes where QueryRoute says. The first time a run sends a row to an RDAP host, the
// host is first asked for a name it must know (its probe); the host's rows wait meanwhile.
// A record for it makes the host's 404s mean free for the rest of the run; anything else
// leaves them 无法获取数据. The probe is paced like a query but is no row. A row whose RDAP
// host cannot be reached at all goes to its TLD's WHOIS server where our table has one.
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
    // Who is asked about a domain, and what (by the bootstrap this run goes by).
    QueryRoute route(const QString &strme) const;
    // The RDAP bootstrap of this run, taken at its start.
    const RdapBootstrap &bootstrap() const { return m_bootstrap; }
    RdapBootstrapCache &bootstrapCache() const { return *m_bootstrapCache; }

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
    // Rows waiting for their held-back registry (not the rows waiting for a host's probe).
    int retryCount() const;
    // One line per held-back registry, "whois.cnnic.cn：查询受限，45 秒后继续", and while the
    // run goes on per paced one, "whois.cnnic.cn：限速 120 个/分".
    QStringList heldHosts() const;
    // The pace of a registry host in this run (nullptr before its first query).
    const HostPace *pace(const QString &host) const;
    // One line per RDAP host whose probe got no record: "rdap.example：无法确认未注册结果".
    QStringList untrustedHosts() const;
    // The registry host a domain is asked at: the WHOIS host, or the RDAP base's host; empty
    // when nobody is asked.
    QString hostOf(const QString &domain) const;
    // The end of the batch has come for this run.
    bool isFinished() const { return m_batchEnded; }
    // A channel of the run still waits for the reply to its row or to a host's probe.
    bool isWaiting(int i) const;
    // The channel asks an RDAP host's probe name, not a row.
    bool isProbing(int i) const { return m_chanprobe[size_t(i)]; }

    // --- Event handlers -----------------------------------------------------------------
    void Timerme_Timer(int index);
    void Winsockme_Connect(int index);
    void Winsockme_DataArrival(int index);
    void Winsockme_Error(int index, QueryChannel::Failure why);
    void Winsockme_RdapAnswered(int index, int status, const QByteArray &body, int retryAfterSeconds);
    void Winsockme_RdapUnreachable(int index);
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
    // RDAP hosts: the probe, what its outcome means, and the WHOIS fallback.
    enum class Trust { Unknown, Trusted, Untrusted };
    bool mayAsk(const QString &host, qint64 t);
    void probe(int index, const QueryRoute &route);
    void probeAnswered(int index, ReplyClassifier::Verdict verdict, int retryAfterSeconds);
    void probeUnreachable(int index, TaskListStore::Result result);
    void endProbe(int index);
    bool fallBack(int index);
    void park(int row, const QString &host);
    void refreshBootstrap();

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
    // Routing.
    RdapBootstrap m_bootstrap;
    RdapBootstrapCache *m_bootstrapCache;
    bool m_refreshAsked = false;
    std::array<QueryRoute, ChannelCount> m_chanroute; // what the channel's current query asks
    std::array<bool, ChannelCount> m_chanprobe{};     // it asks a host's probe, not a row
    QHash<QString, Trust> m_trust; // RDAP hosts a row has been sent to in this run
    QSet<QString> m_probing;       // RDAP hosts whose probe is out
    QSet<int> m_viaWhois;          // rows whose RDAP host could not be reached
};
