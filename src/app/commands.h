#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

#include <memory>

#include <QCoroTask>

#include "core/serviceconfig.h"
#include "core/songresolver.h"

namespace corvane::desktop {
class Desktop;
}
namespace corvane::ui {
class Form1;
}

namespace corvane::app {

// What the window's buttons do: resolving the address, copying, previewing and
// downloading the link, the web shortcuts and pasting. Connected to the window's
// signals and owned by it; every command catches its own errors, so none leaves into
// the event loop.
class Commands final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Commands)

public:
    ui::Form1 &form() const { return m_form; }
    const ServiceConfig &config() const { return m_config; }
    desktop::Desktop &desktop() const { return m_desktop; }

    void resolve();
    void copyLink();
    void preview();
    void download();
    void openKuwoHome();
    void openForum();
    void openHome();
    void recommend();
    void pasteAddress();

    // The window has closed, or the program is ending: what still waits winds up at its
    // next step without showing anything.
    void end();
    bool hasEnded() const { return m_ended; }

private:
    class Reports;
    friend std::unique_ptr<ui::Form1> makeWindow(ServiceConfig config, desktop::Desktop &desktop);

    Commands(ui::Form1 &form, ServiceConfig config, desktop::Desktop &desktop);

    QCoro::Task<> resolveSong();
    // A download was saved: its song's timed lyrics go beside it, when it has them.
    void saveLyricsBeside(const QString &link, const QString &path);

    // Whether `link` is the one the last link conversion delivered: then m_linkSong
    // names its song.
    bool isLinkOfLastSong(const QString &link) const;

    ui::Form1 &m_form;
    ServiceConfig m_config;
    desktop::Desktop &m_desktop;
    SongInfo m_song;
    // Lives as long as the running resolution is wanted.
    QPointer<QObject> m_resolution;
    bool m_ended = false;
    struct LinkSong
    {
        QString link, singer, name, album, timedLyrics, lyrics;
        QByteArray cover;
    } m_linkSong;
    // The timed lyrics of each link a download was started for.
    QHash<QString, QString> m_downloadLyrics;
};

// The window with its commands connected: made here alone, for the program, the tests
// and the benchmarks alike. The commands are the window's child. `desktop` shows the
// boxes and opens the pages; it must outlive the window.
std::unique_ptr<ui::Form1> makeWindow(ServiceConfig config, desktop::Desktop &desktop);
// The commands of a window that makeWindow made.
Commands &commandsOf(ui::Form1 &form);

} // namespace corvane::app
