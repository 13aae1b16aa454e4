#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Whether this install may replace its own files. A build made for a package manager never
// does (the package manager owns the files, root or not), and nor does an install whose
// program folder or listed files this user cannot write.
namespace SelfUpdate {

// True in a build configured for a package manager (QUORVEX_PACKAGED).
bool packageManaged();
// Test hook: a value to use instead of the build's; empty: back to the build's.
void setPackageManagedOverride(std::optional<bool> managed);

// The first of `folder` and the files `names` in it that cannot be replaced; empty when all
// can. A missing file only needs the folder.
QString unwritable(const QString &folder, const QStringList &names);

// Neither package-managed nor anything unwritable.
bool allowed(const QString &folder, const QStringList &names);

// What the user is told instead of an update that may not run.
QString refusal(const QString &version);

} // namespace SelfUpdate
