#include "commands.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPointer>

#include "core/filename.h"
#include "core/lyricsfile.h"
#include "desktop/desktop.h"
#include "ui/form1.h"

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

// Shows each result the moment it is settled, while the resolution's guard lives: it
// goes when the window closes (or the commands go), and the resolution ends at its next
// step without showing anything more.
class Commands::Reports final : public SongReports
{
public:
    Reports(Commands &commands, QObject *guard) : m_commands(commands), m_guard(guard) {}

    bool wanted() const override { return !m_guard.isNull(); }
    void NamesReady(const QString &SongName, const QString &SingerName) override
    {
        m_commands.m_form.showNames(SongName, SingerName);
    }
    void LinkReady(const QString &DirectLink) override
    {
        m_commands.m_form.showLink(DirectLink);
        // The link's own song, for the file name and the player: after a later failure
        // the labels may already name another song.
        const SongInfo &song = m_commands.m_song;
        m_commands.m_linkSong = {DirectLink, song.SingerName, song.FullSongName, song.Album, {}, {}, {}};
    }
    void LyricsReady(const QString &LyricsText) override
    {
        m_commands.m_form.showLyrics(LyricsText);
        const SongInfo &song = m_commands.m_song;
        if (m_commands.m_linkSong.link == song.DirectLink) {
            m_commands.m_linkSong.timedLyrics = song.TimedLyrics;
            // As the lyrics box shows them: one line break, LF.
            m_commands.m_linkSong.lyrics =
                QString(LyricsText).replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
        }
    }
    void PictureReady(const QImage &picture) override
    {
        m_commands.m_form.showPicture(picture);
        const SongInfo &song = m_commands.m_song;
        if (m_commands.m_linkSong.link == song.DirectLink)
            m_commands.m_linkSong.cover = song.PictureBytes;
    }

private:
    Commands &m_commands;
    QPointer<QObject> m_guard;
};

Commands::Commands(ui::Form1 &form, ServiceConfig config, desktop::Desktop &desktop)
    : QObject(&form), m_form(form), m_config(std::move(config)), m_desktop(desktop)
{
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
    connect(&form, &ui::Form1::downloadSaved, this, &Commands::saveLyricsBeside);
}

std::unique_ptr<ui::Form1> makeWindow(ServiceConfig config, desktop::Desktop &desktop)
{
    auto form = std::make_unique<ui::Form1>(desktop);
    new Commands(*form, std::move(config), desktop);
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
        m_form.setStatusText(u"正在获取音乐信息.."_s);
        m_resolution = new QObject(this);
        const QPointer<QObject> guard = m_resolution;
        bool succeeded = false;
        try {
            Reports reports(*this, guard);
            if (co_await ResolveSong(m_song, address, reports, m_config) == ResolveEnd::Abandoned)
                co_return;
            succeeded = true;
        } catch (const std::exception &) {
            succeeded = false;
        }
        if (!guard)
            co_return; // the window has closed: nothing more to show
        delete guard.data();
        if (succeeded) {
            m_form.setStatusText(u"音乐获取成功.."_s);
        } else {
            m_form.setStatusText(failed);
            m_desktop.showMessage(&m_form, failed, MessageStyle::Information);
        }
        m_form.setResolveEnabled(true);
    } catch (const std::exception &error) {
        qWarning("resolve: %s", error.what());
    } catch (...) {
        qWarning("resolve: unknown error");
    }
}

void Commands::end()
{
    m_ended = true;
    delete m_resolution.data();
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
        m_form.preview(link,
                       isLinkOfLastSong(link) ? songTitle(m_linkSong.singer, m_linkSong.name) : QString());
    });
}

void Commands::download()
{
    guarded("download", [this] {
        const QString link = m_form.link();
        const bool lastSong = isLinkOfLastSong(link);
        if (lastSong && !m_linkSong.timedLyrics.isEmpty())
            m_downloadLyrics.insert(link, m_linkSong.timedLyrics);
        if (!lastSong) {
            m_form.download(link, QString());
            return;
        }
        const SongTags tags{m_linkSong.name, m_linkSong.singer, m_linkSong.album, m_linkSong.lyrics,
                            m_linkSong.cover};
        m_form.download(link, songFileName(m_linkSong.singer, m_linkSong.name), tags);
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

void Commands::saveLyricsBeside(const QString &link, const QString &path)
{
    guarded("lyrics file", [&] {
        if (const auto lyrics = m_downloadLyrics.constFind(link); lyrics != m_downloadLyrics.cend())
            writeLyricsBeside(path, *lyrics);
    });
}

bool Commands::isLinkOfLastSong(const QString &link) const
{
    return !link.isEmpty() && link == m_linkSong.link;
}

} // namespace corvane::app
