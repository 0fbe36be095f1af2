#include "tdmemo/ui/echomemosmodel.h"

#include <QFile>
#include <QIcon>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSet>
#include <QUrl>

#include "platform/strings.h"
#include "tdmemo/memolistlock.h"
#include "tdmemo/strings.h"
#include "tdmemo/ui/playbacknotifydlg.h"

namespace {

// The row pictures, drawn here: a memo sheet, the sheet with a sounding speaker while it
// plays, and a small bell for the notification mark.
QIcon MemoIcon(bool playing) {
    static const QIcon icons[2] = {
        [] {
            QPixmap pixmap(16, 16);
            pixmap.fill(Qt::transparent);
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(QColor(90, 90, 60));
            p.setBrush(QColor(255, 244, 160));
            p.drawRect(QRectF(2.5, 1.5, 11, 13));
            p.setPen(QColor(120, 110, 70));
            for (int y = 5; y <= 11; y += 3)
                p.drawLine(5, y, 11, y);
            return QIcon(pixmap);
        }(),
        [] {
            QPixmap pixmap(16, 16);
            pixmap.fill(Qt::transparent);
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(QColor(90, 90, 60));
            p.setBrush(QColor(255, 244, 160));
            p.drawRect(QRectF(1.5, 1.5, 9, 13));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(20, 120, 40));
            const QPointF speaker[] = {{6, 6}, {8, 6}, {12, 3}, {12, 13}, {8, 10}, {6, 10}};
            p.drawPolygon(speaker, 6);
            p.setPen(QPen(QColor(20, 120, 40), 1.2));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(11, 4, 4, 8), -60 * 16, 120 * 16);
            return QIcon(pixmap);
        }()};
    return icons[playing ? 1 : 0];
}

QIcon NotifyIcon() {
    static const QIcon icon = [] {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QColor(110, 80, 0));
        p.setBrush(QColor(250, 190, 40));
        QPainterPath bell;
        bell.moveTo(3, 12);
        bell.cubicTo(5, 10, 4, 3, 8, 3);
        bell.cubicTo(12, 3, 11, 10, 13, 12);
        bell.closeSubpath();
        p.drawPath(bell);
        p.drawEllipse(QRectF(6.5, 12, 3, 3));
        return QIcon(pixmap);
    }();
    return icon;
}

}  // namespace

QMimeData* MemoFilesMimeData(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    QByteArray copied = "copy";
    for (const QString& path : paths) {
        urls << QUrl::fromLocalFile(path);
        copied += '\n' + QUrl::fromLocalFile(path).toEncoded();
    }
    data->setUrls(urls);
    data->setData(QStringLiteral("x-special/gnome-copied-files"), copied);
    data->setText(paths.join(u'\n'));
    return data;
}

CEchoMemosModel::CEchoMemosModel(const ECHOMEMOSPROPERTIES* settings, QObject* parent)
    : QAbstractTableModel(parent), settings_(settings) {}

bool CEchoMemosModel::Load(const QString& listPath, const QString& playingPath) {
    std::vector<MemoRow> rows;
    {
        CMemoListLock lock(kMemoLockLoadWait);
        if (!lock.IsHeld())
            return false;
        QFile file(listPath);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const qint64 count = MemoListRecordCount(file.size());
        rows.reserve(static_cast<std::size_t>(count));
        for (qint64 i = 0; i < count; ++i) {
            MemoRow row;
            row.index = i;
            if (!ReadMemoListRecord(&file, i, &row.entry))
                return false;
            if (!HasMemoListPath(row.entry))
                continue;
            row.playing = !playingPath.isEmpty() &&
                          MemoListPath(row.entry).compare(playingPath, Qt::CaseInsensitive) == 0;
            rows.push_back(row);
        }
    }
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
    return true;
}

bool CEchoMemosModel::AppendLast(const QString& listPath) {
    MemoRow row;
    {
        CMemoListLock lock(kMemoLockShortWait);
        QFile file(listPath);
        if (!lock.IsHeld() || !file.open(QIODevice::ReadOnly))
            return false;
        row.index = MemoListRecordCount(file.size()) - 1;
        if (row.index < 0 || !ReadMemoListRecord(&file, row.index, &row.entry) ||
            !HasMemoListPath(row.entry))
            return false;
    }
    if (const int existing = RowOfPath(MemoListPath(row.entry)); existing >= 0) {
        UpdateRow(existing, row);
        return true;
    }
    const int at = static_cast<int>(rows_.size());
    beginInsertRows({}, at, at);
    rows_.push_back(row);
    endInsertRows();
    return true;
}

void CEchoMemosModel::UpdateRow(int row, const MemoRow& memo) {
    if (row < 0 || row >= rowCount())
        return;
    const bool playing = rows_[std::size_t(row)].playing;
    rows_[std::size_t(row)] = memo;
    rows_[std::size_t(row)].playing = playing;
    emit dataChanged(index(row, 0), index(row, kMemoColumnCount - 1));
}

void CEchoMemosModel::RemoveRow(int row) {
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

void CEchoMemosModel::SetPlaying(const QString& playingPath) {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const bool playing =
            !playingPath.isEmpty() &&
            MemoListPath(rows_[i].entry).compare(playingPath, Qt::CaseInsensitive) == 0;
        if (playing != rows_[i].playing) {
            rows_[i].playing = playing;
            const QModelIndex cell = index(static_cast<int>(i), kMemoColumnDescription);
            emit dataChanged(cell, cell, {Qt::DecorationRole});
        }
    }
}

void CEchoMemosModel::Sort(int column, bool ascending) {
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<QString> paths;
    for (const QModelIndex& i : before)
        paths.push_back(MemoListPath(rows_[std::size_t(i.row())].entry));
    SortMemos(&rows_, column, ascending);
    for (int k = 0; k < before.size(); ++k) {
        const int row = RowOfPath(paths[std::size_t(k)]);
        changePersistentIndex(before[k], row >= 0 ? index(row, before[k].column()) : QModelIndex());
    }
    emit layoutChanged();
}

int CEchoMemosModel::RowOfPath(const QString& path) const {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (MemoListPath(rows_[i].entry) == path)
            return static_cast<int>(i);
    return -1;
}

QString CEchoMemosModel::FrequencyText(int frequency) {
    if (frequency < MEMO_USER_INITIATED || frequency > MEMO_YEARLY)
        frequency = MEMO_USER_INITIATED;
    return LoadString(IDS_MEMOS_USER_INITIATED + static_cast<UINT>(frequency));
}

QString CEchoMemosModel::NextPlaybackText(const ECHOMEMOLISTENTRY& entry) const {
    if (entry.memo.frequency == MEMO_USER_INITIATED)
        return {};
    if (entry.memo.played == 1)
        return LoadString(IDS_MEMOS_ALREADY_PLAYED);
    return CPlaybackNotifyDlg::FormatPlayedTime(static_cast<time_t>(entry.nextTime),
                                                settings_ ? settings_->b24Hour : 1);
}

int CEchoMemosModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CEchoMemosModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kMemoColumnCount;
}

QVariant CEchoMemosModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const MemoRow& row = rows_[std::size_t(index.row())];
    const ECHOMEMOLISTENTRY& e = row.entry;
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case kMemoColumnDescription:
                    return MemoListDescription(e);
                case kMemoColumnNextPlayback:
                    return NextPlaybackText(e);
                case kMemoColumnFrequency:
                    return FrequencyText(e.memo.frequency);
                case kMemoColumnLength:
                    return QString::number(e.length);
                default:
                    return {};
            }
        case Qt::DecorationRole:
            if (index.column() == kMemoColumnDescription)
                return MemoIcon(row.playing);
            if (index.column() == kMemoColumnNotify && e.memo.notify)
                return NotifyIcon();
            return {};
        case Qt::ToolTipRole:
            return MemoListPath(e);
        default:
            return {};
    }
}

QVariant CEchoMemosModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const headers[kMemoColumnCount] = {"Description", "Notify", "Next Playback",
                                                          "Frequency", "Length (sec)"};
    return section >= 0 && section < kMemoColumnCount ? QString::fromLatin1(headers[section])
                                                      : QVariant();
}

Qt::ItemFlags CEchoMemosModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList CEchoMemosModel::mimeTypes() const {
    return {QStringLiteral("text/uri-list")};
}

QMimeData* CEchoMemosModel::mimeData(const QModelIndexList& indexes) const {
    QStringList paths;
    QSet<int> seen;
    for (const QModelIndex& i : indexes) {
        if (!i.isValid() || seen.contains(i.row()))
            continue;
        seen.insert(i.row());
        paths << MemoListPath(rows_[std::size_t(i.row())].entry);
    }
    return MemoFilesMimeData(paths);
}

Qt::DropActions CEchoMemosModel::supportedDragActions() const {
    return Qt::CopyAction;
}
