#pragma once

#include "config/ServerConfig.h"

#include <QString>

#include <optional>

// A WHOIS server: the host as handed to the socket, the configured port, and whether its
// replies end with the completion marker.
struct WhoisTarget
{
    QString host;
    quint16 port = 43;
    bool marker = false;
};

// The registries we ask over WHOIS, by top-level domain; the configuration supplies each
// role's address.
class WhoisServers
{
public:
    explicit WhoisServers(const ServerConfig &config);

    // The server for a lower-case TLD (a name's last label): .com and .net at InterNIC,
    // .name, .biz, .cn (every name under it), .la and .me at their registries; none for any
    // other TLD.
    std::optional<WhoisTarget> server(const QString &tld) const;

private:
    // Hosts whose replies are complete only with "Last update of whois database"
    // (InterNIC, .name): compared exactly with the configured texts.
    bool isMarkerServer(const QString &host) const;

    ServerConfig m_config;
};
