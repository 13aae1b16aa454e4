#include "platform/ProcessLauncher.h"

#include <QProcess>

namespace ProcessLauncher {

namespace {
Hook &hook()
{
    static Hook h;
    return h;
}
} // namespace

bool startDetached(const QString &program)
{
    if (hook())
        return hook()(program);
    return QProcess::startDetached(program, {});
}

void setHook(Hook h)
{
    hook() = std::move(h);
}

} // namespace ProcessLauncher
