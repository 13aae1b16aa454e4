#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

// The task list's rows: one compact row per candidate domain (no object per row), and
// running tallies per state and result. Rows are only appended and the list is only
// emptied whole; row k (1-based) is the k-th row. Both runs write here; the view model
// shows it.
class TaskListStore : public QObject
{
    Q_OBJECT
public:
    enum class State : quint8 { Waiting, Querying, Finished };
    enum class Result : quint8 { None, Registered, Free, Undecidable, Timeout, UserEnded };
    static constexpr int StateCount = 3;
    static constexpr int ResultCount = 6;

    explicit TaskListStore(QObject *parent = nullptr);

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

    // The domains of every row in order; without the rows found registered when asked.
    QStringList domains(bool withoutRegistered = false) const;

    // Tallies kept per change, never by scanning the rows.
    int countState(State s) const { return m_stateCounts[size_t(s)]; }
    int countResult(Result r) const { return m_resultCounts[size_t(r)]; }

    static QString stateText(State s);
    static QString resultText(Result r);

    // Bytes held by the rows, for the benchmarks.
    size_t storeBytes() const;

signals:
    void aboutToBeCleared();
    void cleared();
    // Row k's state or result changed.
    void rowChanged(int k);
    // A row was appended or changed: tallies moved.
    void countsChanged();

private:
    struct Row
    {
        quint64 offset; // into m_text, UTF-8
        quint32 length;
        State state;
        Result result;
    };

    std::vector<Row> m_rows;
    QByteArray m_text;
    std::array<int, StateCount> m_stateCounts{};
    std::array<int, ResultCount> m_resultCounts{};
};
