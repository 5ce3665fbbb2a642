#include "downloadwindow.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "desktop/desktop.h"
#include "elidinglabel.h"

using namespace Qt::StringLiterals;

namespace corvane::widgets {
namespace {

// Progress arrives for every chunk; redrawing the window that often slows the transfer.
constexpr qint64 kProgressIntervalMs = 100;
// A server this slow to answer gets the progress window before the save dialog, so the
// click visibly did something.
constexpr int kShowConnectingAfterMs = 500;

// A size in the window's language: 字节 below a kilobyte, then KB and MB (of 1024).
QString sizeText(qint64 bytes)
{
    if (bytes < 1024)
        return u"%1 字节"_s.arg(bytes);
    if (bytes < 1024 * 1024)
        return u"%1 KB"_s.arg(double(bytes) / 1024, 0, 'f', 1);
    return u"%1 MB"_s.arg(double(bytes) / (1024 * 1024), 0, 'f', 2);
}

} // namespace

DownloadWindow::DownloadWindow(Download &download, desktop::Desktop &desktop, const QString &name, bool silent,
                               QWidget *parent)
    : QDialog(parent), m_download(&download), m_desktop(desktop), m_silent(silent), m_name(new ElidingLabel(Qt::ElideMiddle, this)),
      m_bar(new QProgressBar(this)), m_detail(new QLabel(this)), m_button(new QPushButton(u"取消"_s, this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(u"下载"_s);
    setModal(false);
    // Names come from the server: never rich text, which would load files it names.
    m_detail->setTextFormat(Qt::PlainText);
    m_name->setFullText(name);
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
    // As wide as it starts, whatever the names and errors it is given.
    setFixedWidth(360);
    m_detail->setWordWrap(true);
    connect(m_button, &QPushButton::clicked, this, &QDialog::close);
    connect(&download, &Download::progress, this, &DownloadWindow::onProgress);
    connect(&download, &Download::ended, this, &DownloadWindow::onEnded);
    m_clock.start();
    QTimer::singleShot(kShowConnectingAfterMs, this, [this] {
        if (m_download && m_download->state() == Download::State::Connecting)
            show();
    });
}

void DownloadWindow::showTarget(const QString &path)
{
    m_name->setFullText(QFileInfo(path).fileName());
    show();
}

void DownloadWindow::follow(QualityDownload &download, Quality chosen)
{
    if (m_download)
        m_download->disconnect(this);
    m_download = nullptr;
    m_quality = &download;
    m_chosen = chosen;
    m_bar->setRange(0, 0);
    m_detail->setText(u"正在获取%1…"_s.arg(qualityName(chosen)));
    connect(&download, &QualityDownload::progress, this, &DownloadWindow::onProgress);
    connect(&download, &QualityDownload::ended, this, &DownloadWindow::onEnded);
}

void DownloadWindow::closeEvent(QCloseEvent *event)
{
    if (m_choosing) {
        event->ignore();
        return;
    }
    // Closed before the end: the download stops, and its end is not shown any more.
    if (m_download) {
        m_download->disconnect(this);
        m_download->stop();
    }
    if (m_quality) {
        m_quality->disconnect(this);
        m_quality->stop();
    }
    QDialog::closeEvent(event);
}

void DownloadWindow::onProgress(qint64 received, qint64 total)
{
    if (m_lastProgress.isValid() && m_lastProgress.elapsed() < kProgressIntervalMs && received != total)
        return;
    m_lastProgress.start();
    const double seconds = qMax<qint64>(1, m_clock.elapsed()) / 1000.0;
    QString text = sizeText(received);
    if (total > 0) {
        text += u" / "_s + sizeText(total);
        m_bar->setRange(0, 1000);
        m_bar->setValue(int(received * 1000 / total));
    }
    text += u"，"_s + sizeText(qint64(received / seconds)) + u"/s"_s;
    m_detail->setText(text);
}

void DownloadWindow::onEnded(Download::State state, const QString &message)
{
    m_button->setText(u"关闭"_s);
    m_bar->setRange(0, 1);
    if (state == Download::State::Saved) {
        m_bar->setValue(1);
        const QString path = m_quality ? m_quality->path() : m_download ? m_download->path() : QString();
        QString text = u"下载完成: "_s + sizeText(QFileInfo(path).size());
        if (m_quality) {
            // Which quality it is, and that it is less than chosen when it is.
            const Quality got = m_quality->quality();
            text += got < m_chosen ? u"，%1不可用，已保存 %2"_s.arg(qualityShortName(m_chosen), qualityShortName(got))
                                   : u"，已保存 %1"_s.arg(qualityName(got));
            m_name->setFullText(QFileInfo(path).fileName());
        }
        m_detail->setText(text);
        return;
    }
    m_bar->setValue(0);
    m_detail->setText(message);
    // A message naming a long path takes two lines: the window grows to show them.
    adjustSize();
    if (state == Download::State::Failed) {
        show();
        if (!m_silent)
            m_desktop.showMessage(this, message, desktop::MessageStyle::Warning);
    }
}

} // namespace corvane::widgets
