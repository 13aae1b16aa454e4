#pragma once

#include <QString>

// The folder that holds the running program; both programs, the skin file and
// update.dat lie there. Tests may point it elsewhere.
namespace ProgramFolder {

QString path();
QString file(const QString &name); // path() + "/" + name
void setOverride(const QString &folder); // empty: back to the executable's folder

} // namespace ProgramFolder
