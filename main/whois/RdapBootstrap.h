#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

// IANA's RDAP bootstrap for domain names (RFC 9224): which RDAP service answers for each
// top-level domain. Built from the file's bytes alone; looking a name up touches nothing else.
class RdapBootstrap
{
public:
    // What a lookup found: the TLD entry that matched and its base URL (ends with "/").
    struct Entry
    {
        QString tld;
        QString base;
        bool isNull() const { return base.isEmpty(); }
    };

    // The bytes of a bootstrap file. A file that is not JSON or names no service with a
    // usable base is invalid. Of a service's bases the first https one is kept, an http one
    // only when it has none.
    static RdapBootstrap parse(const QByteArray &json);

    // The copy to go by: `cached` when it is valid and published later than `bundled`.
    static const RdapBootstrap &preferred(const RdapBootstrap &bundled, const RdapBootstrap &cached);

    bool isValid() const { return !m_bases.isEmpty(); }

    // The entry for a lower-case A-label name: the longest label suffix short of the whole
    // name that has one (com.cn before cn); null when there is none.
    Entry lookup(const QString &aceName) const;

private:
    QHash<QString, QString> m_bases; // lower-case TLD -> base
    QDateTime m_publication;
};
