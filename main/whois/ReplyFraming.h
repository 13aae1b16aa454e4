#pragma once

#include <QString>

#include <optional>

// Gathers the reads of one WHOIS connection into the one whole reply that gets classified.
// A reply is complete at the first of: the server closed the connection (finish), the
// completion marker arrived (marker servers only), MaxReply bytes were gathered. Nothing
// is ever handed on before that, and a reply is handed on once.
class ReplyFraming
{
public:
    static constexpr qsizetype MaxRead = 1000;        // characters per read
    static constexpr qsizetype MaxReply = 64 * 1024;  // bytes taken from one connection
    static QLatin1String marker() { return QLatin1String("Last update of whois database"); }

    explicit ReplyFraming(bool markerServer = false) { reset(markerServer); }

    // A new connection begins.
    void reset(bool markerServer);

    // One read (Latin-1 text, at most MaxRead characters). Returns the whole gathered text
    // when this read completes the reply (marker, or MaxReply reached); nothing otherwise,
    // and nothing once the reply was handed on.
    std::optional<QString> feed(const QString &read);

    // The server closed the connection: the whole gathered text, or nothing when not a
    // single byte came or the reply was already handed on.
    std::optional<QString> finish();

    // The reply was handed on.
    bool done() const { return m_done; }
    // Bytes taken from the connection so far (before the CR LF conversion).
    qsizetype taken() const { return m_taken; }

private:
    std::optional<QString> handOn();

    QString m_text;             // converted text gathered so far
    qsizetype m_taken = 0;
    bool m_markerServer = false;
    bool m_done = false;
};
