#pragma once

#include "whois/RdapBootstrap.h"

#include <QObject>
#include <QString>

class RdapQuery;

// Where the run's RDAP bootstrap comes from: the copy built into the program, or a newer
// one in the user's cache folder, which a fetch at most once a week keeps up to date.
class RdapBootstrapCache : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 RefreshDays = 7;
    static constexpr int FetchTimeoutMs = 60000;

    explicit RdapBootstrapCache(QObject *parent = nullptr);

    // <cache folder>/rdap-dns.json, and the file whose age says when it was last fetched.
    static QString path();
    static QString stampPath();
    // The copy built into the program.
    static const RdapBootstrap &bundled();
    // The copy to go by now: the cached one when it parses and is published later than the
    // built-in one.
    static RdapBootstrap load();
    // Writes `json` as the cached copy (atomically) when it parses and is published later
    // than the copy in use; true when it was written.
    static bool offer(const QByteArray &json);

    // Fetches `url` in the background unless it is empty, a fetch is under way, or one was
    // started in the last RefreshDays; what arrives goes to offer(). Never waits.
    void refresh(const QString &url);
    bool isFetching() const;

signals:
    // A fetch is over; `written`: it gave a newer copy.
    void refreshed(bool written);

private:
    RdapQuery *m_fetch;
};
