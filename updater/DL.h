#pragma once

#include <QNetworkAccessManager>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <memory>

class QNetworkReply;
class QSaveFile;

// The updater's download control: fetches SourceUrl into SaveFolder under the last segment
// of the address. The body goes to a temporary file beside the target, which replaces the
// target (keeping its permissions) only when the whole body came with a 2xx status.
// Progress never reads as "100%" before the file is in place: at most 0.994 while
// downloading, then exactly 1 once saved.
class DL : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString SourceUrl READ SourceUrl WRITE setSourceUrl)
    Q_PROPERTY(QString SaveFolder READ SaveFolder WRITE setSaveFolder)

public:
    explicit DL(QWidget *parent = nullptr);
    ~DL() override;

    QString SourceUrl() const { return m_sourceUrl; }
    void setSourceUrl(const QString &url) { m_sourceUrl = url; }
    QString SaveFolder() const { return m_saveFolder; }
    void setSaveFolder(const QString &folder) { m_saveFolder = folder; }

    // A transfer that moves no byte for this long fails.
    void setIdleTimeout(int ms) { m_idle.setInterval(ms); }
    int idleTimeout() const { return m_idle.interval(); }

    bool isRunning() const { return !m_reply.isNull(); }
    float fraction() const { return m_fraction; }

    // The largest fraction reported before the file is saved.
    static constexpr float MaxUnsaved = 0.994f;

public slots:
    void StartDownload();
    // Stops a running download without a signal; the target stays as it was.
    void Abort();

signals:
    // Fraction of the current file done, on the window thread; 1 only for a saved file.
    void Progress(float fraction);
    // The download ended without replacing the file; `reason` is for the user.
    void Failed(const QString &reason);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void onReadyRead();
    void onDownloadProgress(qint64 received, qint64 total);
    void onFinished();
    void fail(const QString &reason);
    void failLater(const QString &reason);
    void report(float fraction);
    bool statusIsSuccess() const;
    void cleanUp();

    QString m_sourceUrl;
    QString m_saveFolder;
    QString m_name;
    QNetworkAccessManager m_manager;
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<QSaveFile> m_file;
    QTimer m_idle;
    qint64 m_written = 0;
    QString m_writeError;
    bool m_timedOut = false;
    float m_fraction = 0.0f;
    int m_generation = 0; // tells a stale queued failure from the current download's
};
