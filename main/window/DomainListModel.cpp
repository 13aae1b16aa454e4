#include "window/DomainListModel.h"

DomainListModel::DomainListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void DomainListModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_text.clear();
    m_text.squeeze();
    m_published = 0;
    m_stateCounts.fill(0);
    m_resultCounts.fill(0);
    endResetModel();
    emit countsChanged();
}

int DomainListModel::append(const QString &domain)
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

void DomainListModel::appendMany(const QStringList &domains)
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

QString DomainListModel::domain(int k) const
{
    const Row &row = m_rows[size_t(k - 1)];
    return QString::fromUtf8(m_text.constData() + row.offset, qsizetype(row.length));
}

void DomainListModel::setState(int k, State state)
{
    Row &row = m_rows[size_t(k - 1)];
    if (row.state == state)
        return;
    --m_stateCounts[size_t(row.state)];
    ++m_stateCounts[size_t(state)];
    row.state = state;
    cellChanged(k, StateColumn);
    emit countsChanged();
}

void DomainListModel::setResult(int k, Result result)
{
    Row &row = m_rows[size_t(k - 1)];
    if (row.result == result)
        return;
    --m_resultCounts[size_t(row.result)];
    ++m_resultCounts[size_t(result)];
    row.result = result;
    cellChanged(k, ResultColumn);
    emit countsChanged();
}

void DomainListModel::cellChanged(int k, int column)
{
    // Rows the views have not been told about yet show their data when published.
    if (k <= m_published) {
        const QModelIndex i = index(k - 1, column);
        emit dataChanged(i, i, {Qt::DisplayRole});
    }
}

QString DomainListModel::stateText(State s)
{
    switch (s) {
    case State::Waiting: return QStringLiteral("等待查询");
    case State::Querying: return QStringLiteral("正在查询");
    case State::Finished: return QStringLiteral("查询结束");
    }
    return QString();
}

QString DomainListModel::resultText(Result r)
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

void DomainListModel::publish()
{
    const int total = size();
    if (total <= m_published)
        return;
    beginInsertRows(QModelIndex(), m_published, total - 1);
    m_published = total;
    endInsertRows();
}

size_t DomainListModel::storeBytes() const
{
    return m_rows.capacity() * sizeof(Row) + size_t(m_text.capacity());
}

int DomainListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_published;
}

int DomainListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DomainListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_published)
        return QVariant();
    const int k = index.row() + 1;
    switch (index.column()) {
    case IdColumn: return QString::number(k);
    case DomainColumn: return domain(k);
    case StateColumn: return stateText(state(k));
    case ResultColumn: return resultText(result(k));
    }
    return QVariant();
}

QString DomainListModel::columnKey(int section)
{
    static const char *const keys[ColumnCount] = {"Id", "domain", "state", "result"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(keys[section]) : QString();
}

QVariant DomainListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == KeyRole)
        return columnKey(section);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case IdColumn: return QStringLiteral("序号");
    case DomainColumn: return QStringLiteral("域名");
    case StateColumn: return QStringLiteral("工作状态");
    case ResultColumn: return QStringLiteral("查询结果");
    }
    return QVariant();
}

Qt::ItemFlags DomainListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
