// CSearchList: the records of a search data file as a table for the Sonoscout drawer.
// Each row is a record of the file (by its index there); records whose path was cleared
// are not listed. The file stays open while the list is shown, so that records of
// deleted files can be cleared in place.
#pragma once

#include <QAbstractTableModel>
#include <QFile>
#include <QString>

#include <vector>

#include "tdseek/searchengine.h"

class CSearchList : public QAbstractTableModel {
public:
    enum Column { kName = 0, kSize, kDate, kPath, kType, kDescription, kColumns };
    // The role that gives a row's record index in the file.
    static constexpr int kRecordIndexRole = Qt::UserRole + 1;

    explicit CSearchList(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // Opens the data file and lists its records; false (and an empty list) when it cannot
    // be opened.
    bool Open(const QString& path);
    // Empties the list and closes the file (before the file is replaced).
    void Close();
    bool IsOpen() const { return file_.isOpen(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    const SOUNDSTRUCT& Record(int row) const { return records_[rows_[size_t(row)]]; }
    int RecordIndex(int row) const { return rows_[size_t(row)]; }
    // The row showing a record index, or -1.
    int RowOfRecord(int recordIndex) const;
    QString Path(int row) const;
    QString Text(int row, int column) const;
    // Clears the record's path in the file and removes its row; false when the file
    // could not be written (the row stays).
    bool ClearRecord(int recordIndex);

    // The order of two records by a column, ascending: <0, 0, >0. Type puts MIDI first.
    static int Compare(const SOUNDSTRUCT& a, const SOUNDSTRUCT& b, int column);
    static QString ColumnText(const SOUNDSTRUCT& r, int column);

private:
    QFile file_;
    std::vector<SOUNDSTRUCT> records_;  // every record of the file, by index
    std::vector<int> rows_;             // the listed record indexes, in display order
};
