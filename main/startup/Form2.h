#pragma once

#include "config/ServerConfig.h"

#include <QStringList>
#include <QWidget>

#include <functional>

class QFrame;
class QLabel;
class WindowTimer;

// The start-up window: a picture while a 100 ms timer makes sure the skin is there and an
// update stopped half-way is finished or undone (tick 2), and checks the published version
// (tick 3). A version newer than both the build and update.dat hands over to the updater when
// this install may update itself; otherwise the main window opens and the splash closes.
class Form2 : public QWidget
{
    Q_OBJECT
public:
    // Makes the main window when it is time to show it; Form2 shows it.
    using MainWindowFactory = std::function<QWidget *()>;

    Form2(const ServerConfig &config, MainWindowFactory openMain, QWidget *parent = nullptr);

    // Controls, by the names the window has always given them.
    QLabel *Image1 = nullptr;
    QFrame *Line1 = nullptr; // left edge
    QFrame *Line2 = nullptr; // right edge
    QFrame *Line3 = nullptr; // bottom edge
    QFrame *Line4 = nullptr; // top edge
    WindowTimer *Timer1 = nullptr;

    qint16 ticks = 0;
    QString buildver;
    QStringList updinfo;
    qint32 srvver = 0;

    // Started by the updater, which has just checked: tick 3 opens the main window at once.
    void skipVersionCheck() { m_skipVersionCheck = true; }
    bool skinChecked() const { return m_skinChecked; }

public slots:
    void Timer1_Timer();

signals:
    // The updater has been started: the program ends without opening its main window.
    void endProgram();

private:
    void installSkinComponent();
    void finishInterruptedUpdate();
    void versionCheck();
    void openMainWindow();

    QString m_updateBase;
    MainWindowFactory m_openMain;
    bool m_skinChecked = false;
    bool m_skipVersionCheck = false;
};
