#include "manifest/Manifest.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace Manifest {

QString buildVersion()
{
    return QStringLiteral("081217");
}

QString programName()
{
    return QStringLiteral("Quorvex");
}

QString manifestUrl(const QString &updateBase)
{
    return updateBase + QStringLiteral("/update/update.html");
}

QString fileUrl(const QString &updateBase, const QString &name)
{
    return updateBase + QStringLiteral("/update/") + name;
}

QStringList split(const QString &text)
{
    return text.split(QLatin1Char('|'), Qt::KeepEmptyParts);
}

std::optional<qint32> integerPart(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    const QString t = text.trimmed();
    if (!number.match(t).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double down = std::floor(value);
    if (down < double(std::numeric_limits<qint32>::min())
        || down > double(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return qint32(down);
}

bool newerThanBuild(const QString &manifestText, const QString &buildver)
{
    if (!manifestText.contains(programName(), Qt::CaseSensitive))
        return false;
    const QStringList fields = split(manifestText);
    const std::optional<qint32> srvver = integerPart(fields.value(0));
    const std::optional<qint32> own = integerPart(buildver);
    return srvver && own && *own < *srvver;
}

qint32 installedVersion(const QString &datText)
{
    return integerPart(datText).value_or(0);
}

UpdateCheck compare(const QStringList &fields, qint32 installed)
{
    if (fields.size() < 2)
        return UpdateCheck::Unavailable;
    const std::optional<qint32> published = integerPart(fields.at(0));
    if (!published)
        return UpdateCheck::Unavailable;
    return *published > installed ? UpdateCheck::Newer : UpdateCheck::UpToDate;
}

QString fileName(const QString &field)
{
    QString name = field;
    while (name.endsWith(QLatin1Char('\n')) || name.endsWith(QLatin1Char('\r')))
        name.chop(1);
    return name;
}

bool isSafeFileName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\'))
            return false;
        if (c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

} // namespace Manifest
