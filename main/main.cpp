#include "config/ServerConfig.h"
#include "window/Form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvex"));

    Form1 form(ServerConfig::defaults());
    form.show();
    return app.exec();
}
