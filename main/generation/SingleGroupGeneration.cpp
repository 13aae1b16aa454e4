#include "generation/SingleGroupGeneration.h"

namespace SingleGroupGeneration {

QStringList candidates(const QStringList &pieces, const QStringList &tlds)
{
    QStringList out;
    out.reserve(pieces.size() * tlds.size());
    for (const QString &piece : pieces) {
        if (piece.isEmpty())
            continue;
        for (const QString &tld : tlds) {
            const QString candidate = piece + tld;
            if (candidate.startsWith(u'-'))
                continue;
            const qsizetype dot = candidate.indexOf(u'.');
            if (dot > 0 && candidate.at(dot - 1) == u'-')
                continue;
            out.append(candidate);
        }
    }
    return out;
}

} // namespace SingleGroupGeneration
