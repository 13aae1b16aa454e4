#include "whois/RdapQuery.h"

#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimeZone>

#include <algorithm>
#include <climits>

RdapQuery::RdapQuery(QObject *parent)
    : QObject(parent)
{
}

RdapQuery::~RdapQuery()
{
    abort();
}

void RdapQuery::get(const QUrl &url, const QByteArray &accept)
{
    abort();
    if (!m_nam)
        m_nam = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    request.setRawHeader("Accept", accept);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaxRedirects);
    request.setTransferTimeout(m_timeoutMs);
    QNetworkReply *reply = m_nam->get(request);
    reply->setReadBufferSize(MaxBody);
    m_reply = reply;
    connect(reply, &QNetworkReply::readyRead, this, &RdapQuery::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &RdapQuery::onFinished);
}

void RdapQuery::abort()
{
    m_body.clear();
    if (QNetworkReply *reply = m_reply.data()) {
        m_reply = nullptr;
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
}

void RdapQuery::onReadyRead()
{
    QNetworkReply *reply = m_reply.data();
    if (!reply || sender() != reply)
        return;
    m_body.append(reply->read(MaxBody - m_body.size()));
    // A body longer than any RDAP answer: what came and the status are all we need.
    if (m_body.size() >= MaxBody && reply->bytesAvailable() > 0)
        report(reply);
}

void RdapQuery::onFinished()
{
    QNetworkReply *reply = m_reply.data();
    if (!reply || sender() != reply)
        return;
    if (m_body.size() < MaxBody)
        m_body.append(reply->read(MaxBody - m_body.size()));
    report(reply);
}

void RdapQuery::report(QNetworkReply *reply)
{
    m_reply = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = code.isValid() ? code.toInt() : 0;
    const int retryAfter = reply->hasRawHeader("Retry-After")
                               ? retryAfterSeconds(reply->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc())
                               : -1;
    reply->abort();
    reply->deleteLater();
    const QByteArray body = std::exchange(m_body, QByteArray());
    if (status > 0)
        emit answered(status, body, retryAfter);
    else
        emit unreachable();
}

int RdapQuery::retryAfterSeconds(const QByteArray &value, const QDateTime &now)
{
    const QByteArray v = value.trimmed();
    if (v.isEmpty())
        return -1;
    if (std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        bool ok = false;
        const qulonglong seconds = v.toULongLong(&ok);
        return ok && seconds < qulonglong(INT_MAX) ? int(seconds) : INT_MAX;
    }
    // HTTP-date: the IMF fixed form, or the obsolete RFC 850 and asctime forms. The day
    // name goes first: it adds nothing, and a two-digit year would make it disagree.
    QString text = QString::fromLatin1(v).simplified();
    const qsizetype comma = text.indexOf(QLatin1Char(','));
    text = comma >= 0 ? text.mid(comma + 1).trimmed() : text.mid(text.indexOf(QLatin1Char(' ')) + 1);
    const QLocale c = QLocale::c();
    for (const char *format : {"dd MMM yyyy hh:mm:ss 'GMT'", "dd-MMM-yy hh:mm:ss 'GMT'", "MMM d hh:mm:ss yyyy"}) {
        const QDateTime parsed = c.toDateTime(text, QLatin1String(format));
        if (!parsed.isValid())
            continue;
        QDate date = parsed.date();
        if (date.year() < 1970) // two-digit years mean this century
            date = date.addYears(100);
        const qint64 seconds = now.secsTo(QDateTime(date, parsed.time(), QTimeZone::utc()));
        return int(qBound<qint64>(0, seconds, qint64(INT_MAX)));
    }
    return -1;
}
