#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// The RDAP bootstrap a test program goes by: the copy in the user's cache folder, which
// every test program (and benchmark) points at a temporary folder of its own at start. The
// copy made there at start names no real registry and a fetch is marked as just done, so
// no query of a test leaves the machine; a test writes its own copy naming its fakes.
namespace LoopbackBootstrap {

// TLDs and the base URL that serves them (ending with "/").
using Services = QList<std::pair<QStringList, QString>>;

// Later than the copy built into the program, so a copy with it replaces that one.
inline QString later() { return QStringLiteral("2099-01-01T00:00:00Z"); }

QByteArray json(const Services &services, const QString &publication = later());
// The cache-folder copy: its path, and writing it (json(services) or any bytes).
QString path();
void write(const Services &services);
void writeBytes(const QByteArray &bytes);
// Marks the last fetch as done `daysAgo` days ago; < 0: never.
void setFetched(int daysAgo);

} // namespace LoopbackBootstrap
