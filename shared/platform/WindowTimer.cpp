#include "platform/WindowTimer.h"

WindowTimer::WindowTimer(int intervalMs, QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &WindowTimer::timeout);
}

void WindowTimer::setEnabled(bool on)
{
    if (on == m_timer.isActive())
        return;
    if (on)
        m_timer.start();
    else
        m_timer.stop();
}

void WindowTimer::setInterval(int ms)
{
    // QTimer::setInterval restarts a running timer, which is what a new interval means here.
    m_timer.setInterval(ms);
}

void WindowTimer::setPrecise(bool precise)
{
    m_timer.setTimerType(precise ? Qt::PreciseTimer : Qt::CoarseTimer);
}
