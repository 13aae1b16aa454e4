#include "window/WindowSettings.h"

#include "config/ProgramFiles.h"
#include "generation/TopLevelDomains.h"
#include "window/FileDialog.h"
#include "window/Form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>

namespace {
const QString RuleKey = QStringLiteral("Form1/rule");
const QString DomainsKey = QStringLiteral("Form1/domains");
const QString ChannelsKey = QStringLiteral("Form1/channels");
const QString GeometryKey = QStringLiteral("Form1/geometry");
const QString FolderKey = QStringLiteral("Form1/folder");
constexpr int MinimumSide = 100; // pixels: anything smaller is no window this program saved

QString &settingsFile()
{
    static QString path;
    return path;
}

bool isText(const QVariant &v)
{
    return v.typeId() == QMetaType::QString;
}
} // namespace

QString WindowSettings::userFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + ProgramFiles::Main + u'/'
           + ProgramFiles::Main + QStringLiteral(".ini");
}

void WindowSettings::setFile(const QString &path)
{
    settingsFile() = path;
}

QString WindowSettings::file()
{
    return settingsFile();
}

void WindowSettings::restore(Form1 &form)
{
    if (file().isEmpty())
        return;
    const QSettings s(file(), QSettings::IniFormat);
    if (s.status() != QSettings::NoError)
        return;

    const QVariant rule = s.value(RuleKey);
    if (isText(rule))
        form.domaingz->setText(rule.toString());

    // Ticked domains by name, separated by spaces; names of none of the nine boxes are not a
    // choice this window made.
    const QVariant domains = s.value(DomainsKey);
    if (isText(domains)) {
        const QStringList names = domains.toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const auto boxes = form.checks();
        bool known = names.isEmpty();
        for (const QStringView domain : TopLevelDomains::ByBox)
            known = known || names.contains(domain);
        if (known) {
            for (size_t i = 0; i < boxes.size(); ++i)
                boxes[i]->setChecked(names.contains(TopLevelDomains::ByBox[i]));
        }
    }

    const QVariant channels = s.value(ChannelsKey);
    if (isText(channels)) {
        const int index = form.Combo1->findText(channels.toString());
        if (index >= 0)
            form.Combo1->setCurrentIndex(index);
    }

    // Qt fits a saved geometry to the screens of today, but applies a cut-short one as a window
    // of no size: try it on a stand-in first.
    const QVariant geometry = s.value(GeometryKey);
    QWidget trial;
    if (geometry.typeId() == QMetaType::QByteArray && trial.restoreGeometry(geometry.toByteArray())
        && trial.width() >= MinimumSide && trial.height() >= MinimumSide)
        form.restoreGeometry(geometry.toByteArray());

    const QVariant folder = s.value(FolderKey);
    if (isText(folder) && !folder.toString().isEmpty() && QDir(folder.toString()).exists())
        FileDialog::setLastFolder(folder.toString());
}

bool WindowSettings::save(const Form1 &form)
{
    if (file().isEmpty())
        return false;
    QSettings s(file(), QSettings::IniFormat);
    s.clear(); // whatever the file held before, it now holds exactly this
    s.setValue(RuleKey, form.domaingz->text());
    QStringList ticked;
    const auto boxes = form.checks();
    for (size_t i = 0; i < boxes.size(); ++i) {
        if (boxes[i]->isChecked())
            ticked << TopLevelDomains::ofBox(int(i));
    }
    s.setValue(DomainsKey, ticked.join(QLatin1Char(' ')));
    s.setValue(ChannelsKey, form.Combo1->currentText());
    s.setValue(GeometryKey, form.saveGeometry());
    s.setValue(FolderKey, FileDialog::lastFolder());
    s.sync();
    return s.status() == QSettings::NoError;
}
