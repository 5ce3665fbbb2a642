#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QSaveFile>
#include <QTemporaryFile>

#include "core/songtags.h"

class QLabel;
class QNetworkReply;
class QProgressBar;
class QPushButton;
class QUrl;

namespace corvane::desktop {
class Desktop;
}

namespace corvane::widgets {

class Downloader;

// One download and its progress window (see Downloader). It deletes itself when closed.
class DownloadWindow final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadWindow)

public:
    // Starts downloading `url` at once; `desktop` asks where to save and shows failures.
    DownloadWindow(Downloader *owner, desktop::Desktop &desktop, const QString &address, const QUrl &url,
                   const QString &suggestedName, const SongTags &tags);
    ~DownloadWindow() override;

signals:
    // The download ended: saved whole as `path` when `ok`; else nothing is left.
    void ended(const QString &path, bool ok, const QString &message, const QString &address);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    enum State { Connecting, Choosing, Writing, Done, Failed };
    int status() const;
    // Each reply is stopped once, and not from inside its own signal: aborting a reply
    // while it reports an error status makes it report twice ("Internal problem").
    void stopReply();
    void onMetaData();
    void drain();
    void onProgress(qint64 received, qint64 total);
    void onFinished();
    // The whole download, tagged when it is MPEG audio, into the file that is committed.
    bool finishTagged();
    void fail(const QString &message, bool cancelled = false);

    QPointer<Downloader> m_owner;
    desktop::Desktop &m_desktop;
    bool m_silent;
    QString m_address;
    QString m_suggestedName;
    SongTags m_tags;
    QLabel *m_name;
    QProgressBar *m_bar;
    QLabel *m_detail;
    QPushButton *m_button;
    QNetworkReply *m_reply = nullptr;
    QSaveFile m_file;
    // Where the download goes while it lasts: the file itself, or beside it until tagged.
    QTemporaryFile m_part;
    QFileDevice *m_sink = &m_file;
    QString m_target;
    QElapsedTimer m_clock;
    QElapsedTimer m_lastProgress;
    State m_state = Connecting;
    bool m_replyFinished = false;
    bool m_stopped = false;
};

} // namespace corvane::widgets
