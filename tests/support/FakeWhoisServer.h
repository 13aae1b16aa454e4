#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

// A WHOIS server on a loopback address: answers every connection by a script once the
// query line is in, and records the bytes each connection sent it.
class FakeWhoisServer : public QObject
{
    Q_OBJECT
public:
    struct Script
    {
        QList<QByteArray> pieces; // written one after another, gapMs apart, each flushed on its own
        int delayMs = 0;          // before the first piece
        int gapMs = 0;
        bool endless = false;     // then the last piece over and over; else hang up after it
        bool hangUpEmpty = false; // no pieces: close at once instead of staying silent
    };
    static Script replyAtOnce(const QByteArray &bytes) { return {{bytes}}; }
    static Script replyAfter(int delayMs, const QByteArray &bytes) { return {{bytes}, delayMs}; }
    // `bytes` cut after `first` bytes, the rest `gapMs` later; an empty reply closes at once.
    static Script inTwo(const QByteArray &bytes, qsizetype first, int gapMs);
    static Script streamEndless() { return {{QByteArray(4096, 'x')}, 0, 0, true}; }
    // Accepts and never answers.
    static Script silent() { return {}; }
    // Accepts, takes the query line and closes without a byte.
    static Script closeWithoutReply() { return {{}, 0, 0, false, true}; }

    explicit FakeWhoisServer(QObject *parent = nullptr);
    // `address` is 127.0.0.x; port 0: any free port.
    bool listen(const QHostAddress &address, quint16 port = 0) { return m_server.listen(address, port); }
    quint16 port() const { return m_server.serverPort(); }
    QString host() const { return m_server.serverAddress().toString(); }
    // Decides each query's script from its line (without CR LF) and the number of queries
    // before it.
    using Responder = std::function<Script(const QByteArray &query, int earlier)>;
    void setResponder(Responder responder) { m_responder = std::move(responder); }
    // The same script for every query from now on.
    void setScript(const Script &script);
    int connectionCount() const { return int(m_received.size()); }
    // Exact bytes each connection sent, in order of acceptance.
    QList<QByteArray> received() const { return m_received; }

private:
    void onNewConnection();
    void play(QTcpSocket *socket, const Script &script, qsizetype piece);

    Responder m_responder; // none: never reply
    int m_queries = 0;
    QList<QByteArray> m_received;
    QTcpServer m_server; // last: its sockets go before what their handlers use
};
