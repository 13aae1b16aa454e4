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
    // A CR byte is never part of a GB18030 character: cut the lines at CR bytes first and decode
    // each on its own, so a broken character just before a line end cannot swallow the CR.
    QList<QByteArrayView> lines;
    const QByteArrayView all(bytes);
    const qsizetype n = all.size();
    qsizetype start = 0;
    while (start < n) {
        const qsizetype cr = all.indexOf('\r', start);
        if (cr < 0) {
            lines.append(all.sliced(start)); // a last line without an end
            break;
        }
        lines.append(all.sliced(start, cr - start));
        start = (cr + 1 < n && all.at(cr + 1) == '\n') ? cr + 2 : cr + 1;
    }
    return Gb18030::decodeEach(lines);
}

} // namespace ListFile
