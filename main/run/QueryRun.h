#pragma once

#include "config/ServerConfig.h"
#include "run/HostPace.h"
#include "run/QueryChannel.h"
#include "run/RdapTrust.h"
#include "run/RetryQueue.h"
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

class RdapBootstrapCache;

// The query run: up to twenty channels take the task list's rows in order, one per query
// tick, ask the registry and settle each row from its reply or by the time-out. Pause,
// continue and end act on the whole run; the end of the batch comes once every row is
// settled.
//
// A registry that limits us (a limit text, a refused connection after it has answered,
// RDAP 429/503, three time-outs in a row) costs no verdict: the row goes back to wait, the
// registry is held back and then paced just under what it answered (HostPace), and its rows
// are asked again before rows no channel has taken yet (RetryQueue). A row the registry keeps
// refusing while it answers others is settled 无法获取数据. Without such evidence the run is the
// plain one.
//
// Each row goes where QueryRoute says. The first row a run sends to an RDAP host waits for
// the host's probe (RdapTrust); the probe is paced like a query but is no row. A row whose
// RDAP host cannot be reached at all goes to its TLD's WHOIS server where our table has one.
class QueryRun : public QObject
{
    Q_OBJECT
public:
    static constexpr int ChannelCount = 20;

    // What the run keeps for each channel.
    struct Slot
    {
        int row = 0;        // the row taken at the last query tick; 0: none (past the last row once they ran out)
        QString domain;     // that row's domain as the list holds it
        QueryRoute route;   // what the channel's query asks
        QString host;       // the registry host the query counts against; empty: none
        quint64 tag = 0;    // the query's start tag at that host
        bool probe = false; // the channel asks an RDAP host's probe, not a row
    };

    QueryRun(const ServerConfig &config, TaskListStore *store, QObject *parent = nullptr);
    ~QueryRun() override;

    QueryChannel &channel(int i) const { return *m_channels[size_t(i)]; }
    const Slot &slot(int i) const { return m_slots[size_t(i)]; }

    int cursor() const { return m_cursor; }            // rows handed to channels so far
    bool isAccepting() const { return m_accepting; }   // channels may take rows
    int channelCount() const { return m_channelCount; } // channels 0 .. count-1 take part

    // A new run: every channel stops and forgets its row, so no late reply or time-out of
    // an earlier run reaches a row of the new list; the cursor goes back to the first row.
    // Pacing, retries and trust start afresh.
    void reset(int channels);
    // The channels 0 .. channels-1 start taking rows.
    void handOver(int channels);
    void pause();
    void resume();
    void end();

    // Per-registry pacing and retries after a limit (on unless switched off, e.g. to measure
    // the run without it).
    void setPacing(bool on) { m_pacing = on; }
    // The pacing constants; tests hand shorter ones. Taken at the next reset.
    void setPaceRules(const PaceRules &rules) { m_rules = rules; }

    // Who is asked about a domain, and what (by the bootstrap this run goes by).
    QueryRoute route(const QString &domain) const;
    RdapBootstrapCache &bootstrapCache() const { return *m_bootstrapCache; }

    // Rows waiting for their held-back registry (not the rows waiting for a host's probe).
    int retryCount() const;
    // One line per held-back registry, "whois.cnnic.cn：查询受限，45 秒后继续", and while the
    // run goes on per paced one, "whois.cnnic.cn：限速 120 个/分".
    QStringList heldHosts() const;
    // The pace of a registry host in this run (nullptr before its first query).
    const HostPace *pace(const QString &host) const;
    // One line per RDAP host whose probe got no record: "rdap.example：无法确认未注册结果".
    QStringList untrustedHosts() const { return m_trust.untrustedLines(); }
    // The channel still waits for the reply to its row or to a host's probe.
    bool isWaiting(int i) const;

    // A query tick of channel i: it takes the next row, if any.
    void onQueryTick(int i);
    // What channel i's query came to.
    void onChannelFinished(int i, const QueryChannel::Outcome &outcome);

signals:
    void freeName(const QString &domain);
    // Every row of the run is settled.
    void finished();
    // The row the query cursor passed, for the view to follow.
    void scrollTo(int row);

private:
    int channels() const { return qBound(0, m_channelCount, int(ChannelCount)); }
    void advanceCursor();
    // The next row for a channel's tick: > 0 a row, 0 nothing to ask now (rows wait for
    // held-back registries), -1 no row left at all.
    int nextRow();
    bool mayAsk(const QString &host, qint64 t);
    void ask(int i, int row, bool fromCursor);
    void probe(int i, const QueryRoute &route);
    void startAt(int i, const QString &host);
    void refreshBootstrap();

    // The outcome of a row's query.
    void replied(int i, const QueryChannel::Outcome &outcome);
    void failed(int i, QueryChannel::Failure why);
    void timedOut(int i);
    void settle(int i, ReplyClassifier::Verdict verdict);
    void settleRow(int row, TaskListStore::Result result);
    void checkEndOfBatch();

    // Limits and pacing.
    qint64 now() const { return m_clock.elapsed(); }
    HostPace &paceOf(const QString &host);
    void answered(int i);
    // The channel's query met a limit: its row waits again, is settled, or the registry is
    // given up.
    void limited(int i, qint64 retryAfterMs = -1);
    void requeue(int row, const QString &host);
    void giveUp(const QString &host, int alsoRow);

    // RDAP hosts: the probe's outcome, and the WHOIS fallback.
    void probeFinished(int i, const QueryChannel::Outcome &outcome);
    void probeUnreachable(int i, TaskListStore::Result result);
    void endProbe(int i);
    bool fallBack(int i);

    TaskListStore *m_store;
    WhoisServers m_servers;
    QString m_bootstrapUrl;
    std::array<QueryChannel *, ChannelCount> m_channels{};
    std::array<Slot, ChannelCount> m_slots;
    int m_cursor = 0;
    bool m_accepting = true;
    int m_channelCount = 0;
    bool m_batchEnded = false;

    // Limits and pacing, per run.
    bool m_pacing = true;
    PaceRules m_rules;
    QElapsedTimer m_clock;
    QHash<QString, HostPace> m_paces;
    RetryQueue m_queue;
    QSet<int> m_lastTryTimedOut;
    // Per row: the limits it drew that count, and its host's answers at its first and its last.
    struct RowLimits
    {
        int count = 0;
        quint64 answersAtFirst = 0;
        quint64 answersAtLast = 0;
    };
    QHash<int, RowLimits> m_rowLimits;

    // Routing, per run.
    RdapBootstrap m_bootstrap;
    RdapBootstrapCache *m_bootstrapCache;
    bool m_refreshAsked = false;
    RdapTrust m_trust;
    QSet<int> m_viaWhois; // rows whose RDAP host could not be reached
};
