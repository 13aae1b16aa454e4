#include "platform/MessageBox.h"

#include <QList>
#include <QMessageBox>

namespace MessageBox {

namespace {
Hook &hook()
{
    static Hook h;
    return h;
}
} // namespace

void information(QWidget *parent, const QString &text, const QString &title)
{
    if (hook()) {
        hook()(Shown{text, title, false});
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

Answer question(QWidget *parent, const QString &text, const QString &title)
{
    if (hook())
        return hook()(Shown{text, title, true});
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

Answer questionWithCancel(QWidget *parent, const QString &text, const QString &title)
{
    if (hook())
        return hook()(Shown{text, title, true, true});
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                    parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

void setHook(Hook h)
{
    hook() = std::move(h);
}

void recordAndAnswer(QList<Shown> *log, Answer answer)
{
    setHook([log, answer](const Shown &shown) {
        if (log)
            log->append(shown);
        return shown.question ? answer : Answer::Ok;
    });
}

} // namespace MessageBox
