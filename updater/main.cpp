#include "config/ServerConfig.h"
#include "platform/DesktopSetup.h"
#include "updater/Form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    DesktopSetup::apply(app);
    Updater::Form1 form(ServerConfig::defaults());
    QObject::connect(&form, &Updater::Form1::ended, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    form.show();
    return app.exec();
}
