#include "whois/RdapBootstrapCache.h"

#include "whois/RdapQuery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

RdapBootstrapCache::RdapBootstrapCache(QObject *parent)
    : QObject(parent)
    , m_fetch(new RdapQuery(this))
{
    m_fetch->setTimeout(FetchTimeoutMs);
    connect(m_fetch, &RdapQuery::answered, this, [this](int status, const QByteArray &body) {
        emit refreshed(status == 200 && offer(body));
    });
    connect(m_fetch, &RdapQuery::unreachable, this, [this] { emit refreshed(false); });
}

QString RdapBootstrapCache::path()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/rdap-dns.json");
}

QString RdapBootstrapCache::stampPath()
{
    return path() + QStringLiteral(".fetched");
}

const RdapBootstrap &RdapBootstrapCache::bundled()
{
    static const RdapBootstrap copy = [] {
        QFile file(QStringLiteral(":/whois/iana-rdap-dns.json"));
        return RdapBootstrap::parse(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }();
    return copy;
}

RdapBootstrap RdapBootstrapCache::load()
{
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly))
        return bundled();
    return RdapBootstrap::preferred(bundled(), RdapBootstrap::parse(file.readAll()));
}

bool RdapBootstrapCache::offer(const QByteArray &json)
{
    const RdapBootstrap offered = RdapBootstrap::parse(json);
    if (&RdapBootstrap::preferred(load(), offered) != &offered)
        return false;
    QDir().mkpath(QFileInfo(path()).path());
    QSaveFile file(path());
    return file.open(QIODevice::WriteOnly) && file.write(json) == json.size() && file.commit();
}

bool RdapBootstrapCache::isFetching() const
{
    return m_fetch->isPending();
}

void RdapBootstrapCache::refresh(const QString &url)
{
    if (url.isEmpty() || isFetching())
        return;
    const QFileInfo stamp(stampPath());
    if (stamp.exists() && stamp.lastModified().secsTo(QDateTime::currentDateTime()) < RefreshDays * 24 * 3600)
        return;
    // The attempt counts whatever comes of it: a failing server is not asked again at once.
    QDir().mkpath(stamp.path());
    QFile file(stamp.filePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1());
    file.close();
    m_fetch->get(QUrl(url), QByteArrayLiteral("application/json"));
}
