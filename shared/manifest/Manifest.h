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

// The text read as a decimal number ("081217", "81217.9", "-3", "8.1218e4"), rounded down.
// Worked out on the digits themselves, so no fraction however long can round the whole part
// up. Empty when it is not a number or its whole part does not fit a 32-bit signed integer;
// "-2147483648.5" counts as -2147483648. Spaces around the number are allowed.
std::optional<qint32> integerPart(const QString &text);

// The splash's decision: the manifest names the program and publishes a version above
// `buildver`. A manifest whose version is not a number publishes nothing.
bool newerThanBuild(const QString &manifestText, const QString &buildver = buildVersion());

// The installed version from the text of ProgramFiles::InstalledVersion: 0 when missing, empty or not a number.
qint32 installedVersion(const QString &datText);
// The same, read from the "update.dat" in `folder`.
qint32 readInstalledVersion(const QString &folder);

enum class UpdateCheck {
    Unavailable, // no manifest, fewer than two fields, or a version that is not a number
    UpToDate,
    Newer,
};
UpdateCheck compare(const QStringList &fields, qint32 installed);

// A file field as a name: trailing CR and LF removed (the manifest's own line break ends up
// in its last field).
QString fileName(const QString &field);
// A name that stays inside the program folder and the server's update folder and shows
// what it is: not empty, no "/" or "\", not starting with "." (so neither "." nor ".."), and
// no control, format or line/paragraph separator character (Unicode Cc, Cf, Zl, Zp), which
// could hide or reorder what the user is shown.
bool isSafeFileName(const QString &name);

// The name as it may be shown to the user: every character that isSafeFileName refuses for
// being invisible or a control written as "<U+XXXX>".
QString visibleName(const QString &name);

// The safe names among the file fields (2 onward) of a split manifest, line breaks removed.
QStringList safeFileNames(const QStringList &fields);

} // namespace Manifest
