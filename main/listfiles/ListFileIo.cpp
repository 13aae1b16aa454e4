#include "listfiles/ListFileIo.h"

#include "listfiles/ListFile.h"

#include <QFile>
#include <QSaveFile>

namespace ListFileIo {

bool write(const QString &path, const QByteArray &bytes, QString *error)
{
    // A small list sits in the write buffer until flushed, and commit() does not notice a
    // failing flush, so flush first: a full disk must not pass for a saved list.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool readLines(const QString &path, QStringList *lines, QString *error)
{
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    *lines = ListFile::splitLines(bytes);
    return true;
}

} // namespace ListFileIo
