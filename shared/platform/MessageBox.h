#pragma once

#include <QString>
#include <functional>

class QWidget;

// Every message box of both programs goes through here, so tests can answer the next
// box themselves and read what it said.
namespace MessageBox {

enum class Answer { Ok, Yes, No, Cancel };

struct Shown
{
    QString text;
    QString title;
    bool question = false;
    bool cancel = false; // a question that also offers Cancel
};

// An OK box with no icon.
void information(QWidget *parent, const QString &text, const QString &title = QString());
// A Yes/No box; returns Yes or No.
Answer question(QWidget *parent, const QString &text, const QString &title);
// A Yes/No/Cancel box; returns Yes, No or Cancel. Escape and the close button answer Cancel.
Answer questionWithCancel(QWidget *parent, const QString &text, const QString &title);

// Test hook: while set, boxes are not shown; the hook sees each one and gives the answer.
using Hook = std::function<Answer(const Shown &)>;
void setHook(Hook hook);
// Convenience for tests: answer every box with `answer` and record what was shown.
void recordAndAnswer(QList<Shown> *log, Answer answer = Answer::Ok);

} // namespace MessageBox
