#include "songlistcommands.h"

#include <QDir>
#include <QPointer>

#include "commands.h"
#include "core/filename.h"
#include "core/songbatch.h"
#include "desktop/desktop.h"
#include "desktop/settings.h"
#include "ui/form1.h"
#include "ui/songlistwindow.h"

using namespace Qt::StringLiterals;
using corvane::desktop::MessageAnswer;
using corvane::desktop::MessageStyle;

namespace corvane::app {

ui::SongListWindow *SongListCommands::open(Commands &commands, SongList list)
{
    // The window's rows are the batch's: the batch is made first, and goes to the
    // window's commands, which the window owns.
    auto *batch = new SongBatch(commands.config(), list.songs, commands.folderNames());
    batch->setQuality(commands.settings().listQuality());
    const bool album = list.request.kind == SongListRequest::Kind::Album;
    if (album)
        batch->setAlbum(list.title.isEmpty() ? list.request.key : list.title);
    // A window of its own, deleted with the main window at the latest.
    auto *window = new ui::SongListWindow(list, *batch, &commands.form());
    auto *listCommands = new SongListCommands(*window, commands, batch);
    // The list's name as a file system takes it (bounded, as a song's file name is).
    QString folderName = mp3FileName(list.title);
    if (folderName.isEmpty())
        folderName = mp3FileName(list.request.key);
    listCommands->m_folderName = folderName.isEmpty() ? u"歌曲列表"_s : folderName.chopped(4);
    window->setQuality(batch->quality());
    // An album is kept together at first; the numbers are the user's lasting choice.
    window->setInListFolder(album);
    window->setNumbered(commands.settings().numberedNames());
    window->showBeside(commands.form());
    return window;
}

SongListCommands *SongListCommands::of(ui::SongListWindow &window)
{
    return window.findChild<SongListCommands *>(QString(), Qt::FindDirectChildrenOnly);
}

SongListCommands::SongListCommands(ui::SongListWindow &window, Commands &commands, SongBatch *batch)
    : QObject(&window), m_window(window), m_commands(commands), m_batch(batch)
{
    m_batch->setParent(this);
    connect(&window, &ui::SongListWindow::downloadRequested, this, &SongListCommands::download);
    connect(&window, &ui::SongListWindow::stopRequested, m_batch, &SongBatch::stop);
    connect(&window, &ui::SongListWindow::continueRequested, m_batch, &SongBatch::resume);
    connect(&window, &ui::SongListWindow::retryRequested, m_batch, &SongBatch::retryFailed);
    // The check boxes say what the run holds, while it goes and after a stop.
    connect(&window, &ui::SongListWindow::checksChanged, this, [this](const QList<int> &rows, bool checked) {
        if (checked)
            m_batch->addToRun(rows);
        else
            m_batch->removeFromRun(rows);
    });
    connect(&window, &ui::SongListWindow::openFolderRequested, this, [this] {
        if (!m_batch->folder().isEmpty())
            m_commands.desktop().openFolder(m_batch->folder());
    });
    // For the next 下载选中 and 重试失败, and the next list's window.
    connect(&window, &ui::SongListWindow::qualityChosen, this, [this](Quality quality) {
        m_batch->setQuality(quality);
        m_commands.settings().setListQuality(quality);
    });
    connect(&window, &ui::SongListWindow::numberedChosen, this,
            [this](bool numbered) { m_commands.settings().setNumberedNames(numbered); });
    connect(&window, &ui::SongListWindow::songActivated, this, [this](int row) {
        // The song shows in the main window: it comes to the front to show it.
        ui::Form1 &form = m_commands.form();
        form.raise();
        form.activateWindow();
        m_commands.openSong(m_batch->rows().at(row).song.id);
    });
    window.setCloseQuery([this] { return mayClose(); });
}

void SongListCommands::download(const QList<int> &rows)
{
    try {
        if (rows.isEmpty() || m_batch->isRunning())
            return;
        const QPointer<SongListCommands> alive(this);
        // The list's own folder once it has one: another list's is no hint for this one.
        const QString start = m_chosen.isEmpty() ? m_commands.saveFolder() : m_chosen;
        const QString chosen = m_commands.desktop().chooseFolder(&m_window, start);
        if (!alive)
            return; // the list's window went while the dialog was open (the program ended)
        if (chosen.isEmpty())
            return; // cancelled: as if the button had never been pressed
        QString folder = chosen;
        if (m_window.inListFolder()) {
            folder = QDir(chosen).filePath(m_folderName);
            if (!QDir().mkpath(folder)) {
                m_commands.desktop().showMessage(&m_window,
                                                 u"无法创建文件夹 "_s + QDir::toNativeSeparators(folder),
                                                 MessageStyle::Warning);
                return;
            }
        }
        m_chosen = chosen;
        m_commands.rememberFolder(chosen);
        m_batch->setNumbered(m_window.numbered());
        m_batch->download(rows, folder);
    } catch (const std::exception &error) {
        qWarning("list download: %s", error.what());
    }
}

bool SongListCommands::mayClose()
{
    if (m_ending || !m_batch->isRunning())
        return true;
    if (m_commands.desktop().showMessage(&m_window, u"正在下载，确定停止并关闭吗？"_s, MessageStyle::InformationYesNo) !=
        MessageAnswer::vbYes)
        return false;
    m_batch->stop();
    return true;
}

void SongListCommands::end()
{
    m_ending = true;
    m_batch->stop();
    m_window.close();
}

} // namespace corvane::app
