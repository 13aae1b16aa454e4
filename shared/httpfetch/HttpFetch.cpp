#include "httpfetch/HttpFetch.h"

#include "text/Gb18030.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace HttpFetch {

namespace {

// Qt may finish a reply whose connection closed early without an error, so a body that
// announced its length is held to it.
bool bodyHasAnnouncedLength(const QNetworkReply &reply)
{
    const QVariant length = reply.header(QNetworkRequest::ContentLengthHeader);
    if (!length.isValid() || reply.hasRawHeader("Content-Encoding"))
        return true;
    return reply.bytesAvailable() == length.toLongLong();
}

// An error page is still an answer; only a transfer that never finished is not.
bool exchangeCompleted(const QNetworkReply &reply)
{
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    // Content (2xx codes) and server (4xx codes) errors stand for HTTP statuses; 302 is a 400.
    const int e = reply.error();
    const bool answered = e == QNetworkReply::NoError || (e >= 200 && e < 300)
        || e == QNetworkReply::ProtocolInvalidOperationError || (e >= 400 && e < 500);
    return answered && bodyHasAnnouncedLength(reply);
}

} // namespace

QString bodytext(const QByteArray &body)
{
    return Gb18030::decode(body);
}

QString fetchtext(const QString &url, int timeoutMs)
{
    // Names under .invalid never resolve (RFC 6761): an unconfigured build asks nobody.
    const QString host = QUrl(url).host();
    if (host == QLatin1String("invalid") || host.endsWith(QLatin1String(".invalid")))
        return QString();

    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    QNetworkReply *reply = manager.get(request);

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    deadline.stop();

    QString result;
    if (!timedOut && exchangeCompleted(*reply))
        result = bodytext(reply->readAll());
    delete reply;
    return result;
}

} // namespace HttpFetch
