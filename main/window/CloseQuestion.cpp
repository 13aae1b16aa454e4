#include "window/CloseQuestion.h"

#include "listfiles/ListFile.h"
#include "platform/MessageBox.h"
#include "window/FileDialog.h"

#include <QFile>
#include <QPlainTextEdit>

CloseQuestion::CloseQuestion(QWidget *window, const QPlainTextEdit *freeNames, std::function<bool()> runGoing,
                             std::function<void()> saveFreeNames)
    : QObject(window)
    , m_window(window)
    , m_freeNames(freeNames)
    , m_runGoing(std::move(runGoing))
    , m_saveFreeNames(std::move(saveFreeNames))
{
}

QString CloseQuestion::runningText()
{
    return QStringLiteral("域名生成或查询正在进行，关闭窗口将终止本次运行。\n是否先保存未注册域名列表？");
}

QString CloseQuestion::unsavedText()
{
    return QStringLiteral("未注册域名列表中有尚未保存的域名，关闭窗口后将会丢失。\n是否先保存未注册域名列表？");
}

bool CloseQuestion::freeNamesUnsaved() const
{
    const QString text = m_freeNames->toPlainText();
    return !text.trimmed().isEmpty() && text != m_savedText;
}

bool CloseQuestion::mayClose()
{
    const bool running = m_runGoing();
    if (!running && !freeNamesUnsaved())
        return true;
    switch (MessageBox::questionWithCancel(m_window, running ? runningText() : unsavedText(),
                                           m_window->windowTitle())) {
    case MessageBox::Answer::Yes:
        m_saveFreeNames();
        // A cancelled or failed save keeps the window open with its names.
        return noteSave();
    case MessageBox::Answer::No:
        return true;
    default:
        return false;
    }
}

bool CloseQuestion::noteSave()
{
    const QString path = FileDialog::lastSavePath();
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString text = m_freeNames->toPlainText();
    if (file.readAll() != ListFile::freeNamesBytes(text))
        return false;
    m_savedText = text;
    return true;
}
