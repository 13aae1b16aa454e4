#include "run/GenerationRun.h"

#include "generation/SingleGroupGeneration.h"
#include "run/TaskListStore.h"

GenerationRun::GenerationRun(TaskListStore *store, QObject *parent)
    : QObject(parent)
    , Timersc(TickInterval)
    , m_store(store)
{
    Timersc.setPrecise(true); // as close to 1 ms as the platform keeps
    connect(&Timersc, &WindowTimer::timeout, this, &GenerationRun::Timersc_Timer);
}

void GenerationRun::start(const RuleParser::ParsedRule &rule)
{
    Timersc.setEnabled(false);
    if (rule.multiGroup) {
        m_odometer = Odometer(rule.groups);
        Timersc.setEnabled(true);
        return;
    }
    m_odometer = Odometer();
    const QStringList domains = SingleGroupGeneration::candidates(rule.pieces, rule.tlds);
    if (!domains.isEmpty()) {
        m_store->appendMany(domains);
        emit rowsAdded(m_store->size());
    }
    emit finished();
}

void GenerationRun::pause()
{
    Timersc.setEnabled(false);
}

void GenerationRun::resume()
{
    if (!m_odometer.isDone())
        Timersc.setEnabled(true);
}

void GenerationRun::end()
{
    Timersc.setEnabled(false);
    m_odometer = Odometer();
}

void GenerationRun::Timersc_Timer()
{
    const Odometer::Tick tick = m_odometer.tick();
    if (tick.step == Odometer::Step::Candidate) {
        emit rowsAdded(m_store->append(tick.candidate));
    } else if (tick.step == Odometer::Step::Done) {
        Timersc.setEnabled(false);
        emit finished();
    }
}
