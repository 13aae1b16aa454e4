#include "window/FileDialog.h"

#include "window/NameIconProvider.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace FileDialog {

namespace {
Hook &hook()
{
    static Hook h;
    return h;
}

QString &folder()
{
    static QString f;
    return f;
}

QString &savePath()
{
    static QString p;
    return p;
}

QString ask(QWidget *parent, bool save)
{
    if (hook())
        return hook()(save);
    NameIconProvider names; // outlives the dialog
    QFileDialog dialog(parent);
    // Qt's own dialog: it speaks the programs' Chinese and takes their palette, where a desktop's
    // dialog would follow the desktop's language and colours.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&names);
    dialog.setDirectory(QFileInfo(folder()).isDir() ? folder() : QDir::homePath());
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(filter().split(QStringLiteral(";;")));
    dialog.selectNameFilter(filter().section(QStringLiteral(";;"), 0, 0));
    dialog.setDefaultSuffix(QString()); // a name typed without an extension stays without one
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString run(QWidget *parent, bool save)
{
    const QString path = ask(parent, save);
    if (save)
        savePath() = path;
    return path;
}
} // namespace

QString filter()
{
    return QStringLiteral("文本文档(*.txt);;所有文件(*.*)");
}

QString getSaveFileName(QWidget *parent)
{
    return run(parent, true);
}

QString getOpenFileName(QWidget *parent)
{
    return run(parent, false);
}

QString lastFolder()
{
    return folder();
}

void setLastFolder(const QString &f)
{
    folder() = f;
}

void rememberFolderOf(const QString &path)
{
    folder() = QFileInfo(path).absolutePath();
}

QString lastSavePath()
{
    return savePath();
}

void setHook(Hook h)
{
    hook() = std::move(h);
}

} // namespace FileDialog
