#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The update manifest "version|label|file|file|..." on the update server, and the version
// rules both programs apply to it.
namespace Manifest {

// The build this program is: yymmdd, compared by its value 81217.
QString buildVersion();
// The program's name, which a manifest must contain before the splash acts on it.
QString programName();

QString manifestUrl(const QString &updateBase); // base + "/update/update.html"
QString fileUrl(const QString &updateBase, const QString &name); // base + "/update/" + name

// Split at every "|": empty fields count, nothing is trimmed.
QStringList split(const QString &text);

// The text read as a decimal number, rounded down. Empty when it is not a number or the
// result does not fit a 32-bit signed integer. Spaces around the number are allowed.
std::optional<qint32> integerPart(const QString &text);

// The splash's decision: the manifest names the program and publishes a version above
// `buildver`. A manifest whose version is not a number publishes nothing.
bool newerThanBuild(const QString &manifestText, const QString &buildver = buildVersion());

// The installed version from the text of "update.dat": 0 when missing, empty or not a number.
qint32 installedVersion(const QString &datText);

enum class UpdateCheck {
    Unavailable, // no manifest, fewer than two fields, or a version that is not a number
    UpToDate,
    Newer,
};
UpdateCheck compare(const QStringList &fields, qint32 installed);

// A file field as a name: trailing CR and LF removed (the manifest's own line break ends up
// in its last field).
QString fileName(const QString &field);
// A name that stays inside the program folder and the server's update folder: not empty,
// no control characters, no "/" or "\", not starting with "." (so neither "." nor "..").
bool isSafeFileName(const QString &name);

} // namespace Manifest
