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

#include <optional>

class QNetworkAccessManager;

// One query channel of the main window: its socket `Winsockme`, its query timer
// `Timerme` (100 ms) and time-out timer `Timer1` (10000 ms), and the values the run keeps
// for it. It only moves bytes; the window classifies and writes rows.
class QueryChannel : public QObject
{
    Q_OBJECT
public:
    static constexpr int QueryInterval = 100;
    static constexpr int TimeoutInterval = 10000;

    // Why a WHOIS query got no reply to judge.
    enum class Failure {
        Refused,      // the server refused the connection
        HostNotFound, // the host name did not resolve
        ClosedEmpty,  // closed or reset before a single byte came
        Other,        // any other socket error before the reply was complete
    };
    Q_ENUM(Failure)

    explicit QueryChannel(int index, QObject *parent = nullptr);
    ~QueryChannel() override;

    int index() const { return m_index; }

    // Both stopped when made.
    WindowTimer Timerme;
    WindowTimer Timer1;

    // The run's values for this channel.
    QString chandomain; // the domain it queries, as the task list holds it
    int chanrow = 0;    // the row it took at its last query tick
    int chanticks = 0;  // time-out ticks since last cleared

    // Drops whatever the channel had open, then connects to target.host:target.port.
    // Returns at once; the outcome arrives as signals, never from inside this call.
    void openQuery(const WhoisTarget &target);
    // Drops whatever the channel had open, then sends the RDAP GET of `url`; the outcome
    // arrives as rdapAnswered or rdapUnreachable.
    void openRdap(const QUrl &url);

    // The query line: Latin-1 bytes of `text`, then CR LF.
    void sendLine(const QString &text);
    // At most `maxChars` received bytes, one character each (Latin-1).
    QString read(qsizetype maxChars = ReplyFraming::MaxRead);
    qint64 bytesAvailable() const;
    // Ends the current query; nothing more is reported for it.
    void close();
    // The host the current query's connection was opened to (empty after a reset and
    // for RDAP).
    QString peerName() const;
    // The host the current query was sent to: the WHOIS host as configured, or the RDAP
    // URL's host. Kept until the next query or reset.
    QString host() const { return m_queryHost; }
    bool isConnected() const;
    bool rdapPending() const { return m_rdap.isPending(); }

    // Reads what is buffered, at most MaxRead characters at a time, through the framing
    // of this connection. Returns the whole reply once it is complete (the server closed
    // after sending something, the marker came, or MaxReply bytes were gathered), once;
    // nothing before that.
    std::optional<QString> takeReply();
    const ReplyFraming &framing() const { return m_framing; }

    // Start of a new run: stop both timers, drop the connection or request, clear
    // chanrow, chandomain and chanticks.
    void reset();

    // RDAP requests go through `manager` (owned by the caller); without one the channel
    // makes its own when first needed.
    void setNetworkAccessManager(QNetworkAccessManager *manager) { m_rdap.setNetworkAccessManager(manager); }

    QTcpSocket &socket() { return m_socket; }

signals:
    void connected();
    // Bytes arrived, or the server closed the connection after sending something: call
    // takeReply.
    void dataArrived();
    // A WHOIS query ended without a reply to judge; emitted once per query.
    void failed(QueryChannel::Failure why);
    // The RDAP query's outcome (RdapQuery::answered, RdapQuery::unreachable).
    void rdapAnswered(int status, const QByteArray &body, int retryAfterSeconds);
    void rdapUnreachable();

private:
    void onSocketError(QAbstractSocket::SocketError error);
    void onDisconnected();
    void fail(Failure why);
    bool nothingReceived() const;

    int m_index;
    QTcpSocket m_socket;
    QString m_host;
    QString m_queryHost;
    ReplyFraming m_framing;
    bool m_active = false;     // a WHOIS query waits for its reply
    bool m_peerClosed = false; // the server closed the current connection
    bool m_opening = false;    // inside openQuery
    quint64 m_query = 0;       // counts queries, so a late report of an old one is dropped
    RdapQuery m_rdap;
};
