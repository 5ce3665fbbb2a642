#include "downloader.h"

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

#include "core/httpfetch.h"

using namespace Qt::StringLiterals;

namespace corvane::platform {
namespace {

// The reply buffers at most this much while the file is not being written (the save
// dialog is open): the rest waits in the socket, so memory stays constant.
constexpr qint64 kReadBufferBytes = 1024 * 1024;
// Progress arrives for every chunk; redrawing the window that often slows the transfer.
constexpr qint64 kProgressIntervalMs = 100;

Downloader::SaveChooser &saveChooser()
{
    static Downloader::SaveChooser chooser;
    return chooser;
}

QString chooseSavePath(QWidget *parent, const QString &suggested)
{
    if (saveChooser())
        return saveChooser()(parent, suggested);
    return QFileDialog::getSaveFileName(parent, u"保存文件"_s, suggested);
}

QString sanitizedFileName(QString name)
{
    name = QFileInfo(name.replace(u'\\', u'/')).fileName();
    name.remove(QRegularExpression(u"[\\x00-\\x1f]"_s));
    if (name == u"."_s || name == u".."_s)
        name.clear();
    return name.trimmed();
}

// One download and its progress window. It deletes itself when closed.
class DownloadWindow final : public QDialog
{
public:
    DownloadWindow(Downloader *owner, const QUrl &url, bool silent)
        : QDialog(owner->window()), m_owner(owner), m_silent(silent), m_name(new QLabel(this)),
          m_bar(new QProgressBar(this)), m_detail(new QLabel(this)),
          m_button(new QPushButton(u"取消"_s, this))
    {
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowTitle(u"下载"_s);
        setModal(false);
        m_name->setText(url.fileName().isEmpty() ? url.toString() : url.fileName());
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

        QNetworkRequest request(url);
        m_reply = networkAccessManager().get(request);
        m_reply->setParent(this);
        m_reply->setReadBufferSize(kReadBufferBytes);
        connect(m_reply, &QNetworkReply::metaDataChanged, this, &DownloadWindow::onMetaData);
        connect(m_reply, &QNetworkReply::readyRead, this, &DownloadWindow::drain);
        connect(m_reply, &QNetworkReply::downloadProgress, this, &DownloadWindow::onProgress);
        connect(m_reply, &QNetworkReply::finished, this, &DownloadWindow::onFinished);
        m_clock.start();
    }

    ~DownloadWindow() override
    {
        // The program is ending mid-download: no half-written file stays behind.
        if (m_state < Done) {
            m_reply->disconnect(this);
            m_reply->abort();
            m_part.close();
            if (!m_part.fileName().isEmpty())
                m_part.remove();
        }
    }

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (m_state == Choosing || m_state == Connecting || m_state == Writing)
            fail(u"下载已取消"_s, /*cancelled=*/true);
        QDialog::closeEvent(event);
    }

private:
    enum State { Connecting, Choosing, Writing, Done, Failed };

    void onMetaData()
    {
        if (m_state != Connecting)
            return;
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status >= 300 && status < 400)
            return; // a redirect being followed
        if (status != 0 && (status < 200 || status >= 300)) {
            fail(u"服务器拒绝了下载 (HTTP %1)"_s.arg(status));
            return;
        }
        m_state = Choosing;
        QString name = Downloader::suggestedFileName(
            m_reply->url().toString(), m_reply->rawHeader(QByteArrayLiteral("Content-Disposition")));
        QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
        if (folder.isEmpty())
            folder = QDir::homePath();
        const QPointer<DownloadWindow> self(this);
        const QString chosen = chooseSavePath(this, QDir(folder).filePath(name));
        if (!self || m_state != Choosing)
            return; // cancelled or closed while the dialog was open
        if (chosen.isEmpty()) {
            fail(u"下载已取消"_s, true);
            return;
        }
        m_target = chosen;
        m_part.setFileName(chosen + u".part"_s);
        if (!m_part.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            fail(u"无法写入 %1"_s.arg(QDir::toNativeSeparators(m_part.fileName())));
            return;
        }
        m_name->setText(QFileInfo(chosen).fileName());
        m_state = Writing;
        drain();
        if (m_replyFinished)
            onFinished();
    }

    void drain()
    {
        if (m_state != Writing)
            return;
        while (m_reply->bytesAvailable() > 0) {
            const QByteArray chunk = m_reply->read(kReadBufferBytes);
            if (m_part.write(chunk) != chunk.size()) {
                fail(u"写入文件失败: %1"_s.arg(m_part.errorString()));
                return;
            }
        }
    }

    void onProgress(qint64 received, qint64 total)
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

    void onFinished()
    {
        m_replyFinished = true;
        if (m_state == Connecting)
            onMetaData(); // a reply with no headers of its own, or one that failed at once
        if (m_state != Writing)
            return;
        drain();
        if (m_state != Writing)
            return;
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (m_reply->error() != QNetworkReply::NoError) {
            fail(u"下载失败: %1"_s.arg(m_reply->errorString()));
            return;
        }
        if (status != 0 && (status < 200 || status >= 300)) {
            fail(u"服务器拒绝了下载 (HTTP %1)"_s.arg(status));
            return;
        }
        if (!m_part.flush()) {
            fail(u"写入文件失败: %1"_s.arg(m_part.errorString()));
            return;
        }
        m_part.close();
        if (QFile::exists(m_target))
            QFile::remove(m_target); // the user agreed to replace it in the save dialog
        if (!m_part.rename(m_target)) {
            fail(u"无法保存为 %1"_s.arg(QDir::toNativeSeparators(m_target)));
            return;
        }
        m_state = Done;
        m_bar->setRange(0, 1);
        m_bar->setValue(1);
        m_detail->setText(u"下载完成: "_s + QLocale().formattedDataSize(QFileInfo(m_target).size()));
        m_button->setText(u"关闭"_s);
        if (m_owner)
            emit m_owner->downloadEnded(m_target, true, m_detail->text());
    }

    void fail(const QString &message, bool cancelled = false)
    {
        if (m_state == Done || m_state == Failed)
            return;
        m_state = Failed;
        m_reply->abort();
        if (m_part.isOpen())
            m_part.close();
        if (!m_part.fileName().isEmpty())
            m_part.remove();
        m_bar->setRange(0, 1);
        m_bar->setValue(0);
        m_detail->setText(message);
        m_button->setText(u"关闭"_s);
        if (!cancelled && !m_silent)
            QMessageBox::warning(this, u"下载"_s, message);
        if (m_owner)
            emit m_owner->downloadEnded(QString(), false, message);
    }

    QPointer<Downloader> m_owner;
    bool m_silent;
    QLabel *m_name;
    QProgressBar *m_bar;
    QLabel *m_detail;
    QPushButton *m_button;
    QNetworkReply *m_reply = nullptr;
    QFile m_part;
    QString m_target;
    QElapsedTimer m_clock;
    QElapsedTimer m_lastProgress;
    State m_state = Connecting;
    bool m_replyFinished = false;
};

} // namespace

Downloader::Downloader(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

Downloader::~Downloader() = default;

void Downloader::Navigate(const QString &address)
{
    const QUrl url = acceptedHttpUrl(address);
    if (!url.isValid())
        return;
    auto *window = new DownloadWindow(this, url, m_silent);
    window->show();
}

void Downloader::setSaveChooser(SaveChooser chooser)
{
    saveChooser() = std::move(chooser);
}

QString Downloader::suggestedFileName(const QString &address, const QByteArray &contentDisposition)
{
    // RFC 6266: filename* (percent-encoded UTF-8) wins over filename.
    static const QRegularExpression extended(u"filename\\*\\s*=\\s*(?:UTF-8|utf-8)''([^;]+)"_s);
    static const QRegularExpression plain(u"filename\\s*=\\s*(?:\"([^\"]*)\"|([^;]+))"_s);
    const QString header = QString::fromLatin1(contentDisposition);
    QString name;
    if (const auto match = extended.match(header); match.hasMatch()) {
        name = QUrl::fromPercentEncoding(match.captured(1).trimmed().toLatin1());
    } else if (const auto simple = plain.match(header); simple.hasMatch()) {
        const QString raw = simple.captured(1).isEmpty() ? simple.captured(2).trimmed() : simple.captured(1);
        name = QString::fromUtf8(raw.toLatin1());
    }
    name = sanitizedFileName(name);
    if (name.isEmpty())
        name = sanitizedFileName(QUrl(address).fileName());
    return name.isEmpty() ? u"download"_s : name;
}

} // namespace corvane::platform
