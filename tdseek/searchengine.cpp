#include "tdseek/searchengine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/drives.h"
#include "platform/regularfile.h"
#include "platform/tempfile.h"
#include "platform/trace.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/settings/paths.h"

namespace {

// Trash folders are never searched: what lies there has been thrown away.
bool InTrash(const QString& dir) {
    return dir.contains(QStringLiteral("/.Trash")) ||
           dir.contains(QStringLiteral("/.local/share/Trash"));
}

// 0 for a .wav name, 1 for .mid, 2 for .rmi (without regard to case), when that kind is
// wanted; -1 otherwise.
int SoundKind(const char* name, bool wave, bool midi) {
    const std::size_t n = std::strlen(name);
    if (n < 4 || name[n - 4] != '.')
        return -1;
    const char* ext = name + n - 3;
    if (wave && ::strncasecmp(ext, "wav", 3) == 0)
        return 0;
    if (midi && ::strncasecmp(ext, "mid", 3) == 0)
        return 1;
    if (midi && ::strncasecmp(ext, "rmi", 3) == 0)
        return 2;
    return -1;
}

// The search yields to everything else on the machine: idle CPU scheduling and the idle
// I/O class for the calling thread. Failures leave the normal priorities.
void RunAtIdlePriority() {
    sched_param param{};
    ::pthread_setschedparam(::pthread_self(), SCHED_IDLE, &param);
    constexpr int kIoprioClassIdle = 3, kIoprioClassShift = 13, kIoprioWhoProcess = 1;
    ::syscall(SYS_ioprio_set, kIoprioWhoProcess, static_cast<int>(::gettid()),
              kIoprioClassIdle << kIoprioClassShift);
}

template <std::size_t N>
bool CopyField(char (&field)[N], const QByteArray& text) {
    if (static_cast<std::size_t>(text.size()) >= N)
        return false;
    std::memset(field, 0, N);
    std::memcpy(field, text.constData(), static_cast<std::size_t>(text.size()));
    return true;
}

}  // namespace

CSoundSearchEngine::CSoundSearchEngine() {
    QString dir;
    if (GetAudioMessagingDirectory(dir))
        excluded_ << QDir::cleanPath(dir);
    if (GetEchoMemosDirectory(dir))
        excluded_ << QDir::cleanPath(dir);
}

CSoundSearchEngine::~CSoundSearchEngine() {
    stop_ = true;
    if (worker_.joinable())
        worker_.join();
    if (tempFd_ >= 0)
        ::close(tempFd_);
    if (!tempPath_.isEmpty())
        QFile::remove(tempPath_);
}

QStringList CSoundSearchEngine::DriveRoots(const BOOL drives[26]) {
    QStringList roots;
    for (int d = 0; d < 26; ++d) {
        if (!drives[d])
            continue;
        if (const auto drive = DriveForLetter(char('A' + d)))
            roots << drive->mountPoint;
    }
    return roots;
}

int CSoundSearchEngine::DoSearch(const BOOL drives[26], int midi, int wave, SearchCallback callback,
                                 uintptr_t user, bool background) {
    if (searching_ || !finished_)
        return 0;
    std::memcpy(drives_, drives, sizeof drives_);
    midi_ = midi != 0;
    wave_ = wave != 0;
    background_ = background;
    callback_ = std::move(callback);
    user_ = user;
    if (tempFd_ >= 0)
        ::close(tempFd_);
    if (!tempPath_.isEmpty())
        QFile::remove(tempPath_);
    tempFd_ = -1;
    tempPath_.clear();
    const auto dir = PrivateTempDirectory();
    if (!dir)
        return 0;
    const auto path = CreateUniqueFile(*dir, QStringLiteral("SE"), QStringLiteral(".TMP"));
    if (!path)
        return 0;
    tempFd_ = ::open(QFile::encodeName(*path).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (tempFd_ < 0) {
        QFile::remove(*path);
        return 0;
    }
    tempPath_ = *path;
    finished_ = false;
    searching_ = true;
    if (worker_.joinable())
        worker_.join();
    worker_ = std::thread([this] { Worker(); });
    return 1;
}

bool CSoundSearchEngine::WaitForWorker(int timeoutMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!finished_ && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return finished_;
}

void CSoundSearchEngine::Worker() {
    Trace("CSoundSearchEngine: Begining FileFindAgent Thread\n");
    if (background_)
        RunAtIdlePriority();
    for (const QString& root : DriveRoots(drives_)) {
        FindNestedDrives(root);
        SearchTree(root);
        if (stop_)
            break;
    }
    if (tempFd_ >= 0)
        ::fsync(tempFd_);
    searching_ = false;
    if (callback_)
        callback_(nullptr, user_);
    Trace("CSoundSearchEngine: Exiting FileFindAgent Thread\n");
    finished_ = true;
}

void CSoundSearchEngine::SearchTree(const QString& root) {
    struct stat st {};
    if (::stat(QFile::encodeName(root).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    if (::access(QFile::encodeName(root).constData(), R_OK | X_OK) != 0)
        return;
    AddFilesToList(QDir::cleanPath(root), st.st_dev);
}

void CSoundSearchEngine::FindNestedDrives(const QString& root) {
    nestedDevices_.clear();
    const QString top = QDir::cleanPath(root);
    const QString prefix = top.endsWith(u'/') ? top : top + u'/';
    for (const Drive& drive : LoadDriveTable()) {
        const int index = drive.letter - 'A';
        if (index < 0 || index >= 26 || drives_[index])
            continue;  // a chosen drive is searched at its own turn
        const QString mount = QDir::cleanPath(drive.mountPoint);
        if (!mount.startsWith(prefix))
            continue;
        struct stat st {};
        if (::stat(QFile::encodeName(mount).constData(), &st) == 0)
            nestedDevices_.push_back(st.st_dev);
    }
}

bool CSoundSearchEngine::IsNestedDrive(dev_t device) const {
    return std::find(nestedDevices_.begin(), nestedDevices_.end(), device) != nestedDevices_.end();
}

bool CSoundSearchEngine::IsExcluded(const QString& dir) const {
    for (const QString& e : excluded_)
        if (dir.compare(e, Qt::CaseInsensitive) == 0)
            return true;
    return InTrash(dir);
}

bool CSoundSearchEngine::FillRecord(const QString& path, int type, SOUNDSTRUCT* record) {
    std::memset(record, 0, sizeof *record);
    const QFileInfo info(path);
    if (!CopyField(record->szName, QFile::encodeName(info.fileName())))
        return false;
    if (!CopyField(record->szPath, QFile::encodeName(path)))
        return false;
    WAVEFILETYPE waveType{};
    DWORD seconds = 0;
    if (!GetInfoFromRIFFFile(path, waveType, record->szDescription, sizeof record->szDescription,
                             seconds, nullptr))
        record->szDescription[0] = '\0';
    record->nType = type;
    record->dwSize = static_cast<DWORD>(info.size() & 0xFFFFFFFF);
    // FILETIME counts 100-ns intervals from 1601-01-01; Unix time starts 11644473600 s later.
    const qint64 msecs = info.lastModified().toMSecsSinceEpoch();
    const uint64_t filetime = static_cast<uint64_t>(msecs + 11644473600000LL) * 10000ULL;
    record->ftLastWriteLow = static_cast<DWORD>(filetime & 0xFFFFFFFF);
    record->ftLastWriteHigh = static_cast<DWORD>(filetime >> 32);
    return true;
}

void CSoundSearchEngine::AddFilesToList(const QString& top, dev_t device) {
    // Depth first, a directory's own files before its subdirectories, without recursion
    // so that a deep tree cannot exhaust the stack. Symbolic links are not followed.
    // Other file systems are entered only when they are drives of the table that this
    // search does not search on their own; pseudo file systems and chosen drives stay out.
    // Each directory is listed once; a directory's files are recorded WAV first, then
    // MIDI, then RMI, each kind in the order the directory lists them.
    std::vector<QString> pending{top};
    std::vector<QByteArray> found[3];  // .wav, .mid, .rmi
    std::vector<QByteArray> subdirs;
    while (!pending.empty() && !stop_) {
        const QString dir = pending.back();
        pending.pop_back();
        const QByteArray dirBytes = QFile::encodeName(dir);
        DIR* listing = ::opendir(dirBytes.constData());
        if (!listing)
            continue;
        for (auto& f : found)
            f.clear();
        subdirs.clear();
        const int dirFd = ::dirfd(listing);
        while (const dirent* entry = ::readdir(listing)) {
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN) {
                struct stat st {};
                if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
            }
            if (type == DT_DIR) {
                subdirs.emplace_back(name);
            } else if (type == DT_REG) {
                const int kind = SoundKind(name, wave_, midi_);
                if (kind >= 0)
                    found[kind].emplace_back(name);
            }
        }
        if (stop_) {
            ::closedir(listing);
            break;
        }
        const QString prefix = dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
        bool writeFailed = false;
        for (int kind = 0; kind < 3 && !writeFailed && !stop_; ++kind) {
            for (const QByteArray& name : found[kind]) {
                if (stop_)
                    break;
                SOUNDSTRUCT record;
                if (!FillRecord(prefix + QFile::decodeName(name), kind == 0 ? 1 : 2, &record))
                    continue;
                if (::write(tempFd_, &record, sizeof record) !=
                    static_cast<ssize_t>(sizeof record)) {
                    writeFailed = true;
                    break;
                }
                if (callback_)
                    callback_(&record, user_);
            }
        }
        for (auto it = subdirs.rbegin(); it != subdirs.rend() && !stop_; ++it) {
            struct stat st {};
            if (::fstatat(dirFd, it->constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                !S_ISDIR(st.st_mode) || (st.st_dev != device && !IsNestedDrive(st.st_dev)))
                continue;
            const QString sub = prefix + QFile::decodeName(*it);
            if (IsExcluded(sub))
                continue;
            pending.push_back(sub);
        }
        ::closedir(listing);
    }
}

std::vector<SOUNDSTRUCT> ReadSearchFile(const QString& path) {
    std::vector<SOUNDSTRUCT> records;
    QFile file(path);
    if (!OpenRegularFile(file, QIODevice::ReadOnly))
        return records;
    SOUNDSTRUCT record;
    while (file.read(reinterpret_cast<char*>(&record), sizeof record) == sizeof record) {
        if (record.szPath[0] == '\0')
            continue;
        // Keep every text inside its field whatever the file held.
        record.szName[sizeof record.szName - 1] = '\0';
        record.szDescription[sizeof record.szDescription - 1] = '\0';
        record.szPath[sizeof record.szPath - 1] = '\0';
        records.push_back(record);
    }
    return records;
}

bool PublishSearchFile(const QString& from, const QString& to) {
    QFile source(from);
    if (!OpenRegularFile(source, QIODevice::ReadOnly))
        return false;
    QSaveFile target(to);
    if (!target.open(QIODevice::WriteOnly))
        return false;
    while (!source.atEnd()) {
        const QByteArray block = source.read(1 << 16);
        if (block.isEmpty() || target.write(block) != block.size())
            return false;
    }
    return target.commit();
}
