#include "run/RunPhase.h"

#include <QtGlobal>

namespace RunPhase {

Buttons enabledButtons(Phase phase)
{
    // Columns: 1 generate, 2 pause gen., 3 continue gen., 4 end gen., 5 pause query,
    // 6 continue query, 7 end query, 8 save free names, 9 clear free names,
    // 10 save the generated list, 11 import, 12 save the rest list.
    switch (phase) {
    case Phase::Idle:             return {1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0};
    case Phase::Generating:       return {0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0};
    case Phase::GenerationPaused: return {0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 0};
    case Phase::Querying:         return {0, 0, 0, 0, 1, 0, 1, 0, 1, 1, 0, 0};
    case Phase::QueryPaused:      return {0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 0, 1};
    case Phase::Ended:
    case Phase::Finished:         return {1, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1};
    }
    Q_UNREACHABLE();
}

bool isRunning(Phase phase)
{
    return phase == Phase::Generating || phase == Phase::GenerationPaused || phase == Phase::Querying
           || phase == Phase::QueryPaused;
}

} // namespace RunPhase
