#include "run/QueryChannel.h"

QueryChannel::QueryChannel(int index, QObject *parent)
    : QObject(parent)
    , Timerme(QueryInterval)
    , Timer1(TimeoutInterval)
    , m_index(index)
{
    // Whatever a peer sends, the socket never holds more than one reply's worth; past
    // that it stops reading from the network until we read.
    m_socket.setReadBufferSize(ReplyFraming::MaxReply);
    connect(&m_socket, &QTcpSocket::connected, this, &QueryChannel::connected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &QueryChannel::dataArrived);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &QueryChannel::onSocketError);
    connect(&m_socket, &QTcpSocket::disconnected, this, &QueryChannel::onDisconnected);
    connect(&m_rdap, &RdapQuery::answered, this, &QueryChannel::rdapAnswered);
    connect(&m_rdap, &RdapQuery::unreachable, this, &QueryChannel::rdapUnreachable);
}

QueryChannel::~QueryChannel()
{
    m_active = false;
    m_rdap.abort();
    m_socket.abort();
}

void QueryChannel::openQuery(const WhoisTarget &target)
{
    // The old query goes quietly: its close must not be reported as this one's.
    m_active = false;
    ++m_query;
    m_rdap.abort();
    m_socket.abort();
    m_framing.reset(target.marker);
    m_peerClosed = false;
    m_host = target.host;
    m_queryHost = target.host;
    m_active = true;
    m_opening = true;
    m_socket.connectToHost(target.host, target.port);
    m_opening = false;
}

void QueryChannel::openRdap(const QUrl &url)
{
    m_active = false;
    ++m_query;
    m_socket.abort();
    m_framing.reset(false);
    m_peerClosed = false;
    m_host.clear();
    m_rdap.get(url);
    m_queryHost = m_rdap.host();
}

void QueryChannel::sendLine(const QString &text)
{
    QByteArray line = text.toLatin1();
    line.append("\r\n");
    m_socket.write(line);
}

QString QueryChannel::read(qsizetype maxChars)
{
    return QString::fromLatin1(m_socket.read(maxChars));
}

qint64 QueryChannel::bytesAvailable() const
{
    return m_socket.bytesAvailable();
}

void QueryChannel::close()
{
    m_active = false;
    ++m_query;
    m_rdap.abort();
    m_socket.close();
}

QString QueryChannel::peerName() const
{
    // What the socket reports for a connection opened by name; kept past its end so a
    // late read is still judged by the host it came from, cleared by a reset.
    return m_host;
}

bool QueryChannel::isConnected() const
{
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

std::optional<QString> QueryChannel::takeReply()
{
    // QTcpSocket signals once for data that may hold several reads.
    while (!m_framing.done() && m_socket.bytesAvailable() > 0) {
        std::optional<QString> text = m_framing.feed(read(ReplyFraming::MaxRead));
        if (text) {
            m_active = false;
            return text;
        }
    }
    // Everything the server sent before closing is in: that is the whole reply.
    if (m_peerClosed && !m_framing.done()) {
        std::optional<QString> text = m_framing.finish();
        if (text)
            m_active = false;
        return text;
    }
    return std::nullopt;
}

void QueryChannel::reset()
{
    m_active = false;
    ++m_query;
    Timerme.setEnabled(false);
    Timer1.setEnabled(false);
    m_rdap.abort();
    m_socket.abort();
    m_host.clear();
    m_queryHost.clear();
    m_framing.reset(false);
    m_peerClosed = false;
    chanrow = 0;
    chandomain.clear();
    chanticks = 0;
}

bool QueryChannel::nothingReceived() const
{
    return m_framing.taken() == 0 && m_socket.bytesAvailable() == 0;
}

void QueryChannel::fail(Failure why)
{
    m_active = false;
    if (m_opening) {
        // Reported after openQuery has returned, and only if no newer query began.
        const quint64 query = m_query;
        QMetaObject::invokeMethod(
            this, [this, query, why] { if (query == m_query) emit failed(why); }, Qt::QueuedConnection);
        return;
    }
    emit failed(why);
}

void QueryChannel::onSocketError(QAbstractSocket::SocketError error)
{
    if (!m_active)
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
    if (!m_active)
        return;
    m_peerClosed = true;
    if (nothingReceived()) {
        fail(Failure::ClosedEmpty);
        return;
    }
    emit dataArrived();
}
