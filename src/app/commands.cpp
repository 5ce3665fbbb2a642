#include "commands.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScopeGuard>
#include <QScopedPointer>

#include "core/download.h"
#include "core/errors.h"
#include "core/filename.h"
#include "core/kuwolists.h"
#include "core/kuwotoday.h"
#include "core/songbatch.h"
#include "desktop/desktop.h"
#include "desktop/settings.h"
#include "songlistcommands.h"
#include "ui/form1.h"
#include "ui/songlistmodel.h"
#include "ui/songlistwindow.h"
#include "widgets/downloader.h"

using namespace Qt::StringLiterals;
using corvane::desktop::MessageAnswer;
using corvane::desktop::MessageStyle;

namespace corvane::app {
namespace {

// A command's errors end it at the failing step; none may leave into the event loop.
template <typename Command> void guarded(const char *name, Command &&command)
{
    try {
        command();
    } catch (const std::exception &error) {
        qWarning("%s: %s", name, error.what());
    } catch (...) {
        qWarning("%s: unknown error", name);
    }
}

} // namespace

// Shows each result the moment it is settled. From its link on, the resolution's song is
// the one the link box shows: its record becomes the commands' own, and fills on as the
// resolution goes on.
class Commands::Reports final : public SongReports
{
public:
    Reports(Commands &commands, std::shared_ptr<const SongInfo> song)
        : m_commands(commands), m_song(std::move(song))
    {
    }

    void NamesReady(const QString &SongName, const QString &SingerName) override
    {
        m_commands.m_form.showNames(SongName, SingerName);
    }
    void LinkReady(const QString &DirectLink) override
    {
        m_commands.m_form.showLink(DirectLink);
        m_commands.m_linkSong = m_song;
    }
    void LyricsReady(const QString &LyricsText) override { m_commands.m_form.showLyrics(LyricsText); }
    void PictureReady(const QImage &picture) override { m_commands.m_form.showPicture(picture); }

private:
    Commands &m_commands;
    const std::shared_ptr<const SongInfo> m_song;
};

Commands::Commands(ui::Form1 &form, ServiceConfig config, desktop::Desktop &desktop,
                   std::unique_ptr<desktop::Settings> settings)
    : QObject(&form), m_form(form), m_config(std::move(config)), m_desktop(desktop),
      m_settings(settings ? std::move(settings) : std::make_unique<desktop::Settings>())
{
    m_config.lyricsGate = &m_lyricsGate;
    connect(&form, &ui::Form1::resolveRequested, this, &Commands::resolve);
    connect(&form, &ui::Form1::copyRequested, this, &Commands::copyLink);
    connect(&form, &ui::Form1::previewRequested, this, &Commands::preview);
    connect(&form, &ui::Form1::downloadRequested, this, &Commands::download);
    connect(&form, &ui::Form1::kuwoHomeRequested, this, &Commands::openKuwoHome);
    connect(&form, &ui::Form1::forumRequested, this, &Commands::openForum);
    connect(&form, &ui::Form1::homeRequested, this, &Commands::openHome);
    connect(&form, &ui::Form1::recommendRequested, this, &Commands::recommend);
    connect(&form, &ui::Form1::pasteRequested, this, &Commands::pasteAddress);
    connect(&form, &ui::Form1::closed, this, &Commands::end);
    // Only a folder a download was saved into is remembered.
    connect(&form.webBrowser(), &widgets::Downloader::downloadEnded, this,
            [this](const QString &path, bool ok) {
                if (ok)
                    rememberFolder(QFileInfo(path).absolutePath());
            });
    connect(&form.webBrowser(), &widgets::Downloader::qualityChosen, this,
            [this](Quality quality) { m_settings->setSaveQuality(quality); });
}

QString qualitySource(const QString &built, const desktop::Settings &settings, const QProcessEnvironment &environment)
{
    for (const QString &source : {environment.value(u"CORVANE_QUALITY_SOURCE"_s).trimmed(), settings.qualitySource()}) {
        if (!source.isEmpty())
            return source;
    }
    return built;
}

QString Commands::saveFolder() const
{
    const QString last = m_settings->lastFolder();
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    return widgets::Downloader::defaultFolder();
}

void Commands::rememberFolder(const QString &folder)
{
    m_settings->setLastFolder(folder);
}

std::unique_ptr<ui::Form1> makeWindow(ServiceConfig config, desktop::Desktop &desktop,
                                      std::unique_ptr<desktop::Settings> settings)
{
    auto form = std::make_unique<ui::Form1>(desktop);
    new Commands(*form, std::move(config), desktop, std::move(settings));
    return form;
}

Commands &commandsOf(ui::Form1 &form)
{
    auto *commands = form.findChild<Commands *>(QString(), Qt::FindDirectChildrenOnly);
    Q_ASSERT(commands);
    return *commands;
}

void Commands::resolve()
{
    if (m_resolving)
        return;
    // Runs until its first wait and goes on from the event loop; the task ends itself.
    resolveSong();
}

QCoro::Task<> Commands::resolveSong()
{
    try {
        const QString enterAddress = u"请输入酷我音乐地址.."_s;
        const QString failed = u"获取出错,请您检查地址是否正确!"_s;

        // One reading for the whole resolution: an edit made while it waits belongs to
        // the next one, and reading again would mix two songs in one result.
        const QString address = m_form.address();
        if (address.isEmpty()) {
            m_form.setStatusText(enterAddress);
            m_desktop.showMessage(&m_form, enterAddress, MessageStyle::Information);
            co_return;
        }
        // The button stays disabled until the end, so this is the only resolution.
        m_form.setResolveEnabled(false);
        m_resolving = true;
        const auto resolved = qScopeGuard([this] { m_resolving = false; });
        m_form.setStatusText(u"正在获取音乐信息.."_s);
        // Deleted later: a stop resumes this frame from inside the object's own stop().
        const QScopedPointer<Requests, QScopedPointerDeleteLater> requests(new Requests(&m_requests));
        const auto song = std::make_shared<SongInfo>();
        bool succeeded = false;
        try {
            Reports reports(*this, song);
            if (co_await ResolveSong(*song, address, reports, m_config, requests.get()) == ResolveEnd::Stopped)
                co_return; // the window has closed: nothing more to show
            succeeded = true;
        } catch (const std::exception &) {
            succeeded = false;
        }
        // Neither flow found a song: the text may name a list, or be words to search for.
        const SongListRequest list = succeeded || !songIdFromText(address).isEmpty()
                                         ? SongListRequest()
                                         : songListFromText(address);
        // Words say what went wrong with words, not with an address.
        QString failure = failed;
        if (!succeeded && list.kind == SongListRequest::Kind::None && isTooLongToSearch(address))
            failure = u"搜索的文字太长：最多 %1 个字"_s.arg(kMaxSearchUnits);
        if (list.kind != SongListRequest::Kind::None) {
            std::optional<ListEnd> end;
            try {
                end = co_await openSongList(list, requests.get());
            } catch (const FetchStopped &) {
            }
            if (!end)
                co_return; // the window has closed: nothing more to show
            if (*end == ListEnd::Opened) {
                m_form.setResolveEnabled(true);
                co_return;
            }
            if (*end == ListEnd::Empty && list.kind == SongListRequest::Kind::Search)
                failure = u"没有找到与“%1”相关的歌曲"_s.arg(list.key);
        }
        if (succeeded) {
            m_form.setStatusText(u"音乐获取成功.."_s);
        } else {
            m_form.setStatusText(failure);
            m_desktop.showMessage(&m_form, failure, MessageStyle::Information);
        }
        m_form.setResolveEnabled(true);
    } catch (const std::exception &error) {
        qWarning("resolve: %s", error.what());
    } catch (...) {
        qWarning("resolve: unknown error");
    }
}

QCoro::Task<Commands::ListEnd> Commands::openSongList(SongListRequest request, Requests *requests)
{
    // A list open already comes to the front: a second window of it would download into
    // the same files.
    for (ui::SongListWindow *window : m_form.findChildren<ui::SongListWindow *>(Qt::FindDirectChildrenOnly)) {
        if (window->isVisible() && window->request().kind == request.kind && window->request().key == request.key) {
            window->showNormal();
            window->raise();
            window->activateWindow();
            m_form.setStatusText(u"找到 %1 首歌曲.."_s.arg(window->model().rowCount()));
            co_return ListEnd::Opened;
        }
    }
    m_form.setStatusText(u"正在获取歌曲列表.."_s);
    SongList list;
    try {
        list = co_await fetchSongList(std::move(request), m_config, requests);
    } catch (const Error &error) {
        qInfo("song list: %s", error.what());
        co_return ListEnd::Failed;
    }
    if (list.songs.isEmpty())
        co_return ListEnd::Empty;
    m_form.setStatusText((list.capped ? u"找到 %1 首歌曲（已达上限）.."_s : u"找到 %1 首歌曲.."_s).arg(list.songs.size()));
    SongListCommands::open(*this, std::move(list));
    co_return ListEnd::Opened;
}

void Commands::openSong(const QString &rid)
{
    guarded("open song", [this, &rid] {
        if (m_resolving)
            return;
        m_form.setAddress(u"http://www.kuwo.cn/play_detail/"_s + rid);
        resolve();
    });
}

int Commands::songsDownloading() const
{
    int songs = 0;
    for (ui::SongListWindow *window : m_form.findChildren<ui::SongListWindow *>(Qt::FindDirectChildrenOnly)) {
        const SongListCommands *commands = SongListCommands::of(*window);
        if (!commands || !commands->batch().isRunning())
            continue;
        for (const SongBatch::Row &row : commands->batch().rows())
            songs += row.state == SongBatch::RowState::Waiting || row.state == SongBatch::RowState::Working;
    }
    return songs;
}

void Commands::end()
{
    m_ended = true;
    // The list windows first: their transfers stop, and they close without asking.
    for (ui::SongListWindow *window : m_form.findChildren<ui::SongListWindow *>(Qt::FindDirectChildrenOnly)) {
        if (SongListCommands *commands = SongListCommands::of(*window))
            commands->end();
    }
    m_requests.stop();
}

void Commands::copyLink()
{
    guarded("copy", [this] {
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(m_form.link());
        m_form.setStatusText(u"外链地址已复制.."_s);
    });
}

void Commands::preview()
{
    guarded("preview", [this] {
        const QString link = m_form.link();
        const SongInfo *song = songOfLink(link);
        m_form.preview(link, song ? songTitle(song->SingerName, song->FullSongName) : QString());
    });
}

void Commands::download()
{
    guarded("download", [this] {
        const QString link = m_form.link();
        const SongInfo *song = songOfLink(link);
        if (!song) {
            // A link of no resolved song: saved as served.
            m_form.webBrowser().Navigate(link, {}, {}, saveFolder());
            return;
        }
        // The save dialog offers the song's other qualities; the link itself comes first.
        m_form.webBrowser().Navigate(
            link, songFileName(song->SingerName, song->FullSongName), downloadSongOf(*song), saveFolder(),
            widgets::SongQualities{m_config, song->Rid, song->Offered, song->DurationSeconds, m_settings->saveQuality()});
    });
}

void Commands::openKuwoHome()
{
    guarded("kuwo home", [this] { m_desktop.openPage(m_config.kuwoHomePage); });
}

void Commands::openForum()
{
    guarded("forum", [this] { m_desktop.openPage(m_config.forumPage); });
}

void Commands::openHome()
{
    guarded("home", [this] { m_desktop.openPage(m_config.homePage); });
}

void Commands::recommend()
{
    guarded("recommend", [this] {
        const QString text =
            u"Ostrel 2014"_s + u"\r\n"_s + u"\r\n"_s + u"宅男超强资源神器,是否现在立刻拥有?"_s;
        if (m_desktop.showMessage(&m_form, text, MessageStyle::InformationYesNo) == MessageAnswer::vbYes)
            m_desktop.openPage(m_config.resourcePage);
    });
}

void Commands::pasteAddress()
{
    guarded("paste", [this] { m_form.setAddress(QGuiApplication::clipboard()->text()); });
}

const SongInfo *Commands::songOfLink(const QString &link) const
{
    return !link.isEmpty() && m_linkSong && link == m_linkSong->DirectLink ? m_linkSong.get() : nullptr;
}

} // namespace corvane::app
