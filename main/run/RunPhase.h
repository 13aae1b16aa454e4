#pragma once

#include <array>

// Where the window's run stands, and which of the twelve buttons `Command1`..`Command12`
// each phase enables. The window applies this one table on every change of phase.
namespace RunPhase {

enum class Phase {
    Idle,             // nothing has run yet
    Generating,       // the odometer ticks
    GenerationPaused,
    Querying,         // channels take rows
    QueryPaused,
    Ended,            // the user ended the query run
    Finished,         // every row settled
};

constexpr int ButtonCount = 12;
using Buttons = std::array<bool, ButtonCount>; // [0] is Command1

Buttons enabledButtons(Phase phase);

// A run is going: generation or querying, paused or not.
bool isRunning(Phase phase);

} // namespace RunPhase
