#include "whois/WhoisServers.h"

WhoisServers::WhoisServers(const ServerConfig &config)
    : m_config(config)
{
}

std::optional<WhoisTarget> WhoisServers::server(const QString &tld) const
{
    const QString *host = nullptr;
    if (tld == QLatin1String("com") || tld == QLatin1String("net"))
        host = &m_config.internic;
    else if (tld == QLatin1String("name"))
        host = &m_config.name;
    else if (tld == QLatin1String("biz"))
        host = &m_config.biz;
    else if (tld == QLatin1String("cn"))
        host = &m_config.cnnic;
    else if (tld == QLatin1String("la"))
        host = &m_config.la;
    else if (tld == QLatin1String("me"))
        host = &m_config.me;
    if (!host || host->isEmpty())
        return std::nullopt;
    return WhoisTarget{*host, m_config.whoisPort, isMarkerServer(*host)};
}

bool WhoisServers::isMarkerServer(const QString &host) const
{
    if (host.isEmpty())
        return false;
    return host == m_config.internic || host == m_config.name;
}
