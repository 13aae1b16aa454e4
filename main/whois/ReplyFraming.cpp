#include "whois/ReplyFraming.h"

namespace {

// Every LF becomes CR LF (a CR LF already there becomes CR CR LF).
QString lfToCrLf(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.count(QLatin1Char('\n')));
    for (const QChar c : text) {
        if (c == QLatin1Char('\n'))
            out.append(QLatin1Char('\r'));
        out.append(c);
    }
    return out;
}

} // namespace

void ReplyFraming::reset(bool markerServer)
{
    m_text.clear();
    m_text.squeeze();
    m_taken = 0;
    m_markerServer = markerServer;
    m_done = false;
}

std::optional<QString> ReplyFraming::handOn()
{
    m_done = true;
    QString text = std::move(m_text);
    m_text = QString();
    return text;
}

std::optional<QString> ReplyFraming::feed(const QString &read)
{
    if (m_done || read.isEmpty())
        return std::nullopt;

    // Only what fits in the limit is looked at; a marker past it is never seen.
    const qsizetype room = MaxReply - m_taken;
    const QString part = read.size() > room ? read.left(room) : read;
    m_taken += part.size();

    // The marker may straddle two reads, so search from just before the new part.
    const qsizetype from = qMax<qsizetype>(0, m_text.size() - (marker().size() - 1));
    m_text.append(lfToCrLf(part));
    if (m_markerServer && m_text.indexOf(marker(), from) >= 0)
        return handOn();
    if (m_taken >= MaxReply) {
        // No server's reply is this long: judge what came rather than wait for more.
        return handOn();
    }
    return std::nullopt;
}

std::optional<QString> ReplyFraming::finish()
{
    if (m_done || m_taken == 0)
        return std::nullopt;
    return handOn();
}
