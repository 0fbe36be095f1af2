#include "tdmemo/memolist.h"

#include <QFile>
#include <QIODevice>
#include <QSaveFile>

#include <bit>
#include <cstring>

#include "platform/regularfile.h"

static_assert(std::endian::native == std::endian::little,
              "the list file is read and written as it lies in memory");

namespace {

template <std::size_t N>
QString FieldText(const char (&field)[N]) {
    return QString::fromLocal8Bit(field, static_cast<qsizetype>(strnlen(field, N)));
}

template <std::size_t N>
bool SetFieldText(char (&field)[N], const QByteArray& text) {
    if (text.size() >= static_cast<qsizetype>(N) || text.contains('\0'))
        return false;
    std::memset(field, 0, N);
    std::memcpy(field, text.constData(), static_cast<std::size_t>(text.size()));
    return true;
}

void SetError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

}  // namespace

QString MemoListPath(const ECHOMEMOLISTENTRY& entry) {
    return QFile::decodeName(
        QByteArray(entry.path, static_cast<qsizetype>(strnlen(entry.path, sizeof entry.path))));
}

QString MemoListDescription(const ECHOMEMOLISTENTRY& entry) {
    return FieldText(entry.description);
}

bool HasMemoListPath(const ECHOMEMOLISTENTRY& entry) {
    return entry.path[0] != '\0';
}

bool SetMemoListPath(ECHOMEMOLISTENTRY* entry, const QString& path) {
    return SetFieldText(entry->path, QFile::encodeName(path));
}

bool SetMemoListDescription(ECHOMEMOLISTENTRY* entry, const QString& description) {
    return SetFieldText(entry->description, description.toLocal8Bit());
}

uint32_t ToListTime(time_t t) {
    if (t < 0)
        return 0;
    if (t > time_t{UINT32_MAX})
        return UINT32_MAX;
    return static_cast<uint32_t>(t);
}

qint64 MemoListRecordCount(qint64 fileSize) {
    return fileSize > 0 ? fileSize / kMemoListRecordSize : 0;
}

bool ReadMemoListRecord(QIODevice* file, qint64 index, ECHOMEMOLISTENTRY* entry) {
    if (index < 0 || !file->seek(index * kMemoListRecordSize))
        return false;
    ECHOMEMOLISTENTRY read;
    if (file->read(reinterpret_cast<char*>(&read), kMemoListRecordSize) != kMemoListRecordSize)
        return false;
    *entry = read;
    return true;
}

bool WriteMemoListRecord(QIODevice* file, qint64 index, const ECHOMEMOLISTENTRY& entry) {
    if (index < 0 || !file->seek(index * kMemoListRecordSize))
        return false;
    return file->write(reinterpret_cast<const char*>(&entry), kMemoListRecordSize) ==
           kMemoListRecordSize;
}

bool AppendMemoListRecord(QIODevice* file, const ECHOMEMOLISTENTRY& entry) {
    return WriteMemoListRecord(file, MemoListRecordCount(file->size()), entry);
}

bool RewriteMemoListRecord(QIODevice* file, qint64 index, const ECHOMEMOLISTENTRY& entry) {
    if (index < 0 || index >= MemoListRecordCount(file->size()))
        return false;
    ECHOMEMOLISTENTRY current;
    if (!ReadMemoListRecord(file, index, &current) || !HasMemoListPath(current) ||
        MemoListPath(current) != MemoListPath(entry))
        return false;
    return WriteMemoListRecord(file, index, entry);
}

qint64 FindMemoListRecord(QIODevice* file, const QString& path, Qt::CaseSensitivity cs) {
    ECHOMEMOLISTENTRY entry;
    for (qint64 i = 0; i < MemoListRecordCount(file->size()) && ReadMemoListRecord(file, i, &entry);
         ++i) {
        if (HasMemoListPath(entry) && MemoListPath(entry).compare(path, cs) == 0)
            return i;
    }
    return -1;
}

bool ReadMemoListFile(const QString& fileName, std::vector<MemoListRecord>* records,
                      QString* error) {
    records->clear();
    QFile file(fileName);
    if (!OpenRegularFile(file, QIODevice::ReadOnly, error))
        return false;
    const qint64 count = MemoListRecordCount(file.size());
    for (qint64 i = 0; i < count; ++i) {
        MemoListRecord record{i, {}};
        if (!ReadMemoListRecord(&file, i, &record.entry)) {
            SetError(error, QStringLiteral("cannot read record %1 of %2").arg(i).arg(fileName));
            records->clear();
            return false;
        }
        if (HasMemoListPath(record.entry))
            records->push_back(record);
    }
    return true;
}

bool WriteMemoListFile(const QString& fileName, const std::vector<ECHOMEMOLISTENTRY>& entries,
                       QString* error) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        SetError(error, QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString()));
        return false;
    }
    for (const ECHOMEMOLISTENTRY& entry : entries) {
        if (file.write(reinterpret_cast<const char*>(&entry), kMemoListRecordSize) !=
            kMemoListRecordSize) {
            SetError(error,
                     QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString()));
            file.cancelWriting();
            return false;
        }
    }
    if (!file.commit()) {
        SetError(error, QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString()));
        return false;
    }
    return true;
}
