#pragma once

#include <QByteArray>
#include <QString>

// The update manifest is read with one blocking GET, shared by both programs.
namespace HttpFetch {

// Everything a fetch may take, connection included, before it gives up.
constexpr int DefaultTimeoutMs = 10000;

// GET `url` and return the body decoded as GB18030, whatever the HTTP status. Returns the
// empty text when the exchange did not complete (no connection, broken transfer, time-out).
// Blocks the caller; window events other than user input are still handled meanwhile.
QString fetchtext(const QString &url, int timeoutMs = DefaultTimeoutMs);

// The body's bytes decoded from the Chinese ANSI code page, nothing added or skipped.
QString bodytext(const QByteArray &body);

} // namespace HttpFetch
