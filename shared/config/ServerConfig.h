#pragma once

#include <QString>

// Every address the programs talk to. The build fixes the defaults; tests build their own
// value pointing each role at a local fake server and hand it to the windows.
struct ServerConfig
{
    QString internic;      // .com .net (and the host the completion-marker rule looks for)
    QString cnnic;         // .cn and everything under it
    QString la;
    QString me;
    QString name;
    QString biz;
    QString rdapBootstrap; // where a newer RDAP bootstrap is fetched from; empty: never
    quint16 whoisPort = 43;
    QString updateBase;    // scheme://host[:port], no trailing "/"

    // The values this build was configured with.
    static ServerConfig defaults();
};
