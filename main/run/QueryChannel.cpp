#include "run/QueryChannel.h"

#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimeZone>

#include <algorithm>
#include <climits>

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
}

QueryChannel::~QueryChannel()
{
    m_active = false;
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
    // The old query goes quietly: its close must not be reported as this one's.
    m_active = false;
    ++m_query;
    dropRdap();
    m_socket.abort();
    m_framing.reset(target.marker);
    m_peerClosed = false;
    m_retryAfter = -1;

    if (target.kind == WhoisTarget::Rdap) {
        m_host.clear();
        m_queryHost = QUrl(target.rdapBase).host();
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
    m_queryHost = target.host;
    m_active = true;
    m_opening = true;
    m_socket.connectToHost(target.host, target.port);
    m_opening = false;
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
    dropRdap();
    m_socket.abort();
    m_host.clear();
    m_queryHost.clear();
    m_framing.reset(false);
    m_peerClosed = false;
    m_retryAfter = -1;
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

void QueryChannel::readRetryAfter(const QNetworkReply *reply)
{
    m_retryAfter = reply->hasRawHeader("Retry-After")
                       ? retryAfterSeconds(reply->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc())
                       : -1;
}

int QueryChannel::retryAfterSeconds(const QByteArray &value, const QDateTime &now)
{
    const QByteArray v = value.trimmed();
    if (v.isEmpty())
        return -1;
    if (std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        bool ok = false;
        const qulonglong seconds = v.toULongLong(&ok);
        return ok && seconds < qulonglong(INT_MAX) ? int(seconds) : INT_MAX;
    }
    // HTTP-date: the IMF fixed form, or the obsolete RFC 850 and asctime forms. The day
    // name goes first: it adds nothing, and a two-digit year would make it disagree.
    QString text = QString::fromLatin1(v).simplified();
    const qsizetype comma = text.indexOf(QLatin1Char(','));
    text = comma >= 0 ? text.mid(comma + 1).trimmed() : text.mid(text.indexOf(QLatin1Char(' ')) + 1);
    const QLocale c = QLocale::c();
    for (const char *format : {"dd MMM yyyy hh:mm:ss 'GMT'", "dd-MMM-yy hh:mm:ss 'GMT'", "MMM d hh:mm:ss yyyy"}) {
        const QDateTime parsed = c.toDateTime(text, QLatin1String(format));
        if (!parsed.isValid())
            continue;
        QDate date = parsed.date();
        if (date.year() < 1970) // two-digit years mean this century
            date = date.addYears(100);
        const qint64 seconds = now.secsTo(QDateTime(date, parsed.time(), QTimeZone::utc()));
        return int(qBound<qint64>(0, seconds, qint64(INT_MAX)));
    }
    return -1;
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
        readRetryAfter(reply);
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
    readRetryAfter(reply);
    reply->deleteLater();
    emit rdapFinished(code.isValid() ? code.toInt() : 0);
}
