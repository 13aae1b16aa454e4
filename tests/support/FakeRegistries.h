#pragma once

#include "FakeHttpServer.h"
#include "FakeWhoisServer.h"

#include "config/ServerConfig.h"

#include <array>
#include <memory>

// One fake WHOIS server per registry role, each on its own loopback address (127.0.0.2,
// 127.0.0.3, ...) and all on one port, plus a local RDAP server; config() points every
// role at them.
class FakeRegistries
{
public:
    enum Role { Internic, Cnnic, La, Me, Iana, Name, Biz, RoleCount };

    // Listens on a port free on every address; false when none was found.
    bool listen();
    FakeWhoisServer &server(int role) { return *m_servers[size_t(role)]; }
    FakeHttpServer &rdap() { return *m_rdap; }
    ServerConfig config() const;
    // Every role at the one server `whois`, no RDAP.
    static ServerConfig allAt(const FakeWhoisServer &whois);

private:
    std::array<std::unique_ptr<FakeWhoisServer>, RoleCount> m_servers;
    std::unique_ptr<FakeHttpServer> m_rdap;
};
