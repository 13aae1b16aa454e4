#include "run/QueryChannel.h"

QueryChannel::QueryChannel(QObject *parent)
    : QObject(parent)
    , queryTimer(QueryInterval)
    , timeoutTimer(TimeoutInterval)
{
    // Whatever a peer sends, the socket never holds more than one reply's worth; past
    // that it stops reading from the network until we read.
    m_socket.setReadBufferSize(ReplyFraming::MaxReply);
    // The name as every service is asked for it: its lower-case A-label.
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        if (m_asking)
            m_socket.write(m_name.toLatin1() + "\r\n");
    });
    connect(&m_socket, &QTcpSocket::readyRead, this, &QueryChannel::onReadyRead);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &QueryChannel::onSocketError);
    connect(&m_socket, &QTcpSocket::disconnected, this, &QueryChannel::onDisconnected);
    connect(&m_rdap, &RdapQuery::answered, this, [this](int status, const QByteArray &body, int retryAfterSeconds) {
        if (m_asking)
            report({Outcome::Kind::Reply, {}, status, body, retryAfterSeconds});
    });
    connect(&m_rdap, &RdapQuery::unreachable, this, [this] {
        if (m_asking)
            report({Outcome::Kind::Failed, {}, 0, {}, -1, Failure::Unreachable});
    });
    connect(&timeoutTimer, &WindowTimer::timeout, this, &QueryChannel::onTimeoutTick);
}

QueryChannel::~QueryChannel()
{
    m_asking = false;
    m_rdap.abort();
    m_socket.abort();
}

void QueryChannel::begin(bool markerServer)
{
    // The old query goes quietly: its end must not be reported as this one's.
    m_asking = false;
    ++m_query;
    m_rdap.abort();
    m_socket.abort();
    m_framing.reset(markerServer);
    m_peerClosed = false;
}

void QueryChannel::askWhois(const QString &name, const WhoisTarget &server)
{
    begin(server.marker);
    m_name = name;
    m_asking = true;
    m_opening = true;
    m_socket.connectToHost(server.host, server.port);
    m_opening = false;
}

void QueryChannel::askRdap(const QUrl &url)
{
    begin(false);
    m_asking = true;
    m_rdap.get(url);
}

void QueryChannel::close()
{
    m_asking = false;
    ++m_query;
    m_ticks = 0;
    m_rdap.abort();
    m_socket.close();
}

void QueryChannel::reset()
{
    queryTimer.setEnabled(false);
    timeoutTimer.setEnabled(false);
    begin(false);
    m_ticks = 0;
}

void QueryChannel::onTimeoutTick()
{
    // Counted whether or not a query is open: the count is cleared when a query ends, not
    // when the next one starts.
    if (++m_ticks >= TimeoutTicks && m_asking)
        report({});
}

void QueryChannel::report(const Outcome &outcome)
{
    close();
    emit finished(outcome);
}

void QueryChannel::fail(Failure why)
{
    const Outcome outcome{Outcome::Kind::Failed, {}, 0, {}, -1, why};
    if (m_opening) {
        // Reported after askWhois has returned, and only if no newer query began.
        m_asking = false;
        const quint64 query = m_query;
        QMetaObject::invokeMethod(
            this, [this, query, outcome] { if (query == m_query) report(outcome); }, Qt::QueuedConnection);
        return;
    }
    report(outcome);
}

void QueryChannel::onReadyRead()
{
    if (!m_asking)
        return;
    // QTcpSocket signals once for data that may hold several reads.
    while (!m_framing.done() && m_socket.bytesAvailable() > 0) {
        if (std::optional<QString> text = m_framing.feed(QString::fromLatin1(m_socket.read(ReplyFraming::MaxRead)))) {
            report({Outcome::Kind::Reply, *text});
            return;
        }
    }
    // Everything the server sent before closing is in: that is the whole reply.
    if (m_peerClosed)
        if (std::optional<QString> text = m_framing.finish())
            report({Outcome::Kind::Reply, *text});
}

void QueryChannel::onSocketError(QAbstractSocket::SocketError error)
{
    if (!m_asking)
        return;
    switch (error) {
    case QAbstractSocket::RemoteHostClosedError:
        // A close or a reset; `disconnected` follows and tells a reply from none.
        return;
    case QAbstractSocket::ConnectionRefusedError:
        fail(Failure::Refused);
        return;
    case QAbstractSocket::HostNotFoundError:
        fail(Failure::HostNotFound);
        return;
    default:
        // Before the first byte nothing came; after it, what came may be a part, and a
        // part is never judged.
        fail(Failure::Other);
        return;
    }
}

void QueryChannel::onDisconnected()
{
    if (!m_asking)
        return;
    m_peerClosed = true;
    if (m_framing.taken() == 0 && m_socket.bytesAvailable() == 0)
        fail(Failure::ClosedEmpty);
    else
        onReadyRead();
}
