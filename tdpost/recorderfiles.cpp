#include "tdpost/recorderfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/namedlock.h"
#include "platform/tempfile.h"
#include "tdkit/audio/acm.h"
#include "tdkit/audio/record.h"
#include "tdkit/settings/names.h"
#include "tdkit/settings/strings.h"

namespace {

constexpr qint64 kCopyBlock = 1 << 16;

bool RenameOver(const QString& from, const QString& to) {
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

uint32_t Le32(const char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void PutLe32(char* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}

// The permissions a new file of the user gets: 0666 less the process's file mode mask,
// read without changing it (umask() would, for a moment, for every thread).
mode_t NewFileMode() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return static_cast<mode_t>(0666 & ~mask);
            }
        }
    }
    return 0644;
}

// Gives a file built under a private temporary name the permissions of the file it
// replaces, or those of a new file.
bool TakeUsualPermissions(const QString& temp, const QString& target) {
    struct stat st {};
    const mode_t mode =
        ::stat(QFile::encodeName(target).constData(), &st) == 0 && S_ISREG(st.st_mode)
            ? (st.st_mode & 07777)
            : NewFileMode();
    return ::chmod(QFile::encodeName(temp).constData(), mode) == 0;
}

// Where the parts of a WAV file stand, read with every length checked against the file.
struct WavLayout {
    WAVEFORMATEX format{};
    bool hasFormat = false;
    bool hasData = false;
    qint64 dataOffset = 0;
    uint32_t dataSize = 0;
    qint64 dataEnd = 0;  // the padded end of the stored data chunk
    qint64 fileSize = 0;
};

bool ReadLayout(QFile& f, WavLayout* out) {
    WavLayout w;
    w.fileSize = f.size();
    char head[12];
    if (!f.seek(0) || f.read(head, 12) != 12 || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0)
        return false;
    qint64 at = 12;
    while (at + 8 <= w.fileSize) {
        char ck[8];
        if (!f.seek(at) || f.read(ck, 8) != 8)
            return false;
        const uint32_t size = Le32(ck + 4);
        if (std::memcmp(ck, "fmt ", 4) == 0) {
            if (size < 16 || at + 8 + 16 > w.fileSize)
                return false;
            char fmt[18] = {};
            const qint64 want = std::min<qint64>(size, 18);
            if (f.read(fmt, want) != want)
                return false;
            std::memcpy(&w.format, fmt, 16);
            w.format.cbSize = 0;
            w.hasFormat = true;
        } else if (std::memcmp(ck, "data", 4) == 0) {
            w.hasData = true;
            w.dataOffset = at + 8;
            w.dataSize = size;
            w.dataEnd = w.dataOffset + size + (size & 1);
            break;
        }
        at += 8 + qint64(size) + (size & 1);
    }
    *out = w;
    return w.hasFormat && w.hasData;
}

QByteArray WavHeader(const WAVEFORMATEX& f, uint32_t dataBytes) {
    QByteArray h(44, '\0');
    char* p = h.data();
    std::memcpy(p, "RIFF", 4);
    PutLe32(p + 4, 36 + dataBytes + (dataBytes & 1));
    std::memcpy(p + 8, "WAVEfmt ", 8);
    PutLe32(p + 16, 16);
    std::memcpy(p + 20, &f, 16);
    std::memcpy(p + 36, "data", 4);
    PutLe32(p + 40, dataBytes);
    return h;
}

// The paths of this process's work files (the named locks are shared within a process,
// so they cannot tell one drawer's file from another's here).
std::mutex g_heldMutex;
std::vector<QString> g_held;

QString HoldName(const QString& path) {
    return QStringLiteral("TONEDECK_WORK_") + QFileInfo(path).fileName().toUpper();
}

}  // namespace

bool CopyFileContents(const QString& source, const QString& destination) {
    QFile in(source);
    if (!QFileInfo(source).isFile() || !in.open(QIODevice::ReadOnly))
        return false;
    QFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    std::vector<char> block(kCopyBlock);
    for (;;) {
        const qint64 got = in.read(block.data(), kCopyBlock);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        if (out.write(block.data(), got) != got)
            return false;
    }
    if (!out.flush() || ::fsync(out.handle()) != 0)
        return false;
    out.close();
    return out.error() == QFileDevice::NoError;
}

bool IsSameFile(const QString& a, const QString& b) {
    std::error_code ec;
    const bool same = std::filesystem::equivalent(QFile::encodeName(a).toStdString(),
                                                  QFile::encodeName(b).toStdString(), ec);
    return !ec && same;
}

bool IsRegularReadableFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    QFile f(path);
    return f.open(QIODevice::ReadOnly);
}

PostResult PostEchoMemoFile(const QString& workFile, const QString& memoDir,
                            const char* description, const ECHOMEMOSTRUCT& memo, bool compress) {
    PostResult r;
    // The final name is taken first and exclusively; the memo is built beside it under a
    // name the memo list never reads, and renamed over the reservation when complete.
    const std::optional<QString> final =
        CreateUniqueFile(memoDir, QStringLiteral("SAY"), QStringLiteral(".WAV"), kNameBufferSize);
    if (!final) {
        r.error = QStringLiteral("no new file name in ") + memoDir;
        return r;
    }
    const std::optional<QString> temp =
        CreateUniqueFile(memoDir, QStringLiteral(".SAY"), QStringLiteral(".part"));
    if (!temp) {
        QFile::remove(*final);
        r.error = QStringLiteral("no temporary file in ") + memoDir;
        return r;
    }
    bool ok = false;
    if (compress) {
        // The codec layer writes beside the temporary file and renames over it, so the
        // temporary name holds either the whole compressed memo or what it held before.
        CACM acm;
        ok = acm.CompressFile(workFile, *temp) != 0;
        if (!ok) {
            r.compressionFailed = true;
            r.error = QStringLiteral("the recording could not be compressed: ") + acm.LastError();
        }
    } else {
        ok = CopyFileContents(workFile, *temp);
        if (!ok)
            r.error = QStringLiteral("the recording could not be copied");
    }
    if (ok && !AddNoteInfoToRIFFFile(*temp, WAVEFILETYPE_ECHOMEMO, description ? description : "",
                                     &memo, SOUNDFILETYPE_WAV)) {
        ok = false;
        r.error = QStringLiteral("the memo information could not be written");
    }
    if (ok && (!TakeUsualPermissions(*temp, QString()) || !RenameOver(*temp, *final))) {
        ok = false;
        r.error = QStringLiteral("the memo could not be put in place");
    }
    if (!ok) {
        QFile::remove(*temp);
        QFile::remove(*final);
        return r;
    }
    r.path = *final;
    return r;
}

PostResult PlaceFileInDirectory(const QString& workFile, const QString& dir,
                                const QString& prefix) {
    PostResult r;
    const std::optional<QString> final =
        CreateUniqueFile(dir, prefix, QStringLiteral(".WAV"), kNameBufferSize);
    if (!final) {
        r.error = QStringLiteral("no new file name in ") + dir;
        return r;
    }
    const std::optional<QString> temp =
        CreateUniqueFile(dir, QStringLiteral(".") + prefix, QStringLiteral(".part"));
    if (!temp || !CopyFileContents(workFile, *temp) || !TakeUsualPermissions(*temp, QString()) ||
        !RenameOver(*temp, *final)) {
        if (temp)
            QFile::remove(*temp);
        QFile::remove(*final);
        r.error = QStringLiteral("the recording could not be copied to ") + dir;
        return r;
    }
    r.path = *final;
    return r;
}

bool SaveWorkFileAs(const QString& workFile, const QString& destination) {
    const QFileInfo target(destination);
    if (target.exists() && !target.isFile())
        return false;
    if (IsSameFile(workFile, destination))
        return false;
    const std::optional<QString> temp = CreateUniqueFile(
        target.absolutePath(), QStringLiteral(".") + target.fileName() + QLatin1Char('.'),
        QStringLiteral(".part"));
    if (!temp)
        return false;
    if (!CopyFileContents(workFile, *temp) ||
        !TakeUsualPermissions(*temp, target.absoluteFilePath()) ||
        !RenameOver(*temp, target.absoluteFilePath())) {
        QFile::remove(*temp);
        return false;
    }
    return true;
}

QString MakeClipboardSnapshot(const QString& workFile, const QString& name) {
    static std::mutex mutex;
    static QString previous;
    const std::optional<QString> base = PrivateTempDirectory();
    if (!base || name.isEmpty() || name.contains(QLatin1Char('/')))
        return QString();
    const QString root = *base + QStringLiteral("/clipboard");
    if (!EnsurePrivateDirectory(root))
        return QString();
    QTemporaryDir dir(root + QStringLiteral("/copy-XXXXXX"));
    if (!dir.isValid())
        return QString();
    const QString path = dir.path() + QLatin1Char('/') + name;
    if (!CopyFileContents(workFile, path))
        return QString();
    dir.setAutoRemove(false);
    std::lock_guard lock(mutex);
    // The copy made before this one is no longer on the clipboard.
    if (!previous.isEmpty())
        QDir(previous).removeRecursively();
    previous = dir.path();
    return path;
}

bool ReadWavFormat(const QString& path, WAVEFORMATEX* format) {
    if (!IsRegularReadableFile(path))
        return false;
    QFile f(path);
    WavLayout w;
    if (!f.open(QIODevice::ReadOnly) || !ReadLayout(f, &w))
        return false;
    *format = w.format;
    return true;
}

bool ConvertPcmFile(const QString& source, const QString& destination, const WAVEFORMATEX& target) {
    QFile in(source);
    WavLayout w;
    if (!IsRegularReadableFile(source) || !in.open(QIODevice::ReadOnly) || !ReadLayout(in, &w))
        return false;
    const WAVEFORMATEX& s = w.format;
    auto pcm = [](const WAVEFORMATEX& f) {
        return f.wFormatTag == WAVE_FORMAT_PCM &&
               (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) &&
               (f.nChannels == 1 || f.nChannels == 2) && f.nSamplesPerSec > 0;
    };
    if (!pcm(s) || !pcm(target))
        return false;
    const int inFrame = s.nChannels * s.wBitsPerSample / 8;
    const qint64 stored = std::min<qint64>(w.dataSize, w.fileSize - w.dataOffset);
    const qint64 frames = stored / inFrame;
    if (!in.seek(w.dataOffset))
        return false;
    const QByteArray raw = in.read(frames * inFrame);
    if (raw.size() != frames * inFrame)
        return false;
    // Source frames as 16-bit values per channel.
    auto sampleAt = [&](qint64 frame, int channel) -> int {
        const int ch = std::min<int>(channel, s.nChannels - 1);
        const char* p = raw.constData() + frame * inFrame + ch * (s.wBitsPerSample / 8);
        if (s.wBitsPerSample == 8)
            return (static_cast<uint8_t>(*p) - 128) << 8;
        int16_t v;
        std::memcpy(&v, p, 2);
        return v;
    };
    auto valueAt = [&](qint64 frame, int channel) -> int {
        if (s.nChannels == 2 && target.nChannels == 1)
            return (sampleAt(frame, 0) + sampleAt(frame, 1)) / 2;
        return sampleAt(frame, channel);
    };
    const qint64 outFrames =
        frames == 0 ? 0 : (frames * qint64(target.nSamplesPerSec)) / qint64(s.nSamplesPerSec);
    const int outBytes = target.wBitsPerSample / 8;
    QByteArray out;
    out.reserve(outFrames * target.nChannels * outBytes);
    for (qint64 i = 0; i < outFrames; ++i) {
        const double pos = double(i) * s.nSamplesPerSec / target.nSamplesPerSec;
        const qint64 a = std::min<qint64>(qint64(pos), frames - 1);
        const qint64 b = std::min<qint64>(a + 1, frames - 1);
        const double t = pos - double(a);
        for (int c = 0; c < target.nChannels; ++c) {
            const int v = int(valueAt(a, c) * (1.0 - t) + valueAt(b, c) * t);
            if (outBytes == 1) {
                out.append(
                    static_cast<char>(static_cast<uint8_t>(std::clamp((v >> 8) + 128, 0, 255))));
            } else {
                const int16_t x = static_cast<int16_t>(std::clamp(v, -32768, 32767));
                out.append(reinterpret_cast<const char*>(&x), 2);
            }
        }
    }
    if (out.size() > 0x7FFFFFF0)
        return false;
    WAVEFORMATEX f = target;
    f.nBlockAlign = static_cast<WORD>(target.nChannels * outBytes);
    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
    QFile o(destination);
    if (!o.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray header = WavHeader(f, static_cast<uint32_t>(out.size()));
    if (o.write(header) != header.size() || o.write(out) != out.size())
        return false;
    if (out.size() & 1)
        o.write("\0", 1);
    return o.flush();
}

ImportError ImportIntoWorkFile(CRecord& recorder, ImportMode mode, const QString& source,
                               const QString& workFile) {
    if (!IsRegularReadableFile(source))
        return ImportError::NotAFile;
    if (IsSameFile(source, workFile))
        return ImportError::SameFile;
    char name[kNameBufferSize];
    if (!GetTempFilePathAndName(name, IDS_TEMPPREFIX_AUDIO, IDS_TEMPEXTENSION_WAV))
        return ImportError::TempFile;
    const QString temp = QFile::decodeName(name);
    WorkFileHold hold(temp);
    bool ok = false;
    switch (mode) {
        case ImportMode::Replace:
            ok = CopyFileContents(source, temp);
            break;
        case ImportMode::Append:
            ok = CopyFileContents(workFile, temp) && recorder.AppendFile(source, temp);
            break;
        case ImportMode::Insert:
            ok = CopyFileContents(source, temp) && recorder.AppendFile(workFile, temp);
            break;
        case ImportMode::Mix:
            ok = CopyFileContents(workFile, temp) && recorder.MixFiles(source, temp);
            break;
    }
    if (ok)
        ok = QFile::setPermissions(temp, QFile::ReadOwner | QFile::WriteOwner) &&
             RenameOver(temp, workFile);
    if (!ok) {
        QFile::remove(temp);
        return ImportError::Failed;
    }
    return ImportError::None;
}

WorkFileHold::WorkFileHold(const QString& path) : path_(QFileInfo(path).absoluteFilePath()) {
    lock_ = NamedMutex::Create(HoldName(path_));
    held_ = lock_ != nullptr;
    std::lock_guard lock(g_heldMutex);
    g_held.push_back(path_);
}

WorkFileHold::~WorkFileHold() {
    std::lock_guard lock(g_heldMutex);
    auto it = std::find(g_held.begin(), g_held.end(), path_);
    if (it != g_held.end())
        g_held.erase(it);
}

QStringList FindOrphanWorkFiles() {
    const std::optional<QString> dir = PrivateTempDirectory();
    if (!dir)
        return {};
    QDir d(*dir);
    d.setNameFilters({QStringLiteral("VG*.WAV"), QStringLiteral("AD*.WAV")});
    d.setFilter(QDir::Files);
    d.setSorting(QDir::Time);
    QStringList found;
    for (const QFileInfo& info : d.entryInfoList()) {
        const QString path = info.absoluteFilePath();
        {
            std::lock_guard lock(g_heldMutex);
            if (std::find(g_held.begin(), g_held.end(), path) != g_held.end())
                continue;
        }
        if (NamedMutex::Open(HoldName(path)))  // a drawer of another bar holds it
            continue;
        if (info.size() > 44)
            found << path;
    }
    return found;
}

DWORD RepairWorkFile(const QString& path) {
    if (!IsRegularReadableFile(path))
        return 0;
    QFile f(path);
    WavLayout w;
    if (!f.open(QIODevice::ReadWrite) || !ReadLayout(f, &w))
        return 0;
    const WORD align = w.format.nBlockAlign ? w.format.nBlockAlign : 1;
    // A finished file: the form's size covers the data, and the chunks kept after the
    // form (description, memo) walk exactly to the end of the file.
    char form[4];
    bool finished = f.seek(4) && f.read(form, 4) == 4 && w.dataSize > 0;
    const qint64 formEnd = 8 + qint64(Le32(form));
    finished = finished && w.dataEnd <= formEnd && formEnd <= w.fileSize;
    for (qint64 at = formEnd; finished && at < w.fileSize;) {
        char ck[8];
        if (at + 8 > w.fileSize || !f.seek(at) || f.read(ck, 8) != 8) {
            finished = false;
            break;
        }
        at += 8 + qint64(Le32(ck + 4)) + (Le32(ck + 4) & 1);
        finished = at <= w.fileSize;
    }
    if (finished)
        return w.dataSize / align;
    const qint64 available = std::min<qint64>(w.fileSize - w.dataOffset, 0xFFFFFFF0ll);
    const uint32_t data = static_cast<uint32_t>(available - available % align);
    char size[4];
    PutLe32(size, data);
    if (!f.seek(w.dataOffset - 4) || f.write(size, 4) != 4)
        return 0;
    const qint64 end = w.dataOffset + data + (data & 1);
    PutLe32(size, static_cast<uint32_t>(end - 8));
    if (!f.seek(4) || f.write(size, 4) != 4)
        return 0;
    if (end > w.fileSize) {
        f.seek(w.fileSize);
        f.write("\0", 1);
    } else if (!f.resize(end)) {
        return 0;
    }
    if (!f.flush())
        return 0;
    return data / align;
}
