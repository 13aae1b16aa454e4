#include "config/ProgramFiles.h"
#include "config/ServerConfig.h"
#include "platform/CommandLine.h"
#include "platform/DesktopSetup.h"
#include "startup/Form2.h"
#include "window/Form1.h"
#include "window/WindowSettings.h"

#include <QApplication>
#include <QNetworkProxyFactory>

#include <memory>

int main(int argc, char *argv[])
{
    CommandLine commandLine(ProgramFiles::Main, QStringLiteral("按规则生成候选域名，并逐个通过 WHOIS 查询是否已被注册。"));
    commandLine.acceptSkipUpdateCheck();
    if (const int code = commandLine.answerEarly(argc, argv); code >= 0)
        return code;
    QApplication app(argc, argv);
    QApplication::setApplicationName(ProgramFiles::Main);
    if (const int code = commandLine.refuseRest(QApplication::arguments()); code >= 0)
        return code;
    DesktopSetup::apply(app);
    // Registries and the update server are reached the way the system reaches the web.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    WindowSettings::setFile(WindowSettings::userFile());

    const ServerConfig config = ServerConfig::defaults();
    // The splash comes first; it opens the main window unless the updater takes over.
    std::unique_ptr<Form1> form;
    Form2 splash(config, [&form, &config]() -> QWidget * {
        form = std::make_unique<Form1>(config);
        return form.get();
    });
    if (commandLine.skipUpdateCheck())
        splash.skipVersionCheck();
    QObject::connect(&splash, &Form2::endProgram, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    splash.show();
    return app.exec();
}
