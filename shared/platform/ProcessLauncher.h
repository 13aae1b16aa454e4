#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// Starting the other program: a separate process, never waited for.
namespace ProcessLauncher {

// Returns false when the program could not be started.
bool startDetached(const QString &program, const QStringList &arguments = {});

// Test hook: while set, nothing is started; the hook sees the path and the arguments and says
// whether it started.
using Hook = std::function<bool(const QString &program, const QStringList &arguments)>;
void setHook(Hook hook);

} // namespace ProcessLauncher
