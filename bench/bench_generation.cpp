// Runs the default rule for a while on real Timersc ticks in an offscreen window and prints
// ticks and rows per second, first on an empty list, then with rows already in the list.
// Usage: bench_generation [seconds per phase, default 10] [rows already there, default 200000]
#include "BenchUtil.h"
#include "config/ServerConfig.h"
#include "platform/MessageBox.h"
#include "platform/WindowTimer.h"
#include "window/DomainListModel.h"
#include "window/Form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace {



// The ceiling: the same 1 ms window timer with nothing to do.
void bareTimer(double seconds)
{
    WindowTimer timer(1);
    timer.setPrecise(true);
    qint64 ticks = 0;
    QObject::connect(&timer, &WindowTimer::timeout, [&] { ++ticks; });
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    timer.setEnabled(true);
    loop.exec();
    timer.setEnabled(false);
    const double elapsed = double(clock.nsecsElapsed()) / 1e9;
    std::printf("bare 1 ms timer, no window work\n  ticks/s %.0f\n", double(ticks) / elapsed);
}

void phase(const char *title, double seconds, int prefill)
{
    Form1 form(BenchUtil::loopbackConfig());
    form.resize(1000, 700);
    form.show();
    QApplication::processEvents();

    form.Command1_Click(); // the default rule, .com only
    if (!form.Timersc->isEnabled()) {
        std::printf("%s: generation did not start\n", title);
        return;
    }
    if (prefill > 0) {
        // The run is set up and its timer armed; give it a list that already holds rows,
        // as if it had been generating for a few minutes, before the first tick.
        QStringList rows;
        rows.reserve(prefill);
        char domain[32];
        for (int i = 0; i < prefill; ++i) {
            std::snprintf(domain, sizeof domain, "pf%07dz.com", i);
            rows << QString::fromLatin1(domain);
        }
        form.addRows(rows);
        form.flushView();
        QApplication::processEvents();
    }
    const int rowsBefore = form.hostii();

    qint64 ticks = 0;
    qint64 maxGapNs = 0;
    qint64 gapsOver5ms = 0;
    QElapsedTimer clock;
    qint64 lastNs = -1;
    QObject::connect(form.Timersc, &WindowTimer::timeout, &form, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (lastNs >= 0) {
            const qint64 gap = now - lastNs;
            maxGapNs = qMax(maxGapNs, gap);
            if (gap > 5000000)
                ++gapsOver5ms;
        }
        lastNs = now;
        ++ticks;
    });

    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    clock.start();
    loop.exec();
    const double elapsed = double(clock.nsecsElapsed()) / 1e9;
    form.Command2_Click();
    QApplication::processEvents();

    const qint64 rows = form.hostii() - rowsBefore;
    // What one view update (new rows published, newest row scrolled to) costs at this size.
    form.flushView();
    QApplication::processEvents();
    QElapsedTimer flush;
    flush.start();
    form.Timersc_Timer();
    form.flushView();
    QApplication::processEvents();
    const double flushMs = double(flush.nsecsElapsed()) / 1e6;
    std::printf("%s\n", title);
    std::printf("  elapsed %.2f s, ticks %lld, rows %lld (list now %d rows, view %d)\n", elapsed, ticks, rows,
                form.hostii(), form.listModel()->rowCount());
    std::printf("  ticks/s %.0f, rows/s %.0f\n", double(ticks) / elapsed, double(rows) / elapsed);
    std::printf("  longest gap between ticks %.1f ms, gaps over 5 ms: %lld\n", double(maxGapNs) / 1e6, gapsOver5ms);
    std::printf("  one view update at this size %.2f ms\n", flushMs);
    std::printf("  last row %s, RSS %ld KiB\n", qPrintable(form.listModel()->domain(form.hostii())), BenchUtil::rssKiB());
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MessageBox::recordAndAnswer(nullptr);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int prefill = argc > 2 ? std::atoi(argv[2]) : 200000;

    bareTimer(seconds);
    phase("default rule, empty list", seconds, 0);
    phase(qPrintable(QStringLiteral("default rule, %1 rows already in the list").arg(prefill)), seconds, prefill);
    return 0;
}
