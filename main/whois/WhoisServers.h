#pragma once

#include "config/ServerConfig.h"

#include <QString>
#include <QUrl>

// Where one domain is asked: a WHOIS host on the configured port, or an RDAP base for
// registries that no longer answer on port 43.
struct WhoisTarget
{
    enum Kind { Whois, Rdap };

    Kind kind = Whois;
    QString host;        // WHOIS host, as handed to the socket (empty for RDAP)
    quint16 port = 43;   // WHOIS port (unused for RDAP)
    QString rdapBase;    // RDAP base ending with "/" (empty for WHOIS)
    bool marker = false; // the host ends its reply with the completion marker

    // base + "domain/" + the domain, spaces around it removed.
    QUrl rdapDomainUrl(const QString &domain) const;
};

// The fixed table of registries: the key after the last "." picks the role, the
// configuration supplies each role's address.
class WhoisServers
{
public:
    explicit WhoisServers(const ServerConfig &config);

    // The server to ask for `strme`. Never fails; unknown keys go to IANA.
    WhoisTarget domain(const QString &strme) const;

    // The key `domain` decides on: the text after the last "." of the trimmed domain.
    static QString keyOf(const QString &strme);

    // Hosts whose replies are complete only with "Last update of whois database"
    // (InterNIC, .name): compared exactly with the configured texts.
    bool isMarkerServer(const QString &host) const;

    const ServerConfig &config() const { return m_config; }

private:
    WhoisTarget whois(const QString &host) const;

    ServerConfig m_config;
};
