#pragma once

#include <QObject>
#include <QTimer>

// A window timer: an enabled flag and an interval. Unlike QTimer::start, switching on a
// timer that already runs keeps its period going; changing the interval of a running
// timer starts a new period.
class WindowTimer : public QObject
{
    Q_OBJECT
public:
    explicit WindowTimer(int intervalMs = 0, QObject *parent = nullptr);

    void setEnabled(bool on);
    bool isEnabled() const { return m_timer.isActive(); }
    void setInterval(int ms);
    int interval() const { return m_timer.interval(); }
    void setPrecise(bool precise);

signals:
    void timeout();

private:
    QTimer m_timer;
};
