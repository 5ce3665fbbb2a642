#include "commands.h"

#include <QClipboard>
#include <QGuiApplication>

#include "core/errors.h"
#include "core/filename.h"
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

// Shows each result the moment it is settled. Once the window has closed, nothing is
// shown: the resolution winds up instead.
class Commands::Reports final : public SongReports
{
public:
    explicit Reports(Commands &commands) : m_commands(commands) {}

    void NamesReady(const QString &SongName, const QString &SingerName) override
    {
        checkOpen();
        m_commands.m_form.showNames(SongName, SingerName);
    }
    void LinkReady(const QString &DirectLink) override
    {
        checkOpen();
        m_commands.m_form.showLink(DirectLink);
        // The link's own song, for the file name and the player: after a later failure
        // the labels may already name another song.
        const SongInfo &song = m_commands.m_song;
        m_commands.m_linkSong = {DirectLink, song.SingerName, fullSongNameFromPage(song.PageText)};
    }
    void LyricsReady(const QString &LyricsText) override
    {
        checkOpen();
        m_commands.m_form.showLyrics(LyricsText);
    }
    void PictureReady(const QImage &picture) override
    {
        checkOpen();
        m_commands.m_form.showPicture(picture);
    }

private:
    void checkOpen() const
    {
        if (m_commands.m_form.isClosed())
            throw FetchAbandoned("window closed");
    }

    Commands &m_commands;
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
}

void Commands::resolve()
{
    guarded("resolve", [this] {
        const QString enterAddress = u"请输入酷我音乐地址.."_s;
        const QString failed = u"获取出错,请您检查地址是否正确!"_s;

        // One reading for the whole resolution: an edit made while it waits belongs to
        // the next one, and reading again would mix two songs in one result.
        const QString address = m_form.address();
        if (address.isEmpty()) {
            m_form.setStatusText(enterAddress);
            m_desktop.showMessage(&m_form, enterAddress, MessageStyle::vbInformationOk);
        } else {
            m_form.setResolveEnabled(false);
            m_form.setStatusText(u"正在获取音乐信息.."_s);
            bool succeeded = false;
            try {
                Reports reports(*this);
                ResolveSong(
                    m_song, [&address] { return address; }, reports, m_config);
                succeeded = true;
            } catch (const FetchAbandoned &) {
                return; // the window has closed: nothing more to show
            } catch (const std::exception &) {
                succeeded = false;
            }
            if (m_form.isClosed())
                return;
            if (succeeded) {
                m_form.setStatusText(u"音乐获取成功.."_s);
            } else {
                m_form.setStatusText(failed);
                m_desktop.showMessage(&m_form, failed, MessageStyle::vbInformationOk);
            }
        }
        if (!m_form.isClosed())
            m_form.setResolveEnabled(true);
    });
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
        m_form.download(link, isLinkOfLastSong(link) ? songFileName(m_linkSong.singer, m_linkSong.name)
                                                     : QString());
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
        if (m_desktop.showMessage(&m_form, text, MessageStyle::vbInformationYesNo) == MessageAnswer::vbYes)
            m_desktop.openPage(m_config.resourcePage);
    });
}

void Commands::pasteAddress()
{
    guarded("paste", [this] { m_form.setAddress(QGuiApplication::clipboard()->text()); });
}

bool Commands::isLinkOfLastSong(const QString &link) const
{
    return !link.isEmpty() && link == m_linkSong.link;
}

} // namespace corvane::app
