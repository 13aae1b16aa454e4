#include "whois/ReplyFraming.h"

QString ReplyFraming::lfToCrLf(const QString &text)
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

void ReplyFraming::reset(bool markerServer)
{
    m_text.clear();
    m_text.squeeze();
    m_taken = 0;
    m_markerServer = markerServer;
    m_overLimit = false;
    m_done = false;
}

std::optional<QString> ReplyFraming::feed(const QString &read)
{
    if (m_done || m_overLimit || read.isEmpty())
        return std::nullopt;

    if (!m_markerServer) {
        m_done = true;
        m_taken = read.size();
        return lfToCrLf(read);
    }

    // Only what fits in the limit is looked at; a marker past it is never seen.
    const qsizetype room = MaxReply - m_taken;
    const QString part = read.size() > room ? read.left(room) : read;
    m_taken += part.size();

    // The marker may straddle two reads, so search from just before the new part.
    const qsizetype from = qMax<qsizetype>(0, m_text.size() - (marker().size() - 1));
    m_text.append(lfToCrLf(part));
    if (m_text.indexOf(marker(), from) >= 0) {
        m_done = true;
        QString text = std::move(m_text);
        m_text = QString();
        return text;
    }
    if (m_taken >= MaxReply) {
        m_overLimit = true;
        m_text = QString();
    }
    return std::nullopt;
}
