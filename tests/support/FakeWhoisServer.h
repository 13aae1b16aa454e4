#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>

#include <memory>
#include <vector>

class QTcpSocket;

// A WHOIS server on a loopback address, answering every connection by a script and
// recording the bytes each connection sent it.
class FakeWhoisServer : public QObject
{
    Q_OBJECT
public:
    struct Step
    {
        int delayMs = 0;  // wait before writing, counted from the previous step
        QByteArray bytes;
    };

    struct Script
    {
        bool waitForLine = true;   // begin once a line end (LF) arrived; else at accept
        QList<Step> steps;
        bool closeAfter = true;    // close once the last step is written
        QByteArray endless;        // after the steps, write this over and over
    };

    static Script replyAtOnce(const QByteArray &bytes);
    static Script replyInPieces(const QList<QByteArray> &pieces, int gapMs);
    static Script replyAfter(int delayMs, const QByteArray &bytes);
    static Script neverReply();
    static Script closeWithoutReply();
    static Script streamEndless(const QByteArray &chunk = QByteArray(4096, 'x'));

    explicit FakeWhoisServer(QObject *parent = nullptr);
    ~FakeWhoisServer() override;

    // Listens on `address` (127.0.0.x) and `port` (0: any free port).
    bool listen(const QHostAddress &address, quint16 port = 0);
    quint16 port() const { return m_server.serverPort(); }
    QHostAddress address() const { return m_server.serverAddress(); }
    QString host() const { return address().toString(); }

    // Script for the connections accepted from now on (default: reply nothing, stay open).
    void setScript(const Script &script) { m_script = script; }

    int connectionCount() const { return int(m_received.size()); }
    // Exact bytes each connection sent, in order of acceptance.
    QList<QByteArray> received() const { return m_received; }
    QByteArray lastReceived() const { return m_received.isEmpty() ? QByteArray() : m_received.last(); }
    // Bytes handed to the network over all connections.
    qint64 bytesSent() const { return m_bytesSent; }
    // Connections whose peer has not gone yet.
    int openConnections() const { return m_open; }

signals:
    void accepted();
    void lineReceived();

private:
    struct Connection;
    void onNewConnection();
    void begin(Connection *c);
    void runStep(Connection *c);
    void refill(Connection *c);

    QTcpServer m_server;
    std::vector<std::unique_ptr<Connection>> m_connections;
    Script m_script;
    QList<QByteArray> m_received;
    qint64 m_bytesSent = 0;
    int m_open = 0;
};
