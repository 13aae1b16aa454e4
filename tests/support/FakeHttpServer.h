#pragma once

#include <QHash>
#include <QSslConfiguration>
#include <QStringList>
#include <QTcpServer>

#include <functional>
#include <memory>

// A small HTTP/1.1 responder on loopback for tests: one canned answer per path (or a
// responder deciding from the path), one request per connection, closed after the answer.
// Paths without an answer get a 404 page. With listenTls it speaks HTTPS.
class FakeHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        int breakAfter = -1;      // >= 0: drop the connection after this many body bytes
        bool neverAnswer = false; // read the request and stay silent
        QByteArray headers;       // more header lines, each ending with CR LF
        int delayMs = 0;          // before the answer
        bool hangUp = false;      // close without a byte of an answer
    };
    using Responder = std::function<Response(const QString &path)>;

    explicit FakeHttpServer(QObject *parent = nullptr);

    bool listen(const QHostAddress &a = QHostAddress::LocalHost, quint16 port = 0);
    // HTTPS with the loopback certificate below.
    bool listenTls(const QHostAddress &a = QHostAddress::LocalHost, quint16 port = 0);
    quint16 port() const { return m_server->serverPort(); }
    QString host() const { return m_server->serverAddress().toString(); }
    QString baseUrl() const { return (m_tls ? "https://" : "http://") + host() + ':' + QString::number(port()); }

    void setResponse(const QString &path, const Response &r) { m_responses.insert(path, r); }
    // For paths without a canned answer.
    void setResponder(Responder responder) { m_responder = std::move(responder); }
    QStringList requestedPaths() const { return m_paths; }
    // Each request's head as it came, request line and headers.
    QList<QByteArray> requestHeads() const { return m_heads; }

    // A self-signed certificate for 127.0.0.1, which a test trusts by adding it to the
    // default TLS configuration; without that, a TLS client must refuse the server.
    static QSslCertificate loopbackCertificate();

private:
    void onNewConnection();

    std::unique_ptr<QTcpServer> m_server;
    bool m_tls = false;
    QHash<QString, Response> m_responses;
    Responder m_responder;
    QStringList m_paths;
    QList<QByteArray> m_heads;
};

Q_DECLARE_METATYPE(FakeHttpServer::Response)
