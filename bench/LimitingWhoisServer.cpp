#include "LimitingWhoisServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {
// A client that sends no whole query is dropped after this long, and one that sends more than
// this without an end at once: nothing is held for ever.
constexpr int IdleMs = 30000;
constexpr qint64 MaxHead = 4096;
} // namespace

LimitingWhoisServer::LimitingWhoisServer(const Limit &limit, Reply reply, Protocol protocol, QObject *parent)
    : QObject(parent)
    , m_limit(limit)
    , m_reply(std::move(reply))
    , m_protocol(protocol)
{
    m_clock.start();
    connect(&m_server, &QTcpServer::newConnection, this, &LimitingWhoisServer::onNewConnection);
}

bool LimitingWhoisServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server.listen(address, port);
}

int LimitingWhoisServer::mostLimitsWithin(qint64 spanMs) const
{
    int most = 0;
    for (qsizetype first = 0, last = 0; last < m_limitTimes.size(); ++last) {
        while (m_limitTimes[last] - m_limitTimes[first] >= spanMs)
            ++first;
        most = std::max(most, int(last - first + 1));
    }
    return most;
}

void LimitingWhoisServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        ++m_connections;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(IdleMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            // The query: a WHOIS line, or an HTTP request head.
            QByteArray head = socket->property("head").toByteArray() + socket->readAll();
            socket->setProperty("head", head);
            const QByteArray end = m_protocol == Protocol::Rdap ? "\r\n\r\n" : "\n";
            if (!head.contains(end)) {
                if (head.size() > MaxHead)
                    socket->abort();
                return;
            }
            disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
            QByteArray domain = head.left(head.indexOf('\n')).trimmed();
            if (m_protocol == Protocol::Rdap) {
                const QByteArray path = domain.split(' ').value(1);
                domain = path.mid(path.lastIndexOf('/') + 1);
            }
            answer(socket, domain);
        });
    }
}

void LimitingWhoisServer::answer(QTcpSocket *socket, const QByteArray &domain)
{
    const qint64 now = m_clock.elapsed();
    qint64 retryAfterMs = 0;
    const Outcome outcome = admit(m_clients[socket->peerAddress().toString()], now, retryAfterMs);
    if (outcome == Outcome::Drop) {
        ++m_dropped;
        socket->abort();
        return;
    }
    const bool admitted = outcome == Outcome::Admit;
    if (admitted)
        ++m_admitted;
    else
        m_limitTimes.append(now);
    if (m_protocol == Protocol::Whois) {
        socket->write(admitted ? m_reply(domain) : m_limitText);
    } else {
        const QByteArray body = admitted ? m_reply(domain) : QByteArray();
        const QByteArray status = !admitted ? "429 Too Many Requests" : body.isEmpty() ? "404 Not Found" : "200 OK";
        QByteArray head = "HTTP/1.1 " + status + "\r\nContent-Type: application/rdap+json\r\nContent-Length: "
                          + QByteArray::number(body.size()) + "\r\nConnection: close\r\n";
        if (!admitted)
            head += "Retry-After: " + QByteArray::number(std::max<qint64>(1, (retryAfterMs + 999) / 1000)) + "\r\n";
        socket->write(head + "\r\n" + body);
    }
    socket->disconnectFromHost(); // after what was written has gone out
}

LimitingWhoisServer::Outcome LimitingWhoisServer::admit(Client &c, qint64 now, qint64 &retryAfterMs)
{
    if (now < c.bannedUntil)
        return Outcome::Drop;
    const qint64 quietFor = now - c.lastQuery;
    c.lastQuery = now;
    // In the penalty, every query is over the limit and keeps the penalty going.
    bool within = false;
    if (c.penalty && quietFor < m_limit.quietMs)
        retryAfterMs = m_limit.quietMs;
    else
        within = withinLimit(c, now, retryAfterMs);
    if (within) {
        c.penalty = false;
        return Outcome::Admit;
    }
    c.penalty = m_limit.quietMs > 0;
    if (m_limit.banAfter > 0 && ++c.over >= m_limit.banAfter) {
        c.over = 0;
        c.bannedUntil = now + m_limit.banMs;
        ++m_bans;
    }
    return Outcome::Limit;
}

bool LimitingWhoisServer::withinLimit(Client &c, qint64 now, qint64 &retryAfterMs)
{
    switch (m_limit.kind) {
    case Limit::None:
        return true;
    case Limit::TokenBucket: {
        const double perMs = double(m_limit.count) / double(m_limit.windowMs);
        c.tokens = c.tokens < 0 ? m_limit.burst : std::min(m_limit.burst, c.tokens + double(now - c.tokensAt) * perMs);
        c.tokensAt = now;
        if (c.tokens >= 1) {
            c.tokens -= 1;
            return true;
        }
        retryAfterMs = qint64(std::ceil((1 - c.tokens) / perMs));
        return false;
    }
    case Limit::FixedWindow: {
        const qint64 start = now - now % m_limit.windowMs;
        if (start != c.windowStart) {
            c.windowStart = start;
            c.inWindow = 0;
        }
        if (c.inWindow < m_limit.count) {
            ++c.inWindow;
            return true;
        }
        retryAfterMs = start + m_limit.windowMs - now;
        return false;
    }
    case Limit::SlidingWindow:
        while (!c.admits.empty() && c.admits.front() <= now - m_limit.windowMs)
            c.admits.pop_front();
        if (int(c.admits.size()) < m_limit.count) {
            c.admits.push_back(now);
            return true;
        }
        retryAfterMs = c.admits.front() + m_limit.windowMs - now;
        return false;
    }
    return true;
}
