#include "whois/ReplyClassifier.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

// Words that open or run through the terms-of-use, notice and disclaimer texts registries
// put around ordinary replies. A refusal seldom speaks like this; a reply that happens to say
// it around a refusal at worst loses that row's retry, while terms read as a refusal would
// cost every free name of that registry.
const QStringList &termsWords()
{
    static const QStringList words = {
        QStringLiteral("terms of use"),       QStringLiteral("terms of service"),
        QStringLiteral("terms and conditions"), QStringLiteral("notice:"),
        QStringLiteral("disclaimer"),         QStringLiteral("by submitting"),
        QStringLiteral("by using this"),      QStringLiteral("you agree"),
        QStringLiteral("reserves the right"), QStringLiteral("for information purposes"),
        QStringLiteral("for informational purposes"), QStringLiteral("provided to assist"),
    };
    return words;
}

bool isBlank(QStringView line)
{
    // "%" and "#" start comment lines in many replies; a line of nothing else parts paragraphs.
    for (const QChar c : line)
        if (!c.isSpace() && c != u'%' && c != u'#')
            return false;
    return true;
}

// The reply without its terms blocks. A block starts at the first line of a paragraph that
// uses a terms word and runs to the paragraph's end (a blank line): lines above it in the same
// paragraph, such as a refusal printed right before the terms, stay.
QString outsideTerms(const QString &reply)
{
    QString kept;
    bool inTerms = false;
    for (const QStringView line : QStringView(reply).split(u'\n')) {
        if (isBlank(line)) {
            inTerms = false;
            continue;
        }
        for (qsizetype i = 0; !inTerms && i < termsWords().size(); ++i)
            inTerms = line.contains(termsWords().at(i), Qt::CaseInsensitive);
        if (!inTerms) {
            kept += line;
            kept += u'\n';
        }
    }
    return kept;
}

const QStringList &limitTexts()
{
    // Phrases of refusals seen from registries; they count only outside the terms texts.
    // Words that terms texts use all the time ("throttled", "rate limit", "too many queries",
    // "not authorized", "excessive") are left out even so: not every registry's terms can be
    // told from the rest of its reply.
    static const QStringList texts = {
        QStringLiteral("limit exceeded"),          QStringLiteral("exceeded"),
        QStringLiteral("try again"),               QStringLiteral("slow down"),
        QStringLiteral("wait a while"),            QStringLiteral("interval is too short"),
        QStringLiteral("temporarily unavailable"), QStringLiteral("currently down"),
        QStringLiteral("quota"),
    };
    return texts;
}

} // namespace

ReplyClassifier::Verdict ReplyClassifier::classify(const QString &domain, const QString &reply)
{
    // Registered first: a reply may carry a record and a "No match" notice at once.
    // Short .cn names (".cn" within the first six characters) count as taken outright.
    if (reply.contains(QLatin1String("Expiration"))
        || reply.contains(QLatin1String("Registry Domain ID:"))
        || reply.contains(QLatin1String("Domain Name ID:"))
        || QStringView(domain).left(6).contains(QLatin1String(".cn")))
        return Registered;

    // Before the free tests: a refusal must never pass for "free". Only where the server
    // speaks for itself: terms texts talk of quotas and of trying again in every reply.
    const auto refuses = [](const QString &text) {
        for (const QString &limit : limitTexts())
            if (text.contains(limit, Qt::CaseInsensitive))
                return true;
        return false;
    };
    if (refuses(reply) && refuses(outsideTerms(reply)))
        return Limited;

    if (reply.contains(QLatin1String("not found"))
        || reply.contains(QLatin1String("no match"))
        || reply.contains(QLatin1String("No match"))
        || reply.contains(QLatin1String("NOT FOUND"))
        || reply.contains(QLatin1String("No Data Found")))
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
