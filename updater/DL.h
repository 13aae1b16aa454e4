#pragma once

#include <QNetworkAccessManager>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <memory>

class QNetworkReply;
class QFile;

// The updater's download control: fetches SourceUrl for the file named by the last segment
// of the address in SaveFolder. The body goes to a temporary file in SaveFolder, which gets
// the permissions of the file it is meant to replace; the file itself is never touched here.
// When the whole body came with a 2xx status the temporary file is complete and waits for
// its caller to take it (takeStaged); otherwise it is removed.
// Progress never reads as "100%" before the file is whole: at most 0.994 while downloading,
// then exactly 1 once complete.
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

    // The complete temporary file of the last download, handed over: from now on the caller
    // removes or renames it. Empty when there is none.
    QString takeStaged();

    // The largest fraction reported before the file is saved.
    static constexpr float MaxUnsaved = 0.994f;

public slots:
    void StartDownload();
    // Stops a running download without a signal and removes its temporary file.
    void Abort();

signals:
    // Fraction of the current file done, on the window thread; 1 only for a complete file.
    void Progress(float fraction);
    // The file is complete and can be taken (takeStaged); Progress(1) follows.
    void Staged();
    // The download ended without a complete file; `reason` is for the user.
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
    bool openTemporary(const QString &target);

    QString m_sourceUrl;
    QString m_saveFolder;
    QString m_name;
    QNetworkAccessManager m_manager;
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<QFile> m_file; // the temporary file being written
    QString m_staged;              // a complete one not yet taken
    QTimer m_idle;
    qint64 m_written = 0;
    QString m_writeError;
    bool m_timedOut = false;
    float m_fraction = 0.0f;
    int m_generation = 0; // tells a stale queued failure from the current download's
};
