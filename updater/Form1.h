#pragma once

#include "config/ServerConfig.h"
#include "httpfetch/HttpFetch.h"
#include "skin/Skin.h"

#include <QStringList>
#include <QWidget>

#include <memory>

class DL;
class QLabel;
class StagedFiles;
class WindowTimer;

namespace Updater {

// The updater's window: checks the published version against update.dat, downloads every
// file the manifest lists into the program folder one after the other, then puts them all in
// place at once and offers to start the main program. A failure anywhere changes no file.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(const ServerConfig &config, QWidget *parent = nullptr);
    ~Form1() override;

    // Controls, by the names the window has always given them.
    QLabel *Label1 = nullptr;
    ::DL *DL = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *lblProg = nullptr;
    WindowTimer *Timer1 = nullptr; // download step, 100 ms
    WindowTimer *Timer2 = nullptr; // settle after a finished file, 2000 ms
    Skin Skin1;

    // The manifest's fields; from index 2 on the file names, their line breaks removed.
    QStringList updinfo;
    qint16 fileidx = 2;

    void setFetchTimeout(int ms) { m_fetchTimeoutMs = ms; }
    bool hasEnded() const { return m_ended; }
    bool hasStopped() const { return m_stopped; }

public slots:
    // The version check, once, right after the window is first shown.
    void Form_Activate();
    void Timer1_Timer();
    void Timer2_Timer();
    void DL_Progress(float fraction);
    void DL_Failed(const QString &reason);
    void DL_Staged();

signals:
    // The updater is done; the program ends.
    void ended();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void startMain();
    void end();
    // Tells what failed, keeps every old file and offers to start the old program.
    void fail(const QString &what);

    QString m_updateBase;
    int m_fetchTimeoutMs = HttpFetch::DefaultTimeoutMs;
    bool m_activationQueued = false;
    bool m_activated = false;
    bool m_ended = false;
    bool m_stopped = false;
    std::unique_ptr<StagedFiles> m_staged;
};

} // namespace Updater
