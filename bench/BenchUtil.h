#pragma once

// Small helpers the benchmark programs share.
#include "config/ServerConfig.h"

#include <QFile>

namespace BenchUtil {

// Resident memory of this process, in KiB.
inline long rssKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Every server role on this machine, on a port nobody listens on.
inline ServerConfig loopbackConfig()
{
    ServerConfig c;
    c.internic = c.cnnic = c.la = c.me = c.name = c.biz = QStringLiteral("127.0.0.1");
    c.whoisPort = 9;
    c.updateBase = QStringLiteral("http://127.0.0.1:9");
    return c;
}

} // namespace BenchUtil
