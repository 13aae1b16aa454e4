#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// Text files and the update manifest are in the Chinese ANSI code page. GB18030 is a
// superset of GB2312 and GBK, so reading with it accepts every such file, and writing
// with it loses no character a list can hold. ASCII is the same bytes in all of them.
namespace Gb18030 {
QString decode(const QByteArray &bytes);
// Each piece decoded as a text of its own: a broken character at the end of one piece cannot
// reach into the next.
QStringList decodeEach(const QList<QByteArrayView> &pieces);
QByteArray encode(const QString &text);
}
