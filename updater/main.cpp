#include "config/ProgramFiles.h"
#include "config/ServerConfig.h"
#include "platform/CommandLine.h"
#include "platform/DesktopSetup.h"
#include "updater/Form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    CommandLine commandLine(ProgramFiles::Updater, QStringLiteral("Quorvex 的升级程序：下载更新服务器发布的新版本，放进程序文件夹。"));
    if (const int code = commandLine.answerEarly(argc, argv); code >= 0)
        return code;
    QApplication app(argc, argv);
    QApplication::setApplicationName(ProgramFiles::Updater);
    if (const int code = commandLine.refuseRest(QApplication::arguments()); code >= 0)
        return code;
    DesktopSetup::apply(app);
    Updater::Form1 form(ServerConfig::defaults());
    QObject::connect(&form, &Updater::Form1::ended, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    form.show();
    return app.exec();
}
