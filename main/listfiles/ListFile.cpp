#include "listfiles/ListFile.h"

#include "text/Gb18030.h"

namespace ListFile {

QByteArray generatedListBytes(const QStringList &domains)
{
    QString text;
    bool started = false;
    for (const QString &domain : domains) {
        if (!started) {
            // The first non-empty domain starts the text; empty ones before it vanish.
            if (domain.isEmpty())
                continue;
            text = domain;
            started = true;
        } else {
            text += QLatin1String("\r\n");
            text += domain;
        }
    }
    text += QLatin1String("\r\n");
    return Gb18030::encode(text);
}

QByteArray freeNamesBytes(const QString &text)
{
    // The box may hold bare LF (or U+2029) inside; the file always has CR LF.
    QString normalized = text;
    normalized.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normalized.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    normalized.replace(QChar(0x2029), QLatin1Char('\n'));
    normalized.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    normalized += QLatin1String("\r\n");
    return Gb18030::encode(normalized);
}

QStringList splitLines(const QByteArray &bytes)
{
    // CR is a single byte in GB18030 and never part of a longer sequence, so decoding the
    // whole file first and splitting afterwards gives the same lines, much faster.
    const QString text = Gb18030::decode(bytes);
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        if (text.at(i) == QLatin1Char('\r')) {
            lines.append(text.mid(start, i - start));
            i += (i + 1 < n && text.at(i + 1) == QLatin1Char('\n')) ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

} // namespace ListFile
