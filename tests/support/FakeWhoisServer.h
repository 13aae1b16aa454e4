#pragma once

#include <QHash>
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
        bool hold = false;        // stay connected after the last piece
        bool hangUpEmpty = false; // no pieces: close at once instead of staying silent
    };
    static Script replyAtOnce(const QByteArray &bytes) { return {{bytes}}; }
    static Script replyAfter(int delayMs, const QByteArray &bytes) { return {{bytes}, delayMs}; }
    static Script replyInPieces(const QList<QByteArray> &pieces, int gapMs) { return {pieces, 0, gapMs}; }
    static Script streamEndless() { return {{QByteArray(4096, 'x')}, 0, 0, true}; }
    // Accepts and never answers.
    static Script silent() { return {}; }
    // Accepts, takes the query line and closes without a byte.
    static Script closeWithoutReply()
    {
        Script s;
        s.hangUpEmpty = true;
        return s;
    }
    // `bytes` cut after `first` bytes, the rest `gapMs` later; an empty reply closes at once.
    static Script inTwo(const QByteArray &bytes, qsizetype first, int gapMs)
    {
        if (bytes.isEmpty())
            return closeWithoutReply();
        if (first <= 0 || first >= bytes.size())
            return replyAtOnce(bytes);
        return replyInPieces({bytes.left(first), bytes.mid(first)}, gapMs);
    }
    // One byte every `gapMs`, then hang up.
    static Script byteByByte(const QByteArray &bytes, int gapMs)
    {
        Script s;
        for (char c : bytes)
            s.pieces.append(QByteArray(1, c));
        s.gapMs = gapMs;
        return s;
    }

    explicit FakeWhoisServer(QObject *parent = nullptr) : QObject(parent)
    {
        connect(&m_server, &QTcpServer::newConnection, this, &FakeWhoisServer::onNewConnection);
    }
    // `address` is 127.0.0.x; port 0: any free port.
    bool listen(const QHostAddress &address, quint16 port = 0) { return m_server.listen(address, port); }
    quint16 port() const { return m_server.serverPort(); }
    QString host() const { return m_server.serverAddress().toString(); }
    // For the connections accepted from now on; an empty script never replies.
    void setScript(const Script &script) { m_script = script; }
    // For queries whose line (without CR LF) is exactly `query`, in place of the script.
    void setScriptFor(const QByteArray &query, const Script &script) { m_byQuery.insert(query, script); }
    // Decides each query's script from its line and the number of queries before it, in
    // place of the scripts above.
    using Responder = std::function<Script(const QByteArray &query, int earlier)>;
    void setResponder(Responder responder) { m_responder = std::move(responder); }
    // Stops taking connections (they are refused) for `ms`, then listens again.
    void refuseFor(int ms);
    int connectionCount() const { return int(m_received.size()); }
    // Exact bytes each connection sent, in order of acceptance.
    QList<QByteArray> received() const { return m_received; }

private:
    void onNewConnection();
    void play(QTcpSocket *socket, const Script &script, qsizetype piece);

    Script m_script; // no pieces: never reply
    QHash<QByteArray, Script> m_byQuery;
    Responder m_responder;
    int m_queries = 0;
    QList<QByteArray> m_received;
    QTcpServer m_server; // last: its sockets go before what their handlers use
};
