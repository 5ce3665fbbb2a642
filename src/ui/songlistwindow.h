#pragma once

#include <functional>

#include <QWidget>

#include "core/kuwolists.h"
#include "core/songbatch.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;

namespace corvane::ui {

class Form1;
class SongListModel;

// One list of songs in a window of its own: a table with a check box per song, the
// buttons that download the checked ones, stop and retry, the totals and the overall
// progress. It shows and reports; what a click does is decided by whoever listens.
class SongListWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SongListWindow)

public:
    // `title` as the service names the list; `search`: the list holds search results,
    // titled by the words and unchecked at first.
    // Its rows are `batch`'s, which must outlive the window.
    SongListWindow(const SongList &list, const SongBatch &batch, QWidget *parent = nullptr);
    ~SongListWindow() override;

    SongListModel &model() const { return *m_model; }
    QList<int> checkedRows() const;

    // Shows the window beside `mainWindow` (placeListWindow), on its screen.
    void showBeside(Form1 &mainWindow);
    // The list the window shows, as it was asked for.
    const SongListRequest &request() const { return m_request; }

    // The quality the combo box shows.
    void setQuality(Quality quality);
    // 按列表建文件夹: the songs go into a folder of the list's name.
    bool inListFolder() const;
    void setInListFolder(bool on);
    // 文件名加序号: file names start with the song's number.
    bool numbered() const;
    void setNumbered(bool on);

    // Asked on every close request; true lets the close go ahead.
    void setCloseQuery(std::function<bool()> query) { m_closeQuery = std::move(query); }

signals:
    void downloadRequested(const QList<int> &rows);
    void stopRequested();
    // 继续: the stopped run goes on.
    void continueRequested();
    void retryRequested();
    // The user checked or unchecked `rows`.
    void checksChanged(const QList<int> &rows, bool checked);
    void openFolderRequested();
    // The user chose another quality in the combo box.
    void qualityChosen(corvane::Quality quality);
    // The user checked or unchecked 文件名加序号.
    void numberedChosen(bool numbered);
    // A double-click on a song: to be opened in the main window.
    void songActivated(int row);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The buttons, the totals and the bar, as the batch and the check boxes stand.
    void showBatch();

    SongListModel *m_model;
    QTableView *m_table;
    QPushButton *m_selectAll, *m_download, *m_stop, *m_continue, *m_retry, *m_openFolder;
    QComboBox *m_quality;
    QCheckBox *m_listFolder, *m_numbered;
    QLabel *m_totals;
    QProgressBar *m_progress;
    const SongBatch &m_batch;
    const SongListRequest m_request;
    std::function<bool()> m_closeQuery;
};

// Where a list window's frame of `size` (at least `least`) goes on a screen whose free area
// is `room`: beside the main window's frame `mainFrame` where there is room, narrower if
// need be, else below or above its address box and button (`keepClear`), lower to fit; the
// `opened`-th further list steps away from the main window from there, always on the
// screen and never over `keepClear`.
QRect placeListWindow(const QRect &room, const QRect &mainFrame, const QRect &keepClear, QSize size, QSize least,
                      int opened);

// The window's title for a list: "歌曲列表 - " and its name, a search "搜索 - " and its words.
QString songListTitle(const SongList &list);

} // namespace corvane::ui
