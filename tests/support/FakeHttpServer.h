#pragma once

#include <QHash>
#include <QStringList>
#include <QTcpServer>

// A small HTTP/1.1 responder on loopback for tests: one canned answer per path, one request
// per connection, closed after the answer. Paths without an answer get a 404 page.
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
    };

    explicit FakeHttpServer(QObject *parent = nullptr);

    bool listen(const QHostAddress &a = QHostAddress::LocalHost, quint16 port = 0) { return m_server.listen(a, port); }
    quint16 port() const { return m_server.serverPort(); }
    QString host() const { return m_server.serverAddress().toString(); }
    QString baseUrl() const { return "http://" + host() + ':' + QString::number(port()); }

    void setResponse(const QString &path, const Response &r) { m_responses.insert(path, r); }
    QStringList requestedPaths() const { return m_paths; }

private:
    QTcpServer m_server;
    QHash<QString, Response> m_responses;
    QStringList m_paths;
};

Q_DECLARE_METATYPE(FakeHttpServer::Response)
