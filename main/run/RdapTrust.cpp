#include "run/RdapTrust.h"

void RdapTrust::probeSent(const QString &host)
{
    m_probing.insert(host);
    m_states.insert(host, Unknown);
}

QStringList RdapTrust::unknownHosts() const
{
    QStringList hosts;
    for (auto it = m_states.cbegin(); it != m_states.cend(); ++it)
        if (*it == Unknown)
            hosts << it.key();
    return hosts;
}

QStringList RdapTrust::untrustedLines() const
{
    QStringList lines;
    for (auto it = m_states.cbegin(); it != m_states.cend(); ++it)
        if (*it == Untrusted)
            lines << it.key() + QStringLiteral("：无法确认未注册结果");
    lines.sort();
    return lines;
}

void RdapTrust::clear()
{
    m_states.clear();
    m_probing.clear();
}
