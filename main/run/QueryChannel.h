#pragma once

#include "platform/WindowTimer.h"
#include "whois/ReplyFraming.h"
#include "whois/WhoisServers.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpSocket>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// One query channel of the main window: its socket `Winsockme`, its query timer
// `Timerme` (100 ms) and time-out timer `Timer1` (10000 ms), and the values the run keeps
// for it. It only moves bytes; the window classifies and writes rows.
class QueryChannel : public QObject
{
    Q_OBJECT
public:
    static constexpr int QueryInterval = 100;
    static constexpr int TimeoutInterval = 10000;
    static constexpr qint64 MaxBody = 64 * 1024; // RDAP body bytes read at most

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

    // Drops whatever the channel had open, then connects to target.host:target.port,
    // or for an RDAP target sends GET base + "domain/" + the trimmed chandomain. Returns
    // at once; the outcome arrives as signals, never from inside this call.
    void openQuery(const WhoisTarget &target);

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
    // The host the current query was sent to: the WHOIS host as configured, or the host of
    // the RDAP base. Kept until the next openQuery or reset.
    QString host() const { return m_queryHost; }
    bool isConnected() const;
    bool rdapPending() const { return !m_reply.isNull(); }

    // Reads what is buffered, at most MaxRead characters at a time, through the framing
    // of this connection. Returns the whole reply once it is complete (the server closed
    // after sending something, the marker came, or MaxReply bytes were gathered), once;
    // nothing before that.
    std::optional<QString> takeReply();
    const ReplyFraming &framing() const { return m_framing; }

    // Start of a new run: stop both timers, drop the connection or request, clear
    // chanrow, chandomain and chanticks.
    void reset();

    // The RDAP body read so far (at most MaxBody bytes).
    QByteArray rdapBody() const { return m_body; }
    // The body was longer than MaxBody and was cut off.
    bool rdapBodyTruncated() const { return m_bodyTooLong; }
    // The Retry-After of the last RDAP reply in seconds from when it came; -1 when it had
    // none or it could not be read.
    int rdapRetryAfterSeconds() const { return m_retryAfter; }
    // A Retry-After value (delta-seconds or an HTTP date) as seconds from `now`; -1 when
    // unreadable. A date already past gives 0.
    static int retryAfterSeconds(const QByteArray &value, const QDateTime &now);

    // RDAP requests go through `manager` (owned by the caller); without one the channel
    // makes its own when first needed.
    void setNetworkAccessManager(QNetworkAccessManager *manager);

    QTcpSocket &socket() { return m_socket; }

signals:
    void connected();
    // Bytes arrived, or the server closed the connection after sending something: call
    // takeReply.
    void dataArrived();
    // A WHOIS query ended without a reply to judge; emitted once per query.
    void failed(QueryChannel::Failure why);
    void rdapFinished(int status); // HTTP status, 0 on a network error

private:
    void dropRdap();
    void onRdapData();
    void onRdapFinished();
    void readRetryAfter(const QNetworkReply *reply);
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
    QNetworkAccessManager *m_nam = nullptr;
    bool m_ownNam = false;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
    bool m_bodyTooLong = false;
    int m_retryAfter = -1;
};
