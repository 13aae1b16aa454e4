#include "manifest/Manifest.h"

#include "config/ProgramFiles.h"
#include "text/Gb18030.h"

#include <QFile>

#include <limits>

namespace Manifest {

QString buildVersion()
{
    return QStringLiteral("081217");
}

QString programName()
{
    return ProgramFiles::Main;
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
    const QString t = text.trimmed();
    const auto isDigit = [&t](qsizetype i) { return i < t.size() && t.at(i) >= u'0' && t.at(i) <= u'9'; };
    qsizetype i = 0;
    const bool negative = i < t.size() && t.at(i) == u'-';
    if (i < t.size() && (t.at(i) == u'-' || t.at(i) == u'+'))
        ++i;
    QString digits; // whole part and fraction, without the point
    while (isDigit(i))
        digits += t.at(i++);
    const qsizetype wholeDigits = digits.size();
    if (i < t.size() && t.at(i) == u'.') {
        ++i;
        while (isDigit(i))
            digits += t.at(i++);
    }
    if (digits.isEmpty())
        return std::nullopt;
    qint64 exponent = 0;
    if (i < t.size() && (t.at(i) == u'e' || t.at(i) == u'E')) {
        ++i;
        const bool down = i < t.size() && t.at(i) == u'-';
        if (i < t.size() && (t.at(i) == u'-' || t.at(i) == u'+'))
            ++i;
        if (!isDigit(i))
            return std::nullopt;
        // Past a billion places any digit is far outside 32 bits or far below 1.
        while (isDigit(i))
            exponent = qMin<qint64>(exponent * 10 + (t.at(i++).unicode() - u'0'), 1000000000);
        if (down)
            exponent = -exponent;
    }
    if (i != t.size())
        return std::nullopt;

    qsizetype first = 0; // the first significant digit
    while (first < digits.size() && digits.at(first) == u'0')
        ++first;
    if (first == digits.size())
        return 0;
    // digits[0, point) is the whole part; the point may lie beyond either end.
    const qint64 point = qint64(wholeDigits) + exponent;
    if (point - first > 10) // more than ten significant digits: beyond 32 bits
        return std::nullopt;
    qint64 whole = 0;
    for (qint64 k = first; k < point; ++k)
        whole = whole * 10 + (k < digits.size() ? digits.at(k).unicode() - u'0' : 0);
    bool fraction = false;
    for (qint64 k = qMax<qint64>(point, 0); k < digits.size() && !fraction; ++k)
        fraction = digits.at(k) != u'0';

    if (!negative)
        return whole <= std::numeric_limits<qint32>::max() ? std::optional<qint32>(qint32(whole)) : std::nullopt;
    if (whole > -qint64(std::numeric_limits<qint32>::min()))
        return std::nullopt;
    // Rounded down; the one whole part whose floor leaves 32 bits stays at the bottom.
    return qint32(qMax<qint64>(-whole - (fraction ? 1 : 0), std::numeric_limits<qint32>::min()));
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

qint32 readInstalledVersion(const QString &folder)
{
    QFile file(folder + u'/' + ProgramFiles::InstalledVersion);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return installedVersion(Gb18030::decode(file.read(64 * 1024))); // a version is a few bytes; never swallow a huge file
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

namespace {

bool hidesItself(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

} // namespace

bool isSafeFileName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        return false;
    for (const char32_t c : name.toUcs4()) {
        if (c == U'/' || c == U'\\' || hidesItself(c))
            return false;
    }
    return true;
}

QString visibleName(const QString &name)
{
    QString shown;
    for (const char32_t c : name.toUcs4()) {
        if (hidesItself(c))
            shown += QStringLiteral("<U+%1>").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
        else
            shown += QString::fromUcs4(&c, 1);
    }
    return shown;
}

QStringList safeFileNames(const QStringList &fields)
{
    QStringList names;
    for (qsizetype i = 2; i < fields.size(); ++i) {
        const QString name = fileName(fields.at(i));
        if (isSafeFileName(name))
            names.append(name);
    }
    return names;
}

} // namespace Manifest
