#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QPlainTextEdit;
class QWidget;

// Closing the main window ends the program and drops the free names and any run. While a run
// is going, or while the free-names list holds names found since it was last saved, closing
// asks first: save the free names (the usual save dialog), close without saving, or stay.
class CloseQuestion : public QObject
{
    Q_OBJECT
public:
    // `runGoing` tells whether a generation or query run is going (paused counts);
    // `saveFreeNames` runs the window's usual save of the free names, dialog included.
    CloseQuestion(QWidget *window, const QPlainTextEdit *freeNames, std::function<bool()> runGoing,
                  std::function<void()> saveFreeNames);

    // The list holds names that no save has written since they were found.
    bool freeNamesUnsaved() const;
    // Asks when there is something to lose; true when the window may close.
    bool mayClose();

    // Called after each save of the free names, whatever its outcome: the list counts as
    // saved when the file just chosen holds it as it stands. Returns whether it does.
    bool noteSave();

    static QString runningText();
    static QString unsavedText();

private:
    QWidget *m_window;
    const QPlainTextEdit *m_freeNames;
    std::function<bool()> m_runGoing;
    std::function<void()> m_saveFreeNames;
    QString m_savedText; // the list as last written to a file
};
