#include "platform/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool Translations::install(QCoreApplication &app)
{
    const QString name = QStringLiteral("qtbase_zh_CN");
    if (app.findChild<QTranslator *>(name, Qt::FindDirectChildrenOnly))
        return true; // once is enough
    auto *translator = new QTranslator(&app);
    translator->setObjectName(name);
    if (!translator->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
