#pragma once

#include "run/QueryRun.h"
#include "run/TaskListStore.h"

#include <QElapsedTimer>
#include <QObject>

// A run over a task list against loopback registries whose replies tell the truth: names
// starting with "t" are taken, the others free.
struct PacedRun
{
    TaskListStore store;
    QueryRun query;
    int finished = 0;
    QElapsedTimer clock;

    // Handed over at once unless `channels` is 0: the test ticks the channels itself.
    PacedRun(const ServerConfig &c, const PaceRules &rules, const QStringList &domains, int channels)
        : query(c, &store)
    {
        QObject::connect(&query, &QueryRun::finished, &query, [this] { ++finished; });
        query.setPaceRules(rules);
        store.appendMany(domains);
        query.reset(qMax(1, channels));
        clock.start();
        if (channels > 0)
            query.handOver(channels);
    }
    // "R" registered, "F" free, "U" no data, "T" timed out, "-" waiting, "?" being asked.
    QString rows() const
    {
        QString out;
        for (int k = 1; k <= store.size(); ++k)
            out += store.state(k) == TaskListStore::State::Querying ? u'?' : QStringLiteral("-RFUTE").at(int(store.result(k)));
        return out;
    }
    // What every row should end as.
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
    static QByteArray reply(const QByteArray &query)
    {
        static const QByteArray marker = ">>> Last update of whois database: 2024-09-01T10:00:00Z <<<\r\n";
        return query.startsWith('t') ? "Domain Name: " + query.toUpper() + "\r\nRegistry Domain ID: 1_DOMAIN\r\n" + marker
                                     : "No match for \"" + query.toUpper() + "\".\r\n" + marker;
    }
};
