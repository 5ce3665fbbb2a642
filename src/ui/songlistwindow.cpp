#include "songlistwindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

#include "form1.h"
#include "songlistmodel.h"

using namespace Qt::StringLiterals;

namespace corvane::ui {

namespace {

QPushButton *button(QWidget *parent, const QString &name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAccessibleName(caption);
    b->setAutoDefault(false);
    return b;
}

} // namespace

QString songListTitle(const SongList &list)
{
    const bool search = list.request.kind == SongListRequest::Kind::Search;
    const QString name = list.title.isEmpty() ? list.request.key : list.title;
    return (search ? u"搜索 - "_s : u"歌曲列表 - "_s) + name;
}

SongListWindow::SongListWindow(const SongList &list, const SongBatch &batch, QWidget *parent)
    : QWidget(parent, Qt::Window),
      m_model(new SongListModel(batch, list.request.kind != SongListRequest::Kind::Search, this)), m_batch(batch),
      m_request(list.request)
{
    setObjectName(u"SongListWindow"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    // "[*]" would be taken for the unsaved-changes mark; doubled, it shows as written.
    setWindowTitle(songListTitle(list).replace(u"[*]"_s, u"[*][*]"_s));
    setAccessibleName(windowTitle());

    m_table = new QTableView(this);
    m_table->setObjectName(u"SongTable"_s);
    m_table->setAccessibleName(u"歌曲列表"_s);
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideRight);
    m_table->setAlternatingRowColors(true);
    // Rows of one height, columns of set widths: nothing is measured row by row, so that
    // ten thousand rows open and scroll as fast as ten.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 8);
    m_table->verticalHeader()->hide();
    QHeaderView *header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    // The song's name gives way in a narrow window: the status stays in view.
    header->setSectionResizeMode(SongListModel::Name, QHeaderView::Stretch);
    header->setStretchLastSection(false);
    const int em = m_table->fontMetrics().horizontalAdvance(u'歌');
    header->setMinimumSectionSize(3 * em);
    for (const auto &[column, width] : {std::pair(SongListModel::Artist, 8), std::pair(SongListModel::Album, 8),
                                        std::pair(SongListModel::Duration, 3), std::pair(SongListModel::Status, 9)})
        header->resizeSection(column, width * em);
    m_table->installEventFilter(this);
    connect(m_table, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid())
            emit songActivated(index.row());
    });

    m_selectAll = button(this, u"SelectAll"_s, u"全选"_s);
    m_download = button(this, u"DownloadSelected"_s, u"下载选中"_s);
    m_stop = button(this, u"StopBatch"_s, u"停止"_s);
    m_continue = button(this, u"ContinueBatch"_s, u"继续"_s);
    m_retry = button(this, u"RetryFailed"_s, u"重试失败"_s);
    m_openFolder = button(this, u"OpenFolder"_s, u"打开文件夹"_s);
    // The label is the combo box's name for a screen reader: Qt on Linux publishes a combo
    // box under its current text.
    m_quality = new QComboBox(this);
    m_quality->setObjectName(u"Quality"_s);
    for (const Quality quality : kQualities)
        m_quality->addItem(qualityName(quality), int(quality));
    m_quality->setCurrentIndex(int(Quality::Mp3_320));
    auto *qualityLabel = new QLabel(u"音质"_s, this);
    qualityLabel->setBuddy(m_quality);
    connect(m_quality, &QComboBox::activated, this,
            [this](int index) { emit qualityChosen(Quality(m_quality->itemData(index).toInt())); });
    m_listFolder = new QCheckBox(u"按列表建文件夹"_s, this);
    m_listFolder->setObjectName(u"ListFolder"_s);
    m_numbered = new QCheckBox(u"文件名加序号"_s, this);
    m_numbered->setObjectName(u"Numbered"_s);
    connect(m_numbered, &QCheckBox::clicked, this, &SongListWindow::numberedChosen);
    m_totals = new QLabel(this);
    m_totals->setObjectName(u"Totals"_s);
    m_totals->setTextFormat(Qt::PlainText);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(u"BatchProgress"_s);
    m_progress->setAccessibleName(u"下载进度"_s);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setTextVisible(true);
    m_progress->setFormat(u"已结束 %v/%m"_s);

    connect(m_selectAll, &QPushButton::clicked, this,
            [this] { m_model->setAllChecked(m_model->checkedCount() < m_model->rowCount()); });
    connect(m_download, &QPushButton::clicked, this, [this] { emit downloadRequested(checkedRows()); });
    connect(m_stop, &QPushButton::clicked, this, &SongListWindow::stopRequested);
    connect(m_continue, &QPushButton::clicked, this, &SongListWindow::continueRequested);
    connect(m_retry, &QPushButton::clicked, this, &SongListWindow::retryRequested);
    connect(m_openFolder, &QPushButton::clicked, this, &SongListWindow::openFolderRequested);
    connect(m_model, &SongListModel::checksChanged, this, &SongListWindow::checksChanged);
    connect(m_model, &SongListModel::checksChanged, this, &SongListWindow::showBatch);
    // Once per report of the batch, which collects a turn's changes.
    connect(&batch, &SongBatch::rowsChanged, this, &SongListWindow::showBatch);
    connect(&batch, &SongBatch::runningChanged, this, &SongListWindow::showBatch);

    auto *buttons = new QHBoxLayout;
    // The quality beside the button it is for.
    buttons->addWidget(m_selectAll);
    buttons->addWidget(m_download);
    buttons->addWidget(qualityLabel);
    buttons->addWidget(m_quality);
    buttons->addWidget(m_stop);
    buttons->addWidget(m_continue);
    buttons->addWidget(m_retry);
    buttons->addStretch();
    auto *files = new QHBoxLayout;
    files->addWidget(m_listFolder);
    files->addWidget(m_numbered);
    files->addStretch();
    files->addWidget(m_openFolder);
    auto *footer = new QHBoxLayout;
    footer->addWidget(m_totals, 1);
    footer->addWidget(m_progress, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addLayout(files);
    layout->addWidget(m_table, 1);
    layout->addLayout(footer);
    resize(62 * em, 36 * em);
    showBatch();
}

SongListWindow::~SongListWindow() = default;

void SongListWindow::setQuality(Quality quality)
{
    m_quality->setCurrentIndex(m_quality->findData(int(quality)));
}

bool SongListWindow::inListFolder() const
{
    return m_listFolder->isChecked();
}

void SongListWindow::setInListFolder(bool on)
{
    m_listFolder->setChecked(on);
}

bool SongListWindow::numbered() const
{
    return m_numbered->isChecked();
}

void SongListWindow::setNumbered(bool on)
{
    m_numbered->setChecked(on);
}

QRect placeListWindow(const QRect &room, const QRect &mainFrame, const QRect &keepClear, QSize size, QSize least,
                      int opened)
{
    constexpr int gap = 8, step = 24;
    size = size.boundedTo(room.size());
    least = least.boundedTo(size);
    const int right = room.right() - mainFrame.right() - gap;
    const int left = mainFrame.left() - gap - room.left();
    QRect base;
    int dx = step, dy = step; // away from the main window
    if (qMax(right, left) >= least.width()) {
        size.setWidth(qMin(size.width(), qMax(right, left)));
        const int top = qBound(room.top(), mainFrame.top(), qMax(room.top(), room.bottom() + 1 - size.height()));
        if (right >= left) {
            base = QRect(QPoint(mainFrame.right() + 1 + gap, top), size);
        } else {
            base = QRect(QPoint(mainFrame.left() - gap - size.width(), top), size);
            dx = -step;
        }
    } else {
        // No room beside: smaller, over the main window's lower (or upper) part, leaving
        // two steps of room for the lists that follow where it can.
        const int below = room.bottom() - keepClear.bottom() - gap;
        const int above = keepClear.top() - gap - room.top();
        const int spare = 2 * step;
        const int x = qBound(room.left(), mainFrame.left(), qMax(room.left(), room.right() + 1 - size.width() - spare));
        const auto fit = [&](int height) { return height - spare >= least.height() ? height - spare : height; };
        if (below >= size.height() || below >= above) {
            size.setHeight(qMin(size.height(), fit(below)));
            base = QRect(QPoint(x, keepClear.bottom() + 1 + gap), size);
        } else {
            size.setHeight(qMin(size.height(), fit(above)));
            base = QRect(QPoint(x, keepClear.top() - gap - size.height()), size);
            dy = -step;
        }
    }
    // Further lists step on, down (or up) as far as the screen goes and across while there
    // is room, so that no two of them lie exactly over each other; then from the start.
    const int across = qMax(0, (dx > 0 ? room.right() - base.right() : base.left() - room.left()) / step);
    const int along = qMax(0, (dy > 0 ? room.bottom() - base.bottom() : base.top() - room.top()) / step);
    const int k = opened % (qMax(along, across) + 1);
    return base.translated(dx * qMin(k, across), dy * qMin(k, along));
}

void SongListWindow::showBeside(Form1 &mainWindow)
{
    int opened = 0;
    for (const SongListWindow *other : mainWindow.findChildren<SongListWindow *>(Qt::FindDirectChildrenOnly))
        opened += other != this && other->isVisible();
    const QRect mainFrame = mainWindow.frameGeometry();
    // The window's own frame is not known before it shows: the main window's is the guess.
    const QMargins frame(mainWindow.geometry().left() - mainFrame.left(), mainWindow.geometry().top() - mainFrame.top(),
                         mainFrame.right() - mainWindow.geometry().right(),
                         mainFrame.bottom() - mainWindow.geometry().bottom());
    const QScreen *screen = mainWindow.screen();
    if (screen) {
        const QRect place = placeListWindow(screen->availableGeometry(), mainFrame, mainWindow.addressArea(),
                                            size().grownBy(frame), minimumSizeHint().grownBy(frame), opened);
        resize(place.size().shrunkBy(frame));
        move(place.topLeft());
    }
    show();
}

QList<int> SongListWindow::checkedRows() const
{
    return m_model->checkedRows();
}

void SongListWindow::showBatch()
{
    const bool running = m_batch.isRunning();
    const SongBatch::Totals totals = m_batch.totals();
    m_stop->setEnabled(running);
    m_continue->setEnabled(!running && totals.stopped > 0);
    m_retry->setEnabled(!running && totals.retryable > 0);
    m_openFolder->setEnabled(!m_batch.folder().isEmpty());
    // Hidden until a run starts: an empty bar looks like a box to type in.
    m_progress->setVisible(totals.songs > 0);
    m_progress->setRange(0, qMax(1, totals.songs));
    m_progress->setValue(totals.ended());
    // The run's tally stays until the next run starts.
    const QString text = totals.songs > 0 ? runTallyText(totals, running)
                                          : u"共 %1 首，已选 %2 首"_s.arg(m_model->rowCount()).arg(m_model->checkedCount());
    m_totals->setText(text);
    m_totals->setAccessibleName(text);
    const bool all = m_model->rowCount() > 0 && m_model->checkedCount() == m_model->rowCount();
    m_selectAll->setText(all ? u"全不选"_s : u"全选"_s);
    m_selectAll->setAccessibleName(m_selectAll->text());
    // Nothing checked, nothing to download: the button says so instead of doing nothing.
    m_download->setEnabled(!running && m_model->checkedCount() > 0);
}

void SongListWindow::closeEvent(QCloseEvent *event)
{
    if (m_closeQuery && !m_closeQuery()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

bool SongListWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Space toggles the check boxes of the selected rows, whichever column the cursor is
    // in: all of them as the cursor's row goes, so that a mixed selection ends alike.
    if (watched == m_table && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space && m_table->currentIndex().isValid()) {
        const int current = m_table->currentIndex().row();
        QList<int> rows;
        for (const QModelIndex &index : m_table->selectionModel()->selectedRows())
            rows << index.row();
        if (!rows.contains(current))
            rows = {current};
        m_model->setChecked(rows, !m_model->isChecked(current));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace corvane::ui
