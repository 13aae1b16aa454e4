#pragma once

#include <QString>
#include <functional>

// Starting the other program: a separate process, no arguments, never waited for.
namespace ProcessLauncher {

// Returns false when the program could not be started.
bool startDetached(const QString &program);

// Test hook: while set, nothing is started; the hook sees the path and says whether it started.
using Hook = std::function<bool(const QString &program)>;
void setHook(Hook hook);

} // namespace ProcessLauncher
