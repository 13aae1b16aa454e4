#include "platform/SelfUpdate.h"

#include <QDir>
#include <QFileInfo>

namespace SelfUpdate {

namespace {

std::optional<bool> &managedOverride()
{
    static std::optional<bool> managed;
    return managed;
}

// access() lets root write anything; a file or folder with no write bit at all is still
// meant to stay as it is.
bool writable(const QFileInfo &info)
{
    constexpr QFile::Permissions anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return info.isWritable() && (info.permissions() & anyWrite);
}

} // namespace

bool packageManaged()
{
    if (managedOverride())
        return *managedOverride();
#ifdef QUORVEX_PACKAGED
    return true;
#else
    return false;
#endif
}

void setPackageManagedOverride(std::optional<bool> managed)
{
    managedOverride() = managed;
}

QString unwritable(const QString &folder, const QStringList &names)
{
    const QFileInfo dir(folder);
    if (!dir.isDir() || !writable(dir))
        return QDir::toNativeSeparators(folder);
    for (const QString &name : names) {
        const QFileInfo file(QDir(folder).filePath(name));
        if (file.exists() && !writable(file))
            return QDir::toNativeSeparators(file.filePath());
    }
    return QString();
}

bool allowed(const QString &folder, const QStringList &names)
{
    return !packageManaged() && unwritable(folder, names).isEmpty();
}

QString refusal(const QString &version)
{
    return QStringLiteral("发现新版本 ") + version + QStringLiteral("，请通过系统的软件包管理器升级。");
}

} // namespace SelfUpdate
