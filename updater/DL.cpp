#include "DL.h"

#include "config/ProgramFiles.h"
#include "manifest/Manifest.h"
#include "platform/StagedFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPainter>
#include <QUrl>

#include <utility>

#include <unistd.h>

namespace {

// The two programs must stay startable whatever the server's file looked like.
bool isProgramFile(const QString &name)
{
    return name == ProgramFiles::Main || name == ProgramFiles::Updater;
}

QFileDevice::Permissions withExecute(QFileDevice::Permissions p)
{
    if (p & QFileDevice::ReadOwner)
        p |= QFileDevice::ExeOwner;
    if (p & QFileDevice::ReadUser)
        p |= QFileDevice::ExeUser;
    if (p & QFileDevice::ReadGroup)
        p |= QFileDevice::ExeGroup;
    if (p & QFileDevice::ReadOther)
        p |= QFileDevice::ExeOther;
    return p | QFileDevice::ExeOwner | QFileDevice::ExeUser;
}

} // namespace

DL::DL(QWidget *parent)
    : QWidget(parent)
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(30000);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        if (!m_reply)
            return;
        m_timedOut = true;
        m_reply->abort(); // finishes the reply, which reports the failure
    });
}

DL::~DL()
{
    Abort();
}

void DL::StartDownload()
{
    Abort(); // also drops a complete file nobody took
    m_fraction = 0.0f;
    m_written = 0;
    m_writeError.clear();
    m_timedOut = false;
    update();

    const qsizetype slash = m_sourceUrl.lastIndexOf(QLatin1Char('/'));
    m_name = m_sourceUrl.mid(slash + 1);
    if (slash < 0 || !Manifest::isSafeFileName(m_name)) {
        failLater(QStringLiteral("文件名无效：") + Manifest::visibleName(m_name));
        return;
    }
    if (m_saveFolder.isEmpty() || !QDir(m_saveFolder).exists()) {
        failLater(QStringLiteral("文件夹不存在：") + m_saveFolder);
        return;
    }

    // The body lands in a temporary file beside the target, which stays as it is.
    if (!openTemporary(m_saveFolder + QLatin1Char('/') + m_name)) {
        const QString reason = QStringLiteral("无法写入文件：") + m_file->errorString();
        m_file.reset();
        failLater(reason);
        return;
    }

    // The name is one path segment on the server, so "#", "?" or "%" in it must not be
    // read as URL syntax.
    const QUrl url(m_sourceUrl.left(slash + 1) + QString::fromLatin1(QUrl::toPercentEncoding(m_name)));
    QNetworkRequest request(url);
    // Uncompressed, so the announced length can be held against what arrived.
    request.setRawHeader("Accept-Encoding", "identity");
    m_reply = m_manager.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &DL::onReadyRead);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &DL::onDownloadProgress);
    connect(m_reply, &QNetworkReply::finished, this, &DL::onFinished);
    m_idle.start();
}

bool DL::openTemporary(const QString &target)
{
    // Created with 0666 less the umask, like any new file.
    m_file = std::make_unique<QFile>();
    for (int attempt = 0; attempt < 16; ++attempt) {
        m_file->setFileName(StagedFiles::temporaryPath(m_saveFolder, QStringLiteral("part")));
        if (m_file->open(QIODevice::WriteOnly | QIODevice::NewOnly))
            break;
        if (!m_file->exists())
            return false;
    }
    if (!m_file->isOpen())
        return false;
    // The run bits of the file it replaces, and always for the two programs.
    // (The "User" flags say what this user may do, not what the file's mode holds.)
    constexpr QFileDevice::Permissions userFlags = QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
    const QFileInfo old(target);
    QFileDevice::Permissions permissions = (old.exists() ? old.permissions() : m_file->permissions()) & ~userFlags;
    if (isProgramFile(m_name))
        permissions = withExecute(permissions);
    m_file->setPermissions(permissions);
    return true;
}

QString DL::takeStaged()
{
    return std::exchange(m_staged, QString());
}

void DL::Abort()
{
    ++m_generation;
    cleanUp();
}

void DL::cleanUp()
{
    m_idle.stop();
    if (m_reply) {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
    if (m_file) {
        m_file->close();
        m_file->remove();
        m_file.reset();
    }
    if (!m_staged.isEmpty())
        QFile::remove(takeStaged());
}

bool DL::statusIsSuccess() const
{
    if (!m_reply)
        return false;
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() && status.toInt() >= 200 && status.toInt() < 300;
}

void DL::onReadyRead()
{
    if (!m_reply)
        return;
    m_idle.start();
    const QByteArray bytes = m_reply->readAll();
    if (!statusIsSuccess() || !m_writeError.isEmpty() || !m_file)
        return; // an error page is never written anywhere
    if (m_file->write(bytes) != bytes.size()) {
        m_writeError = m_file->errorString();
        m_reply->abort();
        return;
    }
    m_written += bytes.size();
}

void DL::onDownloadProgress(qint64 received, qint64 total)
{
    if (!m_reply)
        return;
    m_idle.start();
    if (!statusIsSuccess())
        return;
    float f = total > 0 ? float(double(received) / double(total)) : 0.0f;
    report(qMin(f, MaxUnsaved));
}

void DL::report(float fraction)
{
    m_fraction = fraction;
    update();
    emit Progress(fraction);
}

void DL::onFinished()
{
    if (!m_reply)
        return;
    if (m_reply->bytesAvailable() > 0)
        onReadyRead();
    m_idle.stop();
    QNetworkReply *reply = m_reply;

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    QString reason;
    if (m_timedOut) {
        reason = QStringLiteral("下载超时");
    } else if (!m_writeError.isEmpty()) {
        reason = QStringLiteral("无法写入文件：") + m_writeError;
    } else if (status.isValid() && (status.toInt() < 200 || status.toInt() >= 300)) {
        reason = QStringLiteral("服务器返回状态 %1").arg(status.toInt());
    } else if (reply->error() != QNetworkReply::NoError) {
        reason = QStringLiteral("网络错误：") + reply->errorString();
    } else if (!status.isValid()) {
        reason = QStringLiteral("服务器没有应答");
    } else {
        // A close before the announced length is a broken transfer, not a short file, even
        // when Qt finishes the reply without an error.
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && !reply->hasRawHeader("Content-Encoding")
            && length.toLongLong() != m_written)
            reason = QStringLiteral("下载不完整");
    }
    if (!reason.isEmpty()) {
        fail(reason);
        return;
    }

    // On the disk before it can be renamed over the old file, so a crash never leaves
    // an empty program behind.
    if (!m_file->flush() || ::fsync(m_file->handle()) != 0) {
        fail(QStringLiteral("无法写入文件：") + m_file->errorString());
        return;
    }
    m_file->close();
    m_staged = m_file->fileName();
    m_file.reset();
    m_reply = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    reply->deleteLater();
    emit Staged();
    report(1.0f);
}

void DL::fail(const QString &reason)
{
    cleanUp();
    emit Failed(reason);
}

void DL::failLater(const QString &reason)
{
    // Reported from the event loop, like every other outcome, so the caller's own steps
    // after StartDownload come first.
    const int generation = m_generation;
    QTimer::singleShot(0, this, [this, generation, reason] {
        if (generation == m_generation)
            emit Failed(reason);
    });
}

void DL::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    p.setPen(palette().color(QPalette::Mid));
    p.setBrush(palette().color(QPalette::Base));
    p.drawRect(frame);
    const int inner = frame.width() - 3;
    const int done = qBound(0, int(inner * qBound(0.0f, m_fraction, 1.0f)), inner);
    if (done > 0)
        p.fillRect(QRect(frame.left() + 2, frame.top() + 2, done, frame.height() - 3),
                   palette().color(QPalette::Highlight));
}
