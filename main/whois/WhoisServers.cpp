#include "whois/WhoisServers.h"

QUrl WhoisTarget::rdapDomainUrl(const QString &domain) const
{
    return QUrl(rdapBase + QStringLiteral("domain/") + domain.trimmed());
}

WhoisServers::WhoisServers(const ServerConfig &config)
    : m_config(config)
{
}

QString WhoisServers::keyOf(const QString &strme)
{
    // Only spaces are trimmed: a tab or line end in a domain is no space.
    qsizetype begin = 0;
    qsizetype end = strme.size();
    while (begin < end && strme.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && strme.at(end - 1) == QLatin1Char(' '))
        --end;
    const QStringView text = QStringView(strme).sliced(begin, end - begin);
    const qsizetype dot = text.lastIndexOf(QLatin1Char('.'));
    return (dot < 0 ? text : text.sliced(dot + 1)).toString();
}

WhoisTarget WhoisServers::whois(const QString &host) const
{
    WhoisTarget t;
    t.kind = WhoisTarget::Whois;
    t.host = host;
    t.port = m_config.whoisPort;
    t.marker = isMarkerServer(host);
    return t;
}

WhoisTarget WhoisServers::domain(const QString &strme) const
{
    const QString key = keyOf(strme);
    // Test order is fixed; comparisons are exact and case-sensitive.
    if (key == QLatin1String("com") || key == QLatin1String("net"))
        return whois(m_config.internic);
    if (key == QLatin1String("biz"))
        return whois(m_config.biz);
    if (key == QLatin1String("info")) {
        // .info answers only over RDAP.
        WhoisTarget t;
        t.kind = WhoisTarget::Rdap;
        t.rdapBase = m_config.rdapInfo;
        return t;
    }
    if (key == QLatin1String("name"))
        return whois(m_config.name);
    if (key == QLatin1String("cn"))
        return whois(m_config.cnnic);
    // "edu.cn" stays in the table but can never match a last-label key.
    if (key == QLatin1String("edu.cn"))
        return whois(m_config.educn);
    if (key == QLatin1String("la"))
        return whois(m_config.la);
    if (key == QLatin1String("me"))
        return whois(m_config.me);
    return whois(m_config.iana);
}

bool WhoisServers::isMarkerServer(const QString &host) const
{
    if (host.isEmpty())
        return false;
    return host == m_config.internic || host == m_config.name;
}
