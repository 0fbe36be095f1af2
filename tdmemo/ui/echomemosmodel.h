// The rows of the EchoMemos Manager: one per memo of the list file, each holding a copy
// of its record as read (so its path is known even after the list has been rebuilt),
// the record's index when it was read, and whether the memo plays now.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include <vector>

#include "tdkit/settings/properties.h"
#include "tdmemo/memolist.h"
#include "tdmemo/memosort.h"

class QMimeData;

struct MemoRow {
    qint64 index = -1;  // where the record stood when it was read: a hint only
    ECHOMEMOLISTENTRY entry{};
    bool playing = false;
};

class CEchoMemosModel : public QAbstractTableModel {
public:
    // settings gives the time format; it may be null (24-hour).
    explicit CEchoMemosModel(const ECHOMEMOSPROPERTIES* settings, QObject* parent = nullptr);

    // Reads every record with a path from the list file under the list's lock. The rows
    // whose path equals playingPath (ignoring case) are marked as playing. False, with the
    // rows left as they were, when the lock or the file cannot be had.
    bool Load(const QString& listPath, const QString& playingPath);
    // Adds a row for the last record of the list file (a memo posted meanwhile), unless a
    // row already shows that file. False when it could not be read.
    bool AppendLast(const QString& listPath);
    // Replaces the row's record (after a reschedule) and redraws it.
    void UpdateRow(int row, const MemoRow& memo);
    void RemoveRow(int row);
    // Marks as playing the rows of that path and no others.
    void SetPlaying(const QString& playingPath);

    // Sorts stably by the column; the rows keep their records.
    void Sort(int column, bool ascending);

    const std::vector<MemoRow>& Rows() const { return rows_; }
    const MemoRow& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    int RowOfPath(const QString& path) const;

    // The texts of the cells.
    static QString FrequencyText(int frequency);
    QString NextPlaybackText(const ECHOMEMOLISTENTRY& entry) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Dragging rows out hands over their memo files.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    const ECHOMEMOSPROPERTIES* settings_;
    std::vector<MemoRow> rows_;
};

// The memo files as the clipboard and a drag carry them: their URLs, the file manager's
// list for a copy, and the paths as text.
QMimeData* MemoFilesMimeData(const QStringList& paths);
