#include "downloader.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include "core/httpfetch.h"
#include "downloadwindow.h"

using namespace Qt::StringLiterals;

namespace corvane::widgets {

Downloader::Downloader(desktop::Desktop &desktop, QWidget *parent) : QWidget(parent), m_desktop(desktop)
{
    setFocusPolicy(Qt::NoFocus);
}

Downloader::~Downloader() = default;

void Downloader::Navigate(const QString &address, const QString &suggestedName, const SongTags &tags)
{
    const QUrl url = acceptedHttpUrl(address);
    if (!url.isValid())
        return;
    auto *window = new DownloadWindow(this, m_desktop, address, url, suggestedName, tags);
    connect(window, &DownloadWindow::ended, this,
            [this](const QString &path, bool ok, const QString &message, const QString &from) {
                // Only a folder a download was saved into is remembered.
                if (ok)
                    m_lastFolder = QFileInfo(path).absolutePath();
                emit downloadEnded(path, ok, message, from);
            });
}

QString Downloader::saveFolder() const
{
    if (!m_lastFolder.isEmpty() && QFileInfo(m_lastFolder).isDir())
        return m_lastFolder;
    for (const auto location : {QStandardPaths::MusicLocation, QStandardPaths::DownloadLocation}) {
        const QString folder = QStandardPaths::writableLocation(location);
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    return QDir::homePath();
}

} // namespace corvane::widgets
