#pragma once

#include "platform/WindowTimer.h"
#include "whois/RdapQuery.h"
#include "whois/ReplyFraming.h"
#include "whois/WhoisServers.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QUrl>

// One query channel: asks one name at a time, over WHOIS or RDAP, and reports what the query
// came to once, through `finished`. Its query timer (100 ms) is the run's tick for handing it
// a row; its time-out timer (10 s) counts towards the query's time-out, the fifth tick after
// the count was last cleared. The channel knows nothing of rows; the run does.
class QueryChannel : public QObject
{
    Q_OBJECT
public:
    static constexpr int QueryInterval = 100;
    static constexpr int TimeoutInterval = 10000;
    static constexpr int TimeoutTicks = 5; // a query gets 40 to 50 s

    // Why a query got no reply to judge.
    enum class Failure {
        Refused,      // WHOIS: the server refused the connection
        HostNotFound, // WHOIS: the host name did not resolve
        ClosedEmpty,  // WHOIS: closed or reset before a single byte came
        Other,        // WHOIS: any other socket error before the reply was complete
        Unreachable,  // RDAP: no HTTP answer at all (refused, unresolvable, TLS, dropped)
    };

    // What one query came to.
    struct Outcome
    {
        enum class Kind { Reply, Failed, TimedOut };
        Kind kind = Kind::TimedOut;
        QString text;               // a WHOIS reply: the whole of it, every LF as CR LF
        int status = 0;             // an RDAP reply: its HTTP status; 0 for WHOIS
        QByteArray body;            //   its body, at most RdapQuery::MaxBody bytes
        int retryAfterSeconds = -1; //   its Retry-After; -1 without one
        Failure failure = Failure::Other;
        bool isRdap() const { return status > 0; }
    };

    explicit QueryChannel(QObject *parent = nullptr);
    ~QueryChannel() override;

    // Both stopped when made; the run starts and stops them.
    WindowTimer queryTimer;
    WindowTimer timeoutTimer;

    // Ends whatever was open, connects to `server`, sends `name` and CR LF, and gathers the
    // reply through the server's framing. Returns at once; the outcome never comes from
    // inside this call.
    void askWhois(const QString &name, const WhoisTarget &server);
    // Ends whatever was open and sends the RDAP GET of `url`.
    void askRdap(const QUrl &url);
    // Ends the current query: nothing more is reported for it, and the time-out count starts
    // again.
    void close();
    // Start of a new run: both timers stop, the query ends.
    void reset();

    // A query is open and has not reported yet.
    bool isAsking() const { return m_asking; }
    int timeoutTicks() const { return m_ticks; }

    // One tick of the time-out timer.
    void onTimeoutTick();

signals:
    // Once per query: a whole reply, a failure, or the time-out.
    void finished(const QueryChannel::Outcome &outcome);

private:
    void begin(bool markerServer);
    void report(const Outcome &outcome);
    void fail(Failure why);
    void onReadyRead();
    void onSocketError(QAbstractSocket::SocketError error);
    void onDisconnected();

    QTcpSocket m_socket;
    RdapQuery m_rdap;
    ReplyFraming m_framing;
    QString m_name;            // what the WHOIS server is asked
    bool m_asking = false;
    bool m_peerClosed = false; // the WHOIS server closed the current connection
    bool m_opening = false;    // inside askWhois
    quint64 m_query = 0;       // counts queries, so a late report of an old one is dropped
    int m_ticks = 0;
};
