#include "config/ServerConfig.h"
#include "platform/DesktopSetup.h"
#include "startup/Form2.h"
#include "window/Form1.h"
#include "window/WindowSettings.h"

#include <QApplication>

#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvex"));
    DesktopSetup::apply(app);
    WindowSettings::setFile(WindowSettings::userFile());

    const ServerConfig config = ServerConfig::defaults();
    // The splash comes first; it opens the main window unless the updater takes over.
    std::unique_ptr<Form1> form;
    Form2 splash(config, [&form, &config]() -> QWidget * {
        form = std::make_unique<Form1>(config);
        return form.get();
    });
    QObject::connect(&splash, &Form2::endProgram, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    splash.show();
    return app.exec();
}
