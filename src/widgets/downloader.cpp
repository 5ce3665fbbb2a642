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
                          const QString &folder, std::optional<SongQualities> qualities)
{
    const QUrl url = acceptedHttpUrl(address);
    if (!url.isValid())
        return;
    auto *download = new Download(url, song, this);
    const QString name = suggestedName.isEmpty() ? (url.fileName().isEmpty() ? url.toString() : url.fileName())
                                                 : suggestedName;
    auto *progress = new DownloadWindow(*download, m_desktop, name, m_silent, window());
    // The save dialog opens from the event loop (Download's signals come from there).
    connect(download, &Download::answered, progress, [this, download, suggestedName, folder, progress, qualities] {
        chooseTarget(download, suggestedName, folder.isEmpty() ? defaultFolder() : folder, progress, qualities);
    });
    connect(download, &Download::ended, this, [this, download, address](Download::State state, const QString &message) {
        const bool ok = state == Download::State::Saved;
        download->deleteLater();
        emit downloadEnded(ok ? download->path() : QString(), ok, message, address);
    });
    download->start();
}

void Downloader::chooseTarget(Download *download, const QString &suggestedName, const QString &folder,
                              DownloadWindow *progress, const std::optional<SongQualities> &qualities)
{
    QString name = suggestedName.isEmpty() ? download->serverFileName() : suggestedName;
    QStringList fileTypes;
    int fileType = 0;
    if (qualities) {
        for (const Quality quality : kQualities)
            fileTypes << u"%1 (*.%2)"_s.arg(qualityName(quality), qualityFormat(quality));
        fileType = int(qualities->fileType);
        name = QFileInfo(name).completeBaseName() + u'.' + qualityFormat(qualities->fileType);
    }
    progress->setChoosing(true);
    const QPointer<Download> alive(download);
    const QPointer<DownloadWindow> shown(progress);
    const QString chosen = m_desktop.chooseSavePath(progress->isVisible() ? progress : window(),
                                                    QDir(folder).filePath(name), fileTypes, fileType);
    if (!alive || !shown)
        return; // the program is ending
    progress->setChoosing(false);
    if (chosen.isEmpty()) {
        // Cancelled: as if the button had never been pressed.
        download->stop();
        progress->close();
        return;
    }
    QString target = chosen;
    if (qualities) {
        const Quality quality = kQualities[qBound(0, fileType, int(std::size(kQualities)) - 1)];
        emit qualityChosen(quality);
        if (quality != Quality::Mp3_128) {
            fetchQuality(download, chosen, quality, *qualities, progress);
            return;
        }
        // The link is an MP3: never named ".flac", and a file of the name the dialog did
        // not ask about is never replaced.
        if (chosen.endsWith(u".flac"_s, Qt::CaseInsensitive)) {
            target = chosen.chopped(5) + u".mp3"_s;
            download->setKeepExisting(true);
        }
    }
    // Named before the file is opened, so that a failure names the file it is about.
    progress->showTarget(target);
    download->saveTo(target);
}

void Downloader::fetchQuality(Download *download, const QString &chosen, Quality quality,
                              const SongQualities &qualities, DownloadWindow *progress)
{
    // The link's download gives way, without a word: the song comes in the quality chosen,
    // or the best below it, the link last.
    download->disconnect(this);
    download->stop();
    download->deleteLater();
    const QString address = download->url().toString();
    const QFileInfo target(chosen);
    const QString stem = chosen.endsWith(u".mp3"_s, Qt::CaseInsensitive) || chosen.endsWith(u".flac"_s, Qt::CaseInsensitive)
                             ? target.dir().filePath(target.completeBaseName())
                             : chosen;
    auto *better = new QualityDownload(
        qualities.config, {qualities.rid, quality, qualities.offered, qualities.duration, address}, {}, this);
    better->setSong(download->song());
    progress->follow(*better, quality);
    progress->showTarget(chosen);
    connect(better, &QualityDownload::answered, progress, [better, stem, chosen] {
        // Named by what it is. The dialog asked before replacing the name chosen; a file
        // of another name (a lower quality's) is never replaced.
        const QString path = stem + u'.' + better->format();
        better->setKeepExisting(path != chosen);
        better->saveTo(path);
    });
    connect(better, &QualityDownload::ended, this, [this, better, address](Download::State state, const QString &message) {
        const bool ok = state == Download::State::Saved;
        better->deleteLater();
        emit downloadEnded(ok ? better->path() : QString(), ok, message, address);
    });
    better->start();
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
    for (const QualityDownload *download : findChildren<QualityDownload *>(Qt::FindDirectChildrenOnly))
        count += download->hasEnded() ? 0 : 1;
    return count;
}

} // namespace corvane::widgets
