#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The bytes of a list file: one domain per line, every line ending in CR LF, GB18030 text.
namespace ListFile {

// The generated-list (and rest-list) text: domains joined by CR LF, then one more CR LF.
// Empty domains before the first non-empty one are not written.
QByteArray generatedListBytes(const QStringList &domains);

// The free-names file: the whole text plus CR LF, every line end written as CR LF.
QByteArray freeNamesBytes(const QString &text);

// Splits a file into lines: a line ends at CR LF or a lone CR; a lone LF stays in the line;
// a last line without an end is still a line; nothing is trimmed.
QStringList splitLines(const QByteArray &bytes);

} // namespace ListFile
