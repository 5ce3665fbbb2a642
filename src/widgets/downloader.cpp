#include "downloader.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QUrl>

#include "core/httpfetch.h"
#include "desktop/desktop.h"
#include "downloadwindow.h"

using namespace Qt::StringLiterals;

namespace corvane::widgets {

Downloader::Downloader(desktop::Desktop &desktop, QWidget *parent) : QWidget(parent), m_desktop(desktop)
{
    setFocusPolicy(Qt::NoFocus);
}

Downloader::~Downloader() = default;

void Downloader::Navigate(const QString &address, const QString &suggestedName, const DownloadSong &song,
                          const QString &folder)
{
    const QUrl url = acceptedHttpUrl(address);
    if (!url.isValid())
        return;
    auto *download = new Download(url, song, this);
    const QString name = suggestedName.isEmpty() ? (url.fileName().isEmpty() ? url.toString() : url.fileName())
                                                 : suggestedName;
    auto *progress = new DownloadWindow(*download, m_desktop, name, m_silent, window());
    // The save dialog opens from the event loop (Download's signals come from there).
    connect(download, &Download::answered, progress, [this, download, suggestedName, folder, progress] {
        chooseTarget(download, suggestedName, folder.isEmpty() ? defaultFolder() : folder, progress);
    });
    connect(download, &Download::ended, this, [this, download, address](Download::State state, const QString &message) {
        const bool ok = state == Download::State::Saved;
        download->deleteLater();
        emit downloadEnded(ok ? download->path() : QString(), ok, message, address);
    });
    download->start();
}

void Downloader::chooseTarget(Download *download, const QString &suggestedName, const QString &folder,
                              DownloadWindow *progress)
{
    const QString name = suggestedName.isEmpty() ? download->serverFileName() : suggestedName;
    progress->setChoosing(true);
    const QPointer<Download> alive(download);
    const QPointer<DownloadWindow> shown(progress);
    const QString chosen = m_desktop.chooseSavePath(progress->isVisible() ? progress : window(),
                                                    QDir(folder).filePath(name));
    if (!alive || !shown)
        return; // the program is ending
    progress->setChoosing(false);
    if (chosen.isEmpty()) {
        // Cancelled: as if the button had never been pressed.
        download->stop();
        progress->close();
        return;
    }
    // Named before the file is opened, so that a failure names the file it is about.
    progress->showTarget(chosen);
    download->saveTo(chosen);
}

QString Downloader::defaultFolder()
{
    for (const auto location : {QStandardPaths::MusicLocation, QStandardPaths::DownloadLocation}) {
        const QString folder = QStandardPaths::writableLocation(location);
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    return QDir::homePath();
}

int Downloader::running() const
{
    int count = 0;
    for (const Download *download : findChildren<Download *>(Qt::FindDirectChildrenOnly))
        count += download->hasEnded() ? 0 : 1;
    return count;
}

} // namespace corvane::widgets
