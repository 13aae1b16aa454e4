#pragma once

#include "FakeHttpServer.h"
#include "FakeWhoisServer.h"
#include "LoopbackBootstrap.h"

#include "config/ServerConfig.h"

#include <array>
#include <memory>

// One fake WHOIS server per registry role, each on its own loopback address (127.0.0.2,
// 127.0.0.3, ...) and all on one port, and fake RDAP servers on 127.0.0.11, 127.0.0.12, ...;
// config() points every WHOIS role at them. listen() writes a bootstrap in which .info is
// served by RDAP server 0 under "/rdap/" and no other TLD has RDAP; every server starts out
// truthful.
class FakeRegistries
{
public:
    enum Role { Internic, Cnnic, La, Me, Name, Biz, RoleCount };
    static constexpr int RdapCount = 4;

    // Listens on a port free on every address; false when none was found.
    bool listen();
    FakeWhoisServer &server(int role) { return *m_servers[size_t(role)]; }
    FakeHttpServer &rdap(int k = 0) { return *m_rdap[size_t(k)]; }
    // RDAP server k's base URL for `path` ("/rdap/" gives http://127.0.0.11:port/rdap/).
    QString rdapBase(int k, const QString &path = QStringLiteral("/")) const { return m_rdap[size_t(k)]->baseUrl() + path; }
    ServerConfig config() const;
    // Every role at the one server `whois`, no RDAP.
    static ServerConfig allAt(const FakeWhoisServer &whois);

    // Registries that tell the truth: a name beginning with "t", and the name a host is
    // probed with, is registered; any other is not.
    static bool isTaken(const QString &name);
    static FakeHttpServer::Response rdapRecord(const QString &name);
    static FakeHttpServer::Responder truthfulRdap();
    // In the role's own reply form; `inPieces`: cut after 0, 1, 10, 19 or 500 bytes (in turn,
    // query by query), the rest 30 ms later.
    static FakeWhoisServer::Responder truthfulWhois(int role, bool inPieces = false);

private:
    std::array<std::unique_ptr<FakeWhoisServer>, RoleCount> m_servers;
    std::array<std::unique_ptr<FakeHttpServer>, RdapCount> m_rdap;
};
