#pragma once

#include "run/TaskListStore.h"

#include <QAbstractTableModel>

// The view model of the task list over its store. Appends arrive up to a thousand times a
// second and the list may grow to millions of rows, so the view is told about new rows in
// batches (publish()), at most once per repaint; the store itself is always complete.
class DomainListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using State = TaskListStore::State;
    using Result = TaskListStore::Result;
    static constexpr int StateCount = TaskListStore::StateCount;
    static constexpr int ResultCount = TaskListStore::ResultCount;

    enum Column { IdColumn, DomainColumn, StateColumn, ResultColumn, ColumnCount };
    // headerData role giving a column's key ("Id", "domain", "state", "result").
    static constexpr int KeyRole = Qt::UserRole + 1;
    static QString columnKey(int section);

    // Without a store the model makes its own.
    explicit DomainListModel(TaskListStore *store = nullptr, QObject *parent = nullptr);

    TaskListStore *store() const { return m_store; }

    // The store's operations, for readers that hold the model.
    void clear() { m_store->clear(); }
    int append(const QString &domain) { return m_store->append(domain); }
    void appendMany(const QStringList &domains) { m_store->appendMany(domains); }
    int size() const { return m_store->size(); }
    QString domain(int k) const { return m_store->domain(k); }
    State state(int k) const { return m_store->state(k); }
    Result result(int k) const { return m_store->result(k); }
    bool isRow(int k) const { return m_store->isRow(k); }
    void setState(int k, State state) { m_store->setState(k, state); }
    void setResult(int k, Result result) { m_store->setResult(k, result); }
    int countState(State s) const { return m_store->countState(s); }
    int countResult(Result r) const { return m_store->countResult(r); }
    static QString stateText(State s) { return TaskListStore::stateText(s); }
    static QString resultText(Result r) { return TaskListStore::resultText(r); }
    size_t storeBytes() const { return m_store->storeBytes(); }

    // Tells attached views about rows appended since the last call.
    void publish();
    int publishedRows() const { return m_published; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    // A row was appended or changed state/result: tallies moved.
    void countsChanged();

private:
    void onRowChanged(int k);

    TaskListStore *m_store;
    int m_published = 0;
};
