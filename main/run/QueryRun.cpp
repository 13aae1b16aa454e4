#include "run/QueryRun.h"

#include "whois/RdapBootstrapCache.h"

using State = TaskListStore::State;
using Result = TaskListStore::Result;
using Outcome = QueryChannel::Outcome;

QueryRun::QueryRun(const ServerConfig &config, TaskListStore *store, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_servers(config)
    , m_bootstrapUrl(config.rdapBootstrap)
    , m_bootstrap(RdapBootstrapCache::load())
    , m_bootstrapCache(new RdapBootstrapCache(this))
{
    for (int i = 0; i < ChannelCount; ++i) {
        auto *c = new QueryChannel(this);
        m_channels[size_t(i)] = c;
        connect(&c->queryTimer, &WindowTimer::timeout, this, [this, i] { onQueryTick(i); });
        connect(c, &QueryChannel::finished, this, [this, i](const Outcome &outcome) { onChannelFinished(i, outcome); });
    }
}

QueryRun::~QueryRun() = default;

bool QueryRun::isWaiting(int i) const
{
    const Slot &s = slot(i);
    return s.probe || (m_store->isRow(s.row) && m_store->state(s.row) == State::Querying);
}

// --- The run as a whole -------------------------------------------------------------------

void QueryRun::reset(int channels)
{
    for (QueryChannel *c : m_channels)
        c->reset();
    m_slots.fill(Slot());
    m_channelCount = channels;
    m_cursor = 0;
    m_accepting = true;
    m_batchEnded = false;
    m_paces.clear();
    m_queue.clear();
    m_lastTryTimedOut.clear();
    m_rowLimits.clear();
    // The newest bootstrap at the run's start, every host's trust unknown.
    m_bootstrap = RdapBootstrapCache::load();
    m_refreshAsked = false;
    m_trust.clear();
    m_viaWhois.clear();
    m_clock.start();
}

void QueryRun::handOver(int channels)
{
    m_channelCount = channels;
    for (int i = 0; i < this->channels(); ++i) {
        channel(i).queryTimer.setInterval(QueryChannel::QueryInterval);
        channel(i).queryTimer.setEnabled(true);
    }
}

void QueryRun::pause()
{
    m_accepting = false;
    for (int i = 0; i < channels(); ++i) {
        channel(i).queryTimer.setEnabled(false);
        channel(i).timeoutTimer.setEnabled(false);
    }
}

void QueryRun::resume()
{
    m_accepting = true;
    for (int i = 0; i < channels(); ++i) {
        // A channel still waiting keeps its row; its reply or time-out frees it.
        channel(i).queryTimer.setEnabled(!isWaiting(i));
        channel(i).timeoutTimer.setEnabled(true);
    }
    checkEndOfBatch();
}

void QueryRun::end()
{
    m_accepting = false;
    for (int i = 0; i < channels(); ++i) {
        QueryChannel &c = channel(i);
        Slot &s = m_slots[size_t(i)];
        c.queryTimer.setEnabled(false);
        c.timeoutTimer.setEnabled(false);
        if (s.probe) {
            // A probe is no row: it is dropped, and the rows behind it stay waiting.
            c.close();
            s.probe = false;
        } else if (isWaiting(i)) {
            // Only a query still open is cut short; a settled row keeps its verdict. Its reply
            // may still come and name a free domain.
            settleRow(s.row, Result::UserEnded);
        }
        s.row = 0;
    }
    m_trust.dropProbes();
}

void QueryRun::checkEndOfBatch()
{
    // Finished: every row handed out and no channel of the run still waiting for a reply.
    if (!m_accepting || m_batchEnded || m_cursor < m_store->size() || m_queue.size() > 0)
        return;
    for (int i = 0; i < channels(); ++i)
        if (isWaiting(i))
            return;
    m_batchEnded = true;
    for (QueryChannel *c : m_channels) {
        c->queryTimer.setEnabled(false);
        c->timeoutTimer.setEnabled(false);
        c->close();
    }
    emit finished();
}

// --- Handing out rows ---------------------------------------------------------------------

void QueryRun::onQueryTick(int i)
{
    // After the end of the batch a late tick has nothing left to do.
    if (!m_accepting || m_batchEnded)
        return;
    Slot &s = m_slots[size_t(i)];
    s.host.clear(); // the channel is free: its query ends here
    const int row = nextRow();
    if (row == 0)
        return; // only rows that wait for their registry left for now: keep ticking
    if (row > 0 && row <= m_cursor) {
        ask(i, row, false); // a row that waited
        return;
    }
    s.row = m_cursor + 1;
    if (s.row <= m_store->size()) {
        ask(i, s.row, true);
        return;
    }
    // No row left for this channel: it waits for the end of the batch.
    channel(i).queryTimer.setEnabled(false);
    channel(i).timeoutTimer.setEnabled(true);
    advanceCursor();
    checkEndOfBatch();
}

void QueryRun::advanceCursor()
{
    if (m_cursor > 1 && m_cursor < m_store->size())
        emit scrollTo(m_cursor);
    ++m_cursor;
}

int QueryRun::nextRow()
{
    const qint64 t = now();
    const auto mayAskNow = [this, t](const QString &host) { return mayAsk(host, t); };
    // Rows waiting for their registry come first, the longest waiting first. One that drew a
    // limit lets another row of its registry go first, so a name the registry refuses on its
    // own settles after its tries instead of holding the registry back each time.
    const auto drewTheLastLimit = [this](const QString &host, int row) {
        const auto tally = m_rowLimits.constFind(row);
        return tally != m_rowLimits.cend() && tally->answersAtLast == paceOf(host).answers();
    };
    if (const int row = m_queue.takeOldest(mayAskNow, drewTheLastLimit))
        return row;
    // Then the rows no channel has taken yet; a row whose registry is held back waits in
    // that registry's queue. A bounded look-ahead per tick keeps a tick short on long lists.
    constexpr int LookAhead = 64;
    for (int n = 0; n < LookAhead && m_cursor < m_store->size(); ++n) {
        const int row = m_cursor + 1;
        const QString host = route(m_store->domain(row)).host();
        if (host.isEmpty() || mayAsk(host, t))
            return row; // nobody to ask is settled at once
        ++m_cursor;
        if (m_pacing && paceOf(host).givenUp())
            settleRow(row, Result::Undecidable); // the registry refuses this address
        else
            requeue(row, host);
    }
    if (m_cursor < m_store->size())
        return 0;
    // No other row left to ask: the rows that drew a limit go again as they are.
    if (const int row = m_queue.takeOldest(mayAskNow))
        return row;
    return m_queue.size() > 0 ? 0 : -1;
}

bool QueryRun::mayAsk(const QString &host, qint64 t)
{
    if (m_trust.isProbing(host))
        return false; // its rows wait for its probe
    return !m_pacing || paceOf(host).mayStart(t);
}

void QueryRun::ask(int i, int row, bool fromCursor)
{
    QueryChannel &c = channel(i);
    Slot &s = m_slots[size_t(i)];
    const QString domain = m_store->domain(row);
    QueryRoute route = this->route(domain);
    if (m_viaWhois.contains(row))
        route.kind = QueryRoute::Whois; // its RDAP host could not be reached
    if (route.kind == QueryRoute::Rdap && m_trust.state(route.rdapHost) == RdapTrust::Unknown) {
        // The host's first row: it waits first in the host's queue, behind the probe.
        m_store->setState(row, State::Waiting);
        m_store->setResult(row, Result::None);
        m_queue.pushFront(route.rdapHost, row);
        probe(i, route);
        if (fromCursor)
            advanceCursor();
        return;
    }
    s.row = row;
    s.domain = domain;
    s.route = route;
    if (route.kind == QueryRoute::None)
        c.close(); // nothing to ask; an earlier query's late reply must not reach this row
    else if (route.kind == QueryRoute::Rdap)
        c.askRdap(route.rdapUrl);
    else
        c.askWhois(route.name, *route.whois);
    if (route.kind != QueryRoute::None)
        startAt(i, route.host());
    m_store->setState(row, State::Querying);
    c.queryTimer.setEnabled(false);
    c.timeoutTimer.setEnabled(true);
    if (fromCursor)
        advanceCursor();
    if (route.kind == QueryRoute::None) {
        // A blank line, no domain name, or a TLD nobody answers for.
        settle(i, ReplyClassifier::Undecidable);
        checkEndOfBatch();
    }
}

void QueryRun::probe(int i, const QueryRoute &route)
{
    QueryChannel &c = channel(i);
    Slot &s = m_slots[size_t(i)];
    s = Slot(); // no row: the list and its tallies never see the probe
    s.route = route;
    s.probe = true;
    m_trust.probeSent(route.rdapHost);
    c.close(); // a probe gets a whole time-out of its own
    c.askRdap(route.probeUrl);
    startAt(i, route.rdapHost);
    c.queryTimer.setEnabled(false);
    c.timeoutTimer.setEnabled(true);
}

void QueryRun::startAt(int i, const QString &host)
{
    Slot &s = m_slots[size_t(i)];
    s.host = host;
    if (m_pacing)
        s.tag = paceOf(host).started(now());
    if (s.route.kind == QueryRoute::Rdap)
        refreshBootstrap();
}

void QueryRun::refreshBootstrap()
{
    // The run goes on with the copy it has; a newer one serves the next run.
    if (!m_refreshAsked) {
        m_refreshAsked = true;
        m_bootstrapCache->refresh(m_bootstrapUrl);
    }
}

QueryRoute QueryRun::route(const QString &domain) const
{
    return QueryRoute::choose(domain, m_bootstrap, m_servers);
}

// --- Outcomes -----------------------------------------------------------------------------

void QueryRun::onChannelFinished(int i, const Outcome &outcome)
{
    if (m_slots[size_t(i)].probe)
        probeFinished(i, outcome);
    else if (outcome.kind == Outcome::Kind::Reply)
        replied(i, outcome);
    else if (outcome.kind == Outcome::Kind::Failed)
        failed(i, outcome.failure);
    else
        timedOut(i);
    checkEndOfBatch();
}

void QueryRun::replied(int i, const Outcome &outcome)
{
    const Slot &s = slot(i);
    ReplyClassifier::Verdict verdict = outcome.isRdap() ? ReplyClassifier::classifyRdap(outcome.status, outcome.body)
                                                        : ReplyClassifier::classify(s.domain, outcome.text);
    if (m_pacing && verdict == ReplyClassifier::Limited && m_store->isRow(s.row)) {
        limited(i, outcome.retryAfterSeconds >= 0 ? qint64(outcome.retryAfterSeconds) * 1000 : -1);
        return;
    }
    answered(i);
    // A host that never showed it knows a registered name may say 404 to everything.
    if (outcome.isRdap() && verdict == ReplyClassifier::Free && m_trust.state(s.route.rdapHost) != RdapTrust::Trusted)
        verdict = ReplyClassifier::Undecidable;
    settle(i, verdict);
}

void QueryRun::failed(int i, QueryChannel::Failure why)
{
    const Slot &s = slot(i);
    if (fallBack(i))
        return;
    // A registry that answered before and now refuses or drops us is limiting us; a name
    // that does not resolve says nothing of the kind.
    if (m_pacing && why != QueryChannel::Failure::HostNotFound && !s.host.isEmpty() && paceOf(s.host).hasAnswered()
        && m_store->isRow(s.row)) {
        limited(i);
        return;
    }
    // No reply at all is no answer: settled at once, never free, channel on to its next row.
    settle(i, ReplyClassifier::Undecidable);
}

void QueryRun::timedOut(int i)
{
    const Slot &s = slot(i);
    QueryChannel &c = channel(i);
    if (!m_store->isRow(s.row) || fallBack(i))
        return;
    if (m_pacing && !s.host.isEmpty()) {
        m_lastTryTimedOut.insert(s.row);
        if (paceOf(s.host).timedOut()) {
            c.timeoutTimer.setEnabled(false);
            limited(i);
            return;
        }
    }
    settleRow(s.row, Result::Timeout);
    c.queryTimer.setEnabled(true);
    c.timeoutTimer.setEnabled(false);
}

void QueryRun::settle(int i, ReplyClassifier::Verdict verdict)
{
    const Slot &s = slot(i);
    if (verdict == ReplyClassifier::Free)
        emit freeName(s.domain);
    // A row number that names no row (the run was ended): the free name is kept, the list
    // is not touched and the channel stays where it is.
    if (!m_store->isRow(s.row))
        return;
    // A limited reply says nothing about the name: it reads as undecidable.
    static const Result results[] = {Result::Registered, Result::Free, Result::Undecidable, Result::Undecidable};
    m_store->setResult(s.row, results[verdict]);
    channel(i).queryTimer.setEnabled(true);
    m_store->setState(s.row, State::Finished);
}

void QueryRun::settleRow(int row, Result result)
{
    m_store->setResult(row, result);
    m_store->setState(row, State::Finished);
}

// --- Limits -------------------------------------------------------------------------------

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

void QueryRun::answered(int i)
{
    const QString &host = slot(i).host;
    if (m_pacing && !host.isEmpty())
        paceOf(host).answered(now());
}

void QueryRun::limited(int i, qint64 retryAfterMs)
{
    Slot &s = m_slots[size_t(i)];
    const QString host = s.host;
    const int row = s.row;
    channel(i).queryTimer.setEnabled(true);
    s.row = 0; // the row is no longer this channel's
    s.host.clear();
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
    if (tally.count >= m_rules.limitsPerRow)
        settleRow(row, Result::Undecidable);
    else if (pace.limited(now(), s.tag, retryAfterMs) == HostPace::Step::GiveUp)
        giveUp(host, row);
    else
        requeue(row, host);
}

void QueryRun::requeue(int row, const QString &host)
{
    m_store->setState(row, State::Waiting);
    m_store->setResult(row, Result::None);
    m_queue.pushBack(host, row);
}

void QueryRun::giveUp(const QString &host, int alsoRow)
{
    // The registry refuses this address: its waiting rows are settled.
    QList<int> rows = m_queue.takeAll(host);
    if (m_store->isRow(alsoRow))
        rows.prepend(alsoRow);
    for (int row : rows)
        settleRow(row, m_lastTryTimedOut.contains(row) ? Result::Timeout : Result::Undecidable);
}

int QueryRun::retryCount() const
{
    // Rows waiting for their host's probe are no retries.
    int parked = 0;
    for (const QString &host : m_trust.unknownHosts())
        parked += m_queue.size(host);
    return m_queue.size() - parked;
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

// --- RDAP hosts ---------------------------------------------------------------------------

void QueryRun::probeFinished(int i, const Outcome &outcome)
{
    if (outcome.kind != Outcome::Kind::Reply) {
        probeUnreachable(i, outcome.kind == Outcome::Kind::TimedOut ? Result::Timeout : Result::Undecidable);
        return;
    }
    const QString host = slot(i).route.rdapHost;
    const ReplyClassifier::Verdict verdict = ReplyClassifier::classifyRdap(outcome.status, outcome.body);
    if (m_pacing && verdict == ReplyClassifier::Limited) {
        // Asked again once the host may be asked; its rows keep waiting meanwhile.
        const quint64 tag = slot(i).tag;
        endProbe(i);
        const qint64 retryAfterMs = outcome.retryAfterSeconds >= 0 ? qint64(outcome.retryAfterSeconds) * 1000 : -1;
        if (paceOf(host).limited(now(), tag, retryAfterMs) == HostPace::Step::GiveUp)
            giveUp(host, 0);
        return;
    }
    answered(i);
    m_trust.probeAnswered(host, verdict == ReplyClassifier::Registered);
    endProbe(i);
}

void QueryRun::probeUnreachable(int i, Result result)
{
    const QString host = slot(i).route.rdapHost;
    endProbe(i);
    // The rows behind it could not be asked there either: each goes to its TLD's WHOIS
    // server where there is one, the rest are settled. The host's next row probes again.
    for (int row : m_queue.takeAll(host)) {
        if (const std::optional<WhoisTarget> whois = route(m_store->domain(row)).whois) {
            m_viaWhois.insert(row);
            requeue(row, whois->host);
        } else {
            settleRow(row, result);
        }
    }
}

void QueryRun::endProbe(int i)
{
    Slot &s = m_slots[size_t(i)];
    m_trust.probeEnded(s.route.rdapHost);
    s.probe = false;
    s.host.clear();
    channel(i).queryTimer.setEnabled(true);
}

bool QueryRun::fallBack(int i)
{
    Slot &s = m_slots[size_t(i)];
    const int row = s.row;
    if (s.route.kind != QueryRoute::Rdap || !s.route.whois || !m_store->isRow(row) || m_store->state(row) != State::Querying)
        return false;
    // The RDAP host cannot be reached at all: this row is asked at the WHOIS server.
    s.row = 0;
    s.host.clear();
    channel(i).queryTimer.setEnabled(true);
    m_viaWhois.insert(row);
    requeue(row, s.route.whois->host);
    return true;
}
