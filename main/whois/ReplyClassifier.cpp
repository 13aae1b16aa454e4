#include "whois/ReplyClassifier.h"

ReplyClassifier::Verdict ReplyClassifier::classify(const QString &mydomain, const QString &mydata)
{
    // Registered first: a reply may carry a record and a "No match" notice at once.
    // Short .cn names (".cn" within the first six characters) count as taken outright.
    if (mydata.contains(QLatin1String("Expiration"))
        || mydata.contains(QLatin1String("Registry Domain ID:"))
        || QStringView(mydomain).left(6).contains(QLatin1String(".cn")))
        return Registered;

    if (mydata.contains(QLatin1String("not found"))
        || mydata.size() < 20
        || mydata.contains(QLatin1String("no match"))
        || mydata.contains(QLatin1String("No match"))
        || mydata.contains(QLatin1String("NOT FOUND")))
        return Free;

    return Undecidable;
}

ReplyClassifier::Verdict ReplyClassifier::classifyRdap(int status)
{
    if (status == 200)
        return Registered;
    if (status == 404)
        return Free;
    return Undecidable;
}

QString ReplyClassifier::resultText(Verdict verdict)
{
    switch (verdict) {
    case Registered:
        return QStringLiteral("已经被注册");
    case Free:
        return QStringLiteral("没有被注册");
    case Undecidable:
        break;
    }
    return QStringLiteral("无法获取数据");
}
