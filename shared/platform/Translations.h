#pragma once

class QCoreApplication;

// Qt's own texts (standard buttons, the file dialog, context menus) in Simplified Chinese,
// whatever the user's locale: every window of both programs speaks Chinese.
class Translations
{
public:
    // Loads Qt's qtbase zh_CN catalogue from Qt's translations folder and installs it.
    // Without the catalogue the programs go on with Qt's English texts; returns whether it loaded.
    static bool install(QCoreApplication &app);
};
