#include "platform/DesktopSetup.h"

#include "platform/Translations.h"
#include "platform/WindowIcon.h"
#include "skin/LightPalette.h"

#include <QApplication>

void DesktopSetup::apply(QApplication &app)
{
    Translations::install(app);
    LightPalette::apply();
    QApplication::setWindowIcon(WindowIcon::icon());
    // Docks and software centres match the windows to the installed desktop entry by this.
    QGuiApplication::setDesktopFileName(QStringLiteral(QUORVEX_APP_ID));
}
