#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <array>
#include <vector>

// The task list: one compact row per candidate domain (no object per row). Rows are only
// appended and the list is only emptied whole; row k (1-based) is the k-th row.
//
// Appends arrive up to a thousand times a second and the list may grow to millions of rows,
// so the view is told about new rows in batches (publish()), at most once per repaint; the
// store itself is always complete, and the window reads and writes rows through it.
class DomainListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum class State : quint8 { Waiting, Querying, Finished };
    enum class Result : quint8 { None, Registered, Free, Undecidable, Timeout, UserEnded };
    static constexpr int StateCount = 3;
    static constexpr int ResultCount = 6;

    enum Column { IdColumn, DomainColumn, StateColumn, ResultColumn, ColumnCount };
    // headerData role giving a column's key ("Id", "domain", "state", "result").
    static constexpr int KeyRole = Qt::UserRole + 1;
    static QString columnKey(int section);

    explicit DomainListModel(QObject *parent = nullptr);

    // Store operations (rows 1..size()).
    void clear();
    int append(const QString &domain); // returns the new row number
    void appendMany(const QStringList &domains);
    int size() const { return int(m_rows.size()); }
    QString domain(int k) const;
    State state(int k) const { return m_rows[size_t(k - 1)].state; }
    Result result(int k) const { return m_rows[size_t(k - 1)].result; }
    bool isRow(int k) const { return k >= 1 && k <= size(); }
    void setState(int k, State state);
    void setResult(int k, Result result);

    // Running tallies, kept per change, never by scanning the rows.
    int countState(State s) const { return m_stateCounts[size_t(s)]; }
    int countResult(Result r) const { return m_resultCounts[size_t(r)]; }

    static QString stateText(State s);
    static QString resultText(Result r);

    // Tells attached views about rows appended since the last call.
    void publish();
    int publishedRows() const { return m_published; }
    // Bytes held by the store, for the benchmarks.
    size_t storeBytes() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    // A row was appended or changed state/result: tallies moved.
    void countsChanged();

private:
    struct Row
    {
        quint64 offset; // into m_text, UTF-8
        quint32 length;
        State state;
        Result result;
    };
    void cellChanged(int k, int column);

    std::vector<Row> m_rows;
    QByteArray m_text;
    int m_published = 0;
    std::array<int, StateCount> m_stateCounts{};
    std::array<int, ResultCount> m_resultCounts{};
};
