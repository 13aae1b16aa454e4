#include "run/TaskListStore.h"

TaskListStore::TaskListStore(QObject *parent)
    : QObject(parent)
{
}

void TaskListStore::clear()
{
    emit aboutToBeCleared();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_text.clear();
    m_text.squeeze();
    m_stateCounts.fill(0);
    m_resultCounts.fill(0);
    emit cleared();
    emit countsChanged();
}

int TaskListStore::append(const QString &domain)
{
    const QByteArray utf8 = domain.toUtf8();
    if (m_text.size() + utf8.size() > m_text.capacity())
        m_text.reserve(qMax<qsizetype>(1024, (m_text.size() + utf8.size()) * 3 / 2));
    m_rows.push_back(Row{quint64(m_text.size()), quint32(utf8.size()), State::Waiting, Result::None});
    m_text.append(utf8);
    ++m_stateCounts[size_t(State::Waiting)];
    ++m_resultCounts[size_t(Result::None)];
    emit countsChanged();
    return size();
}

void TaskListStore::appendMany(const QStringList &domains)
{
    m_rows.reserve(m_rows.size() + size_t(domains.size()));
    for (const QString &d : domains) {
        const QByteArray utf8 = d.toUtf8();
        m_rows.push_back(Row{quint64(m_text.size()), quint32(utf8.size()), State::Waiting, Result::None});
        m_text.append(utf8);
    }
    m_stateCounts[size_t(State::Waiting)] += int(domains.size());
    m_resultCounts[size_t(Result::None)] += int(domains.size());
    emit countsChanged();
}

QString TaskListStore::domain(int k) const
{
    const Row &row = m_rows[size_t(k - 1)];
    return QString::fromUtf8(m_text.constData() + row.offset, qsizetype(row.length));
}

void TaskListStore::setState(int k, State state)
{
    Row &row = m_rows[size_t(k - 1)];
    if (row.state == state)
        return;
    --m_stateCounts[size_t(row.state)];
    ++m_stateCounts[size_t(state)];
    row.state = state;
    emit rowChanged(k);
    emit countsChanged();
}

void TaskListStore::setResult(int k, Result result)
{
    Row &row = m_rows[size_t(k - 1)];
    if (row.result == result)
        return;
    --m_resultCounts[size_t(row.result)];
    ++m_resultCounts[size_t(result)];
    row.result = result;
    emit rowChanged(k);
    emit countsChanged();
}

QStringList TaskListStore::domains(bool withoutRegistered) const
{
    QStringList list;
    list.reserve(size());
    for (int k = 1; k <= size(); ++k) {
        if (withoutRegistered && result(k) == Result::Registered)
            continue;
        list.append(domain(k));
    }
    return list;
}

QString TaskListStore::stateText(State s)
{
    switch (s) {
    case State::Waiting: return QStringLiteral("等待查询");
    case State::Querying: return QStringLiteral("正在查询");
    case State::Finished: return QStringLiteral("查询结束");
    }
    return QString();
}

QString TaskListStore::resultText(Result r)
{
    switch (r) {
    case Result::None: return QString();
    case Result::Registered: return QStringLiteral("已经被注册");
    case Result::Free: return QStringLiteral("没有被注册");
    case Result::Undecidable: return QStringLiteral("无法获取数据");
    case Result::Timeout: return QStringLiteral("查询超时");
    case Result::UserEnded: return QStringLiteral("用户终止");
    }
    return QString();
}

size_t TaskListStore::storeBytes() const
{
    return m_rows.capacity() * sizeof(Row) + size_t(m_text.capacity());
}
