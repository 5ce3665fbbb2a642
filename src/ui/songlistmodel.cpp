#include "songlistmodel.h"

#include "widgets/elidinglabel.h"

using namespace Qt::StringLiterals;

namespace corvane::ui {

QString durationText(qint64 seconds)
{
    if (seconds <= 0)
        return {};
    return u"%1:%2"_s.arg(seconds / 60).arg(seconds % 60, 2, 10, QChar(u'0'));
}

SongListModel::SongListModel(QList<ListSong> songs, bool checked, QObject *parent) : QAbstractTableModel(parent)
{
    m_rows.reserve(songs.size());
    for (ListSong &song : songs)
        m_rows.append({std::move(song), checked, {}, {}});
    m_checked = checked ? int(m_rows.size()) : 0;
}

int SongListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int SongListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SongListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row &row = m_rows.at(index.row());
    if (role == Qt::CheckStateRole && index.column() == Name)
        return row.checked ? Qt::Checked : Qt::Unchecked;
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
        text = role == Qt::ToolTipRole && !row.statusTip.isEmpty() ? row.statusTip : row.status;
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
    if (row < 0 || row >= m_rows.size() || m_rows.at(row).checked == checked)
        return;
    m_rows[row].checked = checked;
    m_checked += checked ? 1 : -1;
    emit dataChanged(index(row, Name), index(row, Name), {Qt::CheckStateRole});
    emit checksChanged();
}

void SongListModel::setAllChecked(bool checked)
{
    for (Row &row : m_rows)
        row.checked = checked;
    m_checked = checked ? int(m_rows.size()) : 0;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, Name), index(int(m_rows.size()) - 1, Name), {Qt::CheckStateRole});
    emit checksChanged();
}

QList<int> SongListModel::checkedRows() const
{
    QList<int> rows;
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).checked)
            rows << row;
    }
    return rows;
}

void SongListModel::setStatus(int row, const QString &status, const QString &toolTip)
{
    if (row < 0 || row >= m_rows.size() || (m_rows.at(row).status == status && m_rows.at(row).statusTip == toolTip))
        return;
    m_rows[row].status = status;
    m_rows[row].statusTip = toolTip;
    emit dataChanged(index(row, Status), index(row, Status), {Qt::DisplayRole, Qt::ToolTipRole});
}

} // namespace corvane::ui
