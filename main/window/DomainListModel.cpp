#include "window/DomainListModel.h"

DomainListModel::DomainListModel(TaskListStore *store, QObject *parent)
    : QAbstractTableModel(parent)
    , m_store(store ? store : new TaskListStore(this))
{
    connect(m_store, &TaskListStore::aboutToBeCleared, this, &DomainListModel::beginResetModel);
    connect(m_store, &TaskListStore::cleared, this, [this] {
        m_published = 0;
        endResetModel();
    });
    connect(m_store, &TaskListStore::rowChanged, this, &DomainListModel::onRowChanged);
    connect(m_store, &TaskListStore::countsChanged, this, &DomainListModel::countsChanged);
}

void DomainListModel::onRowChanged(int k)
{
    // Rows the views have not been told about yet show their data when published.
    if (k <= m_published)
        emit dataChanged(index(k - 1, StateColumn), index(k - 1, ResultColumn), {Qt::DisplayRole});
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
