#include "run/QueryRun.h"

#include "run/QueryChannel.h"
#include "run/TaskListStore.h"
#include "whois/RdapBootstrapCache.h"

using State = TaskListStore::State;
using Result = TaskListStore::Result;

QueryRun::QueryRun(const ServerConfig &config, TaskListStore *store, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_servers(config)
    , m_bootstrap(RdapBootstrapCache::load())
    , m_bootstrapCache(new RdapBootstrapCache(this))
{
    for (int i = 0; i < ChannelCount; ++i) {
        auto *c = new QueryChannel(i, this);
        m_channels[size_t(i)] = c;
        connect(&c->Timerme, &WindowTimer::timeout, this, [this, i] { Timerme_Timer(i); });
        connect(&c->Timer1, &WindowTimer::timeout, this, [this, i] { Timer1_Timer(i); });
        connect(c, &QueryChannel::connected, this, [this, i] { Winsockme_Connect(i); });
        connect(c, &QueryChannel::dataArrived, this, [this, i] { Winsockme_DataArrival(i); });
        connect(c, &QueryChannel::failed, this, [this, i](QueryChannel::Failure why) { Winsockme_Error(i, why); });
        connect(c, &QueryChannel::rdapAnswered, this, [this, i](int status, const QByteArray &body, int retryAfter) {
            Winsockme_RdapAnswered(i, status, body, retryAfter);
        });
        connect(c, &QueryChannel::rdapUnreachable, this, [this, i] { Winsockme_RdapUnreachable(i); });
    }
}

QueryRun::~QueryRun() = default;

WindowTimer &QueryRun::Timerme(int i) const
{
    return m_channels[size_t(i)]->Timerme;
}

WindowTimer &QueryRun::Timer1(int i) const
{
    return m_channels[size_t(i)]->Timer1;
}

int QueryRun::hostii() const
{
    return m_store->size();
}

int QueryRun::channels() const
{
    return qBound(0, threads, int(ChannelCount));
}

bool QueryRun::isWaiting(int i) const
{
    const QueryChannel &c = Winsockme(i);
    return isProbing(i) || (m_store->isRow(c.chanrow) && m_store->state(c.chanrow) == State::Querying);
}

void QueryRun::reset(int channels)
{
    for (QueryChannel *c : m_channels)
        c->reset();
    threads = channels;
    hosttt = 0;
    runflag = 1;
    m_batchEnded = false;
    // A pace is per run.
    m_paces.clear();
    m_queues.clear();
    m_queued = 0;
    m_lastTryTimedOut.clear();
    m_rowLimits.clear();
    for (QString &h : m_chanhost)
        h.clear();
    // Routing is per run too: the newest bootstrap at its start, every host's trust unknown.
    m_bootstrap = RdapBootstrapCache::load();
    m_refreshAsked = false;
    m_chanprobe.fill(false);
    m_trust.clear();
    m_probing.clear();
    m_viaWhois.clear();
    m_clock.start();
}

void QueryRun::handOver(int channels)
{
    threads = channels;
    for (int k = 0; k < this->channels(); ++k) {
        Timerme(k).setInterval(QueryChannel::QueryInterval);
        Timerme(k).setEnabled(true);
    }
}

void QueryRun::pause()
{
    runflag = 0;
    for (int i = 0; i < channels(); ++i) {
        Timerme(i).setEnabled(false);
        Timer1(i).setEnabled(false);
    }
}

void QueryRun::resume()
{
    runflag = 1;
    for (int i = 0; i < channels(); ++i) {
        // A channel still waiting keeps its row; its reply or time-out frees it.
        Timerme(i).setEnabled(!isWaiting(i));
        Timer1(i).setEnabled(true);
    }
    checkEndOfBatch();
}

void QueryRun::end()
{
    runflag = 0;
    for (int i = 0; i < channels(); ++i) {
        QueryChannel &c = Winsockme(i);
        c.Timerme.setEnabled(false);
        c.Timer1.setEnabled(false);
        if (isProbing(i)) {
            // A probe is no row: it is dropped, and the rows behind it stay waiting.
            c.close();
            m_chanprobe[size_t(i)] = false;
        } else if (isWaiting(i)) {
            // Only a query still open is cut short; a settled row keeps its verdict.
            m_store->setResult(c.chanrow, Result::UserEnded);
            m_store->setState(c.chanrow, State::Finished);
        }
        c.chanrow = 0;
        c.chanticks = 0;
    }
    m_probing.clear();
}

void QueryRun::Timerme_Timer(int index)
{
    // After the end of the batch a late tick has nothing left to do.
    if (runflag == 0 || m_batchEnded)
        return;
    QueryChannel &c = Winsockme(index);
    m_chanhost[size_t(index)].clear(); // the channel is free: its slot ends here
    const int row = nextRow();
    if (row == 0)
        return; // only rows that wait for their registry left for now: keep ticking
    if (row > 0 && row <= hosttt) {
        ask(index, row, false); // a row that waited
        return;
    }
    c.chanrow = hosttt + 1;
    const bool taken = c.chanrow <= hostii();
    if (taken) {
        ask(index, c.chanrow, true);
        return;
    }
    c.Timerme.setEnabled(false);
    c.Timer1.setEnabled(true);
    if (hosttt > 1 && hosttt < hostii())
        emit scrollTo(hosttt);
    ++hosttt;
    checkEndOfBatch();
}

void QueryRun::ask(int index, int row, bool fromCursor)
{
    QueryChannel &c = Winsockme(index);
    const QString domain = m_store->domain(row);
    QueryRoute route = this->route(domain);
    if (m_viaWhois.contains(row))
        route.kind = QueryRoute::Whois; // its RDAP host could not be reached
    const auto advance = [this, fromCursor] {
        if (fromCursor) {
            if (hosttt > 1 && hosttt < hostii())
                emit scrollTo(hosttt);
            ++hosttt;
        }
    };
    if (route.kind == QueryRoute::Rdap && m_trust.value(route.rdapHost, Trust::Unknown) == Trust::Unknown) {
        // The host's first row: its probe goes first, the row waits behind it.
        park(row, route.rdapHost);
        probe(index, route);
        advance();
        return;
    }
    c.chanrow = row;
    c.chandomain = domain;
    m_chanroute[size_t(index)] = route;
    if (route.kind == QueryRoute::None) {
        // A blank line, no domain name, or a TLD nobody answers for: nothing to ask.
        c.close(); // an earlier query's late reply must not reach this row
    } else {
        if (route.kind == QueryRoute::Rdap) {
            c.openRdap(route.rdapUrl);
            refreshBootstrap();
        } else {
            c.openQuery(*route.whois);
        }
        m_chanhost[size_t(index)] = route.host();
        if (m_pacing)
            m_chantag[size_t(index)] = paceOf(route.host()).started(now());
    }
    m_store->setState(row, State::Querying);
    c.Timerme.setEnabled(false);
    c.Timer1.setEnabled(true);
    advance();
    if (route.kind == QueryRoute::None) {
        settle(c.chandomain, ReplyClassifier::Undecidable, index, row);
        checkEndOfBatch();
    }
}

void QueryRun::probe(int index, const QueryRoute &route)
{
    QueryChannel &c = Winsockme(index);
    c.chanrow = 0; // no row: the list and its tallies never see the probe
    c.chandomain.clear();
    c.chanticks = 0;
    m_chanroute[size_t(index)] = route;
    m_chanprobe[size_t(index)] = true;
    m_trust.insert(route.rdapHost, Trust::Unknown);
    m_probing.insert(route.rdapHost);
    c.openRdap(route.probeUrl);
    refreshBootstrap();
    m_chanhost[size_t(index)] = route.rdapHost;
    if (m_pacing)
        m_chantag[size_t(index)] = paceOf(route.rdapHost).started(now());
    c.Timerme.setEnabled(false);
    c.Timer1.setEnabled(true);
}

void QueryRun::park(int row, const QString &host)
{
    // First in its host's queue: it was the first row to wait for the host.
    m_store->setState(row, State::Waiting);
    m_store->setResult(row, Result::None);
    std::deque<Queued> &queue = m_queues[host];
    queue.push_front(Queued{row, queue.empty() ? m_queueOrder++ : queue.front().order});
    ++m_queued;
}

void QueryRun::refreshBootstrap()
{
    // The run goes on with the copy it has; a newer one serves the next run.
    if (!m_refreshAsked) {
        m_refreshAsked = true;
        m_bootstrapCache->refresh(m_servers.config().rdapBootstrap);
    }
}

bool QueryRun::mayAsk(const QString &host, qint64 t)
{
    if (m_probing.contains(host))
        return false; // its rows wait for its probe
    return !m_pacing || paceOf(host).mayStart(t);
}

int QueryRun::fromQueues(qint64 t, bool evenAfterLimit)
{
    // The longest waiting row whose registry may be asked now. A row that drew a limit waits
    // until its registry has answered another row since, unless `evenAfterLimit`.
    std::deque<Queued> *bestQueue = nullptr;
    std::deque<Queued>::iterator best;
    for (auto it = m_queues.begin(); it != m_queues.end(); ++it) {
        if (it->empty() || !mayAsk(it.key(), t))
            continue;
        const quint64 answers = paceOf(it.key()).answers();
        for (auto q = it->begin(); q != it->end(); ++q) {
            const auto tally = m_rowLimits.constFind(q->row);
            if (!evenAfterLimit && tally != m_rowLimits.cend() && tally->answersAtLast == answers)
                continue;
            if (!bestQueue || q->order < best->order) {
                bestQueue = &*it;
                best = q;
            }
            break;
        }
    }
    if (!bestQueue)
        return 0;
    const int row = best->row;
    bestQueue->erase(best);
    --m_queued;
    return row;
}

int QueryRun::nextRow()
{
    const qint64 t = now();
    // Rows waiting for their registry come first, the longest waiting first. One that drew a
    // limit lets another row of its registry go first, so a name the registry refuses on its
    // own settles after its tries instead of holding the registry back each time.
    if (const int row = fromQueues(t, false))
        return row;
    // Then the rows no channel has taken yet; a row whose registry is held back waits in
    // that registry's queue. A bounded look-ahead per tick keeps a tick short on long lists.
    constexpr int LookAhead = 64;
    for (int n = 0; n < LookAhead && hosttt < hostii(); ++n) {
        const int row = hosttt + 1;
        const QString host = hostOf(m_store->domain(row));
        if (host.isEmpty() || mayAsk(host, t))
            return row; // nobody to ask is settled at once
        ++hosttt;
        if (m_pacing && paceOf(host).givenUp()) {
            // The registry refuses this address: its further rows are not asked.
            m_store->setResult(row, Result::Undecidable);
            m_store->setState(row, State::Finished);
        } else {
            requeue(row, host);
        }
    }
    if (hosttt < hostii())
        return 0;
    // No other row left to ask: the rows that drew a limit go again as they are.
    if (const int row = fromQueues(t, true))
        return row;
    return m_queued > 0 ? 0 : -1;
}

HostPace &QueryRun::paceOf(const QString &host)
{
    auto it = m_paces.find(host);
    if (it == m_paces.end())
        it = m_paces.insert(host, HostPace(m_rules, qMax(1, channels())));
    return *it;
}

const HostPace *QueryRun::pace(const QString &host) const
{
    const auto it = m_paces.constFind(host);
    return it == m_paces.cend() ? nullptr : &*it;
}

QueryRoute QueryRun::route(const QString &strme) const
{
    return QueryRoute::choose(strme, m_bootstrap, m_servers);
}

QString QueryRun::hostOf(const QString &domain) const
{
    return route(domain).host();
}

int QueryRun::retryCount() const
{
    // Rows waiting for their host's probe are no retries.
    int parked = 0;
    for (auto it = m_trust.cbegin(); it != m_trust.cend(); ++it)
        if (*it == Trust::Unknown)
            parked += int(m_queues.value(it.key()).size());
    return m_queued - parked;
}

QStringList QueryRun::untrustedHosts() const
{
    QStringList lines;
    for (auto it = m_trust.cbegin(); it != m_trust.cend(); ++it)
        if (*it == Trust::Untrusted)
            lines << it.key() + QStringLiteral("：无法确认未注册结果");
    lines.sort();
    return lines;
}

QStringList QueryRun::heldHosts() const
{
    QStringList lines;
    const qint64 t = m_clock.isValid() ? now() : 0;
    for (auto it = m_paces.cbegin(); it != m_paces.cend(); ++it) {
        if (it->givenUp())
            lines << it.key() + QStringLiteral("：查询受限，已放弃");
        else if (it->heldAt(t))
            lines << it.key() + QStringLiteral("：查询受限，%1 秒后继续").arg((it->heldUntil() - t + 999) / 1000);
        else if (it->rateAt(t) > 0 && !m_batchEnded)
            lines << it.key() + QStringLiteral("：限速 %1 个/分").arg(qMax(1, qRound(it->rateAt(t) * 60)));
    }
    lines.sort();
    return lines;
}

void QueryRun::requeue(int row, const QString &host)
{
    m_store->setState(row, State::Waiting);
    m_store->setResult(row, Result::None);
    m_queues[host].push_back(Queued{row, m_queueOrder++});
    ++m_queued;
}

void QueryRun::limited(int index, qint64 retryAfterMs)
{
    QueryChannel &c = Winsockme(index);
    const QString host = m_chanhost[size_t(index)];
    const int row = c.chanrow;
    c.close();
    c.chanticks = 0;
    c.Timerme.setEnabled(true);
    c.chanrow = 0; // the row is no longer this channel's
    m_chanhost[size_t(index)].clear();
    if (!m_store->isRow(row))
        return;
    // A row refused again and again while its registry answers others: no data, and it holds
    // the registry back no more. Its first limit counts, a later one once the registry has
    // answered another row since the first.
    HostPace &pace = paceOf(host);
    RowLimits &tally = m_rowLimits[row];
    if (tally.count == 0)
        tally.answersAtFirst = pace.answers();
    if (tally.count == 0 || pace.answers() != tally.answersAtFirst)
        ++tally.count;
    tally.answersAtLast = pace.answers();
    if (tally.count >= m_rules.limitsPerRow) {
        m_store->setResult(row, Result::Undecidable);
        m_store->setState(row, State::Finished);
    } else if (pace.limited(now(), m_chantag[size_t(index)], retryAfterMs) == HostPace::Step::GiveUp)
        giveUp(host, row);
    else
        requeue(row, host);
    checkEndOfBatch();
}

void QueryRun::giveUp(const QString &host, int alsoRow)
{
    const auto settleRow = [this](int row) {
        m_store->setResult(row, m_lastTryTimedOut.contains(row) ? Result::Timeout : Result::Undecidable);
        m_store->setState(row, State::Finished);
    };
    if (m_store->isRow(alsoRow))
        settleRow(alsoRow);
    for (const Queued &q : m_queues.value(host))
        settleRow(q.row);
    m_queued -= int(m_queues.value(host).size());
    m_queues.remove(host);
}

void QueryRun::answered(int index)
{
    if (!m_pacing || m_chanhost[size_t(index)].isEmpty())
        return;
    paceOf(m_chanhost[size_t(index)]).answered(now());
}

void QueryRun::Winsockme_Connect(int index)
{
    // The name as every service is asked for it: its lower-case A-label.
    Winsockme(index).sendLine(m_chanroute[size_t(index)].name);
}

void QueryRun::Winsockme_DataArrival(int index)
{
    QueryChannel &c = Winsockme(index);
    const std::optional<QString> text = c.takeReply();
    if (!text)
        return; // not complete yet: more data, the server's close or the time-out follows
    c.close();
    if (m_pacing && m_store->isRow(c.chanrow)
        && ReplyClassifier::classify(c.chandomain, *text) == ReplyClassifier::Limited) {
        limited(index);
        return;
    }
    answered(index);
    ynwhois(c.chandomain, *text, index, c.chanrow);
    checkEndOfBatch();
}

void QueryRun::Winsockme_Error(int index, QueryChannel::Failure why)
{
    QueryChannel &c = Winsockme(index);
    // A registry that answered before and now refuses or drops us is limiting us; a name
    // that does not resolve says nothing of the kind.
    const QString &host = m_chanhost[size_t(index)];
    if (m_pacing && why != QueryChannel::Failure::HostNotFound && !host.isEmpty() && paceOf(host).hasAnswered()
        && m_store->isRow(c.chanrow)) {
        limited(index);
        return;
    }
    // No reply at all is no answer: settled at once, never free, channel on to its next row.
    c.close();
    settle(c.chandomain, ReplyClassifier::Undecidable, index, c.chanrow);
    checkEndOfBatch();
}

void QueryRun::Winsockme_RdapAnswered(int index, int status, const QByteArray &body, int retryAfterSeconds)
{
    QueryChannel &c = Winsockme(index);
    const ReplyClassifier::Verdict verdict = ReplyClassifier::classifyRdap(status, body);
    if (isProbing(index)) {
        probeAnswered(index, verdict, retryAfterSeconds);
        return;
    }
    if (m_pacing && verdict == ReplyClassifier::Limited && m_store->isRow(c.chanrow)) {
        limited(index, retryAfterSeconds >= 0 ? qint64(retryAfterSeconds) * 1000 : -1);
        return;
    }
    answered(index);
    // A host that never showed it knows a registered name may say 404 to everything.
    const bool trusted = m_trust.value(m_chanroute[size_t(index)].rdapHost) == Trust::Trusted;
    settle(c.chandomain, verdict == ReplyClassifier::Free && !trusted ? ReplyClassifier::Undecidable : verdict, index,
           c.chanrow);
    checkEndOfBatch();
}

void QueryRun::Winsockme_RdapUnreachable(int index)
{
    QueryChannel &c = Winsockme(index);
    if (isProbing(index)) {
        probeUnreachable(index, Result::Undecidable);
        return;
    }
    if (fallBack(index))
        return;
    // As with WHOIS: a host that answered before and now cannot be reached is limiting us.
    const QString &host = m_chanhost[size_t(index)];
    if (m_pacing && !host.isEmpty() && paceOf(host).hasAnswered() && m_store->isRow(c.chanrow)) {
        limited(index);
        return;
    }
    c.close();
    settle(c.chandomain, ReplyClassifier::Undecidable, index, c.chanrow);
    checkEndOfBatch();
}

void QueryRun::probeAnswered(int index, ReplyClassifier::Verdict verdict, int retryAfterSeconds)
{
    const QString host = m_chanroute[size_t(index)].rdapHost;
    if (m_pacing && verdict == ReplyClassifier::Limited) {
        // Asked again once the host may be asked; its rows keep waiting meanwhile.
        const qint64 retryAfterMs = retryAfterSeconds >= 0 ? qint64(retryAfterSeconds) * 1000 : -1;
        const quint64 tag = m_chantag[size_t(index)];
        endProbe(index);
        if (paceOf(host).limited(now(), tag, retryAfterMs) == HostPace::Step::GiveUp)
            giveUp(host, 0);
        checkEndOfBatch();
        return;
    }
    answered(index);
    m_trust.insert(host, verdict == ReplyClassifier::Registered ? Trust::Trusted : Trust::Untrusted);
    endProbe(index);
    checkEndOfBatch();
}

void QueryRun::probeUnreachable(int index, Result result)
{
    const QString host = m_chanroute[size_t(index)].rdapHost;
    Winsockme(index).close();
    endProbe(index);
    // The rows behind it could not be asked there either: each goes to its TLD's WHOIS
    // server where there is one, the rest are settled. The host's next row probes again.
    const std::deque<Queued> rows = m_queues.take(host);
    m_queued -= int(rows.size());
    for (const Queued &q : rows) {
        if (const std::optional<WhoisTarget> whois = route(m_store->domain(q.row)).whois) {
            m_viaWhois.insert(q.row);
            requeue(q.row, whois->host);
        } else {
            m_store->setResult(q.row, result);
            m_store->setState(q.row, State::Finished);
        }
    }
    checkEndOfBatch();
}

void QueryRun::endProbe(int index)
{
    QueryChannel &c = Winsockme(index);
    m_probing.remove(m_chanroute[size_t(index)].rdapHost);
    m_chanprobe[size_t(index)] = false;
    m_chanhost[size_t(index)].clear();
    c.chanticks = 0;
    c.Timerme.setEnabled(true);
}

bool QueryRun::fallBack(int index)
{
    QueryChannel &c = Winsockme(index);
    const QueryRoute &route = m_chanroute[size_t(index)];
    const int row = c.chanrow;
    if (route.kind != QueryRoute::Rdap || !route.whois || !m_store->isRow(row) || m_store->state(row) != State::Querying)
        return false;
    // The RDAP host cannot be reached at all: this row is asked at the WHOIS server.
    c.close();
    c.chanticks = 0;
    c.chanrow = 0;
    c.Timerme.setEnabled(true);
    m_chanhost[size_t(index)].clear();
    m_viaWhois.insert(row);
    requeue(row, route.whois->host);
    return true;
}

void QueryRun::ynwhois(const QString &mydomain, const QString &mydata, int myindex, int nowii)
{
    settle(mydomain, ReplyClassifier::classify(mydomain, mydata), myindex, nowii);
}

void QueryRun::settle(const QString &mydomain, ReplyClassifier::Verdict verdict, int myindex, int nowii)
{
    if (verdict == ReplyClassifier::Free)
        emit freeName(mydomain);
    // A row number that names no row (the run was ended, or the rows ran out): the free
    // name is kept, the list is not touched and the channel stays where it is.
    if (!m_store->isRow(nowii))
        return;
    // A limited reply says nothing about the name: it reads as undecidable.
    static const Result results[] = {Result::Registered, Result::Free, Result::Undecidable, Result::Undecidable};
    m_store->setResult(nowii, results[verdict]);
    Timerme(myindex).setEnabled(true);
    m_store->setState(nowii, State::Finished);
    Winsockme(myindex).chanticks = 0;
}

void QueryRun::Timer1_Timer(int index)
{
    QueryChannel &c = Winsockme(index);
    if (m_batchEnded)
        return;
    ++c.chanticks;
    if (isProbing(index)) {
        if (!c.Timerme.isEnabled() && c.chanticks >= TimeoutTicks && runflag != 0)
            probeUnreachable(index, Result::Timeout);
        return;
    }
    if (!c.Timerme.isEnabled() && c.chanticks >= TimeoutTicks && m_store->isRow(c.chanrow) && runflag != 0) {
        if (fallBack(index))
            return;
        const QString &host = m_chanhost[size_t(index)];
        if (m_pacing && !host.isEmpty()) {
            m_lastTryTimedOut.insert(c.chanrow);
            if (paceOf(host).timedOut()) {
                c.Timer1.setEnabled(false);
                limited(index);
                return;
            }
        }
        m_store->setResult(c.chanrow, Result::Timeout);
        m_store->setState(c.chanrow, State::Finished);
        c.Timerme.setEnabled(true);
        c.Timer1.setEnabled(false);
        c.chanticks = 0;
        checkEndOfBatch();
    }
}

void QueryRun::checkEndOfBatch()
{
    // Finished: every row handed out and no channel of the run still waiting for a reply.
    if (runflag != 1 || m_batchEnded || hosttt < hostii() || m_queued > 0)
        return;
    for (int i = 0; i < channels(); ++i) {
        if (isWaiting(i))
            return;
    }
    m_batchEnded = true;
    for (int i = 0; i < ChannelCount; ++i) {
        QueryChannel &c = Winsockme(i);
        c.Timerme.setEnabled(false);
        c.Timer1.setEnabled(false);
        c.close();
    }
    emit finished();
}
