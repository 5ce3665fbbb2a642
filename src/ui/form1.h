#pragma once

#include <functional>

#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;

namespace corvane::desktop {
class Desktop;
}
namespace corvane::widgets {
class AddressEdit;
class AlphaImage;
class Downloader;
class ElidingLabel;
class MediaPlayer;
} // namespace corvane::widgets

namespace corvane::ui {

// The main window: it shows and reports. Each control keeps its design name as its
// object name; positions and sizes are the design's twips / 15. What a click means is
// decided outside the window: each handler hands over at once to the command connected
// to its signal.
class Form1 final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    // `desktop` asks where a download goes; it must outlive the window.
    explicit Form1(desktop::Desktop &desktop, QWidget *parent = nullptr);
    ~Form1() override;

    // The address box (Text1) and the resolve button (Command1).
    QString address() const;
    void setAddress(const QString &address);
    void setAddressEnabled(bool enabled);
    bool isAddressEnabled() const;
    void setResolveEnabled(bool enabled);
    // Where the address box and the resolve button are on the screen: what another window
    // must leave in view.
    QRect addressArea() const;

    // A song's results, each in its control.
    void showNames(const QString &songName, const QString &singerName);
    void showLink(const QString &link);
    QString link() const;
    void showLyrics(const QString &lyrics);
    // A null picture clears the portrait.
    void showPicture(const QImage &picture);

    // Panel 2 of the status bar: progress and outcome texts, each replacing the last.
    void setStatusText(const QString &text);
    QString statusText() const;

    // The player bar plays `link`, naming it `title` (empty: the file name).
    void preview(const QString &link, const QString &title);
    void setPlayerVolume(int volume);
    // The embedded browser (WebBrowser1), which downloads what it is handed.
    widgets::Downloader &webBrowser() const;
    // Silent downloads show no script error dialogs.
    void setDownloadsSilent(bool silent);

    // Asked on every close request; true lets the close go ahead. Without one, every
    // close goes ahead.
    void setCloseQuery(std::function<bool()> query) { m_closeQuery = std::move(query); }

signals:
    void resolveRequested();
    void copyRequested();
    void previewRequested();
    void downloadRequested();
    void kuwoHomeRequested();
    void forumRequested();
    void homeRequested();
    void recommendRequested();
    void pasteRequested();
    // The close went ahead: the window is gone for good, and nothing waits to show in it.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // The handlers the controls' events reach, by their design names.
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void Text1_DblClick();

    void buildLayout();
    void setCaption(widgets::ElidingLabel *label, const QString &caption);

    desktop::Desktop &m_desktop;

    // The controls, by their design names.
    QPushButton *Command1, *Command2, *Command3, *Command4, *Command5, *Command6, *Command7, *Command8,
        *Command9;
    widgets::AddressEdit *Text1;
    QLineEdit *Text2;
    QPlainTextEdit *Text3;
    widgets::ElidingLabel *Label1, *Label2;
    QGroupBox *Frame1, *Frame2, *Frame3;
    QLabel *Image1;
    widgets::AlphaImage *aicAlphaImage1; // the round frame drawn over the singer's picture
    QStatusBar *S1;                      // the status bar: Panel2 carries progress and outcome
    QLabel *Panel1, *Panel2, *Panel3;
    widgets::MediaPlayer *W1;         // the embedded player bar that previews the link
    widgets::Downloader *WebBrowser1; // the hidden embedded browser that downloads the link

    std::function<bool()> m_closeQuery;
    bool m_closed = false;
    bool m_centred = false;
};

} // namespace corvane::ui
