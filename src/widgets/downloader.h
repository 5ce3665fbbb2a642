#pragma once

#include <optional>

#include <QWidget>

#include "core/download.h"
#include "core/kuwoquality.h"
#include "core/serviceconfig.h"

namespace corvane::desktop {
class Desktop;
}

namespace corvane::widgets {

class DownloadWindow;

// The song a link belongs to, so that the save dialog can offer its other qualities.
struct SongQualities
{
    ServiceConfig config;
    QString rid;
    QList<OfferedFile> offered; // empty: nothing says
    qint64 duration = 0;
    Quality fileType = Quality::Mp3_128; // the entry the dialog opens on
};

// The embedded browser, as far as the tool uses it: the window's entry point for a
// download. Handed an http or https address, it starts a Download of it, asks where to
// save once the server answers with a file, and shows the transfer in a progress window
// of its own. Anything but an http(s) address is ignored. It draws nothing itself.
class Downloader final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Downloader)

public:
    // `desktop` asks where to save; it must outlive the downloader.
    explicit Downloader(desktop::Desktop &desktop, QWidget *parent = nullptr);
    ~Downloader() override;

    bool Silent() const { return m_silent; }
    // Silent: failures show inside the progress window only, never as separate dialogs.
    void setSilent(bool silent) { m_silent = silent; }
    // `suggestedName`, when given, is offered in the save dialog instead of the name the
    // server gives the file; `song` is what the saved file carries besides the audio. The
    // dialog opens in `folder` (defaultFolder() when empty). With `qualities`, the dialog's
    // file types are the three qualities ("标准 MP3 128k (*.mp3)" first: the link itself,
    // saved as it is); another one chosen fetches that quality of the song instead
    // (QualityDownload), saved under the chosen name with its real extension.
    void Navigate(const QString &address, const QString &suggestedName = QString(), const DownloadSong &song = {},
                  const QString &folder = QString(), std::optional<SongQualities> qualities = std::nullopt);

    // Where a save dialog opens when the user has saved nowhere yet: the music folder,
    // else the downloads folder, else home; never the working folder.
    static QString defaultFolder();
    // The downloads not yet ended.
    int running() const;

signals:
    // A download of `address` ended: `path` is the final file when `ok`. A cancelled save
    // dialog ends one too, with nothing written and no window left open.
    void downloadEnded(const QString &path, bool ok, const QString &message, const QString &address);
    // The save dialog was accepted with the file type of `quality`.
    void qualityChosen(corvane::Quality quality);

private:
    void chooseTarget(Download *download, const QString &suggestedName, const QString &folder,
                      DownloadWindow *progress, const std::optional<SongQualities> &qualities);
    // Instead of `download` (the link's 128k MP3, answered), the song in `quality`.
    void fetchQuality(Download *download, const QString &chosen, Quality quality, const SongQualities &qualities,
                      DownloadWindow *progress);

    desktop::Desktop &m_desktop;
    bool m_silent = false;
};

} // namespace corvane::widgets
