// Times the import of a 1,000,000-line generated list and the saves of 1,000,000 rows in
// an offscreen window, through the file dialog's hook.
// Usage: bench_listfiles [lines, default 1000000] [rounds, default 3]
#include "BenchUtil.h"
#include "config/ServerConfig.h"
#include "platform/MessageBox.h"
#include "window/DomainListModel.h"
#include "window/FileDialog.h"
#include "run/QueryRun.h"
#include "window/Form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace {


double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    QList<MessageBox::Shown> shown;
    MessageBox::recordAndAnswer(&shown);

    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("generated.txt"));
    const QString output = dir.filePath(QStringLiteral("saved.txt"));
    const QString rest = dir.filePath(QStringLiteral("rest.txt"));
    {
        QByteArray bytes;
        bytes.reserve(qsizetype(lines) * 16);
        char line[32];
        for (int i = 0; i < lines; ++i) {
            const int n = std::snprintf(line, sizeof line, "ni%07dz.com\r\n", i);
            bytes.append(line, n);
        }
        QFile f(input);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
            std::printf("cannot write %s\n", qPrintable(input));
            return 1;
        }
    }
    const qint64 inputSize = QFileInfo(input).size();
    std::printf("file: %d lines, %lld bytes\n", lines, inputSize);

    Form1 form(BenchUtil::loopbackConfig());
    form.resize(1000, 700);
    form.show();
    QApplication::processEvents();

    for (int round = 1; round <= rounds; ++round) {
        FileDialog::setHook([&](bool) { return input; });
        QElapsedTimer t;
        t.start();
        form.Command11_Click();
        const double importMs = ms(t);
        form.query().reset(0); // the query run is not what is measured here
        QElapsedTimer v;
        v.start();
        form.flushView();
        QApplication::processEvents();
        const double viewMs = ms(v);

        FileDialog::setHook([&](bool) { return output; });
        t.restart();
        form.Command10_Click();
        const double saveMs = ms(t);

        FileDialog::setHook([&](bool) { return rest; });
        t.restart();
        form.Command12_Click();
        const double restMs = ms(t);

        const bool same = QFileInfo(output).size() == inputSize && QFileInfo(rest).size() == inputSize;
        std::printf("round %d: import %.0f ms (rows %d, then view update %.0f ms), save %.0f ms, rest-list save %.0f ms, "
                    "files %s, messages %lld\n",
                    round, importMs, form.hostii(), viewMs, saveMs, restMs, same ? "match" : "DIFFER",
                    qint64(shown.size()));
    }
    FileDialog::setHook(nullptr);
    return 0;
}
