#include "FakeRegistries.h"

#include "Replies.h"

#include "whois/QueryRoute.h"

bool FakeRegistries::listen()
{
    bool ok = false;
    for (int attempt = 0; attempt < 20 && !ok; ++attempt)
        for (int r = 0; r < RoleCount; ++r) {
            m_servers[size_t(r)] = std::make_unique<FakeWhoisServer>();
            const quint16 port = r ? m_servers[0]->port() : 0;
            if (!(ok = m_servers[size_t(r)]->listen(QHostAddress(QStringLiteral("127.0.0.%1").arg(r + 2)), port)))
                break;
            m_servers[size_t(r)]->setResponder(truthfulWhois(r));
        }
    for (int k = 0; k < RdapCount && ok; ++k) {
        m_rdap[size_t(k)] = std::make_unique<FakeHttpServer>();
        ok = m_rdap[size_t(k)]->listen(QHostAddress(QStringLiteral("127.0.0.%1").arg(11 + k)));
        m_rdap[size_t(k)]->setResponder(truthfulRdap());
    }
    if (ok)
        LoopbackBootstrap::write({{{QStringLiteral("info")}, rdapBase(0, QStringLiteral("/rdap/"))}});
    return ok;
}

ServerConfig FakeRegistries::allAt(const FakeWhoisServer &whois)
{
    const QString h = whois.host();
    return ServerConfig{h, h, h, h, h, h, {}, whois.port(), {}};
}

ServerConfig FakeRegistries::config() const
{
    const auto h = [this](Role r) { return m_servers[size_t(r)]->host(); };
    return ServerConfig{h(Internic), h(Cnnic), h(La), h(Me), h(Name), h(Biz), {}, m_servers[0]->port(), {}};
}

bool FakeRegistries::isTaken(const QString &name)
{
    return name.startsWith(u't') || name == QueryRoute::probeName(name.section(u'.', 1));
}

FakeHttpServer::Response FakeRegistries::rdapRecord(const QString &name)
{
    return {200, R"({"objectClassName": "domain", "ldhName": ")" + name.toLatin1() + R"(", "status": ["active"]})"};
}

FakeHttpServer::Responder FakeRegistries::truthfulRdap()
{
    return [](const QString &path) {
        const QString name = path.section(QStringLiteral("/domain/"), 1);
        return isTaken(name) ? rdapRecord(name) : FakeHttpServer::Response{404, R"({"errorCode": 404, "title": "Not Found"})"};
    };
}

FakeWhoisServer::Responder FakeRegistries::truthfulWhois(int role, bool inPieces)
{
    using namespace Replies;
    static QByteArray (*const forms[])(const QByteArray &, bool) = {internic, cnnic, dotLa, dotMe, dotName, dotBiz};
    return [form = forms[role], inPieces](const QByteArray &query, int earlier) {
        const QByteArray reply = form(query, isTaken(QString::fromLatin1(query)));
        static const int cuts[] = {0, 1, 10, 19, 500};
        return FakeWhoisServer::inTwo(reply, inPieces ? cuts[earlier % 5] : 0, 30);
    };
}
