#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

// A WHOIS server on a loopback address that limits how often one client address may ask,
// as registries do: a token bucket per client address, refilled continuously. A query the
// bucket admits gets the reply callback's bytes, one beyond it gets the limit text; either
// way the server hangs up after answering. It can also refuse connections for a while, and
// limit every second query.
class LimitingWhoisServer : public QObject
{
    Q_OBJECT
public:
    // The reply to an admitted query; `domain` is the query line without CR LF.
    using Reply = std::function<QByteArray(const QByteArray &domain)>;

    // `perMinute` queries a minute per client address, with a burst of ten seconds' worth;
    // 0: no bucket, every query is admitted.
    explicit LimitingWhoisServer(double perMinute, Reply reply, QObject *parent = nullptr);

    // `address` is 127.0.0.x; port 0: any free port.
    bool listen(const QHostAddress &address, quint16 port = 0);
    quint16 port() const { return m_port; }
    QString host() const { return m_address.toString(); }
    bool isListening() const { return m_server.isListening(); }

    // Refill rate; also sets the burst to ten seconds' worth (perMinute / 6). Buckets of
    // clients already seen keep their tokens.
    void setRate(double perMinute);
    double rate() const { return m_perMinute; }
    // Tokens a full bucket holds (at least one, else nothing would ever be admitted).
    void setBurst(double tokens);
    double burst() const { return m_burst; }
    void setLimitText(const QByteArray &text) { m_limitText = text; }
    QByteArray limitText() const { return m_limitText; }
    // The 2nd, 4th, 6th... query this server reads is limited whatever the bucket holds.
    void setLimitEverySecond(bool on) { m_everySecond = on; }

    // Stops listening now, so connections are refused, and listens again on the same
    // address and port after `ms`. Connections already accepted are still answered.
    void refuseFor(int ms);

    // Queries answered with the callback's reply, and with the limit text.
    int admitted() const { return m_admitted; }
    int limited() const { return m_limited; }
    // Connections accepted, with or without a query line.
    int connections() const { return m_connections; }
    // Listening again after refuseFor failed (the port was taken meanwhile).
    bool relistenFailed() const { return m_relistenFailed; }

signals:
    void listeningAgain();

private:
    struct Bucket
    {
        double tokens = 0;
        qint64 atNs = 0; // when `tokens` was last brought up to date
    };

    void onNewConnection();
    void answer(QTcpSocket *socket, const QByteArray &domain);
    bool admit(const QHostAddress &client);

    Reply m_reply;
    double m_perMinute = 0;
    double m_burst = 1;
    QByteArray m_limitText = "WHOIS LIMIT EXCEEDED - try again later\r\n";
    bool m_everySecond = false;
    QHash<QString, Bucket> m_buckets; // by client address
    QElapsedTimer m_clock;
    QHostAddress m_address;
    quint16 m_port = 0;
    quint64 m_refusal = 0; // counts refuseFor calls, so only the last one listens again
    int m_queries = 0;
    int m_admitted = 0;
    int m_limited = 0;
    int m_connections = 0;
    bool m_relistenFailed = false;
    QTcpServer m_server; // last: its sockets go before what their handlers use
};
