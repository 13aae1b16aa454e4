#pragma once

#include <QString>

// Decides from a WHOIS reply (or an RDAP status) whether a domain is taken.
class ReplyClassifier
{
public:
    enum Verdict { Registered, Free, Undecidable };

    // `mydomain` as the task list holds it; `mydata` after the LF to CR LF conversion.
    static Verdict classify(const QString &mydomain, const QString &mydata);

    // RDAP: 200 the name exists, 404 it does not, anything else (0 for a network
    // error, 429, 5xx, ...) says nothing.
    static Verdict classifyRdap(int status);

    // "已经被注册", "没有被注册", "无法获取数据".
    static QString resultText(Verdict verdict);
};
