#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include "core/kuwolists.h"
#include "core/songbatch.h"

namespace corvane::ui {

// The songs of one list as the list window's table shows them: a check box in the first
// column, then the names, the duration and where each song's download is. The rows are
// the batch's, read as they are; the model keeps only the check boxes, so that ten
// thousand rows cost little more than their names.
class SongListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SongListModel)

public:
    enum Column { Name, Artist, Album, Duration, Status, ColumnCount };

    // `batch` must outlive the model.
    SongListModel(const SongBatch &batch, bool checked, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const ListSong &song(int row) const { return m_batch.rows().at(row).song; }
    bool isChecked(int row) const { return m_checked.at(row); }
    void setChecked(int row, bool checked);
    // `rows` checked, or unchecked.
    void setChecked(const QList<int> &rows, bool checked);
    // Every row checked, or none.
    void setAllChecked(bool checked);
    QList<int> checkedRows() const;
    int checkedCount() const { return m_checkedCount; }

signals:
    // The user checked or unchecked `rows` (all of them now `checked`).
    void checksChanged(const QList<int> &rows, bool checked);

private:
    void rowsChanged(int first, int last);

    const SongBatch &m_batch;
    QList<bool> m_checked;
    int m_checkedCount = 0;
};

// What the status column says for a row: "等待", "下载中 42%", "完成", "失败：地区受限"…
QString rowStatusText(const SongBatch::Row &row);
// What the status's tooltip says beyond the status; empty when nothing.
QString rowStatusTip(const SongBatch::Row &row);

// "3:05": a duration as the table shows it; empty when unknown.
QString durationText(qint64 seconds);

// The line under the table while a run goes and after it: "完成 12，已存在 3，失败 1，
// 剩余 1184，约 39 分钟" (the estimate once there is one, while the run goes).
QString runTallyText(const SongBatch::Totals &totals, bool running);

} // namespace corvane::ui
