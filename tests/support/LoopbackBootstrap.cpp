#include "LoopbackBootstrap.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace LoopbackBootstrap {

QByteArray json(const Services &services, const QString &publication)
{
    QJsonArray list;
    for (const auto &[tlds, base] : services)
        list.append(QJsonArray{QJsonArray::fromStringList(tlds), QJsonArray{base}});
    return QJsonDocument(QJsonObject{{"version", "1.0"}, {"publication", publication}, {"services", list}}).toJson();
}

QString path()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/rdap-dns.json");
}

void writeBytes(const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path()).path());
    QFile file(path());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write the test bootstrap %s", qPrintable(path()));
}

void write(const Services &services)
{
    writeBytes(json(services));
}

void setFetched(int daysAgo)
{
    QFile stamp(path() + QStringLiteral(".fetched"));
    const bool ok = daysAgo < 0 ? !stamp.exists() || stamp.remove()
                                : stamp.open(QIODevice::WriteOnly | QIODevice::Truncate)
                                      && stamp.setFileTime(QDateTime::currentDateTime().addDays(-daysAgo), QFileDevice::FileModificationTime);
    if (!ok)
        qFatal("cannot mark the test bootstrap fetched");
}

} // namespace LoopbackBootstrap

namespace {

void pointCacheAtLoopback()
{
    static QTemporaryDir folder;
    if (!folder.isValid())
        qFatal("no temporary folder for the test cache");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(folder.path()));
    // A TLD that is never delegated; every real one has no RDAP service here.
    LoopbackBootstrap::write({{{QStringLiteral("invalid")}, QStringLiteral("http://127.0.0.1:9/")}});
    LoopbackBootstrap::setFetched(0);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(pointCacheAtLoopback)
