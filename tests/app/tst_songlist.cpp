#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkProxy>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "app/commands.h"
#include "app/songlistcommands.h"
#include "common.h"
#include "core/songbatch.h"
#include "desktop/settings.h"
#include "form1controls.h"
#include "httptestserver.h"
#include "markup.h"
#include "musicservice.h"
#include "scripteddesktop.h"
#include "tagreader.h"
#include "ui/form1.h"
#include "ui/songlistmodel.h"
#include "ui/songlistwindow.h"

using namespace Qt::StringLiterals;
using namespace corvane;
using namespace corvane::testing;
using corvane::desktop::MessageAnswer;

// A list pasted into the main window opens its own window, driven through its widgets
// against the fake service reached as the program reaches the real one (a proxy).
class TestSongList final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void opensAList_data();
    void opensAList();
    void checksAndButtons();
    void downloadsTheCheckedSongs();
    void closingWhileDownloading();
    void doubleClickOpensTheSong();
    void qualityIsChosenAndKept();
    void namesShowAsText_data();
    void namesShowAsText();
    void aStopIsOneChange();
    void tally_data();
    void tally();
    void placement_data();
    void placement();
    void windowsStayOutOfTheWay();
    void anAlbumIntoItsFolder();

private:
    Form1Controls ui() const { return Form1Controls(*m_form); }
    // The text resolved through the main window; the list window it opened, if any.
    ui::SongListWindow *paste(const QString &text);
    QList<ui::SongListWindow *> windows() const
    {
        return m_form->findChildren<ui::SongListWindow *>(Qt::FindDirectChildrenOnly);
    }
    template <typename T> static T *control(ui::SongListWindow *window, const char *name)
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }

    HttpTestServer m_server;
    MusicService m_service{ServiceConfig::fromBuild(), sampleSongs() + sampleListSongs()};
    ScriptedDesktop m_desktop;
    std::unique_ptr<ui::Form1> m_form;
    QTemporaryDir m_folder;
};

void TestSongList::initTestCase()
{
    QVERIFY(m_server.listen());
    m_server.setHandler([this](const HttpRequest &request) { return m_service.answer(request); });
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, m_server.port()));
}

void TestSongList::init()
{
    m_desktop.reset();
    m_service.clearFaults();
    // One window for the rows (a window costs seconds under wine), made again only after
    // a test has ended its commands.
    if (!m_form || app::commandsOf(*m_form).hasEnded()) {
        m_form = app::makeWindow(ServiceConfig::fromBuild(), m_desktop);
        app::commandsOf(*m_form).lyricsGate().setPace(std::chrono::milliseconds(0));
        m_form->setAddressEnabled(true);
        m_form->setResolveEnabled(true);
        m_form->show();
    }
    m_form->showLink(QString());
    QDir folder(m_folder.path());
    for (const QString &file : folder.entryList(QDir::Files))
        QVERIFY(folder.remove(file));
}

void TestSongList::cleanup()
{
    for (ui::SongListWindow *window : windows())
        app::SongListCommands::of(*window)->end();
    QTRY_VERIFY(windows().isEmpty());
}

void TestSongList::cleanupTestCase()
{
    app::commandsOf(*m_form).end();
    m_form.reset();
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

ui::SongListWindow *TestSongList::paste(const QString &text)
{
    ui().Text1->setText(text);
    QTest::mouseClick(ui().Command1, Qt::LeftButton);
    if (!resolutionEnded(ui().Command1))
        return nullptr;
    return windows().isEmpty() ? nullptr : windows().last(); // the newest
}

void TestSongList::opensAList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title"); // "!" and a failure: no window, a box saying it
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("checked");

    QTest::newRow("playlist") << u"https://www.kuwo.cn/playlist_detail/4001"_s << u"歌曲列表 - 通勤路上"_s << 7 << true;
    QTest::newRow("album in a share text")
        << u"分享专辑 m.kuwo.cn/album_detail/4101 来自酷我音乐"_s << u"歌曲列表 - 今日专辑 / 第一辑"_s << 4 << true;
    QTest::newRow("singer") << u"http://kuwo.cn/singer_detail/4201"_s << u"歌曲列表 - 苏晚"_s << 3 << true;
    QTest::newRow("1,200 songs on two pages") << u"www.kuwo.cn/playlist_detail/4002"_s << u"歌曲列表 - 千首歌单"_s << 1200
                                              << true;
    QTest::newRow("words: search results, unchecked") << u"风"_s << u"搜索 - 风"_s << 3 << false;
    QTest::newRow("words that find nothing") << u"没有这首歌"_s << u"!没有找到与“没有这首歌”相关的歌曲"_s << 0 << false;
    QTest::newRow("words past the bound") << QString(101, u'风') << u"!搜索的文字太长：最多 100 个字"_s << 0 << false;
    QTest::newRow("an unknown playlist") << u"http://www.kuwo.cn/playlist_detail/9"_s
                                         << u"!获取出错,请您检查地址是否正确!"_s << 0 << false;
}

void TestSongList::opensAList()
{
    QFETCH(QString, text);
    QFETCH(QString, title);
    QFETCH(int, rows);
    QFETCH(bool, checked);

    ui::SongListWindow *window = paste(text);
    QVERIFY(ui().Command1->isEnabled());
    if (title.startsWith(u'!')) {
        QVERIFY(!window);
        QCOMPARE(m_form->statusText(), title.sliced(1));
        QCOMPARE(m_desktop.boxes.size(), 1);
        QCOMPARE(m_desktop.boxes.first().text, title.sliced(1));
        return;
    }
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), title);
    QCOMPARE(m_form->statusText(), u"找到 %1 首歌曲.."_s.arg(rows));
    QVERIFY(m_desktop.boxes.isEmpty());
    // The main window's fields stay as they were.
    QVERIFY(ui().Text2->text().isEmpty());
    const ui::SongListModel &model = window->model();
    QCOMPARE(model.rowCount(), rows);
    QCOMPARE(model.checkedCount(), checked ? rows : 0);
    QCOMPARE(control<QLabel>(window, "Totals")->text(), u"共 %1 首，已选 %2 首"_s.arg(rows).arg(checked ? rows : 0));
}

void TestSongList::checksAndButtons()
{
    ui::SongListWindow *window = paste(u"http://www.kuwo.cn/album_detail/4101"_s);
    QVERIFY(window);
    auto *table = control<QTableView>(window, "SongTable");
    auto *selectAll = control<QPushButton>(window, "SelectAll");
    QCOMPARE(table->model()->headerData(0, Qt::Horizontal).toString(), u"歌名"_s);
    QCOMPARE(table->model()->index(3, 0).data().toString(), u"你&我 <b>不是粗体</b>"_s);
    QCOMPARE(table->model()->index(3, 2).data().toString(), u"今日专辑 / 第一辑"_s);
    for (const char *name : {"SelectAll", "DownloadSelected", "StopBatch", "RetryFailed", "SongTable", "BatchProgress"})
        QVERIFY2(!window->findChild<QWidget *>(QString::fromLatin1(name))->accessibleName().isEmpty(), name);
    QVERIFY(!control<QPushButton>(window, "StopBatch")->isEnabled());
    QVERIFY(!control<QPushButton>(window, "RetryFailed")->isEnabled());

    QCOMPARE(selectAll->text(), u"全不选"_s);
    QTest::mouseClick(selectAll, Qt::LeftButton); // all checked: none
    QCOMPARE(window->model().checkedCount(), 0);
    QCOMPARE(selectAll->text(), u"全选"_s);
    QVERIFY(!control<QPushButton>(window, "DownloadSelected")->isEnabled());
    table->setCurrentIndex(table->model()->index(2, 3));
    QTest::keyClick(table, Qt::Key_Space);
    QCOMPARE(window->checkedRows(), QList<int>{2});
    QCOMPARE(control<QLabel>(window, "Totals")->text(), u"共 4 首，已选 1 首"_s);
    QTest::keyClick(table, Qt::Key_Space);
    QCOMPARE(window->model().checkedCount(), 0);
    // Space on a selection: every selected row as the cursor's row goes.
    table->selectionModel()->select(table->model()->index(1, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window->model().setChecked(1, true);
    table->setCurrentIndex(table->model()->index(3, 0));
    table->selectionModel()->select(QItemSelection(table->model()->index(1, 0), table->model()->index(3, 0)),
                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QTest::keyClick(table, Qt::Key_Space);
    QCOMPARE(window->checkedRows(), (QList<int>{1, 2, 3}));
    QTest::mouseClick(selectAll, Qt::LeftButton); // some or none checked: all
    QCOMPARE(window->model().checkedCount(), 4);

    // Nothing chosen in the folder dialog: nothing starts.
    QTest::mouseClick(control<QPushButton>(window, "DownloadSelected"), Qt::LeftButton);
    QCOMPARE(m_desktop.folderStarts, QStringList{app::commandsOf(*m_form).saveFolder()});
    QVERIFY(!app::SongListCommands::of(*window)->batch().isRunning());
}

void TestSongList::downloadsTheCheckedSongs()
{
    ui::SongListWindow *window = paste(u"http://www.kuwo.cn/playlist_detail/4001"_s);
    QVERIFY(window);
    m_desktop.setFolderChooser([this](const QString &) { return m_folder.path(); });
    // 边境之外 (refused) and 付费的歌 (paid) stay unchecked.
    window->model().setChecked(3, false);
    window->model().setChecked(5, false);
    auto *download = control<QPushButton>(window, "DownloadSelected");
    auto *totals = control<QLabel>(window, "Totals");
    auto *bar = control<QProgressBar>(window, "BatchProgress");
    QVERIFY(!bar->isVisible());
    QTest::mouseClick(download, Qt::LeftButton);
    QVERIFY(!download->isEnabled());
    QVERIFY(control<QPushButton>(window, "StopBatch")->isEnabled());
    QVERIFY(bar->isVisible());
    QCOMPARE(totals->text(), u"完成 0，已存在 0，失败 0，剩余 5"_s);
    QTRY_VERIFY_WITH_TIMEOUT(download->isEnabled(), 30000);
    // The run's tally stays; the bar counts the rows that ended.
    QCOMPARE(totals->text(), u"完成 5，已存在 0，失败 0"_s);
    QCOMPARE(bar->text(), u"已结束 5/5"_s);
    QTest::mouseClick(control<QPushButton>(window, "OpenFolder"), Qt::LeftButton);
    QCOMPARE(m_desktop.openedFolders, QStringList{m_folder.path()});
    auto status = [window](int row) { return window->model().index(row, ui::SongListModel::Status).data().toString(); };
    QCOMPARE((QStringList{status(0), status(3), status(4), status(5)}),
             (QStringList{u"完成 · 128k"_s, QString(), u"完成（无歌词） · 128k"_s, QString()}));
    QCOMPARE(QDir(m_folder.path()).entryList(QDir::Files).size(), 9);
    QCOMPARE(control<QProgressBar>(window, "BatchProgress")->value(), 5);
    // The next single download's dialog opens where the list was saved.
    QCOMPARE(app::commandsOf(*m_form).saveFolder(), m_folder.path());

    // Again into the same folder: every file is there already.
    QTest::mouseClick(download, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(download->isEnabled(), 30000);
    QCOMPARE(status(0), u"已存在"_s);
    QCOMPARE(status(6), u"已存在"_s);
}

void TestSongList::closingWhileDownloading()
{
    // The songs' files never finish coming.
    m_service.setFault(MusicService::Route::Media, [] {
        HttpResponse part = HttpResponse::text(QByteArray(300000, '\xff'), "audio/mpeg");
        part.stallAfter = 100000;
        return part;
    }());
    ui::SongListWindow *window = paste(u"http://www.kuwo.cn/singer_detail/4201"_s);
    QVERIFY(window);
    m_desktop.setFolderChooser([this](const QString &) { return m_folder.path(); });
    SongBatch &batch = app::SongListCommands::of(*window)->batch();
    QTest::mouseClick(control<QPushButton>(window, "DownloadSelected"), Qt::LeftButton);
    QVERIFY(batch.isRunning());

    m_desktop.queueAnswer(MessageAnswer::vbNo);
    QVERIFY(!window->close());
    QCOMPARE(m_desktop.boxes.last().text, u"正在下载，确定停止并关闭吗？"_s);
    QVERIFY(batch.isRunning());

    m_desktop.queueAnswer(MessageAnswer::vbYes);
    const QPointer<ui::SongListWindow> closing(window);
    QVERIFY(window->close());
    QTRY_VERIFY(!closing);
    QVERIFY(windows().isEmpty());
    QCOMPARE(QDir(m_folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());

    // The window goes while its folder dialog is open (the program ends meanwhile):
    // nothing of it runs on.
    window = paste(u"http://www.kuwo.cn/singer_detail/4201"_s);
    QVERIFY(window);
    m_desktop.setFolderChooser([this, &window](const QString &) {
        delete window;
        return m_folder.path();
    });
    control<QPushButton>(window, "DownloadSelected")->click(); // the button guards its own end
    QVERIFY(windows().isEmpty());
    QCOMPARE(QDir(m_folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    m_desktop.setFolderChooser([this](const QString &) { return m_folder.path(); });

    // The main window's close ends a list that downloads without a question.
    window = paste(u"http://www.kuwo.cn/singer_detail/4201"_s);
    QVERIFY(window);
    QTest::mouseClick(control<QPushButton>(window, "DownloadSelected"), Qt::LeftButton);
    const int boxes = int(m_desktop.boxes.size());
    app::commandsOf(*m_form).end();
    QCOMPARE(m_desktop.boxes.size(), boxes);
    QVERIFY(!window->isVisible());
    QCOMPARE(QDir(m_folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestSongList::doubleClickOpensTheSong()
{
    ui::SongListWindow *window = paste(u"http://www.kuwo.cn/singer_detail/4201"_s);
    QVERIFY(window);
    auto *table = control<QTableView>(window, "SongTable");
    const QRect cell = table->visualRect(table->model()->index(1, 1));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(ui().Text1->text(), u"http://www.kuwo.cn/play_detail/3004"_s);
    QVERIFY(resolutionEnded(ui().Command1));
    QCOMPARE(m_form->statusText(), u"音乐获取成功.."_s);
    QVERIFY(ui().Text2->text().endsWith(u"/3004.mp3"_s));

    // Saved from the main window: the list's folder dialog opens where the song went.
    const QString single = QDir(m_folder.path()).filePath(u"single"_s);
    QVERIFY(QDir().mkpath(single));
    m_desktop.setSaveChooser(
        [single](const QString &suggested) { return QDir(single).filePath(QFileInfo(suggested).fileName()); });
    QTest::mouseClick(ui().Command9, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(app::commandsOf(*m_form).saveFolder(), single, 30000);
    QTest::mouseClick(control<QPushButton>(window, "DownloadSelected"), Qt::LeftButton);
    QCOMPARE(m_desktop.folderStarts, QStringList{single});
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (qobject_cast<QDialog *>(top))
            top->close(); // the download's window
    }
}

// The list's combo box and the save dialog's file types, through their widgets and the
// desktop seam; both choices kept in the test's own settings file.
void TestSongList::qualityIsChosenAndKept()
{
    const QString settingsFile = QDir(m_folder.path()).filePath(u"settings/corvane.ini"_s);
    app::commandsOf(*m_form).end();
    m_form = app::makeWindow(ServiceConfig::fromBuild(), m_desktop, std::make_unique<desktop::Settings>(settingsFile));
    app::commandsOf(*m_form).lyricsGate().setPace(std::chrono::milliseconds(0));
    m_form->setAddressEnabled(true);
    m_form->setResolveEnabled(true);
    m_form->show();

    ui::SongListWindow *window = paste(u"http://www.kuwo.cn/playlist_detail/4003"_s);
    QVERIFY(window);
    auto *quality = control<QComboBox>(window, "Quality");
    QVERIFY(quality);
    QCOMPARE(quality->currentText(), u"高品 MP3 320k"_s);
    QStringList items;
    for (int i = 0; i < quality->count(); ++i)
        items << quality->itemText(i);
    QCOMPARE(items, (QStringList{u"标准 MP3 128k"_s, u"高品 MP3 320k"_s, u"无损 FLAC"_s}));
    const QList<QLabel *> labels = window->findChildren<QLabel *>();
    QVERIFY(std::any_of(labels.begin(), labels.end(),
                        [quality](QLabel *label) { return label->text() == u"音质"_s && label->buddy() == quality; }));
    QTest::keyClick(quality, Qt::Key_Down);
    QCOMPARE(quality->currentText(), u"无损 FLAC"_s);

    m_desktop.setFolderChooser([this](const QString &) { return m_folder.path(); });
    auto *download = control<QPushButton>(window, "DownloadSelected");
    QTest::mouseClick(download, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!control<QPushButton>(window, "StopBatch")->isEnabled(), 30000);
    const QModelIndex first = window->model().index(0, ui::SongListModel::Status);
    const QModelIndex second = window->model().index(1, ui::SongListModel::Status);
    QCOMPARE(first.data().toString(), u"完成 · 无损"_s);
    QCOMPARE(second.data().toString(), u"完成 · 320k"_s);
    QCOMPARE(shownToolTip(second.data(Qt::ToolTipRole).toString()), u"无损不可用，已保存 320k"_s);
    QVERIFY(QFileInfo::exists(QDir(m_folder.path()).filePath(u"音质样例 - 三种音质.flac"_s)));
    QVERIFY(QFileInfo::exists(QDir(m_folder.path()).filePath(u"音质样例 - 只有320k.mp3"_s)));
    QCOMPARE(desktop::Settings(settingsFile).listQuality(), Quality::Flac);
    QCOMPARE(desktop::Settings(settingsFile).lastFolder(), m_folder.path()); // for the next run

    // A single song: the dialog offers the qualities, opening on the link itself; FLAC
    // chosen saves the FLAC under the chosen name, and the next dialog opens on it.
    ui().Text1->setText(u"http://www.kuwo.cn/play_detail/5001"_s);
    QTest::mouseClick(ui().Command1, Qt::LeftButton);
    QVERIFY(resolutionEnded(ui().Command1));
    const QString single = QDir(m_folder.path()).filePath(u"single"_s);
    QVERIFY(QDir().mkpath(single));
    m_desktop.setSaveChooser([single](const QString &) { return QDir(single).filePath(u"我的歌.mp3"_s); });
    m_desktop.setSaveFileType(2);
    QTest::mouseClick(ui().Command9, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(QDir(single).filePath(u"我的歌.flac"_s)), 30000);
    QCOMPARE(m_desktop.offeredFileTypes, (QStringList{u"标准 MP3 128k (*.mp3)"_s, u"高品 MP3 320k (*.mp3)"_s,
                                                      u"无损 FLAC (*.flac)"_s}));
    QCOMPARE(readFlac(QDir(single).filePath(u"我的歌.flac"_s)).comments.value(u"TITLE"_s), u"三种音质"_s);
    QVERIFY(!QFileInfo::exists(QDir(single).filePath(u"我的歌.mp3"_s)));
    // The link itself, typed as ".flac": saved as what it is.
    m_desktop.setSaveFileType(0);
    m_desktop.setSaveChooser([single](const QString &) { return QDir(single).filePath(u"链接.flac"_s); });
    QTest::mouseClick(ui().Command9, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(QDir(single).filePath(u"链接.mp3"_s)), 30000);
    QVERIFY(!QFileInfo::exists(QDir(single).filePath(u"链接.flac"_s)));
    m_desktop.setSaveFileType(2);
    QTest::mouseClick(ui().Command9, Qt::LeftButton);
    QTRY_COMPARE(m_desktop.fileTypesOpenedOn.size(), 3);
    m_desktop.setSaveFileType(-1);
    m_desktop.setSaveChooser([](const QString &) { return QString(); });
    QTest::mouseClick(ui().Command9, Qt::LeftButton);
    QTRY_COMPARE(m_desktop.fileTypesOpenedOn, (QList<int>{0, 2, 0, 2}));
    QCOMPARE(desktop::Settings(settingsFile).saveQuality(), Quality::Flac);

    // The next run's list opens on the kept choice.
    QCOMPARE(control<QComboBox>(paste(u"http://www.kuwo.cn/singer_detail/4201"_s), "Quality")->currentText(),
             u"无损 FLAC"_s);
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (qobject_cast<QDialog *>(top))
            top->close(); // the download's window
    }
}

void TestSongList::namesShowAsText_data()
{
    addMarkupRows(u"/nonexistent/red.png"_s);
}

void TestSongList::namesShowAsText()
{
    QFETCH(QString, text);
    const SongBatch batch(ServiceConfig::fromBuild(), {ListSong{u"1"_s, text, text, text, 0}});
    const ui::SongListModel model(batch, true);
    for (const int column : {ui::SongListModel::Name, ui::SongListModel::Artist, ui::SongListModel::Album}) {
        const QModelIndex index = model.index(0, column);
        QCOMPARE(index.data(Qt::DisplayRole).toString(), text);
        QCOMPARE(shownToolTip(index.data(Qt::ToolTipRole).toString()), text);
    }
}

// The table's rows are the batch's: stopping ten thousand of them is one change of the
// view's rows, not ten thousand.
void TestSongList::aStopIsOneChange()
{
    // Nothing is ever answered: every row waits, two of them working, until the stop.
    HttpTestServer silent([](const HttpRequest &) {
        HttpResponse never;
        never.stall = true;
        return never;
    });
    QVERIFY(silent.listen());
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    const auto restore = qScopeGuard([this] {
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, m_server.port()));
    });
    const int count = 10000;
    QList<ListSong> songs;
    QList<int> rows;
    for (int i = 0; i < count; ++i) {
        songs << ListSong{QString::number(700000 + i), u"歌%1"_s.arg(i), u"歌手"_s, {}, 0};
        rows << i;
    }
    SongBatch batch(ServiceConfig::onOrigin(silent.origin()), songs);
    const ui::SongListModel model(batch, true);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    batch.download(rows, m_folder.path());
    QTRY_COMPARE(changes.size(), 1);
    changes.clear();
    batch.stop();
    QTRY_COMPARE(changes.size(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(changes.size(), 1);
    const auto first = changes.at(0).at(0).value<QModelIndex>();
    const auto last = changes.at(0).at(1).value<QModelIndex>();
    QCOMPARE(first.row(), 0);
    QCOMPARE(last.row(), count - 1);
    QCOMPARE(last.column(), int(ui::SongListModel::Status));
    QCOMPARE(model.index(count - 1, ui::SongListModel::Status).data().toString(), u"已停止"_s);
}

void TestSongList::tally_data()
{
    QTest::addColumn<QList<int>>("counts"); // songs, done, exists, failed
    QTest::addColumn<qint64>("secondsLeft");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QString>("text");
    QTest::newRow("before the first end") << QList<int>{1200, 0, 0, 0} << qint64(-1) << true
                                          << u"完成 0，已存在 0，失败 0，剩余 1200"_s;
    QTest::newRow("minutes") << QList<int>{1200, 12, 3, 1} << qint64(2340) << true
                             << u"完成 12，已存在 3，失败 1，剩余 1184，约 39 分钟"_s;
    QTest::newRow("a part of a minute, rounded up") << QList<int>{10, 8, 0, 0} << qint64(61) << true
                                                    << u"完成 8，已存在 0，失败 0，剩余 2，约 2 分钟"_s;
    QTest::newRow("under a minute") << QList<int>{10, 9, 0, 0} << qint64(2) << true
                                    << u"完成 9，已存在 0，失败 0，剩余 1，不到 1 分钟"_s;
    QTest::newRow("hours") << QList<int>{5000, 10, 0, 0} << qint64(4000) << true
                           << u"完成 10，已存在 0，失败 0，剩余 4990，约 1 小时 7 分钟"_s;
    QTest::newRow("stopped: no estimate") << QList<int>{10, 4, 1, 1} << qint64(8) << false
                                          << u"完成 4，已存在 1，失败 1，剩余 4"_s;
    QTest::newRow("ended") << QList<int>{7, 5, 1, 1} << qint64(-1) << false << u"完成 5，已存在 1，失败 1"_s;
}

void TestSongList::tally()
{
    QFETCH(QList<int>, counts);
    QFETCH(qint64, secondsLeft);
    QFETCH(bool, running);
    SongBatch::Totals totals;
    totals.songs = counts.at(0);
    totals.done = counts.at(1);
    totals.exists = counts.at(2);
    totals.failed = counts.at(3);
    totals.secondsLeft = secondsLeft;
    QTEST(ui::runTallyText(totals, running), "text");
}

void TestSongList::placement_data()
{
    QTest::addColumn<QRect>("room");
    QTest::addColumn<QRect>("mainFrame");
    QTest::addColumn<bool>("beside"); // else over the main window's lower or upper part
    // Today's main window, its address box and button 12-420 px across, 30-90 px down.
    QTest::newRow("1920×1080: beside") << QRect(0, 0, 1920, 1040) << QRect(690, 310, 540, 420) << true;
    QTest::newRow("1280×1024: beside, narrower") << QRect(0, 0, 1280, 1024) << QRect(100, 300, 540, 420) << true;
    QTest::newRow("at the screen's right edge: the other side")
        << QRect(0, 0, 1920, 1040) << QRect(1370, 310, 540, 420) << true;
    QTest::newRow("1024×768: below the address box") << QRect(0, 0, 1024, 728) << QRect(242, 154, 540, 420) << false;
    QTest::newRow("low on the screen: above it") << QRect(0, 0, 1024, 728) << QRect(242, 600, 540, 420) << false;
    QTest::newRow("800×600") << QRect(0, 0, 800, 600) << QRect(0, 0, 540, 420) << false;
}

// Every list window, the first and those cascading after it, is on the screen and leaves
// the main window's address box and button in view; beside it where there is room.
void TestSongList::placement()
{
    QFETCH(QRect, room);
    QFETCH(QRect, mainFrame);
    QFETCH(bool, beside);
    const QRect keepClear = QRect(12, 30, 408, 60).translated(mainFrame.topLeft());
    QList<QPoint> places;
    for (int opened = 0; opened < 12; ++opened) {
        const QRect place = ui::placeListWindow(room, mainFrame, keepClear, QSize(760, 470), QSize(560, 180), opened);
        const QString where = u"list %1 at %2,%3 %4×%5"_s.arg(opened + 1)
                                  .arg(place.x()).arg(place.y()).arg(place.width()).arg(place.height());
        QVERIFY2(room.contains(place), qPrintable(where));
        QVERIFY2(!place.intersects(keepClear), qPrintable(where));
        QVERIFY2(place.height() >= 180 && place.width() >= 560, qPrintable(where));
        if (beside)
            QVERIFY2(!place.intersects(mainFrame), qPrintable(where));
        places << place.topLeft();
    }
    // The second and third never lie over the first.
    QVERIFY(places.at(1) != places.at(0) && places.at(2) != places.at(0) && places.at(2) != places.at(1));
}

// Three lists open, each leaves the address box in view; the same list pasted again
// brings its window to the front instead of opening another.
void TestSongList::windowsStayOutOfTheWay()
{
    for (const QString &address : {u"http://www.kuwo.cn/playlist_detail/4001"_s, u"http://www.kuwo.cn/album_detail/4101"_s,
                                   u"http://www.kuwo.cn/singer_detail/4201"_s}) {
        ui::SongListWindow *window = paste(address);
        QVERIFY(window);
        QVERIFY(!window->frameGeometry().intersects(m_form->addressArea()));
        QVERIFY(m_form->screen()->availableGeometry().contains(window->frameGeometry()));
    }
    QCOMPARE(windows().size(), 3);
    m_server.clearRequests();
    QVERIFY(paste(u"https://www.kuwo.cn/playlist_detail/4001"_s));
    QCOMPARE(windows().size(), 3);
    QCOMPARE(m_form->statusText(), u"找到 7 首歌曲.."_s);
}

// An album's window keeps it together: its own folder, numbered names in track order,
// one album name and TRCK in every file. The numbers are remembered; the folder is not.
void TestSongList::anAlbumIntoItsFolder()
{
    ui::SongListWindow *window = paste(u"http://www.kuwo.cn/album_detail/4101"_s);
    QVERIFY(window);
    auto *listFolder = control<QCheckBox>(window, "ListFolder");
    auto *numbered = control<QCheckBox>(window, "Numbered");
    QVERIFY(listFolder->isChecked());
    QVERIFY(!numbered->isChecked());
    QTest::mouseClick(numbered, Qt::LeftButton);
    const auto forget = qScopeGuard([this] { app::commandsOf(*m_form).settings().setNumberedNames(false); });
    QVERIFY(app::commandsOf(*m_form).settings().numberedNames());

    // An album does not say how long its songs are; their records do.
    const QModelIndex duration = window->model().index(0, ui::SongListModel::Duration);
    QCOMPARE(duration.data().toString(), QString());
    QSignalSpy shown(&window->model(), &QAbstractItemModel::dataChanged);
    m_desktop.setFolderChooser([this](const QString &) { return m_folder.path(); });
    QTest::mouseClick(control<QPushButton>(window, "DownloadSelected"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!app::SongListCommands::of(*window)->batch().isRunning(), 30000);
    QVERIFY(!duration.data().toString().isEmpty());
    QVERIFY(std::any_of(shown.begin(), shown.end(), [](const QList<QVariant> &change) {
        return change.at(0).toModelIndex().column() <= ui::SongListModel::Duration &&
               change.at(1).toModelIndex().column() >= ui::SongListModel::Duration;
    }));
    QDir album(QDir(m_folder.path()).filePath(u"今日专辑 _ 第一辑"_s));
    const auto removeAlbum = qScopeGuard([&album] { album.removeRecursively(); });
    const QStringList names = album.entryList({u"*.mp3"_s}, QDir::Files, QDir::Name);
    QCOMPARE(names, (QStringList{u"01 苏晚 - 青石板路.mp3"_s, u"02 木子 - 山风.mp3"_s, u"03 江河 - 旧站台.mp3"_s,
                                u"04 左右&前后 - 你&我 _b_不是粗体__b_.mp3"_s}));
    for (int i = 0; i < names.size(); ++i) {
        const ReadTag tag = readTag(album.filePath(names.at(i)));
        QCOMPARE(tag.text.value(u"TALB"_s), u"今日专辑 / 第一辑"_s);
        QCOMPARE(tag.text.value(u"TRCK"_s), u"%1/4"_s.arg(i + 1));
    }
    QTest::mouseClick(control<QPushButton>(window, "OpenFolder"), Qt::LeftButton);
    QCOMPARE(m_desktop.openedFolders, QStringList{album.path()});
    // The next dialog of the list opens where the user chose, not inside the album's folder.
    QTest::mouseClick(control<QPushButton>(window, "DownloadSelected"), Qt::LeftButton);
    QCOMPARE(m_desktop.folderStarts.last(), m_folder.path());
    QTRY_VERIFY_WITH_TIMEOUT(!app::SongListCommands::of(*window)->batch().isRunning(), 30000);

    ui::SongListWindow *playlist = paste(u"http://www.kuwo.cn/playlist_detail/4001"_s);
    QVERIFY(!control<QCheckBox>(playlist, "ListFolder")->isChecked());
    QVERIFY(control<QCheckBox>(playlist, "Numbered")->isChecked());
}

QTEST_MAIN(TestSongList)
#include "tst_songlist.moc"
