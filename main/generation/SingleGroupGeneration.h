#pragma once

#include <QString>
#include <QStringList>

// A rule of one group is generated at once, inside the click, rather than by the odometer.
namespace SingleGroupGeneration {

// Every piece followed by every top-level domain, pieces outermost, both in order. A
// candidate is kept only if it does not begin with "-" and the character before its first
// "." is not "-". An empty piece (left by a leading or trailing comma) would make a domain
// without a label, so it yields nothing.
QStringList candidates(const QStringList &pieces, const QStringList &tlds);

} // namespace SingleGroupGeneration
