#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// One RDAP exchange: a GET of one URL, reported once as an HTTP answer or as "unreachable".
// At most MaxRedirects redirects are followed and never from https to http; the body is kept
// up to MaxBody bytes; a TLS error ends the exchange, it is never waved through.
class RdapQuery : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 MaxBody = 1024 * 1024;
    static constexpr int MaxRedirects = 3;
    static QByteArray rdapType() { return QByteArrayLiteral("application/rdap+json"); }

    explicit RdapQuery(QObject *parent = nullptr);
    ~RdapQuery() override;

    // No progress for `ms` ends the exchange as unreachable; 0 (the default): never, the
    // caller keeps the time.
    void setTimeout(int ms) { m_timeoutMs = ms; }

    // Drops whatever was pending, then sends GET `url` with `accept` as its Accept header.
    // Returns at once; the outcome arrives as one signal, never from inside this call.
    void get(const QUrl &url, const QByteArray &accept = rdapType());
    // Drops the pending exchange; nothing more is reported for it.
    void abort();
    bool isPending() const { return !m_reply.isNull(); }

    // A Retry-After value (delta-seconds or an HTTP date) as seconds from `now`; -1 when
    // unreadable. A date already past gives 0.
    static int retryAfterSeconds(const QByteArray &value, const QDateTime &now);

signals:
    // An HTTP status came (a redirect that was not followed included). `body` is at most
    // MaxBody bytes; `retryAfterSeconds` is -1 without a readable Retry-After.
    void answered(int status, const QByteArray &body, int retryAfterSeconds);
    // No HTTP answer at all: refused, unresolvable, TLS failure, time-out, dropped.
    void unreachable();

private:
    void onReadyRead();
    void onFinished();
    void report(QNetworkReply *reply);

    QNetworkAccessManager *m_nam = nullptr; // made when first needed
    int m_timeoutMs = 0;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
};
