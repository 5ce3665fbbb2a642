#include "downloadwindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "core/downloaderrors.h"
#include "core/filename.h"
#include "core/httpfetch.h"
#include "desktop/desktop.h"
#include "downloader.h"

using namespace Qt::StringLiterals;

namespace corvane::widgets {
namespace {

// The reply buffers at most this much while the file is not being written (the save
// dialog is open): the rest waits in the socket, so memory stays constant.
constexpr qint64 kReadBufferBytes = 1024 * 1024;
// Progress arrives for every chunk; redrawing the window that often slows the transfer.
constexpr qint64 kProgressIntervalMs = 100;
// A server this slow to answer gets the progress window before the save dialog, so the
// click visibly did something.
constexpr int kShowConnectingAfterMs = 500;

} // namespace

DownloadWindow::DownloadWindow(Downloader *owner, desktop::Desktop &desktop, const QString &address,
                               const QUrl &url, const QString &suggestedName, const SongTags &tags)
    : QDialog(owner->window()), m_owner(owner), m_desktop(desktop), m_silent(owner->Silent()),
      m_address(address), m_suggestedName(suggestedName), m_tags(tags), m_name(new QLabel(this)),
      m_bar(new QProgressBar(this)), m_detail(new QLabel(this)), m_button(new QPushButton(u"取消"_s, this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(u"下载"_s);
    setModal(false);
    // Names come from the server: never rich text, which would load files it names.
    m_name->setTextFormat(Qt::PlainText);
    m_detail->setTextFormat(Qt::PlainText);
    m_name->setText(suggestedName.isEmpty() ? (url.fileName().isEmpty() ? url.toString() : url.fileName())
                                            : suggestedName);
    m_name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_bar->setRange(0, 0);
    m_detail->setText(u"正在连接…"_s);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_name);
    layout->addWidget(m_bar);
    layout->addWidget(m_detail);
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(m_button);
    layout->addLayout(row);
    setMinimumWidth(360);
    connect(m_button, &QPushButton::clicked, this, &QDialog::close);

    m_reply = networkAccessManager().get(QNetworkRequest(url));
    m_reply->setParent(this);
    m_reply->setReadBufferSize(kReadBufferBytes);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &DownloadWindow::onMetaData);
    connect(m_reply, &QNetworkReply::readyRead, this, &DownloadWindow::drain);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &DownloadWindow::onProgress);
    connect(m_reply, &QNetworkReply::finished, this, &DownloadWindow::onFinished);
    m_clock.start();
    QTimer::singleShot(kShowConnectingAfterMs, this, [this] {
        if (m_state == Connecting)
            show();
    });
}

DownloadWindow::~DownloadWindow()
{
    // The program is ending mid-download: the reply stops, and the unfinished file
    // goes with the QSaveFile that is never committed.
    if (m_state < Done && !m_stopped) {
        m_reply->disconnect(this);
        if (!m_reply->isFinished())
            m_reply->abort();
    }
}

void DownloadWindow::closeEvent(QCloseEvent *event)
{
    if (m_state == Choosing) {
        // The save dialog is still open over this window: it decides.
        event->ignore();
        return;
    }
    if (m_state == Connecting || m_state == Writing)
        fail(u"下载已取消"_s, /*cancelled=*/true);
    QDialog::closeEvent(event);
}

int DownloadWindow::status() const
{
    return m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

// Each reply is stopped once, and not from inside its own signal: aborting a reply
// while it reports an error status makes it report twice ("Internal problem").
void DownloadWindow::stopReply()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_reply->disconnect(this);
    QTimer::singleShot(0, m_reply, [reply = m_reply] {
        if (!reply->isFinished())
            reply->abort();
    });
}

void DownloadWindow::onMetaData()
{
    if (m_state != Connecting)
        return;
    if (status() >= 300 && status() < 400)
        return; // a redirect being followed
    if (status() != 0 && (status() < 200 || status() >= 300)) {
        fail(describeNetworkError(m_reply->error(), status()));
        return;
    }
    if (m_reply->isFinished() && m_reply->error() != QNetworkReply::NoError) {
        fail(describeNetworkError(m_reply->error(), status()));
        return;
    }
    if (!m_owner) { // the main window is going away
        fail(u"下载已取消"_s, /*cancelled=*/true);
        return;
    }
    m_state = Choosing;
    const QString name =
        m_suggestedName.isEmpty()
            ? suggestedDownloadName(m_reply->url().toString(),
                                    m_reply->rawHeader(QByteArrayLiteral("Content-Disposition")))
            : m_suggestedName;
    const QString folder = m_owner->saveFolder();
    const QString chosen =
        m_desktop.chooseSavePath(isVisible() ? this : parentWidget(), QDir(folder).filePath(name));
    if (chosen.isEmpty()) {
        // Cancelled: as if the button had never been pressed.
        fail(u"下载已取消"_s, /*cancelled=*/true);
        close();
        return;
    }
    m_target = chosen;
    // Named before the file is opened, so that a failure names the file it is about.
    m_name->setText(QFileInfo(chosen).fileName());
    m_file.setFileName(chosen);
    if (!m_file.open(QIODevice::WriteOnly)) {
        fail(describeFileError(m_file.error(), chosen));
        return;
    }
    if (!m_tags.isEmpty()) {
        // The tag goes before the audio and depends on the file's own: the download
        // waits beside the target until it is whole, then goes into it with its tag.
        m_part.setFileTemplate(chosen + u".XXXXXX.part"_s);
        if (!m_part.open()) {
            fail(describeFileError(m_part.error(), chosen));
            return;
        }
        m_sink = &m_part;
    }
    m_state = Writing;
    show();
    drain();
    if (m_replyFinished)
        onFinished();
}

void DownloadWindow::drain()
{
    if (m_state != Writing)
        return;
    while (m_reply->bytesAvailable() > 0) {
        const QByteArray chunk = m_reply->read(kReadBufferBytes);
        if (m_sink->write(chunk) != chunk.size()) {
            fail(describeFileError(m_sink->error(), m_target));
            return;
        }
    }
}

void DownloadWindow::onProgress(qint64 received, qint64 total)
{
    if (m_state >= Done)
        return;
    if (m_lastProgress.isValid() && m_lastProgress.elapsed() < kProgressIntervalMs && received != total)
        return;
    m_lastProgress.start();
    const QLocale locale;
    const double seconds = qMax<qint64>(1, m_clock.elapsed()) / 1000.0;
    QString text = locale.formattedDataSize(received);
    if (total > 0) {
        text += u" / "_s + locale.formattedDataSize(total);
        m_bar->setRange(0, 1000);
        m_bar->setValue(int(received * 1000 / total));
    }
    text += u"，"_s + locale.formattedDataSize(qint64(received / seconds)) + u"/s"_s;
    m_detail->setText(text);
}

void DownloadWindow::onFinished()
{
    m_replyFinished = true;
    if (m_state == Connecting)
        onMetaData(); // a reply with no headers of its own, or one that failed at once
    if (m_state != Writing)
        return;
    drain();
    if (m_state != Writing)
        return;
    if (m_reply->error() != QNetworkReply::NoError ||
        (status() != 0 && (status() < 200 || status() >= 300))) {
        fail(describeNetworkError(m_reply->error(), status()));
        return;
    }
    if (m_sink == &m_part && !finishTagged())
        return;
    // Replaces an existing file in one step, and only now that the new one is whole.
    if (!m_file.commit()) {
        fail(describeFileError(m_file.error(), m_target));
        return;
    }
    m_state = Done;
    m_stopped = true;
    m_bar->setRange(0, 1);
    m_bar->setValue(1);
    m_detail->setText(u"下载完成: "_s + QLocale().formattedDataSize(QFileInfo(m_target).size()));
    m_button->setText(u"关闭"_s);
    emit ended(m_target, true, m_detail->text(), m_address);
}

// The whole download, tagged when it is MPEG audio, into the file that is committed.
bool DownloadWindow::finishTagged()
{
    if (!m_part.flush() || !m_part.seek(0)) {
        fail(describeFileError(m_part.error(), m_target));
        return false;
    }
    if (copyWithTags(m_part, m_file, m_tags) == TagOutcome::Failed) {
        const bool writing = m_file.error() != QFileDevice::NoError;
        fail(describeFileError(writing ? m_file.error() : m_part.error(), m_target));
        return false;
    }
    m_part.remove();
    return true;
}

void DownloadWindow::fail(const QString &message, bool cancelled)
{
    if (m_state == Done || m_state == Failed)
        return;
    m_state = Failed;
    stopReply();
    m_file.cancelWriting();
    if (m_file.isOpen())
        m_file.commit(); // after cancelWriting: closes and removes the unfinished file
    if (m_part.isOpen())
        m_part.remove();
    m_bar->setRange(0, 1);
    m_bar->setValue(0);
    m_detail->setText(message);
    m_button->setText(u"关闭"_s);
    if (!cancelled) {
        show();
        if (!m_silent && m_owner)
            m_desktop.showMessage(this, message, desktop::MessageStyle::Warning);
    }
    emit ended(QString(), false, message, m_address);
}

} // namespace corvane::widgets
