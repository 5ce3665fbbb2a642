#pragma once

#include <QObject>
#include <QProcessEnvironment>

#include <memory>

#include <QCoroTask>

#include "core/httpfetch.h"
#include "core/kuwolists.h"
#include "core/lyricsgate.h"
#include "core/serviceconfig.h"
#include "core/songbatch.h"
#include "core/songresolver.h"
#include "desktop/settings.h"

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
    // The file names every list has given in each folder.
    const std::shared_ptr<FolderNames> &folderNames() const { return m_folderNames; }
    desktop::Desktop &desktop() const { return m_desktop; }
    // The user's own choices, kept across runs.
    desktop::Settings &settings() const { return *m_settings; }
    // Where the next save or folder dialog opens: the folder the user last saved into, a
    // song or a list, in this run or an earlier one, else Downloader::defaultFolder().
    QString saveFolder() const;
    // A folder songs were saved into: the next dialog opens there, in later runs too.
    void rememberFolder(const QString &folder);
    // The songs every list window's run still has to do (waiting or under way).
    int songsDownloading() const;
    // The one pace of the program's lyric requests, the main window's and every list's.
    LyricsGate &lyricsGate() { return m_lyricsGate; }

    void resolve();
    void copyLink();
    void preview();
    void download();
    void openKuwoHome();
    void openForum();
    void openHome();
    void recommend();
    void pasteAddress();
    // The song with this id of the service in the address box, resolved as if pasted
    // there; nothing while a resolution runs.
    void openSong(const QString &rid);

    // The window has closed, or the program is ending: every request still in flight is
    // aborted, and what awaited it ends before this returns, showing nothing.
    void end();
    bool hasEnded() const { return m_ended; }
    // The requests of everything the commands run, the start-up's version check too.
    Requests &requests() { return m_requests; }
    // The song whose link the link box shows, as its resolution reported it: the only
    // record of a song the commands keep. Null before the first link.
    std::shared_ptr<const SongInfo> linkSong() const { return m_linkSong; }

private:
    class Reports;
    friend std::unique_ptr<ui::Form1> makeWindow(ServiceConfig config, desktop::Desktop &desktop,
                                                 std::unique_ptr<desktop::Settings> settings);

    Commands(ui::Form1 &form, ServiceConfig config, desktop::Desktop &desktop,
             std::unique_ptr<desktop::Settings> settings);

    QCoro::Task<> resolveSong();
    // The list a pasted text names, when it names no song: opened in a window of its
    // own. Whether one opened; false: the resolution failed.
    enum class ListEnd { Opened, Empty, Failed };
    QCoro::Task<ListEnd> openSongList(SongListRequest request, Requests *requests);
    // The record of `link`'s song, when `link` is the one the link box was last given by
    // a resolution (the box can be edited): else null.
    const SongInfo *songOfLink(const QString &link) const;

    ui::Form1 &m_form;
    ServiceConfig m_config;
    const std::shared_ptr<FolderNames> m_folderNames = std::make_shared<FolderNames>();
    desktop::Desktop &m_desktop;
    const std::unique_ptr<desktop::Settings> m_settings;
    Requests m_requests{this};
    LyricsGate m_lyricsGate{this};
    std::shared_ptr<const SongInfo> m_linkSong;
    bool m_ended = false;
    bool m_resolving = false;
};

// The window with its commands connected: made here alone, for the program, the tests
// and the benchmarks alike. The commands are the window's child. `desktop` shows the
// boxes and opens the pages; it must outlive the window. `settings` keeps the user's
// choices (kept nowhere when none is given).
std::unique_ptr<ui::Form1> makeWindow(ServiceConfig config, desktop::Desktop &desktop,
                                      std::unique_ptr<desktop::Settings> settings = {});

// The signed endpoint's `source`: the environment's CORVANE_QUALITY_SOURCE, else the
// settings file's, else the build's (`built`). The service retires it every few months;
// a user changes it without a new build.
QString qualitySource(const QString &built, const desktop::Settings &settings, const QProcessEnvironment &environment);
// The commands of a window that makeWindow made.
Commands &commandsOf(ui::Form1 &form);

} // namespace corvane::app
