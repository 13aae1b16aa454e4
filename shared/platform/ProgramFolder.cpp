#include "platform/ProgramFolder.h"

#include <QCoreApplication>

namespace ProgramFolder {

namespace {
QString &overrideFolder()
{
    static QString folder;
    return folder;
}
} // namespace

QString path()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    return QCoreApplication::applicationDirPath();
}

QString file(const QString &name)
{
    return path() + QLatin1Char('/') + name;
}

void setOverride(const QString &folder)
{
    overrideFolder() = folder;
}

} // namespace ProgramFolder
