#include "run/QueryRun.h"

#include "run/QueryChannel.h"
#include "run/TaskListStore.h"

#include <QUrl>

using State = TaskListStore::State;
using Result = TaskListStore::Result;

QueryRun::QueryRun(const ServerConfig &config, TaskListStore *store, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_servers(config)
{
    for (int i = 0; i < ChannelCount; ++i) {
        auto *c = new QueryChannel(i, this);
        m_channels[size_t(i)] = c;
        connect(&c->Timerme, &WindowTimer::timeout, this, [this, i] { Timerme_Timer(i); });
        connect(&c->Timer1, &WindowTimer::timeout, this, [this, i] { Timer1_Timer(i); });
        connect(c, &QueryChannel::connected, this, [this, i] { Winsockme_Connect(i); });
        connect(c, &QueryChannel::dataArrived, this, [this, i] { Winsockme_DataArrival(i); });
        connect(c, &QueryChannel::failed, this, [this, i](QueryChannel::Failure why) { Winsockme_Error(i, why); });
        connect(c, &QueryChannel::rdapFinished, this, [this, i](int status) { Winsockme_RdapFinished(i, status); });
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
    return m_store->isRow(c.chanrow) && m_store->state(c.chanrow) == State::Querying;
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
        // Only a query still open is cut short; a settled row keeps its verdict.
        if (isWaiting(i)) {
            m_store->setResult(c.chanrow, Result::UserEnded);
            m_store->setState(c.chanrow, State::Finished);
        }
        c.chanrow = 0;
        c.chanticks = 0;
    }
}

void QueryRun::Timerme_Timer(int index)
{
    // After the end of the batch a late tick has nothing left to do.
    if (runflag == 0 || m_batchEnded)
        return;
    QueryChannel &c = Winsockme(index);
    m_chanhost[size_t(index)].clear(); // the channel is free: its slot ends here
    if (m_pacing) {
        const int row = nextRow();
        if (row == 0)
            return; // only held-back rows left for now: wait, keep ticking
        if (row > 0 && row <= hosttt) {
            ask(index, row, false); // a retry
            return;
        }
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
    c.chanrow = row;
    c.chandomain = m_store->domain(row);
    // A blank imported line names no domain: nothing to ask.
    const bool blank = c.chandomain.trimmed().isEmpty();
    if (blank) {
        c.close(); // an earlier query's late reply must not reach this row
    } else {
        const WhoisTarget target = domain(c.chandomain);
        c.openQuery(target);
        if (m_pacing) {
            const QString host = hostOf(c.chandomain);
            m_chanhost[size_t(index)] = host;
            m_chantag[size_t(index)] = paceOf(host).started(now());
        }
    }
    m_store->setState(row, State::Querying);
    c.Timerme.setEnabled(false);
    c.Timer1.setEnabled(true);
    if (fromCursor) {
        if (hosttt > 1 && hosttt < hostii())
            emit scrollTo(hosttt);
        ++hosttt;
    }
    if (blank) {
        settle(c.chandomain, ReplyClassifier::Undecidable, index, row);
        checkEndOfBatch();
    }
}

int QueryRun::fromQueues(qint64 t, bool evenAfterLimit)
{
    // The longest waiting row whose registry may be asked now. A row that drew a limit waits
    // until its registry has answered another row since, unless `evenAfterLimit`.
    std::deque<Queued> *bestQueue = nullptr;
    std::deque<Queued>::iterator best;
    for (auto it = m_queues.begin(); it != m_queues.end(); ++it) {
        if (it->empty() || !paceOf(it.key()).mayStart(t))
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
        const QString d = m_store->domain(row);
        if (d.trimmed().isEmpty())
            return row;
        const QString host = hostOf(d);
        HostPace &p = paceOf(host);
        if (p.mayStart(t))
            return row;
        ++hosttt;
        if (p.givenUp()) {
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

QString QueryRun::hostOf(const QString &domain) const
{
    const WhoisTarget target = this->domain(domain);
    return target.kind == WhoisTarget::Rdap ? QUrl(target.rdapBase).host() : target.host;
}

int QueryRun::retryCount() const
{
    return m_queued;
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
    QueryChannel &c = Winsockme(index);
    c.sendLine(c.chandomain);
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

void QueryRun::Winsockme_RdapFinished(int index, int status)
{
    QueryChannel &c = Winsockme(index);
    const ReplyClassifier::Verdict verdict = ReplyClassifier::classifyRdap(status);
    if (m_pacing && verdict == ReplyClassifier::Limited && m_store->isRow(c.chanrow)) {
        const int seconds = c.rdapRetryAfterSeconds();
        limited(index, seconds >= 0 ? qint64(seconds) * 1000 : -1);
        return;
    }
    if (status != 0)
        answered(index);
    settle(c.chandomain, verdict, index, c.chanrow);
    checkEndOfBatch();
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
    if (!c.Timerme.isEnabled() && c.chanticks >= TimeoutTicks && m_store->isRow(c.chanrow) && runflag != 0) {
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
