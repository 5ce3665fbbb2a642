#include "songlistwindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

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

QString rowStatusText(const SongBatch::Row &row)
{
    using State = SongBatch::RowState;
    using Cause = SongBatch::Cause;
    switch (row.state) {
    case State::Idle:
        return {};
    case State::Waiting:
        return u"等待"_s;
    case State::Working:
        return row.percent >= 0 ? u"下载中 %1%"_s.arg(row.percent) : u"下载中"_s;
    case State::Done:
        return u"完成"_s;
    case State::DoneWithoutLyrics:
        return u"完成（无歌词）"_s;
    case State::Exists:
        return u"已存在"_s;
    case State::Stopped:
        return u"已停止"_s;
    case State::Failed:
        break;
    }
    switch (row.cause) {
    case Cause::Region:
        return u"失败：地区受限"_s;
    case Cause::Paid:
        return u"失败：付费歌曲"_s;
    case Cause::Save:
        return u"失败：无法保存"_s;
    case Cause::Answer:
        return u"失败：服务器答复有误"_s;
    case Cause::Network:
    case Cause::Slow:
    case Cause::None:
        break;
    }
    return u"失败：网络错误"_s;
}

QString rowStatusTip(const SongBatch::Row &row)
{
    if (row.state != SongBatch::RowState::Failed)
        return {};
    switch (row.cause) {
    case SongBatch::Cause::Slow:
        return u"失败：网络错误（下载速度太慢）"_s;
    case SongBatch::Cause::Region:
    case SongBatch::Cause::Paid:
        // 重试失败 leaves it: the service answers it the same way every time.
        return rowStatusText(row) + u"（“重试失败”不再尝试；仍想再试，勾选后按“下载选中”）"_s;
    default:
        return {};
    }
}

QString songListTitle(const SongList &list)
{
    const bool search = list.request.kind == SongListRequest::Kind::Search;
    const QString name = list.title.isEmpty() ? list.request.key : list.title;
    return (search ? u"搜索 - "_s : u"歌曲列表 - "_s) + name;
}

SongListWindow::SongListWindow(const SongList &list, QWidget *parent)
    : QWidget(parent, Qt::Window),
      m_model(new SongListModel(list.songs, list.request.kind != SongListRequest::Kind::Search, this))
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
    header->setStretchLastSection(true);
    const int em = m_table->fontMetrics().horizontalAdvance(u'歌');
    for (const auto &[column, width] : {std::pair(SongListModel::Name, 16), std::pair(SongListModel::Artist, 9),
                                        std::pair(SongListModel::Album, 9), std::pair(SongListModel::Duration, 4)})
        header->resizeSection(column, width * em);
    m_table->installEventFilter(this);
    connect(m_table, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid())
            emit songActivated(index.row());
    });

    m_selectAll = button(this, u"SelectAll"_s, u"全选"_s);
    m_download = button(this, u"DownloadSelected"_s, u"下载选中"_s);
    m_stop = button(this, u"StopBatch"_s, u"停止"_s);
    m_retry = button(this, u"RetryFailed"_s, u"重试失败"_s);
    m_totals = new QLabel(this);
    m_totals->setObjectName(u"Totals"_s);
    m_totals->setTextFormat(Qt::PlainText);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(u"BatchProgress"_s);
    m_progress->setAccessibleName(u"下载进度"_s);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setTextVisible(true);

    connect(m_selectAll, &QPushButton::clicked, this,
            [this] { m_model->setAllChecked(m_model->checkedCount() < m_model->rowCount()); });
    connect(m_download, &QPushButton::clicked, this, [this] { emit downloadRequested(checkedRows()); });
    connect(m_stop, &QPushButton::clicked, this, &SongListWindow::stopRequested);
    connect(m_retry, &QPushButton::clicked, this, &SongListWindow::retryRequested);
    connect(m_model, &SongListModel::checksChanged, this, &SongListWindow::showTotals);

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {m_selectAll, m_download, m_stop, m_retry})
        buttons->addWidget(b);
    buttons->addStretch();
    auto *footer = new QHBoxLayout;
    footer->addWidget(m_totals, 1);
    footer->addWidget(m_progress, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_table, 1);
    layout->addLayout(footer);
    resize(62 * em, 36 * em);
    showBatch(false, {}, false);
}

SongListWindow::~SongListWindow() = default;

QList<int> SongListWindow::checkedRows() const
{
    return m_model->checkedRows();
}

void SongListWindow::showRow(int row, const SongBatch::Row &state)
{
    m_model->setStatus(row, rowStatusText(state), rowStatusTip(state));
}

void SongListWindow::showBatch(bool running, const SongBatch::Totals &totals, bool canRetry)
{
    m_running = running;
    m_batch = totals;
    m_stop->setEnabled(running);
    m_retry->setEnabled(!running && canRetry);
    m_progress->setRange(0, qMax(1, totals.songs));
    m_progress->setValue(totals.ended);
    m_progress->setTextVisible(totals.songs > 0);
    showTotals();
}

void SongListWindow::showTotals()
{
    const QString text = m_running ? u"已完成 %1/%2，失败 %3"_s.arg(m_batch.ended).arg(m_batch.songs).arg(m_batch.failed)
                                   : u"共 %1 首，已选 %2 首"_s.arg(m_model->rowCount()).arg(m_model->checkedCount());
    m_totals->setText(text);
    m_totals->setAccessibleName(text);
    // Nothing checked, nothing to download: the button says so instead of doing nothing.
    m_download->setEnabled(!m_running && m_model->checkedCount() > 0);
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
    // Space toggles the check box of the row the cursor is on, whichever column it is in.
    if (watched == m_table && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space && m_table->currentIndex().isValid()) {
        const int row = m_table->currentIndex().row();
        m_model->setChecked(row, !m_model->isChecked(row));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace corvane::ui
