#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// What a run believes of each RDAP host's 404s. Some hosts say 404 to every name, so the first
// time a run sends a row to a host, the host is first asked for a name it must hold (its
// probe) and its rows wait. A record makes its 404s mean free for the rest of the run; any
// other answer makes them say nothing. A probe that gets no answer leaves the host unknown,
// and its next row probes again.
class RdapTrust
{
public:
    enum State { Unknown, Trusted, Untrusted };

    State state(const QString &host) const { return m_states.value(host, Unknown); }
    // The host's probe is out: its rows wait.
    bool isProbing(const QString &host) const { return m_probing.contains(host); }

    void probeSent(const QString &host);
    // The probe is over, answered or not.
    void probeEnded(const QString &host) { m_probing.remove(host); }
    // The probe's answer: a record for the probe name, or anything else.
    void probeAnswered(const QString &host, bool record) { m_states.insert(host, record ? Trusted : Untrusted); }
    // The run ended: no probe is out any more.
    void dropProbes() { m_probing.clear(); }

    // Hosts probed in this run whose probe has not been answered.
    QStringList unknownHosts() const;
    // One line per host whose probe got no record: "rdap.example：无法确认未注册结果".
    QStringList untrustedLines() const;

    void clear();

private:
    QHash<QString, State> m_states; // hosts probed in this run
    QSet<QString> m_probing;
};
