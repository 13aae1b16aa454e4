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

bool startDetached(const QString &program, const QStringList &arguments)
{
    if (hook())
        return hook()(program, arguments);
    return QProcess::startDetached(program, arguments);
}

void setHook(Hook h)
{
    hook() = std::move(h);
}

} // namespace ProcessLauncher
