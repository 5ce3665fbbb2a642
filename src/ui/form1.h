#pragma once

#include <functional>

#include <QWidget>

#include "core/serviceconfig.h"
#include "core/songresolver.h"

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
class AlphaImage;
class Downloader;
class MediaPlayer;
} // namespace corvane::widgets

namespace corvane::ui {

class AddressEdit;

// The main window. Its controls keep their design names (object names too); positions
// and sizes are the design's twips / 15.
class Form1 final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    // `desktop` shows the boxes, opens the pages and asks where to save; it must outlive
    // the window.
    Form1(ServiceConfig config, desktop::Desktop &desktop, QWidget *parent = nullptr);
    ~Form1() override;

    // Panel 2 of the status bar: progress and outcome texts, each replacing the last.
    void setStatusText(const QString &text);
    QString statusText() const;

    // Asked on every close request; true lets the close go ahead. Without one, every
    // close goes ahead.
    void setCloseQuery(std::function<bool()> query) { m_closeQuery = std::move(query); }
    // The window has been closed for good: waiting commands wind up without touching it.
    bool isClosed() const { return m_closed; }

    const ServiceConfig &config() const { return m_config; }
    desktop::Desktop &desktop() const { return m_desktop; }

    // The controls, by their design names.
    QPushButton *Command1, *Command2, *Command3, *Command4, *Command5, *Command6, *Command7, *Command8,
        *Command9;
    AddressEdit *Text1;
    QLineEdit *Text2;
    QPlainTextEdit *Text3;
    QLabel *Label1, *Label2;
    QGroupBox *Frame1, *Frame2, *Frame3;
    QLabel *Image1;
    widgets::AlphaImage *aicAlphaImage1; // the round frame drawn over the singer's picture
    QStatusBar *S1;                      // the status bar: Panel2 carries progress and outcome
    QLabel *Panel1, *Panel2, *Panel3;
    widgets::MediaPlayer *W1;         // the embedded player bar that previews the link
    widgets::Downloader *WebBrowser1; // the hidden embedded browser that downloads the link

    // The command handlers, as the controls' events run them.
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

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    class Reports;

    void buildLayout();
    // Whether `link` is the one the last link conversion delivered: then m_linkSong names its song.
    bool isLinkOfLastSong(const QString &link) const;
    void setCaption(QLabel *label, const QString &caption);

    ServiceConfig m_config;
    desktop::Desktop &m_desktop;
    SongInfo m_song;
    struct LinkSong
    {
        QString link, singer, name;
    } m_linkSong;
    std::function<bool()> m_closeQuery;
    bool m_closed = false;
    bool m_centred = false;
};

} // namespace corvane::ui
