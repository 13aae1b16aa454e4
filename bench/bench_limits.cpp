// A query run without a window against a local registry that limits one client address the
// way registries do, one registry model a run:
//   bucket600    a token bucket of 600 a minute holding ten seconds' worth
//   bucket3000   the same at 3,000 a minute
//   window50     50 per fixed 10 s window; 30 queries over the limit (never forgiven until a
//                ban) ban the client for 60 s
//   sliding60    60 in any minute
//   slowdown120  120 in any minute; beyond it "slow down", and that again to every query until
//                the client has kept quiet for 20 s
//   slowbucket120  the same with a token bucket of 120 a minute holding ten seconds' worth
//   rdap120      RDAP: a token bucket of 120 a minute, 429 with Retry-After beyond it
//   none         no limit
// The names' truth is known: qvlimN is registered for even N and free for odd N (.com, or
// .info for RDAP). Prints per run: rows with the right verdict, false verdicts, rows left
// 无法获取数据 / 查询超时 / unsettled, the time, right verdicts a minute as a share of the
// model's allowance, the most limit replies within any 10 minutes, bans. A run that reaches
// the time limit is ended there and its figures so far are printed.
//
// Models only wait on timers, so several can run at once as separate processes.
// Usage: bench_limits [models=all|m1,m2...] [names=1000] [pacing=on|off|off,on] [minutes=60] [channels=20]
#include "LimitingWhoisServer.h"
#include "LoopbackBootstrap.h"

#include "BenchUtil.h"
#include "config/ServerConfig.h"
#include "run/QueryRun.h"
#include "run/TaskListStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

using Result = TaskListStore::Result;
using State = TaskListStore::State;
using Limit = LimitingWhoisServer::Limit;

struct Model
{
    const char *name;
    Limit limit;
    double allowancePerMinute; // 0: none
    bool rdap = false;
    QByteArray limitText = "WHOIS LIMIT EXCEEDED - try again later\r\n";
};

QList<Model> models()
{
    const QByteArray slowText = "Please slow down: too many queries from your address.\r\n";
    Limit slowBucket = Limit::bucket(120);
    slowBucket.quietMs = 20000;
    return {
        {"bucket600", Limit::bucket(600), 600},
        {"bucket3000", Limit::bucket(3000), 3000},
        {"window50", {Limit::FixedWindow, 50, 10000, 1, 0, 30, 60000}, 300},
        {"sliding60", {Limit::SlidingWindow, 60, 60000}, 60},
        {"slowdown120", {Limit::SlidingWindow, 120, 60000, 1, 20000}, 120, false, slowText},
        {"slowbucket120", slowBucket, 120, false, slowText},
        {"rdap120", Limit::bucket(120), 120, true},
        {"none", Limit(), 0},
    };
}

// N of "qvlimN.<tld>"; -1 for any other name.
int nameNumber(const QByteArray &domain)
{
    const QByteArray d = domain.toLower();
    const qsizetype dot = d.indexOf('.');
    if (!d.startsWith("qvlim") || dot < 0)
        return -1;
    bool ok = false;
    const int n = d.mid(5, dot - 5).toInt(&ok);
    return ok ? n : -1;
}

bool isRegistered(int n)
{
    return n >= 0 && n % 2 == 0;
}

// The name an RDAP host is first asked for, to show it knows a registered one.
bool isProbe(const QByteArray &domain)
{
    return domain.toLower().startsWith("nic.");
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

// An RDAP body for a registered name; none (404) for a free one.
QByteArray rdapBody(const QByteArray &domain)
{
    return isRegistered(nameNumber(domain)) || isProbe(domain) ? "{\"objectClassName\":\"domain\",\"ldhName\":\"" + domain + "\"}" : QByteArray();
}

struct Figures
{
    int right = 0;
    int falseVerdicts = 0;
    int noData = 0;    // 无法获取数据
    int timeouts = 0;  // 查询超时
    int unsettled = 0; // still waiting or querying, or ended by the time limit
    double seconds = 0;
    bool limitHit = false;
};

void tally(const TaskListStore &store, Figures &f)
{
    f.right = f.falseVerdicts = f.noData = f.timeouts = f.unsettled = 0;
    for (int k = 1; k <= store.size(); ++k) {
        const bool registered = isRegistered(nameNumber(store.domain(k).toLatin1()));
        const Result r = store.state(k) == State::Finished ? store.result(k) : Result::None;
        if (r == Result::Registered || r == Result::Free)
            ++((r == Result::Registered) == registered ? f.right : f.falseVerdicts);
        else if (r == Result::Undecidable)
            ++f.noData;
        else if (r == Result::Timeout)
            ++f.timeouts;
        else
            ++f.unsettled;
    }
}

void runOnce(const Model &m, bool pacing, int rows, int channels, qint64 limitMs)
{
    using Protocol = LimitingWhoisServer::Protocol;
    LimitingWhoisServer server(m.limit, m.rdap ? rdapBody : internicReply, m.rdap ? Protocol::Rdap : Protocol::Whois);
    server.setLimitText(m.limitText);
    if (!server.listen(QHostAddress(QStringLiteral("127.0.0.2")))) {
        std::printf("cannot listen on 127.0.0.2\n");
        std::exit(1);
    }
    // Every role on loopback; only the model's registry is asked.
    ServerConfig config = BenchUtil::loopbackConfig();
    if (m.rdap) {
        LoopbackBootstrap::write({{{QStringLiteral("info")}, server.baseUrl()}});
    } else {
        config.internic = server.host();
        config.whoisPort = server.port();
    }
    QStringList names;
    for (int n = 1; n <= rows; ++n)
        names << QStringLiteral("qvlim%1.%2").arg(n).arg(m.rdap ? "info" : "com");
    TaskListStore store;
    store.appendMany(names);
    QueryRun run(config, &store);
    run.setPacing(pacing);

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
    // A line a minute, so a long run shows it is moving.
    QTimer progress;
    progress.setInterval(60000);
    QObject::connect(&progress, &QTimer::timeout, [&] {
        Figures now;
        tally(store, now);
        std::fprintf(stderr, "  %s %5.1f min: %d right, %d false, %d 无法获取数据, %d unsettled; %d limits; %s\n", m.name,
                     double(clock.elapsed()) / 60000.0, now.right, now.falseVerdicts, now.noData, now.unsettled,
                     server.limited(), qPrintable(run.heldHosts().join(QStringLiteral("; "))));
    });

    Figures f;
    clock.start();
    run.reset(channels);
    run.handOver(channels);
    limit.start(int(qMin<qint64>(limitMs, INT_MAX)));
    progress.start();
    loop.exec();
    f.seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!done) {
        f.limitHit = true;
        run.end(); // rows in flight read 用户终止, rows not yet asked stay waiting
    }
    tally(store, f);
    const double perMinute = f.seconds > 0 ? f.right / (f.seconds / 60.0) : 0;
    const QByteArray share = m.allowancePerMinute > 0 ? QByteArray::number(100.0 * perMinute / m.allowancePerMinute, 'f', 1) + '%' : "-";
    std::printf("%-13s %6s %6d %6d %6d %8d %8d %9d %9.1f %10.0f %8s %9d %7d %5d%s\n", m.name, pacing ? "on" : "off", rows,
                f.right, f.falseVerdicts, f.noData, f.timeouts, f.unsettled, f.seconds, perMinute, share.constData(),
                server.mostLimitsWithin(600000), server.limited(), server.bans(),
                f.limitHit ? "  (time limit: partial)" : "");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QList<Model> all = models();
    QList<Model> chosen;
    const QByteArray which = argc > 1 ? QByteArray(argv[1]) : QByteArray("all");
    for (const Model &m : all)
        if (which == "all" || which.split(',').contains(m.name))
            chosen << m;
    const int rows = argc > 2 ? qMax(1, std::atoi(argv[2])) : 1000;
    QList<bool> pacings;
    for (const QByteArray &p : QByteArray(argc > 3 ? argv[3] : "on").split(','))
        if (p == "on" || p == "off")
            pacings << (p == "on");
    const double minutes = argc > 4 ? std::atof(argv[4]) : 60;
    const int channels = argc > 5 ? qBound(1, std::atoi(argv[5]), int(QueryRun::ChannelCount)) : QueryRun::ChannelCount;
    if (chosen.isEmpty() || pacings.isEmpty() || minutes <= 0) {
        std::printf("usage: bench_limits [models=all|m1,m2...] [names=1000] [pacing=on|off|off,on] [minutes=60] "
                    "[channels=20]\nmodels:");
        for (const Model &m : all)
            std::printf(" %s", m.name);
        std::printf("\n");
        return 2;
    }
    std::printf("%-13s %6s %6s %6s %6s %8s %8s %9s %9s %10s %8s %9s %7s %5s\n", "model", "pacing", "names", "right",
                "false", "no data", "timeout", "unsettled", "seconds", "right/min", "of allow", "10min max", "limits",
                "bans");
    std::fflush(stdout);
    for (const Model &m : chosen)
        for (bool pacing : pacings)
            runOnce(m, pacing, rows, channels, qint64(minutes * 60000.0));
    return 0;
}
