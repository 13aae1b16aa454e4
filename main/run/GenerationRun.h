#pragma once

#include "generation/Odometer.h"
#include "generation/RuleParser.h"
#include "platform/WindowTimer.h"

#include <QObject>

class TaskListStore;

// The generation of a run: the odometer and its 1 ms tick, one candidate per tick
// into the task list. A rule of one group is generated at once when started.
class GenerationRun : public QObject
{
    Q_OBJECT
public:
    static constexpr int TickInterval = 1;

    explicit GenerationRun(TaskListStore *store, QObject *parent = nullptr);

    WindowTimer tickTimer;

    // Starts generating `rule`: the odometer ticks for two or more groups; a single group is
    // added whole, and finished() follows before this returns.
    void start(const RuleParser::ParsedRule &rule);
    void pause();
    void resume();
    // Stops for good; the odometer cannot be resumed.
    void end();

    // One tick of the odometer.
    void onTick();

signals:
    // Rows up to `lastRow` were added.
    void rowsAdded(int lastRow);
    // Every combination has been produced.
    void finished();

private:
    TaskListStore *m_store;
    Odometer m_odometer;
};
