#pragma once

#include <QWidget>

#include "core/songtags.h"

namespace corvane::desktop {
class Desktop;
}

namespace corvane::widgets {

// The embedded browser, as far as the tool uses it: handed an http or https address,
// it downloads it as a browser would. It asks where to save, shows a small progress
// window of its own and writes the file whole or not at all: an existing file it replaces
// stays untouched until the new one is complete, and a failed or cancelled download
// leaves nothing behind. Anything but an http(s) address is ignored.
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
    // server gives the file. With `tags`, a completed MP3 gets them written into it (see
    // copyWithTags) before it appears under its name.
    void Navigate(const QString &address, const QString &suggestedName = QString(),
                  const SongTags &tags = {});

    // The folder the save dialog opens in: the last one saved to, else the user's music
    // folder, else the downloads folder, else home.
    QString saveFolder() const;

signals:
    // A download of `address` ended: `path` is the final file when `ok`. A cancelled save
    // dialog ends one too, with nothing written and no window left open.
    void downloadEnded(const QString &path, bool ok, const QString &message, const QString &address);

private:
    desktop::Desktop &m_desktop;
    bool m_silent = false;
    QString m_lastFolder;
};

} // namespace corvane::widgets
