#pragma once

#include <functional>

#include <QWidget>

namespace corvane::platform {

// The embedded browser, as far as the tool uses it: handed an http or https address,
// it downloads it as a browser would. It asks where to save, shows a small progress
// window of its own, streams into "<name>.part" and renames that when complete; a failed
// or cancelled download leaves nothing under the final name. Anything else is ignored.
class Downloader final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Downloader)

public:
    // Given the suggested path, returns where to save, or empty to cancel.
    using SaveChooser = std::function<QString(QWidget *parent, const QString &suggestedPath)>;

    explicit Downloader(QWidget *parent = nullptr);
    ~Downloader() override;

    bool Silent() const { return m_silent; }
    // Silent: failures show inside the progress window only, never as separate dialogs.
    void setSilent(bool silent) { m_silent = silent; }
    void Navigate(const QString &address);

    // For tests: choose without a dialog. An empty chooser restores the dialog.
    static void setSaveChooser(SaveChooser chooser);
    // The file name a download of `address` would suggest, given its Content-Disposition.
    static QString suggestedFileName(const QString &address, const QByteArray &contentDisposition);

signals:
    // A download ended: `path` is the final file when `ok`.
    void downloadEnded(const QString &path, bool ok, const QString &message);

private:
    bool m_silent = false;
};

} // namespace corvane::platform
