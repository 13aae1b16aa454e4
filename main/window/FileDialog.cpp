#include "window/FileDialog.h"

#include <QFileDialog>

namespace FileDialog {

namespace {
Hook &hook()
{
    static Hook h;
    return h;
}

QString run(QWidget *parent, bool save)
{
    if (hook())
        return hook()(save);
    QFileDialog dialog(parent);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(filter().split(QStringLiteral(";;")));
    dialog.selectNameFilter(filter().section(QStringLiteral(";;"), 0, 0));
    dialog.setDefaultSuffix(QString()); // a name typed without an extension stays without one
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
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

void setHook(Hook h)
{
    hook() = std::move(h);
}

} // namespace FileDialog
