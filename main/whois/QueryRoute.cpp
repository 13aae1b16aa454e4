#include "whois/QueryRoute.h"

#include <QStringList>

namespace {

// The lower-case A-label of `domain`: two labels at least, each of letters, digits and
// hyphens; empty when it cannot be had.
QString aceName(const QString &domain)
{
    const QString ace = QString::fromLatin1(QUrl::toAce(domain.trimmed())).toLower();
    const QStringList labels = ace.split(QLatin1Char('.'));
    if (labels.size() < 2)
        return {};
    for (const QString &label : labels) {
        if (label.isEmpty() || label.size() > 63)
            return {};
        for (const QChar c : label)
            if (!(c.isDigit() || (c >= u'a' && c <= u'z') || c == u'-'))
                return {};
    }
    return ace;
}

} // namespace

QueryRoute QueryRoute::choose(const QString &domain, const RdapBootstrap &bootstrap, const WhoisServers &servers)
{
    QueryRoute r;
    r.name = aceName(domain);
    if (r.name.isEmpty())
        return r;
    const std::optional<WhoisTarget> whois = servers.server(r.name.section(QLatin1Char('.'), -1));
    const RdapBootstrap::Entry entry = bootstrap.lookup(r.name);
    r.whois = whois;
    if (!entry.isNull()) {
        r.kind = Rdap;
        r.tld = entry.tld;
        r.rdapUrl = QUrl(entry.base + QStringLiteral("domain/") + r.name);
        r.probeUrl = QUrl(entry.base + QStringLiteral("domain/") + probeName(entry.tld));
        r.rdapHost = QUrl(entry.base).host();
    } else if (whois) {
        r.kind = Whois;
        r.tld = r.name.section(QLatin1Char('.'), -1);
    }
    return r;
}

QString QueryRoute::probeName(const QString &tld)
{
    // Every gTLD registry holds nic.<tld> for itself. The registries of .com, .net and .org
    // predate that rule; there example.com, .net and .org serve: IANA holds them for good
    // (RFC 2606), so they never lapse.
    if (tld == QLatin1String("com") || tld == QLatin1String("net") || tld == QLatin1String("org"))
        return QStringLiteral("example.") + tld;
    return QStringLiteral("nic.") + tld;
}

QString QueryRoute::host() const
{
    switch (kind) {
    case Rdap:
        return rdapHost;
    case Whois:
        return whois->host;
    case None:
        break;
    }
    return {};
}
