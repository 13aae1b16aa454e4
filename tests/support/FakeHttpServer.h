#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QStringList>

#include <memory>

class QTcpServer;
class QTcpSocket;

// A small HTTP/1.1 responder on loopback for tests. Each path gets a canned response;
// the body can be sent whole, chunked, in timed pieces, cut off in the middle, or never.
// Every request is recorded. One request per connection: each answer closes it.
class FakeHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        QByteArray reason;                               // empty: a standard phrase for the status
        QList<QPair<QByteArray, QByteArray>> headers;    // extra headers, sent as given
        bool chunked = false;        // Transfer-Encoding: chunked instead of Content-Length
        bool noLength = false;       // neither length nor chunks: the body ends when the connection closes
        int pieceSize = 0;           // > 0: send the body in pieces of this many bytes
        int pieceDelayMs = 0;        // pause before each body piece
        int firstByteDelayMs = 0;    // pause before the status line
        int breakAfter = -1;         // >= 0: drop the connection after this many body bytes
        bool neverAnswer = false;    // read the request and stay silent with the connection open
    };

    struct Request
    {
        QByteArray method;
        QString path;                                    // the request target as sent, query included
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
    };

    explicit FakeHttpServer(QObject *parent = nullptr);
    ~FakeHttpServer() override;

    bool listen(const QHostAddress &addr = QHostAddress::LocalHost, quint16 port = 0);
    void close();
    quint16 port() const;
    QString baseUrl() const; // "http://127.0.0.1:port", no trailing "/"

    void setResponse(const QString &path, Response r);
    void setResponse(const QString &path, int status, const QByteArray &body);
    void removeResponse(const QString &path);
    // Answer for paths without a response of their own; a 404 page unless set.
    void setDefaultResponse(Response r);

    QStringList requestedPaths() const;
    QList<Request> requests() const { return m_requests; }
    int connectionCount() const { return m_connections; }
    void clearRequests();

signals:
    void requestReceived(const QString &path);
    // The whole answer was written (or the connection was dropped as asked).
    void responseDone(const QString &path);

private:
    struct Pending;
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Request &request);
    void sendStep(QTcpSocket *socket, std::shared_ptr<Pending> pending);
    Response responseFor(const QString &path) const;

    QTcpServer *m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QHash<QString, Response> m_responses;
    Response m_default;
    QList<Request> m_requests;
    int m_connections = 0;
};

Q_DECLARE_METATYPE(FakeHttpServer::Response)
