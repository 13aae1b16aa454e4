#pragma once

#include <QString>

// The files of the program folder by name: both programs, the skin and the installed build's
// version. The main program's name is also the program's name: window titles, the settings
// file, and the word a published update must name.
namespace ProgramFiles {

inline const QString Main = QStringLiteral("Quorvex");
inline const QString Updater = QStringLiteral("update");
inline const QString Skin = QStringLiteral("winaqua.mys");
inline const QString InstalledVersion = QStringLiteral("update.dat");

} // namespace ProgramFiles
