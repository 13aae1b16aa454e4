// A query run without a window against a local registry that admits R queries a minute
// per client address (a token bucket holding ten seconds' worth) and answers beyond that
// with a limit text and a close. The names' truth is known: qvlimN.com is registered for
// even N and free for odd N. For each R the run goes once with per-registry pacing on and
// once with it off (the run as it was before pacing: the baseline), each on a fresh server
// and a fresh run with its own task list. Prints per run the rows with the right verdict,
// false verdicts, rows left 无法获取数据 / 查询超时 / unsettled, the time taken and right
// verdicts a minute as a share of R. A run that reaches the time limit is ended there and
// its figures so far are printed.
//
// Usage: bench_limits [rates=600,3000] [rows=1000] [minutes=15] [pacing=off,on] [channels=20]
#include "LimitingWhoisServer.h"

#include "BenchUtil.h"
#include "config/ServerConfig.h"
#include "run/QueryRun.h"
#include "run/TaskListStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSet>
#include <QTimer>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

using Result = TaskListStore::Result;
using State = TaskListStore::State;

// N of "qvlimN.com"; -1 for any other name.
int nameNumber(const QByteArray &domain)
{
    const QByteArray d = domain.toLower();
    if (!d.startsWith("qvlim") || !d.endsWith(".com"))
        return -1;
    bool ok = false;
    const int n = d.mid(5, d.size() - 9).toInt(&ok);
    return ok ? n : -1;
}

bool isRegistered(int n)
{
    return n >= 0 && n % 2 == 0;
}

// InterNIC-style replies, each ending with the marker line that completes them.
QByteArray internicReply(const QByteArray &domain)
{
    const QByteArray upper = domain.toUpper();
    if (isRegistered(nameNumber(domain)))
        return "   Domain Name: " + upper + "\r\n"
               "   Registry Domain ID: 2138514_DOMAIN_COM-VRSN\r\n"
               "   Registrar WHOIS Server: whois.example.com\r\n"
               "   Registry Expiry Date: 2026-08-13T04:00:00Z\r\n"
               "   Registrar: Example Registrar, Inc.\r\n"
               ">>> Last update of whois database: 2024-09-01T10:00:00Z <<<\r\n";
    return "No match for \"" + upper + "\".\r\n"
           ">>> Last update of whois database: 2024-09-01T10:00:00Z <<<\r\n";
}

struct Figures
{
    int rows = 0;
    int right = 0;
    int falseVerdicts = 0;
    int noData = 0;    // 无法获取数据
    int timeouts = 0;  // 查询超时
    int unsettled = 0; // still waiting or querying, or ended by the time limit
    double seconds = 0;
    bool limitHit = false;
    int admitted = 0;
    int limited = 0;
    int connections = 0;
    double allowed = 0; // most queries the bucket could have admitted in that time
    int freeSignals = 0;
    int wrongFreeSignals = 0;
    int repeatedFreeSignals = 0;
};

void tally(const TaskListStore &store, Figures &f)
{
    f.rows = store.size();
    f.right = f.falseVerdicts = f.noData = f.timeouts = f.unsettled = 0;
    for (int k = 1; k <= store.size(); ++k) {
        const bool registered = isRegistered(nameNumber(store.domain(k).toLatin1()));
        if (store.state(k) != State::Finished) {
            ++f.unsettled;
            continue;
        }
        switch (store.result(k)) {
        case Result::Registered:
            ++(registered ? f.right : f.falseVerdicts);
            break;
        case Result::Free:
            ++(registered ? f.falseVerdicts : f.right);
            break;
        case Result::Undecidable:
            ++f.noData;
            break;
        case Result::Timeout:
            ++f.timeouts;
            break;
        case Result::None:
        case Result::UserEnded:
            ++f.unsettled;
            break;
        }
    }
}

Figures runOnce(double perMinute, bool pacing, const QStringList &names, int channels, qint64 limitMs)
{
    Figures f;
    LimitingWhoisServer server(perMinute, internicReply); // a fresh bucket for every run
    if (!server.listen(QHostAddress(QStringLiteral("127.0.0.2")))) {
        std::printf("cannot listen on 127.0.0.2\n");
        std::exit(1);
    }
    // Every role on loopback; only the InterNIC role (.com) is asked.
    ServerConfig config = BenchUtil::loopbackConfig();
    config.internic = server.host();
    config.whoisPort = server.port();

    TaskListStore store;
    store.appendMany(names);
    QueryRun run(config, &store);
    run.setPacing(pacing);

    QSet<QString> freed;
    QObject::connect(&run, &QueryRun::freeName, [&](const QString &domain) {
        ++f.freeSignals;
        if (isRegistered(nameNumber(domain.toLatin1())))
            ++f.wrongFreeSignals;
        if (freed.contains(domain))
            ++f.repeatedFreeSignals;
        freed.insert(domain);
    });

    QEventLoop loop;
    bool done = false;
    QObject::connect(&run, &QueryRun::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    // A line a minute, so a long paced run shows it is moving.
    QTimer progress;
    progress.setInterval(60000);
    QObject::connect(&progress, &QTimer::timeout, [&] {
        Figures now;
        tally(store, now);
        std::printf("    %5.1f min: %d right, %d false, %d 无法获取数据, %d 查询超时, %d unsettled; "
                    "server %d admitted, %d limited\n",
                    double(clock.elapsed()) / 60000.0, now.right, now.falseVerdicts, now.noData, now.timeouts,
                    now.unsettled, server.admitted(), server.limited());
        std::fflush(stdout);
    });

    clock.start();
    run.reset(channels);
    run.handOver(channels);
    limit.start(int(qMin<qint64>(limitMs, INT_MAX)));
    progress.start();
    loop.exec();
    f.seconds = double(clock.nsecsElapsed()) / 1e9;
    progress.stop();
    if (!done) {
        f.limitHit = true;
        run.end(); // rows in flight read 用户终止, rows not yet asked stay waiting
    }
    tally(store, f);
    f.admitted = server.admitted();
    f.limited = server.limited();
    f.connections = server.connections();
    f.allowed = server.burst() + perMinute / 60.0 * f.seconds;
    return f;
}

QList<double> numberList(const char *arg)
{
    QList<double> out;
    for (const QByteArray &n : QByteArray(arg).split(','))
        if (n.toDouble() > 0)
            out << n.toDouble();
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QList<double> rates = argc > 1 ? numberList(argv[1]) : QList<double>{600, 3000};
    const int rows = argc > 2 ? qMax(1, std::atoi(argv[2])) : 1000;
    const double minutes = argc > 3 ? std::atof(argv[3]) : 15;
    QList<bool> pacings = {false, true};
    if (argc > 4) {
        pacings.clear();
        for (const QByteArray &p : QByteArray(argv[4]).split(','))
            if (p == "on" || p == "off")
                pacings << (p == "on");
    }
    const int channels = argc > 5 ? qBound(1, std::atoi(argv[5]), int(QueryRun::ChannelCount)) : QueryRun::ChannelCount;
    if (rates.isEmpty() || pacings.isEmpty() || minutes <= 0) {
        std::printf("usage: bench_limits [rates=600,3000] [rows=1000] [minutes=15] [pacing=off,on] [channels=20]\n");
        return 2;
    }
    const qint64 limitMs = qint64(minutes * 60000.0);

    QStringList names;
    names.reserve(rows);
    for (int n = 1; n <= rows; ++n)
        names << QStringLiteral("qvlim%1.com").arg(n);

    std::printf("query run against a limiting registry: %d names (%d registered, %d free), %d channels, "
                "a limit of %.1f min a run\n",
                rows, rows / 2, rows - rows / 2, channels, minutes);
    std::printf("bucket: R a minute per client, a burst of R/6; beyond it a limit text and a close\n");
    std::printf("no data = 无法获取数据, timeout = 查询超时, unsettled = not settled when the run stopped\n");
    std::printf("of R = right verdicts a minute over R (the burst lets a short run pass 100%%); "
                "allowed = burst + R x time, the most the bucket admits\n\n");
    std::printf("%7s %6s %6s %6s %6s %8s %8s %9s %9s %10s %7s %9s %8s %8s\n", "R/min", "pacing", "rows", "right",
                "false", "no data", "timeout", "unsettled", "seconds", "right/min", "of R", "admitted", "limited",
                "allowed");
    std::fflush(stdout);

    for (double r : rates) {
        for (bool pacing : pacings) {
            const Figures f = runOnce(r, pacing, names, channels, limitMs);
            const double perMinute = f.seconds > 0 ? f.right / (f.seconds / 60.0) : 0;
            std::printf("%7.0f %6s %6d %6d %6d %8d %8d %9d %9.1f %10.0f %6.1f%% %9d %8d %8.0f%s\n", r,
                        pacing ? "on" : "off", f.rows, f.right, f.falseVerdicts, f.noData, f.timeouts, f.unsettled,
                        f.seconds, perMinute, 100.0 * perMinute / r, f.admitted, f.limited, f.allowed,
                        f.limitHit ? "  (time limit: partial)" : "");
            if (f.admitted > f.allowed + 0.5)
                std::printf("        the server admitted more than its bucket allows\n");
            if (f.admitted + f.limited > f.connections)
                std::printf("        the server counted more queries than connections\n");
            if (f.wrongFreeSignals || f.repeatedFreeSignals)
                std::printf("        free names reported: %d, of them registered %d, repeated %d\n", f.freeSignals,
                            f.wrongFreeSignals, f.repeatedFreeSignals);
            std::fflush(stdout);
        }
    }
    return 0;
}
