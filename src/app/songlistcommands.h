#pragma once

#include <QObject>

#include "core/kuwolists.h"
#include "core/serviceconfig.h"

namespace corvane {
class SongBatch;
}
namespace corvane::ui {
class SongListWindow;
}

namespace corvane::app {

class Commands;

// What the buttons of one song list window do: the folder asked once, the checked songs
// saved as a whole (SongBatch), stopped, retried; a double-click opens the song in the
// main window. Owned by its window, which closes only after asking while songs download.
class SongListCommands final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SongListCommands)

public:
    // Opens a window for `list` beside the main window of `commands`, and shows it.
    static ui::SongListWindow *open(Commands &commands, SongList list);
    // The commands of a window that open() made.
    static SongListCommands *of(ui::SongListWindow &window);

    SongBatch &batch() const { return *m_batch; }
    // The program is ending: every transfer stops, and the window closes without asking.
    void end();

private:
    // Takes `batch` (made before the window whose rows it holds) as its child.
    SongListCommands(ui::SongListWindow &window, Commands &commands, SongBatch *batch);

    void download(const QList<int> &rows);
    bool mayClose();

    ui::SongListWindow &m_window;
    Commands &m_commands;
    SongBatch *m_batch;
    // The name of the list's own folder (按列表建文件夹), and the folder last chosen for
    // this list, where its next folder dialog opens.
    QString m_folderName;
    QString m_chosen;
    bool m_ending = false;
};

} // namespace corvane::app
