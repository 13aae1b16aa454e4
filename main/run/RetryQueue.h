#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <deque>
#include <functional>

// Rows waiting for their registry host, one queue per host. Each row keeps the moment it began
// to wait, so the run can take the longest-waiting row among the hosts that may be asked now.
class RetryQueue
{
public:
    // The row waits behind the host's other rows.
    void pushBack(const QString &host, int row);
    // The row waits first in its host's queue, as long as the host's oldest row: the first
    // row for an RDAP host goes first once the host's probe is answered.
    void pushFront(const QString &host, int row);

    // The longest-waiting row among the hosts `mayAsk` allows, taking from each host the
    // first row `passOver` does not pass over; it leaves its queue. 0 when there is none.
    using HostTest = std::function<bool(const QString &host)>;
    using RowTest = std::function<bool(const QString &host, int row)>;
    int takeOldest(const HostTest &mayAsk, const RowTest &passOver = {});
    // Every row waiting for `host`, in order; they leave the queue.
    QList<int> takeAll(const QString &host);

    int size() const { return m_size; }
    int size(const QString &host) const;
    void clear();

private:
    struct Entry
    {
        int row;
        quint64 since;
    };
    QHash<QString, std::deque<Entry>> m_queues;
    quint64 m_clock = 0;
    int m_size = 0;
};
