#include "songlistcommands.h"

#include <QPointer>
#include <QScreen>

#include "commands.h"
#include "core/songbatch.h"
#include "desktop/desktop.h"
#include "ui/form1.h"
#include "ui/songlistwindow.h"
#include "widgets/downloader.h"

using namespace Qt::StringLiterals;
using corvane::desktop::MessageAnswer;
using corvane::desktop::MessageStyle;

namespace corvane::app {

ui::SongListWindow *SongListCommands::open(Commands &commands, SongList list)
{
    // A window of its own, deleted with the main window at the latest.
    ui::Form1 &form = commands.form();
    const int opened = int(form.findChildren<ui::SongListWindow *>(Qt::FindDirectChildrenOnly).size());
    auto *window = new ui::SongListWindow(list, &form);
    new SongListCommands(*window, commands, list);
    // Over the main window, each further list a step down and to the right, on its screen.
    QRect frame = window->frameGeometry();
    frame.moveCenter(form.frameGeometry().center() + QPoint(24, 24) * (opened % 8));
    if (const QScreen *screen = form.screen()) {
        const QRect room = screen->availableGeometry();
        frame.moveLeft(qBound(room.left(), frame.left(), qMax(room.left(), room.right() - frame.width())));
        frame.moveTop(qBound(room.top(), frame.top(), qMax(room.top(), room.bottom() - frame.height())));
    }
    window->move(frame.topLeft());
    window->show();
    return window;
}

SongListCommands *SongListCommands::of(ui::SongListWindow &window)
{
    return window.findChild<SongListCommands *>(QString(), Qt::FindDirectChildrenOnly);
}

SongListCommands::SongListCommands(ui::SongListWindow &window, Commands &commands, const SongList &list)
    : QObject(&window), m_window(window), m_commands(commands),
      m_batch(new SongBatch(commands.config(), list.songs, commands.folderNames(), this))
{
    connect(&window, &ui::SongListWindow::downloadRequested, this, &SongListCommands::download);
    connect(&window, &ui::SongListWindow::stopRequested, m_batch, &SongBatch::stop);
    connect(&window, &ui::SongListWindow::retryRequested, m_batch, &SongBatch::retryFailed);
    connect(&window, &ui::SongListWindow::songActivated, this, [this](int row) {
        m_commands.openSong(m_batch->rows().at(row).song.id);
    });
    m_totals.setSingleShot(true);
    connect(&m_totals, &QTimer::timeout, this, &SongListCommands::showBatch);
    connect(m_batch, &SongBatch::rowChanged, this, [this](int row) {
        m_window.showRow(row, m_batch->rows().at(row));
        if (!m_totals.isActive())
            m_totals.start(0);
    });
    connect(m_batch, &SongBatch::runningChanged, this, &SongListCommands::showBatch);
    window.setCloseQuery([this] { return mayClose(); });
}

void SongListCommands::download(const QList<int> &rows)
{
    try {
        if (rows.isEmpty() || m_batch->isRunning())
            return;
        widgets::Downloader &downloader = m_commands.form().webBrowser();
        const QPointer<SongListCommands> alive(this);
        const QString folder = m_commands.desktop().chooseFolder(&m_window, downloader.saveFolder());
        if (!alive)
            return; // the list's window went while the dialog was open (the program ended)
        if (folder.isEmpty())
            return; // cancelled: as if the button had never been pressed
        downloader.rememberFolder(folder);
        m_batch->download(rows, folder);
    } catch (const std::exception &error) {
        qWarning("list download: %s", error.what());
    }
}

void SongListCommands::showBatch()
{
    const SongBatch::Totals totals = m_batch->totals();
    m_window.showBatch(m_batch->isRunning(), totals, totals.retryable > 0);
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
