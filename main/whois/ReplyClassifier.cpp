#include "whois/ReplyClassifier.h"

#include <QJsonDocument>
#include <QJsonObject>

const QStringList &ReplyClassifier::limitTexts()
{
    // Phrases of refusals seen from registries. Words of the terms-of-use text that normal
    // replies carry ("throttled", "rate limit", "too many queries", "not authorized",
    // "excessive") are deliberately absent: they would mark every reply as limited.
    static const QStringList texts = {
        QStringLiteral("limit exceeded"),          QStringLiteral("exceeded"),
        QStringLiteral("try again"),               QStringLiteral("slow down"),
        QStringLiteral("wait a while"),            QStringLiteral("interval is too short"),
        QStringLiteral("temporarily unavailable"), QStringLiteral("currently down"),
        QStringLiteral("quota"),
    };
    return texts;
}

ReplyClassifier::Verdict ReplyClassifier::classify(const QString &mydomain, const QString &mydata)
{
    // Registered first: a reply may carry a record and a "No match" notice at once.
    // Short .cn names (".cn" within the first six characters) count as taken outright.
    if (mydata.contains(QLatin1String("Expiration"))
        || mydata.contains(QLatin1String("Registry Domain ID:"))
        || mydata.contains(QLatin1String("Domain Name ID:"))
        || QStringView(mydomain).left(6).contains(QLatin1String(".cn")))
        return Registered;

    // Before the free tests: a refusal must never pass for "free".
    for (const QString &text : limitTexts())
        if (mydata.contains(text, Qt::CaseInsensitive))
            return Limited;

    if (mydata.contains(QLatin1String("not found"))
        || mydata.contains(QLatin1String("no match"))
        || mydata.contains(QLatin1String("No match"))
        || mydata.contains(QLatin1String("NOT FOUND"))
        || mydata.contains(QLatin1String("No Data Found")))
        return Free;

    return Undecidable;
}

ReplyClassifier::Verdict ReplyClassifier::classifyRdap(int status, const QByteArray &body)
{
    switch (status) {
    case 200: {
        // A 200 may carry an error page or another object class: only a domain record counts.
        const QJsonObject record = QJsonDocument::fromJson(body).object();
        return record.value(QLatin1String("objectClassName")) == QLatin1String("domain")
                       && !record.contains(QLatin1String("errorCode"))
                   ? Registered
                   : Undecidable;
    }
    case 404:
        return Free;
    case 429:
    case 503:
        return Limited;
    default:
        return Undecidable;
    }
}

QString ReplyClassifier::resultText(Verdict verdict)
{
    switch (verdict) {
    case Registered:
        return QStringLiteral("已经被注册");
    case Free:
        return QStringLiteral("没有被注册");
    case Undecidable:
    case Limited:
        break;
    }
    return QStringLiteral("无法获取数据");
}
