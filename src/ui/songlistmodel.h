#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include "core/kuwolists.h"

namespace corvane::ui {

// The songs of one list as the list window's table shows them: a check box in the first
// column, then the names, the duration and where each song's download is. Plain data
// per row, so that ten thousand rows cost little more than their names.
class SongListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SongListModel)

public:
    enum Column { Name, Artist, Album, Duration, Status, ColumnCount };

    SongListModel(QList<ListSong> songs, bool checked, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const ListSong &song(int row) const { return m_rows.at(row).song; }
    bool isChecked(int row) const { return m_rows.at(row).checked; }
    void setChecked(int row, bool checked);
    // Every row checked, or none.
    void setAllChecked(bool checked);
    QList<int> checkedRows() const;
    int checkedCount() const { return m_checked; }
    // The row's status, and its tooltip when it says more than the status (else the status).
    void setStatus(int row, const QString &status, const QString &toolTip = {});

signals:
    void checksChanged();

private:
    struct Row
    {
        ListSong song;
        bool checked = false;
        QString status;
        QString statusTip;
    };
    QList<Row> m_rows;
    int m_checked = 0;
};

// "3:05": a duration as the table shows it; empty when unknown.
QString durationText(qint64 seconds);

} // namespace corvane::ui
