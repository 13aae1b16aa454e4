#include "run/QueryChannel.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

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
}

QueryChannel::~QueryChannel()
{
    dropRdap();
    m_socket.abort();
}

void QueryChannel::setNetworkAccessManager(QNetworkAccessManager *manager)
{
    dropRdap();
    if (m_ownNam)
        delete m_nam;
    m_nam = manager;
    m_ownNam = false;
}

void QueryChannel::openQuery(const WhoisTarget &target)
{
    dropRdap();
    m_socket.abort();
    m_framing.reset(target.marker);

    if (target.kind == WhoisTarget::Rdap) {
        m_host.clear();
        if (!m_nam) {
            m_nam = new QNetworkAccessManager(this);
            m_ownNam = true;
        }
        QNetworkRequest request(target.rdapDomainUrl(chandomain));
        request.setRawHeader("Accept", "application/rdap+json");
        m_body.clear();
        m_bodyTooLong = false;
        QNetworkReply *reply = m_nam->get(request);
        reply->setReadBufferSize(MaxBody);
        m_reply = reply;
        connect(reply, &QNetworkReply::readyRead, this, &QueryChannel::onRdapData);
        connect(reply, &QNetworkReply::finished, this, &QueryChannel::onRdapFinished);
        return;
    }

    m_host = target.host;
    m_socket.connectToHost(target.host, target.port);
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
    dropRdap();
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
    while (!m_framing.done() && !m_framing.overLimit() && m_socket.bytesAvailable() > 0) {
        std::optional<QString> text = m_framing.feed(read(ReplyFraming::MaxRead));
        if (text)
            return text;
    }
    if (m_framing.overLimit() && m_socket.state() != QAbstractSocket::UnconnectedState)
        m_socket.abort();
    return std::nullopt;
}

void QueryChannel::reset()
{
    Timerme.setEnabled(false);
    Timer1.setEnabled(false);
    dropRdap();
    m_socket.abort();
    m_host.clear();
    m_framing.reset(false);
    chanrow = 0;
    chandomain.clear();
    chanticks = 0;
}

void QueryChannel::dropRdap()
{
    if (QNetworkReply *reply = m_reply.data()) {
        m_reply = nullptr;
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
    m_body.clear();
    m_bodyTooLong = false;
}

void QueryChannel::onRdapData()
{
    QNetworkReply *reply = m_reply.data();
    if (!reply || sender() != reply)
        return;
    const qint64 room = MaxBody - m_body.size();
    if (room > 0)
        m_body.append(reply->read(room));
    if (reply->bytesAvailable() > 0) {
        // A body longer than any RDAP answer: its status is all we need.
        const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        m_reply = nullptr;
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
        m_bodyTooLong = true;
        emit rdapFinished(code.isValid() ? code.toInt() : 0);
    }
}

void QueryChannel::onRdapFinished()
{
    QNetworkReply *reply = m_reply.data();
    if (!reply || sender() != reply)
        return;
    m_reply = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    const qint64 room = MaxBody - m_body.size();
    if (room > 0 && reply->bytesAvailable() > 0)
        m_body.append(reply->read(room));
    const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    reply->deleteLater();
    emit rdapFinished(code.isValid() ? code.toInt() : 0);
}
