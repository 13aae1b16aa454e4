#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Decides from a whole WHOIS reply (or an RDAP status) whether a domain is taken.
class ReplyClassifier
{
public:
    // Limited: the server refused or throttled the query; shown like Undecidable, kept
    // apart so such rows can be asked again.
    enum Verdict { Registered, Free, Undecidable, Limited };

    // `mydomain` as the task list holds it; `mydata` the whole reply after the LF to CR LF
    // conversion. Registered tests first, then limit texts (outside the reply's terms-of-use
    // and notice paragraphs), then free texts; whatever matches none says nothing, however
    // short.
    static Verdict classify(const QString &mydomain, const QString &mydata);

    // RDAP: 200 the name exists, but only with a body that is a domain object and no error;
    // 404 it does not; 429 and 503 the server is limiting us; anything else says nothing.
    static Verdict classifyRdap(int status, const QByteArray &body);

    // "已经被注册", "没有被注册", "无法获取数据" (Undecidable and Limited alike).
    static QString resultText(Verdict verdict);

    // The texts a server uses to turn a query away, matched without regard to case.
    static const QStringList &limitTexts();
};
