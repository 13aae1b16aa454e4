#include "run/QueryRun.h"

#include "run/QueryChannel.h"
#include "run/TaskListStore.h"

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
    c.chanrow = hosttt + 1;
    const bool taken = c.chanrow <= hostii();
    bool blank = false;
    if (taken) {
        c.chandomain = m_store->domain(c.chanrow);
        // A blank imported line names no domain: nothing to ask.
        blank = c.chandomain.trimmed().isEmpty();
        if (blank)
            c.close(); // an earlier query's late reply must not reach this row
        else
            c.openQuery(domain(c.chandomain));
        m_store->setState(c.chanrow, State::Querying);
    }
    c.Timerme.setEnabled(false);
    c.Timer1.setEnabled(true);
    if (hosttt > 1 && hosttt < hostii())
        emit scrollTo(hosttt);
    ++hosttt;
    if (blank)
        settle(c.chandomain, ReplyClassifier::Undecidable, index, c.chanrow);
    if (!taken || blank)
        checkEndOfBatch();
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
    ynwhois(c.chandomain, *text, index, c.chanrow);
    checkEndOfBatch();
}

void QueryRun::Winsockme_Error(int index, QueryChannel::Failure)
{
    // No reply at all is no answer: settled at once, never free, channel on to its next row.
    QueryChannel &c = Winsockme(index);
    c.close();
    settle(c.chandomain, ReplyClassifier::Undecidable, index, c.chanrow);
    checkEndOfBatch();
}

void QueryRun::Winsockme_RdapFinished(int index, int status)
{
    QueryChannel &c = Winsockme(index);
    settle(c.chandomain, ReplyClassifier::classifyRdap(status), index, c.chanrow);
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
    if (runflag != 1 || m_batchEnded || hosttt < hostii())
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
