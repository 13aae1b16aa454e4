#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Reading and writing list files on disk.
namespace ListFileIo {

// Writes `bytes` to `path` whole or not at all: beside the target first, renamed over it
// only when complete. On failure returns false with Qt's reason in `error`.
bool write(const QString &path, const QByteArray &bytes, QString *error);

// Reads a list file and splits it into its lines. On failure returns false with Qt's reason
// in `error`.
bool readLines(const QString &path, QStringList *lines, QString *error);

} // namespace ListFileIo
