#pragma once

#include "platform/WindowTimer.h"
#include "whois/ReplyFraming.h"
#include "whois/WhoisServers.h"

#include <QByteArray>
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
    // or for an RDAP target sends GET base + "domain/" + chandomain. Returns at once.
    void openQuery(const WhoisTarget &target);

    // The query line: Latin-1 bytes of `text`, then CR LF.
    void sendLine(const QString &text);
    // At most `maxChars` received bytes, one character each (Latin-1).
    QString read(qsizetype maxChars = ReplyFraming::MaxRead);
    qint64 bytesAvailable() const;
    void close();
    // The host the current query's connection was opened to (empty after a reset and
    // for RDAP).
    QString peerName() const;
    bool isConnected() const;
    bool rdapPending() const { return !m_reply.isNull(); }

    // Reads what is buffered, at most MaxRead characters at a time, through the framing
    // of this connection until a text is ready to classify. A marker server that passes
    // the size limit without its marker is cut off; its row is left to the time-out.
    std::optional<QString> takeReply();
    const ReplyFraming &framing() const { return m_framing; }

    // Start of a new run: stop both timers, drop the connection or request, clear
    // chanrow, chandomain and chanticks.
    void reset();

    // The RDAP body read so far (at most MaxBody bytes).
    QByteArray rdapBody() const { return m_body; }
    // The body was longer than MaxBody and was cut off.
    bool rdapBodyTruncated() const { return m_bodyTooLong; }

    // RDAP requests go through `manager` (owned by the caller); without one the channel
    // makes its own when first needed.
    void setNetworkAccessManager(QNetworkAccessManager *manager);

    QTcpSocket &socket() { return m_socket; }

signals:
    void connected();
    void dataArrived();
    void rdapFinished(int status); // HTTP status, 0 on a network error

private:
    void dropRdap();
    void onRdapData();
    void onRdapFinished();

    int m_index;
    QTcpSocket m_socket;
    QString m_host;
    ReplyFraming m_framing;
    QNetworkAccessManager *m_nam = nullptr;
    bool m_ownNam = false;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
    bool m_bodyTooLong = false;
};
