#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class Form1;

// The main window as its tests see it: what the buttons, the boxes, the timers and the task
// list show, and a driver that plays a run step by step through the window's handlers.
class WindowProbe
{
public:
    explicit WindowProbe(Form1 &form) : m_form(form) {}

    QString buttons() const; // Command1..Command12, '1' enabled
    QString ticks() const;   // Check1..Check9, '1' ticked
    void setTicks(const QString &ticks);
    int queryTimers() const; // channels whose Timerme or Timer1 runs
    // One "domain/state/result" per row; an empty result is left out.
    QStringList rows() const;

    // Plays `steps`, one letter each:
    //   g  start a generation of two groups ([a,b][c])    s  of one group ([a,b])
    //   x  start a refused rule ([a b])                     i  import a.com and b.com
    //   I  import an empty file
    //   p c e  pause, continue, end the generation          t  tick the generation to its end
    //   P C E  pause, continue, end the query run           q  a query tick of each channel on
    //   w  wait until no row is being queried               f  = qwq: the query run finishes
    void play(const QString &steps);

private:
    QString importFile(const char *name, const QByteArray &bytes);

    Form1 &m_form;
    QTemporaryDir m_dir;
};
