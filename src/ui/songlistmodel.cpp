#include "songlistmodel.h"

#include <numeric>

#include "widgets/elidinglabel.h"

using namespace Qt::StringLiterals;

namespace corvane::ui {

QString durationText(qint64 seconds)
{
    if (seconds <= 0)
        return {};
    return u"%1:%2"_s.arg(seconds / 60).arg(seconds % 60, 2, 10, QChar(u'0'));
}

QString runTallyText(const SongBatch::Totals &totals, bool running)
{
    QString text = u"完成 %1，已存在 %2，失败 %3"_s.arg(totals.done).arg(totals.exists).arg(totals.failed);
    if (totals.left() > 0)
        text += u"，剩余 %1"_s.arg(totals.left());
    if (!running || totals.secondsLeft < 0)
        return text;
    const qint64 minutes = (totals.secondsLeft + 59) / 60;
    if (totals.secondsLeft < 60)
        return text + u"，不到 1 分钟"_s;
    if (minutes < 60)
        return text + u"，约 %1 分钟"_s.arg(minutes);
    return text + u"，约 %1 小时 %2 分钟"_s.arg(minutes / 60).arg(minutes % 60);
}

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
        return u"完成 · "_s + qualityShortName(row.got);
    case State::DoneWithoutLyrics:
        return u"完成（无歌词） · "_s + qualityShortName(row.got);
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
    const bool saved = row.state == SongBatch::RowState::Done || row.state == SongBatch::RowState::DoneWithoutLyrics;
    if (saved && row.got < row.asked) // "无损不可用，已保存 320k"
        return qualityShortName(row.asked) + u"不可用，已保存 "_s + qualityShortName(row.got);
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

SongListModel::SongListModel(const SongBatch &batch, bool checked, QObject *parent)
    : QAbstractTableModel(parent), m_batch(batch), m_checked(batch.rows().size(), checked),
      m_checkedCount(checked ? int(batch.rows().size()) : 0)
{
    connect(&batch, &SongBatch::rowsChanged, this, &SongListModel::rowsChanged);
}

void SongListModel::rowsChanged(int first, int last)
{
    // The status, and the duration once the song's record has told it.
    emit dataChanged(index(first, Duration), index(last, Status), {Qt::DisplayRole, Qt::ToolTipRole});
}

int SongListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_checked.size());
}

int SongListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SongListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_checked.size())
        return {};
    const SongBatch::Row &row = m_batch.rows().at(index.row());
    if (role == Qt::CheckStateRole && index.column() == Name)
        return m_checked.at(index.row()) ? Qt::Checked : Qt::Unchecked;
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::AccessibleTextRole)
        return {};
    QString text;
    switch (index.column()) {
    case Name:
        text = row.song.name;
        break;
    case Artist:
        text = row.song.artist;
        break;
    case Album:
        text = row.song.album;
        break;
    case Duration:
        text = durationText(row.song.duration);
        break;
    case Status:
        text = role == Qt::ToolTipRole ? rowStatusTip(row) : QString();
        if (text.isEmpty())
            text = rowStatusText(row);
        break;
    default:
        return {};
    }
    // A tooltip is rich text when it looks like markup: a name from the network never is.
    return role == Qt::ToolTipRole ? QVariant(widgets::plainToolTip(text)) : QVariant(text);
}

bool SongListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.column() != Name || role != Qt::CheckStateRole)
        return false;
    setChecked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

Qt::ItemFlags SongListModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == Name)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant SongListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const QStringList captions{u"歌名"_s, u"歌手"_s, u"专辑"_s, u"时长"_s, u"状态"_s};
    return captions.value(section);
}

void SongListModel::setChecked(int row, bool checked)
{
    setChecked(QList<int>{row}, checked);
}

void SongListModel::setChecked(const QList<int> &rows, bool checked)
{
    QList<int> changed;
    int first = int(m_checked.size()), last = -1;
    for (const int row : rows) {
        if (row < 0 || row >= m_checked.size() || m_checked.at(row) == checked)
            continue;
        m_checked[row] = checked;
        changed << row;
        first = qMin(first, row);
        last = qMax(last, row);
    }
    if (changed.isEmpty())
        return;
    m_checkedCount += int(changed.size()) * (checked ? 1 : -1);
    emit dataChanged(index(first, Name), index(last, Name), {Qt::CheckStateRole});
    emit checksChanged(changed, checked);
}

void SongListModel::setAllChecked(bool checked)
{
    QList<int> rows(m_checked.size());
    std::iota(rows.begin(), rows.end(), 0);
    setChecked(rows, checked);
}

QList<int> SongListModel::checkedRows() const
{
    QList<int> rows;
    for (int row = 0; row < m_checked.size(); ++row) {
        if (m_checked.at(row))
            rows << row;
    }
    return rows;
}

} // namespace corvane::ui
