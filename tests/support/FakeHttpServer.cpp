#include "FakeHttpServer.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

struct FakeHttpServer::Pending
{
    QString path;
    QList<QByteArray> parts;  // written one after the other
    int index = 0;
    int firstDelayMs = 0;
    int delayMs = 0;
    bool dropAtEnd = false;   // the answer was cut short on purpose
};

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

bool hasHeader(const QList<QPair<QByteArray, QByteArray>> &headers, const QByteArray &name)
{
    for (const auto &h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

FakeHttpServer::FakeHttpServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    m_default.status = 404;
    m_default.body = "<html><body><h1>404 Not Found</h1></body></html>";
    m_default.headers = {{"Content-Type", "text/html"}};
    connect(m_server, &QTcpServer::newConnection, this, &FakeHttpServer::onNewConnection);
}

FakeHttpServer::~FakeHttpServer()
{
    close();
}

bool FakeHttpServer::listen(const QHostAddress &addr, quint16 port)
{
    return m_server->listen(addr, port);
}

void FakeHttpServer::close()
{
    m_server->close();
    // Accepted sockets are the server's children, answered or not.
    const auto sockets = m_server->findChildren<QTcpSocket *>();
    for (QTcpSocket *s : sockets)
        s->abort();
    m_buffers.clear();
}

quint16 FakeHttpServer::port() const
{
    return m_server->serverPort();
}

QString FakeHttpServer::baseUrl() const
{
    QHostAddress a = m_server->serverAddress();
    if (a == QHostAddress::Any || a == QHostAddress::AnyIPv4)
        a = QHostAddress::LocalHost;
    const QString host = a.protocol() == QAbstractSocket::IPv6Protocol
        ? QLatin1Char('[') + a.toString() + QLatin1Char(']')
        : a.toString();
    return QStringLiteral("http://%1:%2").arg(host).arg(port());
}

void FakeHttpServer::setResponse(const QString &path, Response r)
{
    m_responses.insert(path, std::move(r));
}

void FakeHttpServer::setResponse(const QString &path, int status, const QByteArray &body)
{
    Response r;
    r.status = status;
    r.body = body;
    setResponse(path, std::move(r));
}

void FakeHttpServer::removeResponse(const QString &path)
{
    m_responses.remove(path);
}

void FakeHttpServer::setDefaultResponse(Response r)
{
    m_default = std::move(r);
}

QStringList FakeHttpServer::requestedPaths() const
{
    QStringList paths;
    for (const Request &r : m_requests)
        paths.append(r.path);
    return paths;
}

void FakeHttpServer::clearRequests()
{
    m_requests.clear();
}

FakeHttpServer::Response FakeHttpServer::responseFor(const QString &path) const
{
    return m_responses.value(path, m_default);
}

void FakeHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        ++m_connections;
        m_buffers.insert(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void FakeHttpServer::onReadyRead(QTcpSocket *socket)
{
    auto it = m_buffers.find(socket);
    if (it == m_buffers.end()) { // already answered: ignore anything more
        socket->readAll();
        return;
    }
    it->append(socket->readAll());
    const QByteArray &buf = *it;
    const qsizetype headEnd = buf.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        if (buf.size() > 64 * 1024) // no sane request head is this long
            socket->abort();
        return;
    }

    Request req;
    const QList<QByteArray> lines = buf.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    req.method = requestLine.value(0);
    req.path = QString::fromLatin1(requestLine.value(1));
    qsizetype contentLength = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed();
        const QByteArray value = line.mid(colon + 1).trimmed();
        req.headers.append({name, value});
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            contentLength = value.toLongLong();
    }
    if (buf.size() - (headEnd + 4) < contentLength)
        return; // the body is still on its way
    req.body = buf.mid(headEnd + 4, contentLength);

    m_buffers.erase(it); // one request per connection: later bytes are ignored

    m_requests.append(req);
    emit requestReceived(req.path);
    answer(socket, req);
}

void FakeHttpServer::answer(QTcpSocket *socket, const Request &request)
{
    const Response r = responseFor(request.path);
    if (r.neverAnswer)
        return;

    auto pending = std::make_shared<Pending>();
    pending->path = request.path;
    pending->firstDelayMs = r.firstByteDelayMs;
    pending->delayMs = r.pieceDelayMs;

    QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + ' '
        + (r.reason.isEmpty() ? reasonPhrase(r.status) : r.reason) + "\r\n";
    for (const auto &h : r.headers)
        head += h.first + ": " + h.second + "\r\n";
    if (r.chunked)
        head += "Transfer-Encoding: chunked\r\n";
    else if (!r.noLength && !hasHeader(r.headers, "Content-Length"))
        head += "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    pending->parts.append(head);

    QByteArray body = r.body;
    if (r.breakAfter >= 0 && r.breakAfter < body.size()) {
        body.truncate(r.breakAfter);
        pending->dropAtEnd = true;
    }
    const qsizetype step = r.pieceSize > 0 ? r.pieceSize : qMax<qsizetype>(body.size(), 1);
    for (qsizetype at = 0; at < body.size(); at += step) {
        const QByteArray piece = body.mid(at, step);
        if (r.chunked)
            pending->parts.append(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
        else
            pending->parts.append(piece);
    }
    if (r.chunked && !pending->dropAtEnd)
        pending->parts.append("0\r\n\r\n");

    sendStep(socket, pending);
}

void FakeHttpServer::sendStep(QTcpSocket *socket, std::shared_ptr<Pending> pending)
{
    QPointer<QTcpSocket> guard(socket);
    const int delay = pending->index == 0 ? pending->firstDelayMs
                                          : pending->delayMs;
    auto write = [this, guard, pending] {
        if (!guard || guard->state() != QAbstractSocket::ConnectedState)
            return;
        if (pending->index < pending->parts.size()) {
            guard->write(pending->parts[pending->index]);
            ++pending->index;
        }
        if (pending->index < pending->parts.size()) {
            sendStep(guard, pending);
            return;
        }
        guard->flush();
        guard->disconnectFromHost();
        emit responseDone(pending->path);
    };
    if (delay > 0)
        QTimer::singleShot(delay, socket, write);
    else
        write();
}
