#pragma once

#include <QByteArray>
#include <QString>

// Decides from a whole WHOIS reply (or an RDAP status) whether a domain is taken.
class ReplyClassifier
{
public:
    // Limited: the server refused or throttled the query; shown like Undecidable, kept
    // apart so such rows can be asked again.
    enum Verdict { Registered, Free, Undecidable, Limited };

    // `domain` as the task list holds it; `reply` the whole reply after the LF to CR LF
    // conversion. Registered tests first, then limit texts (outside the reply's terms-of-use
    // and notice paragraphs), then free texts; whatever matches none says nothing, however
    // short.
    static Verdict classify(const QString &domain, const QString &reply);

    // RDAP: 200 the name exists, but only with a body that is a domain object and no error;
    // 404 it does not; 429 and 503 the server is limiting us; anything else says nothing.
    static Verdict classifyRdap(int status, const QByteArray &body);
};
