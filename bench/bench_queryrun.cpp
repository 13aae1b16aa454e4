// A query run in an offscreen main window against a local WHOIS server that answers at once
// and hangs up after its reply, as real servers do.
// Imports a list through the file dialog's hook and prints how many rows are settled per
// second with 1, 10 and 20 channels: over a list of 2,000 rows, and over the first 2,000
// rows of a list of 200,000. The 100 ms query tick allows at most 10 rows a second per
// channel.
//
// Usage: bench_queryrun [rows=2000] [bigList=200000] [channels=1,10,20]
#include "FakeWhoisServer.h"

#include "BenchUtil.h"
#include "config/ServerConfig.h"
#include "platform/MessageBox.h"
#include "window/DomainListModel.h"
#include "window/FileDialog.h"
#include "window/Form1.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {


QByteArray registeredReply()
{
    return "   Domain Name: QV.COM\r\n"
           "   Registry Domain ID: 2138514_DOMAIN_COM-VRSN\r\n"
           "   Registry Expiry Date: 2025-08-13T04:00:00Z\r\n"
           "   Registrar: Example Registrar, Inc.\r\n"
           ">>> Last update of whois database: 2024-09-01T10:00:00Z <<<\r\n";
}

// Runs the event loop until `done` holds or `limitMs` passes; returns whether it held.
template <typename F>
bool runUntil(F done, qint64 limitMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > limitMs)
            loop.quit();
    });
    poll.start();
    if (!done())
        loop.exec();
    return done();
}

struct Figures
{
    double importMs = 0;
    double seconds = 0;
    int settled = 0;
    int timeouts = 0;
    bool completed = false;
    long grownKiB = 0; // resident memory with the window and its list, over what was before
};

Figures runOnce(const ServerConfig &config, const QString &listPath, int listRows, int settle, int channels)
{
    Figures f;
    const long rss0 = BenchUtil::rssKiB();
    Form1 form(config);
    form.show();
    QApplication::processEvents();
    form.Combo1->setCurrentText(QString::number(channels));
    FileDialog::setHook([listPath](bool) { return listPath; });

    QElapsedTimer clock;
    clock.start();
    form.Command11_Click();
    f.importMs = double(clock.nsecsElapsed()) / 1e6;
    if (form.hostii() != listRows) {
        std::printf("  import gave %d rows, expected %d\n", form.hostii(), listRows);
        return f;
    }
    const DomainListModel *model = form.listModel();
    f.completed = runUntil([&] { return model->countState(DomainListModel::State::Finished) >= settle; },
                           qint64(settle) * 1000 / channels + 120000);
    f.seconds = double(clock.nsecsElapsed()) / 1e9 - f.importMs / 1000.0;
    f.settled = model->countState(DomainListModel::State::Finished);
    f.timeouts = model->countResult(DomainListModel::Result::Timeout);
    f.grownKiB = BenchUtil::rssKiB() - rss0;
    if (listRows == settle)
        runUntil([&] { return form.SkinLabel14->text() == QStringLiteral("本次域名批量查询已经正常结束"); }, 2000);
    else
        form.Command7_Click();
    FileDialog::setHook(nullptr);
    return f;
}

QString writeList(const QTemporaryDir &dir, int rows)
{
    const QString path = dir.filePath(QStringLiteral("list%1.txt").arg(rows));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    QByteArray bytes;
    bytes.reserve(rows * 16);
    char line[40];
    for (int i = 1; i <= rows; ++i) {
        const int n = std::snprintf(line, sizeof line, "qv%07d.com\r\n", i);
        bytes.append(line, n);
    }
    file.write(bytes);
    return path;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int bigRows = argc > 2 ? std::atoi(argv[2]) : 200000;
    QList<int> channelCounts = {1, 10, 20};
    if (argc > 3) {
        channelCounts.clear();
        for (const QByteArray &n : QByteArray(argv[3]).split(','))
            channelCounts << n.toInt();
    }
    MessageBox::setHook([](const MessageBox::Shown &s) {
        std::printf("  message box: %s\n", s.text.toUtf8().constData());
        return MessageBox::Answer::Ok;
    });

    FakeWhoisServer server;
    if (!server.listen(QHostAddress(QStringLiteral("127.0.0.2")))) {
        std::printf("cannot listen on 127.0.0.2\n");
        return 1;
    }
    server.setScript(FakeWhoisServer::replyAtOnce(registeredReply())); // then closes

    // Every role on loopback; only the InterNIC role (.com) has a server.
    ServerConfig config;
    config.internic = QStringLiteral("127.0.0.2");
    config.cnnic = QStringLiteral("127.0.0.3");
    config.la = QStringLiteral("127.0.0.4");
    config.me = QStringLiteral("127.0.0.5");
    config.name = QStringLiteral("127.0.0.7");
    config.biz = QStringLiteral("127.0.0.8");
    config.updateBase = QStringLiteral("http://127.0.0.1:1");
    config.whoisPort = server.port();

    QTemporaryDir dir;
    const QString smallList = writeList(dir, rows);
    const QString bigList = bigRows > 0 ? writeList(dir, bigRows) : QString();

    std::printf("query run: local WHOIS server answering at once, 100 ms query tick (ceiling 10 rows/s per channel)\n");
    std::printf("%-28s %8s %10s %10s %12s %10s %9s %10s\n", "list", "channels", "settled", "seconds", "rows/s", "per chan",
                "of 10/s", "import ms");
    auto report = [](const char *what, int channels, const Figures &f) {
        const double rate = f.seconds > 0 ? f.settled / f.seconds : 0;
        const double perChannel = rate / channels;
        std::printf("%-28s %8d %10d %10.2f %12.1f %10.2f %8.1f%% %10.1f%s%s\n", what, channels, f.settled, f.seconds, rate,
                    perChannel, perChannel * 10.0, f.importMs, f.completed ? "" : "  (limit reached)",
                    f.timeouts ? "  (time-outs!)" : "");
        std::fflush(stdout);
    };

    for (int n : channelCounts) {
        const Figures f = runOnce(config, smallList, rows, rows, n);
        report(qPrintable(QStringLiteral("%1 rows").arg(rows)), n, f);
    }
    if (bigRows > 0) {
        for (int n : channelCounts) {
            const Figures f = runOnce(config, bigList, bigRows, qMin(rows, bigRows), n);
            report(qPrintable(QStringLiteral("first %1 of %2 rows").arg(qMin(rows, bigRows)).arg(bigRows)), n, f);
            std::printf("%-28s window and list hold %ld KiB\n", "", f.grownKiB);
        }
    }
    std::printf("connections served: %d\n", server.connectionCount());
    return 0;
}
