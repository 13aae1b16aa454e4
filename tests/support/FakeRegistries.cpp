#include "FakeRegistries.h"

bool FakeRegistries::listen()
{
    bool ok = false;
    for (int attempt = 0; attempt < 20 && !ok; ++attempt)
        for (int r = 0; r < RoleCount; ++r) {
            m_servers[size_t(r)] = std::make_unique<FakeWhoisServer>();
            const quint16 port = r ? m_servers[0]->port() : 0;
            if (!(ok = m_servers[size_t(r)]->listen(QHostAddress(QStringLiteral("127.0.0.%1").arg(r + 2)), port)))
                break;
        }
    m_rdap = std::make_unique<FakeHttpServer>();
    return ok && m_rdap->listen();
}

ServerConfig FakeRegistries::allAt(const FakeWhoisServer &whois)
{
    const QString h = whois.host();
    return ServerConfig{h, h, h, h, h, h, h, h, {}, whois.port(), {}};
}

ServerConfig FakeRegistries::config() const
{
    const auto h = [this](Role r) { return m_servers[size_t(r)]->host(); };
    return ServerConfig{h(Internic), h(Cnnic), h(La), h(Me), h(Iana), h(Iana), h(Name), h(Biz),
                        m_rdap->baseUrl() + QStringLiteral("/rdap/"), m_servers[0]->port(), {}};
}
