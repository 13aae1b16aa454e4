#include "whois/RdapBootstrap.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace {

// The first https base of a service, else its first http one; empty when neither.
QString chooseBase(const QJsonArray &urls)
{
    QString http;
    for (const QJsonValue &value : urls) {
        QString base = value.toString();
        const QUrl url(base);
        if (!url.isValid() || url.host().isEmpty())
            continue;
        if (!base.endsWith(QLatin1Char('/')))
            base += QLatin1Char('/');
        if (url.scheme() == QLatin1String("https"))
            return base;
        if (url.scheme() == QLatin1String("http") && http.isEmpty())
            http = base;
    }
    return http;
}

} // namespace

RdapBootstrap RdapBootstrap::parse(const QByteArray &json)
{
    RdapBootstrap b;
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    if (!doc.isObject())
        return b;
    const QJsonObject top = doc.object();
    b.m_publication = QDateTime::fromString(top.value(QLatin1String("publication")).toString(), Qt::ISODate);
    for (const QJsonValue &service : top.value(QLatin1String("services")).toArray()) {
        const QJsonArray pair = service.toArray();
        const QString base = chooseBase(pair.at(1).toArray());
        if (base.isEmpty())
            continue;
        for (const QJsonValue &tld : pair.at(0).toArray()) {
            const QString key = tld.toString().toLower();
            if (!key.isEmpty() && !b.m_bases.contains(key))
                b.m_bases.insert(key, base);
        }
    }
    return b;
}

const RdapBootstrap &RdapBootstrap::preferred(const RdapBootstrap &bundled, const RdapBootstrap &cached)
{
    const bool later = cached.m_publication.isValid()
                       && (!bundled.m_publication.isValid() || cached.m_publication > bundled.m_publication);
    return cached.isValid() && later ? cached : bundled;
}

RdapBootstrap::Entry RdapBootstrap::lookup(const QString &aceName) const
{
    // Longest first: every suffix that starts after a dot, the whole name excluded.
    for (qsizetype dot = aceName.indexOf(QLatin1Char('.')); dot >= 0; dot = aceName.indexOf(QLatin1Char('.'), dot + 1)) {
        const QString tld = aceName.mid(dot + 1);
        const auto it = m_bases.constFind(tld);
        if (it != m_bases.cend())
            return Entry{tld, *it};
    }
    return {};
}
