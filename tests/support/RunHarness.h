#pragma once

#include "run/QueryRun.h"
#include "run/TaskListStore.h"

#include <QElapsedTimer>
#include <QStringList>

// A query run over a task list, without a window: the rows, the run as the starters set it
// up (its ticks left to the test until handOver), the free names it reported and how often
// it finished. Header only: the window-free core tests link no run.
struct RunHarness
{
    TaskListStore store;
    QueryRun query;
    QStringList freeNames;
    int finished = 0;
    QElapsedTimer clock;

    RunHarness(const ServerConfig &config, const QStringList &domains, int channels, const PaceRules &rules = PaceRules())
        : query(config, &store)
    {
        QObject::connect(&query, &QueryRun::freeName, &query, [this](const QString &d) { freeNames << d; });
        QObject::connect(&query, &QueryRun::finished, &query, [this] { ++finished; });
        query.setPaceRules(rules);
        store.appendMany(domains);
        query.reset(channels);
        clock.start();
    }
    // The real query ticks from now on.
    void handOver() { query.handOver(query.channelCount()); }

    // One letter per row: "R" registered, "F" free, "U" no data, "T" timed out, "E" ended,
    // "-" waiting; "?" while it is being asked.
    QString rows() const
    {
        QString out;
        for (int k = 1; k <= store.size(); ++k)
            out += store.state(k) == TaskListStore::State::Querying ? u'?' : QStringLiteral("-RFUTE").at(int(store.result(k)));
        return out;
    }
    // What every row should end as at truthful registries: "t..." registered, the rest free.
    QString truth() const
    {
        QString out;
        for (int k = 1; k <= store.size(); ++k)
            out += store.domain(k).startsWith(u't') ? u'R' : u'F';
        return out;
    }
    // "tname1.<tld>", "fname2.<tld>", ...
    static QStringList names(const QString &tld, int n)
    {
        QStringList list;
        for (int k = 1; k <= n; ++k)
            list << QStringLiteral("%1name%2.%3").arg(k % 2 ? "t" : "f").arg(k).arg(tld);
        return list;
    }
};
