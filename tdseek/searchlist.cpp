#include "tdseek/searchlist.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <cstring>

#include "platform/regularfile.h"

namespace {

QString Field(const char* text, std::size_t size) {
    return QString::fromLocal8Bit(text, static_cast<qsizetype>(strnlen(text, size)));
}

uint64_t FileTime(const SOUNDSTRUCT& r) {
    return (uint64_t(r.ftLastWriteHigh) << 32) | r.ftLastWriteLow;
}

int Sign(int64_t v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

}  // namespace

bool CSearchList::Open(const QString& path) {
    Close();
    file_.setFileName(path);
    // Regular files only: the list must never wait on a FIFO or a device of that name.
    if (!OpenRegularFile(file_, QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return false;
    beginResetModel();
    const qint64 count = file_.size() / qint64(sizeof(SOUNDSTRUCT));
    records_.resize(size_t(count));
    for (qint64 i = 0; i < count; ++i) {
        SOUNDSTRUCT& r = records_[size_t(i)];
        if (!file_.seek(i * qint64(sizeof r)) ||
            file_.read(reinterpret_cast<char*>(&r), sizeof r) != qint64(sizeof r)) {
            records_.resize(size_t(i));
            break;
        }
        // Every text stays inside its field whatever the file held.
        r.szName[sizeof r.szName - 1] = '\0';
        r.szDescription[sizeof r.szDescription - 1] = '\0';
        r.szPath[sizeof r.szPath - 1] = '\0';
        if (r.szPath[0] != '\0')
            rows_.push_back(int(i));
    }
    endResetModel();
    return true;
}

void CSearchList::Close() {
    beginResetModel();
    rows_.clear();
    records_.clear();
    if (file_.isOpen())
        file_.close();
    endResetModel();
}

int CSearchList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int CSearchList::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QString CSearchList::ColumnText(const SOUNDSTRUCT& r, int column) {
    switch (column) {
        case kName:
            return Field(r.szName, sizeof r.szName);
        case kSize:
            return QString::number(r.dwSize);
        case kDate: {
            // FILETIME to local time, shown as month/day/year.
            const int64_t ms = int64_t(FileTime(r) / 10000) - 11644473600000LL;
            const QDate d = QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::systemTimeZone()).date();
            return QStringLiteral("%1/%2/%3").arg(d.month()).arg(d.day()).arg(d.year());
        }
        case kPath:
            return Field(r.szPath, sizeof r.szPath);
        case kType:
            return r.nType == 2 ? QStringLiteral("Midi File") : QStringLiteral("Wave File");
        case kDescription:
            return Field(r.szDescription, sizeof r.szDescription);
        default:
            return {};
    }
}

QString CSearchList::Text(int row, int column) const {
    if (row < 0 || row >= rowCount())
        return {};
    return ColumnText(Record(row), column);
}

QString CSearchList::Path(int row) const {
    return Text(row, kPath);
}

QVariant CSearchList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return Text(index.row(), index.column());
    if (role == kRecordIndexRole)
        return RecordIndex(index.row());
    return {};
}

QVariant CSearchList::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kHeaders[kColumns] = {"Name", "Size", "Date",
                                                   "Path", "Type", "Description"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kColumns)
        return QString::fromLatin1(kHeaders[section]);
    return {};
}

int CSearchList::Compare(const SOUNDSTRUCT& a, const SOUNDSTRUCT& b, int column) {
    switch (column) {
        case kSize:
            return Sign(int64_t(a.dwSize) - int64_t(b.dwSize));
        case kDate:
            return FileTime(a) < FileTime(b) ? -1 : (FileTime(a) > FileTime(b) ? 1 : 0);
        case kType:
            return Sign(int64_t(b.nType) - int64_t(a.nType));
        default:
            // Case-insensitive, in the user's locale.
            return Sign(ColumnText(a, column).toCaseFolded().localeAwareCompare(
                ColumnText(b, column).toCaseFolded()));
    }
}

void CSearchList::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= kColumns)
        return;
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<int> beforeRecords;
    for (const QModelIndex& i : before)
        beforeRecords.push_back(RecordIndex(i.row()));
    std::stable_sort(rows_.begin(), rows_.end(), [&](int a, int b) {
        const int c = Compare(records_[size_t(a)], records_[size_t(b)], column);
        return order == Qt::AscendingOrder ? c < 0 : c > 0;
    });
    QModelIndexList after;
    for (qsizetype k = 0; k < before.size(); ++k)
        after << index(RowOfRecord(beforeRecords[size_t(k)]), before[k].column());
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

int CSearchList::RowOfRecord(int recordIndex) const {
    const auto it = std::find(rows_.begin(), rows_.end(), recordIndex);
    return it == rows_.end() ? -1 : int(it - rows_.begin());
}

bool CSearchList::ClearRecord(int recordIndex) {
    const int row = RowOfRecord(recordIndex);
    if (row < 0 || !file_.isOpen())
        return false;
    SOUNDSTRUCT cleared = records_[size_t(recordIndex)];
    cleared.szPath[0] = '\0';
    if (!file_.seek(qint64(recordIndex) * qint64(sizeof cleared)) ||
        file_.write(reinterpret_cast<const char*>(&cleared), sizeof cleared) !=
            qint64(sizeof cleared) ||
        !file_.flush())
        return false;
    records_[size_t(recordIndex)] = cleared;
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
    return true;
}
