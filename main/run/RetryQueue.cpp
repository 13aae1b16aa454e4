#include "run/RetryQueue.h"

void RetryQueue::pushBack(const QString &host, int row)
{
    m_queues[host].push_back(Entry{row, m_clock++});
    ++m_size;
}

void RetryQueue::pushFront(const QString &host, int row)
{
    std::deque<Entry> &queue = m_queues[host];
    queue.push_front(Entry{row, queue.empty() ? m_clock++ : queue.front().since});
    ++m_size;
}

int RetryQueue::takeOldest(const HostTest &mayAsk, const RowTest &passOver)
{
    std::deque<Entry> *bestQueue = nullptr;
    std::deque<Entry>::iterator best;
    for (auto it = m_queues.begin(); it != m_queues.end(); ++it) {
        if (it->empty() || !mayAsk(it.key()))
            continue;
        for (auto e = it->begin(); e != it->end(); ++e) {
            if (passOver && passOver(it.key(), e->row))
                continue;
            if (!bestQueue || e->since < best->since) {
                bestQueue = &*it;
                best = e;
            }
            break;
        }
    }
    if (!bestQueue)
        return 0;
    const int row = best->row;
    bestQueue->erase(best);
    --m_size;
    return row;
}

QList<int> RetryQueue::takeAll(const QString &host)
{
    QList<int> rows;
    for (const Entry &e : m_queues.take(host))
        rows << e.row;
    m_size -= int(rows.size());
    return rows;
}

int RetryQueue::size(const QString &host) const
{
    const auto it = m_queues.constFind(host);
    return it == m_queues.cend() ? 0 : int(it->size());
}

void RetryQueue::clear()
{
    m_queues.clear();
    m_size = 0;
}
