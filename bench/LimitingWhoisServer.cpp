#include "LimitingWhoisServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {
// A client that sends no query line is dropped after this long, and one that sends a
// longer line than this without an end is dropped at once: nothing is held for ever.
constexpr int IdleMs = 30000;
constexpr qint64 MaxLine = 1024;
} // namespace

LimitingWhoisServer::LimitingWhoisServer(double perMinute, Reply reply, QObject *parent)
    : QObject(parent)
    , m_reply(std::move(reply))
{
    setRate(perMinute);
    m_clock.start();
    connect(&m_server, &QTcpServer::newConnection, this, &LimitingWhoisServer::onNewConnection);
}

bool LimitingWhoisServer::listen(const QHostAddress &address, quint16 port)
{
    if (!m_server.listen(address, port))
        return false;
    m_address = m_server.serverAddress();
    m_port = m_server.serverPort();
    return true;
}

void LimitingWhoisServer::setRate(double perMinute)
{
    m_perMinute = std::max(0.0, perMinute);
    setBurst(m_perMinute / 6);
}

void LimitingWhoisServer::setBurst(double tokens)
{
    m_burst = std::max(1.0, tokens);
}

void LimitingWhoisServer::refuseFor(int ms)
{
    if (m_port == 0)
        return; // never listened: there is no address to come back to
    m_server.close();
    const quint64 refusal = ++m_refusal;
    QTimer::singleShot(std::max(0, ms), this, [this, refusal] {
        if (refusal != m_refusal || m_server.isListening())
            return; // a later refusal decides when to come back
        if (m_server.listen(m_address, m_port))
            emit listeningAgain();
        else
            m_relistenFailed = true;
    });
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
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > MaxLine) {
                    socket->abort();
                    socket->deleteLater();
                }
                return;
            }
            // One query per connection: whatever follows the line is not read.
            disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
            QByteArray line = socket->readLine(MaxLine + 1);
            while (line.endsWith('\n') || line.endsWith('\r'))
                line.chop(1);
            answer(socket, line);
        });
    }
}

void LimitingWhoisServer::answer(QTcpSocket *socket, const QByteArray &domain)
{
    ++m_queries;
    // A query turned away by the alternation costs the client no token.
    const bool admitted = !(m_everySecond && m_queries % 2 == 0) && admit(socket->peerAddress());
    if (admitted) {
        ++m_admitted;
        socket->write(m_reply(domain));
    } else {
        ++m_limited;
        socket->write(m_limitText);
    }
    socket->disconnectFromHost(); // after what was written has gone out
}

bool LimitingWhoisServer::admit(const QHostAddress &client)
{
    if (m_perMinute <= 0)
        return true;
    const qint64 now = m_clock.nsecsElapsed();
    const QString key = client.toString();
    auto it = m_buckets.find(key);
    if (it == m_buckets.end())
        it = m_buckets.insert(key, Bucket{m_burst, now}); // a new client starts full
    Bucket &b = *it;
    b.tokens = std::min(m_burst, b.tokens + double(now - b.atNs) / 1e9 * m_perMinute / 60.0);
    b.atNs = now;
    if (b.tokens < 1)
        return false;
    b.tokens -= 1;
    return true;
}
