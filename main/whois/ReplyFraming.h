#pragma once

#include <QString>

#include <optional>

// Turns the reads of one WHOIS connection into the one text that gets classified.
// Servers that end their reply with the completion marker have their reads gathered
// until the marker shows; every other server is classified on its first read.
class ReplyFraming
{
public:
    static constexpr qsizetype MaxRead = 1000;        // characters per read
    static constexpr qsizetype MaxReply = 64 * 1024;  // bytes taken from one connection
    static QLatin1String marker() { return QLatin1String("Last update of whois database"); }

    // Every LF becomes CR LF (a CR LF already there becomes CR CR LF).
    static QString lfToCrLf(const QString &text);

    explicit ReplyFraming(bool markerServer = false) { reset(markerServer); }

    // A new connection begins.
    void reset(bool markerServer);

    // One read (Latin-1 text, at most MaxRead characters). Returns the text to classify
    // once the reply is complete enough; nothing while a marker server has not sent its
    // marker, and nothing after the reply was handed on or the limit was passed.
    std::optional<QString> feed(const QString &read);

    // A marker server sent MaxReply bytes without its marker: stop reading.
    bool overLimit() const { return m_overLimit; }
    // The reply was handed on.
    bool done() const { return m_done; }
    bool markerServer() const { return m_markerServer; }
    // Bytes taken from the connection so far (before the CR LF conversion).
    qsizetype taken() const { return m_taken; }

private:
    QString m_text;             // converted text gathered so far (marker servers)
    qsizetype m_taken = 0;
    bool m_markerServer = false;
    bool m_overLimit = false;
    bool m_done = false;
};
