#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>

#include <deque>
#include <functional>

class QTcpSocket;

// A registry on a loopback address that limits how often one client address may ask, as
// registries do: a token bucket, a fixed or a sliding window, optionally a penalty until the
// client keeps quiet and a ban after too many queries over the limit. It speaks WHOIS (a
// query the limit admits gets the reply callback's bytes, one beyond it the limit text) or
// RDAP over HTTP (200 with the callback's body, 404 when it is empty, 429 with Retry-After
// beyond the limit). A banned client's connections are closed without a byte. One query per
// connection; the server hangs up after answering.
class LimitingWhoisServer : public QObject
{
    Q_OBJECT
public:
    // The reply to an admitted query; `domain` is the query line without CR LF, or the name
    // at the end of the RDAP path.
    using Reply = std::function<QByteArray(const QByteArray &domain)>;

    struct Limit
    {
        enum Kind { None, TokenBucket, FixedWindow, SlidingWindow };
        Kind kind = None;
        int count = 0;           // queries a window; a bucket refills this many a window
        qint64 windowMs = 60000;
        double burst = 1;        // the tokens a full bucket holds (a new client starts full)
        qint64 quietMs = 0;      // > 0: after a limit, every query is limited until this long without one
        int banAfter = 0;        // > 0: this many queries over the limit (since the last ban) get the client banned ...
        qint64 banMs = 0;        // ... for this long
        // `count` a minute, a bucket holding ten seconds' worth.
        static Limit bucket(double perMinute) { return {TokenBucket, int(perMinute), 60000, qMax(1.0, perMinute / 6)}; }
    };
    enum class Protocol { Whois, Rdap };

    LimitingWhoisServer(const Limit &limit, Reply reply, Protocol protocol = Protocol::Whois, QObject *parent = nullptr);

    // `address` is 127.0.0.x; port 0: any free port.
    bool listen(const QHostAddress &address, quint16 port = 0);
    quint16 port() const { return m_server.serverPort(); }
    QString host() const { return m_server.serverAddress().toString(); }
    QString baseUrl() const { return "http://" + host() + ':' + QString::number(port()) + "/rdap/"; }
    const Limit &limit() const { return m_limit; }
    void setLimitText(const QByteArray &text) { m_limitText = text; }

    // Queries answered, limited, and dropped while their client was banned; bans given.
    int admitted() const { return m_admitted; }
    int limited() const { return int(m_limitTimes.size()); }
    int dropped() const { return m_dropped; }
    int bans() const { return m_bans; }
    int connections() const { return m_connections; }
    // The most limit replies within any `spanMs`.
    int mostLimitsWithin(qint64 spanMs) const;

private:
    enum class Outcome { Admit, Limit, Drop };
    struct Client
    {
        double tokens = -1; // -1: not seen yet
        qint64 tokensAt = 0;
        qint64 windowStart = 0;
        int inWindow = 0;
        std::deque<qint64> admits; // of the sliding window
        bool penalty = false;
        qint64 lastQuery = 0;
        int over = 0;
        qint64 bannedUntil = 0;
    };

    void onNewConnection();
    void answer(QTcpSocket *socket, const QByteArray &domain);
    Outcome admit(Client &c, qint64 now, qint64 &retryAfterMs);
    bool withinLimit(Client &c, qint64 now, qint64 &retryAfterMs);

    Limit m_limit;
    Reply m_reply;
    Protocol m_protocol;
    QByteArray m_limitText = "WHOIS LIMIT EXCEEDED - try again later\r\n";
    QHash<QString, Client> m_clients; // by address
    QElapsedTimer m_clock;
    QList<qint64> m_limitTimes;
    int m_admitted = 0;
    int m_dropped = 0;
    int m_bans = 0;
    int m_connections = 0;
    QTcpServer m_server; // last: its sockets go before what their handlers use
};
