#pragma once

#include <QString>
#include <functional>

class QWidget;

// The main window's one file dialog, shared by the four list-file commands. Returns the
// chosen path, or an empty text when the user cancels. Tests give the next answer instead
// of a real dialog.
namespace FileDialog {

// The filter every list-file command sets: text documents first, then all files.
QString filter();

QString getSaveFileName(QWidget *parent);
QString getOpenFileName(QWidget *parent);

// The folder the dialog opens in: the folder of the file last read or written (kept between
// sessions). One that is gone, or no folder, opens the home folder instead.
QString lastFolder();
void setLastFolder(const QString &folder);
// The file at `path` was read or written: the dialog opens in its folder next time. A path
// only chosen, whose file then failed, is never remembered.
void rememberFolderOf(const QString &path);
// What the last save dialog returned: the chosen path, or empty when it was cancelled.
QString lastSavePath();

// Test hook: while set, no dialog opens; the hook answers (a path, or empty for cancel).
using Hook = std::function<QString(bool save)>;
void setHook(Hook hook);

} // namespace FileDialog
