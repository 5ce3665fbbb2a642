#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>

#include "core/download.h"
#include "core/qualitydownload.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace corvane::desktop {
class Desktop;
}

namespace corvane::widgets {

class ElidingLabel;

// The progress window of one download: it shows what the download reports and stops it
// when closed before the end; it deletes itself when closed. It appears when the file
// is being written, or early when the server is slow to answer.
class DownloadWindow final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadWindow)

public:
    // `name`: what the download is of, until its file is chosen. With `silent`, failures
    // show inside this window only, never as a separate box.
    DownloadWindow(Download &download, desktop::Desktop &desktop, const QString &name, bool silent,
                   QWidget *parent);

    // The save dialog is open over this window: it decides, so a close waits for it.
    void setChoosing(bool choosing) { m_choosing = choosing; }
    // The file is chosen: named, and the window shows the transfer.
    void showTarget(const QString &path);
    // From now on the window shows `download` (of the quality `chosen` in the save dialog),
    // which replaced the first download, and says which quality it saved.
    void follow(QualityDownload &download, Quality chosen);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void onProgress(qint64 received, qint64 total);
    void onEnded(Download::State state, const QString &message);

    QPointer<Download> m_download;
    QPointer<QualityDownload> m_quality;
    Quality m_chosen = Quality::Mp3_128;
    desktop::Desktop &m_desktop;
    bool m_silent;
    bool m_choosing = false;
    ElidingLabel *m_name;
    QProgressBar *m_bar;
    QLabel *m_detail;
    QPushButton *m_button;
    QElapsedTimer m_clock;
    QElapsedTimer m_lastProgress;
};

} // namespace corvane::widgets
