#include "run/GenerationRun.h"

#include "generation/SingleGroupGeneration.h"
#include "run/TaskListStore.h"

GenerationRun::GenerationRun(TaskListStore *store, QObject *parent)
    : QObject(parent)
    , tickTimer(TickInterval)
    , m_store(store)
{
    tickTimer.setPrecise(true); // as close to 1 ms as the platform keeps
    connect(&tickTimer, &WindowTimer::timeout, this, &GenerationRun::onTick);
}

void GenerationRun::start(const RuleParser::ParsedRule &rule)
{
    tickTimer.setEnabled(false);
    if (rule.multiGroup) {
        m_odometer = Odometer(rule.groups);
        tickTimer.setEnabled(true);
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
    tickTimer.setEnabled(false);
}

void GenerationRun::resume()
{
    if (!m_odometer.isDone())
        tickTimer.setEnabled(true);
}

void GenerationRun::end()
{
    tickTimer.setEnabled(false);
    m_odometer = Odometer();
}

void GenerationRun::onTick()
{
    const Odometer::Tick tick = m_odometer.tick();
    if (tick.step == Odometer::Step::Candidate) {
        emit rowsAdded(m_store->append(tick.candidate));
    } else if (tick.step == Odometer::Step::Done) {
        tickTimer.setEnabled(false);
        emit finished();
    }
}
