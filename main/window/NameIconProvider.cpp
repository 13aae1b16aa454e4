#include "window/NameIconProvider.h"

#include <QMimeDatabase>

namespace {

QMimeType typeByName(const QFileInfo &info)
{
    static const QMimeDatabase types;
    return types.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
}

} // namespace

QIcon NameIconProvider::icon(const QFileInfo &info) const
{
    // The stat the dialog has already made says what is a folder; nothing is opened.
    if (info.isDir())
        return icon(info.isRoot() ? Drive : Folder);
    const QMimeType mime = typeByName(info);
    return QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), icon(File)));
}

QString NameIconProvider::type(const QFileInfo &info) const
{
    // Qt's own text for folders, drives, links and special files reads no content either.
    if (!info.isFile())
        return QFileIconProvider::type(info);
    const QMimeType mime = typeByName(info);
    return mime.comment().isEmpty() ? mime.name() : mime.comment();
}
