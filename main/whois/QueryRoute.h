#pragma once

#include "whois/RdapBootstrap.h"
#include "whois/WhoisServers.h"

#include <QString>
#include <QUrl>

#include <optional>

// Which service answers for one name of the task list, and what it is asked.
//   - A TLD with an RDAP service in the bootstrap: RDAP at <base>domain/<name>; where our
//     WHOIS table also has a server for it (.com .net .name .biz), that server is the
//     fallback for when the RDAP host cannot be reached at all.
//   - A TLD without one but with a WHOIS server in our table (.cn .com.cn .net.cn .la .me):
//     that server.
//   - Anything else, and a text that is no domain name: nobody; the row is settled at once.
struct QueryRoute
{
    enum Kind { None, Rdap, Whois };

    Kind kind = None;
    QString name;     // what every service is asked: the lower-case A-label of the name
    QString tld;      // the TLD entry that decided
    QUrl rdapUrl;     // RDAP: <base>domain/<name>
    QUrl probeUrl;    // RDAP: <base>domain/<probe name>, the name the host must know
    QString rdapHost; // RDAP: the host of the base, which the run paces and trusts
    std::optional<WhoisTarget> whois; // Whois: the server; Rdap: the fallback, if any

    // `domain` as the task list holds it (spaces around it do not count).
    static QueryRoute choose(const QString &domain, const RdapBootstrap &bootstrap, const WhoisServers &servers);

    // A name under `tld` that its registry must hold, asked of a host before its 404s are
    // believed.
    static QString probeName(const QString &tld);

    // The host the run paces this query by: the RDAP host, or the WHOIS host; empty for None.
    QString host() const;
};
