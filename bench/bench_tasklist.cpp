// Appends 1,000,000 rows one at a time through the window's add-row operation, letting the
// event loop run after each as a 1 ms timer would, and prints the cost per row at the start
// and at the end, and the memory per row.
#include "BenchUtil.h"
#include "config/ServerConfig.h"
#include "window/DomainListModel.h"
#include "window/Form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTreeView>
#include <cstdio>


int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int total = argc > 1 ? atoi(argv[1]) : 1000000;
    const int window = 10000;

    Form1 form(ServerConfig::defaults());
    form.show();
    QApplication::processEvents();

    const long rss0 = BenchUtil::rssKiB();
    QElapsedTimer clock;
    double firstUs = 0, lastUs = 0;
    char domain[32];
    clock.start();
    qint64 windowStart = 0;
    for (int i = 1; i <= total; ++i) {
        // About 14 characters, like a generated candidate.
        std::snprintf(domain, sizeof domain, "ni%07dz.com", i);
        form.addRow(QString::fromLatin1(domain));
        QApplication::processEvents();
        if (i % window == 0) {
            const qint64 now = clock.nsecsElapsed();
            const double us = double(now - windowStart) / window / 1000.0;
            if (i == window)
                firstUs = us;
            lastUs = us;
            windowStart = now;
            if (i % 200000 == 0)
                std::printf("rows %7d: %.2f us/row over the last %d rows\n", i, us, window);
        }
    }
    form.flushView();
    QApplication::processEvents();
    const long rss1 = BenchUtil::rssKiB();

    // One more row at full size: what one view update (new rows + scroll + relayout) costs.
    QElapsedTimer flush;
    flush.start();
    form.addRow(QStringLiteral("one-more.com"));
    form.flushView();
    QApplication::processEvents();
    const double flushMs = double(flush.nsecsElapsed()) / 1e6;
    const double avgUs = double(clock.nsecsElapsed()) / total / 1000.0;

    std::printf("rows: %d\n", total);
    std::printf("first %d rows: %.2f us/row\n", window, firstUs);
    std::printf("last %d rows: %.2f us/row (%.2fx the first)\n", window, lastUs, lastUs / firstUs);
    std::printf("average: %.2f us/row\n", avgUs);
    std::printf("memory: %.1f bytes/row (process), %.1f bytes/row (row store)\n",
                double(rss1 - rss0) * 1024.0 / total, double(form.listModel()->storeBytes()) / total);
    std::printf("one view update at %d rows: %.2f ms (updates are spaced thirty times their cost apart, at most 1 s)\n", total, flushMs);
    std::printf("view rows: %d, hostii %d\n", form.listModel()->rowCount(), form.hostii());
    return 0;
}
