#include "platform/registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include "platform/regularfile.h"

#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

// One parsed INI file: sections in file order, each with its entries in order.
struct Section {
    QString name;
    std::vector<std::pair<QString, QString>> entries;
};
using IniFile = std::vector<Section>;

QString StoreDir(bool machineWide) {
    const QByteArray moved = qgetenv("TONEDECK_REGISTRY_DIR");
    if (!moved.isEmpty())
        return QString::fromLocal8Bit(moved);
    if (machineWide)
        return QStringLiteral("/etc/tonedeck");
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tonedeck");
}

// Entries are kept one per line as name=value: '%', '=' and control characters are
// written as %XX.
QString Escape(const QString& text) {
    QString out;
    for (QChar c : text) {
        if (c == u'%' || c == u'=' || c.unicode() < 0x20)
            out += u'%' + QStringLiteral("%1").arg(c.unicode(), 2, 16, QChar(u'0')).toUpper();
        else
            out += c;
    }
    return out;
}

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

// Takes %XX only with exactly two hexadecimal digits; anything else stands as written.
QString Unescape(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'%' && i + 2 < text.size()) {
            const int high = HexDigit(text[i + 1]);
            const int low = HexDigit(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += QChar(static_cast<char16_t>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// Largest store file read; a larger one is no store of ours.
constexpr qint64 kMaxStoreBytes = 16 << 20;

IniFile Parse(const QString& path) {
    IniFile ini;
    QFile file(path);
    if (!OpenRegularFile(file, QIODevice::ReadOnly))
        return ini;
    const QStringList lines = QString::fromUtf8(file.read(kMaxStoreBytes)).split(u'\n');
    for (QString line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            ini.push_back({line.mid(1, line.size() - 2), {}});
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0 || ini.empty())
            continue;
        ini.back().entries.emplace_back(Unescape(line.left(eq)), Unescape(line.mid(eq + 1)));
    }
    return ini;
}

QByteArray Serialise(const IniFile& ini) {
    QString text;
    for (const Section& s : ini) {
        text += u'[' + s.name + QStringLiteral("]\n");
        for (const auto& [name, value] : s.entries)
            text += Escape(name) + u'=' + Escape(value) + u'\n';
        text += u'\n';
    }
    return text.toUtf8();
}

// Holds an exclusive lock beside the file while a change is read, made and written.
class FileLock {
public:
    explicit FileLock(const QString& path) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        fd_ = ::open(QFile::encodeName(path + QStringLiteral(".lock")).constData(),
                     O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0600);
        if (fd_ < 0)
            return;
        // Every holder changes one small file and lets go: a few seconds is plenty.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) ||
                std::chrono::steady_clock::now() >= deadline) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~FileLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool ok() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

bool Write(const QString& path, const IniFile& ini) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(Serialise(ini));
    return file.commit();
}

QString NormaliseKey(QString key) {
    while (key.startsWith(u'\\'))
        key.remove(0, 1);
    while (key.endsWith(u'\\'))
        key.chop(1);
    return key;
}

Section* FindSection(IniFile& ini, const QString& name) {
    for (Section& s : ini)
        if (s.name.compare(name, Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

bool KeyExistsIn(const IniFile& ini, const QString& key) {
    const QString prefix = key + u'\\';
    for (const Section& s : ini) {
        if (s.name.compare(key, Qt::CaseInsensitive) == 0)
            return true;
        if (s.name.startsWith(prefix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

std::pair<QString, QString>* FindEntry(Section& section, const QString& name) {
    for (auto& entry : section.entries)
        if (entry.first.compare(name, Qt::CaseInsensitive) == 0)
            return &entry;
    return nullptr;
}

}  // namespace

QString RegistryFilePath(RegRoot root) {
    switch (root) {
        case RegRoot::CurrentUser:
            return StoreDir(false) + QStringLiteral("/user.ini");
        case RegRoot::LocalMachine:
            return StoreDir(true) + QStringLiteral("/machine.ini");
        case RegRoot::ClassesRoot:
            return StoreDir(true) + QStringLiteral("/classes.ini");
    }
    return {};
}

QString ProfileFilePath() {
    return StoreDir(false) + QStringLiteral("/profile.ini");
}

std::optional<RegKey> RegKey::Open(RegRoot root, const QString& subKey) {
    if (!Exists(root, subKey))
        return std::nullopt;
    return RegKey(root, NormaliseKey(subKey));
}

std::optional<RegKey> RegKey::Create(RegRoot root, const QString& subKey) {
    const QString key = NormaliseKey(subKey);
    if (key.isEmpty())
        return std::nullopt;
    const QString path = RegistryFilePath(root);
    FileLock lock(path);
    if (!lock.ok())
        return std::nullopt;
    IniFile ini = Parse(path);
    if (!FindSection(ini, key)) {
        ini.push_back({key, {}});
        if (!Write(path, ini))
            return std::nullopt;
    }
    return RegKey(root, key);
}

bool RegKey::Exists(RegRoot root, const QString& subKey) {
    const QString key = NormaliseKey(subKey);
    if (key.isEmpty())
        return false;
    return KeyExistsIn(Parse(RegistryFilePath(root)), key);
}

std::optional<QString> RegKey::QueryString(const QString& name, std::size_t bufferSize) const {
    IniFile ini = Parse(RegistryFilePath(root_));
    Section* section = FindSection(ini, subKey_);
    if (!section)
        return std::nullopt;
    const auto* entry = FindEntry(*section, name);
    if (!entry)
        return std::nullopt;
    if (static_cast<std::size_t>(entry->second.toLocal8Bit().size()) + 1 > bufferSize)
        return std::nullopt;
    return entry->second;
}

bool RegKey::SetString(const QString& name, const QString& value) {
    if (static_cast<std::size_t>(value.toLocal8Bit().size()) + 1 > kRegValueBufferSize)
        return false;
    const QString path = RegistryFilePath(root_);
    FileLock lock(path);
    if (!lock.ok())
        return false;
    IniFile ini = Parse(path);
    if (!KeyExistsIn(ini, subKey_))
        return false;
    Section* section = FindSection(ini, subKey_);
    if (!section) {
        ini.push_back({subKey_, {}});
        section = &ini.back();
    }
    if (auto* entry = FindEntry(*section, name))
        entry->second = value;
    else
        section->entries.emplace_back(name, value);
    return Write(path, ini);
}

bool RegKey::DeleteValue(const QString& name) {
    const QString path = RegistryFilePath(root_);
    FileLock lock(path);
    if (!lock.ok())
        return false;
    IniFile ini = Parse(path);
    Section* section = FindSection(ini, subKey_);
    if (!section)
        return false;
    auto& entries = section->entries;
    const auto before = entries.size();
    std::erase_if(entries,
                  [&](const auto& e) { return e.first.compare(name, Qt::CaseInsensitive) == 0; });
    return entries.size() != before && Write(path, ini);
}

QStringList RegKey::ValueNames() const {
    IniFile ini = Parse(RegistryFilePath(root_));
    QStringList names;
    if (Section* section = FindSection(ini, subKey_))
        for (const auto& e : section->entries)
            names << e.first;
    return names;
}

QString GetProfileString(const QString& section, const QString& key, const QString& defaultValue,
                         std::size_t bufferSize) {
    IniFile ini = Parse(ProfileFilePath());
    QString value = defaultValue;
    if (Section* s = FindSection(ini, section))
        if (auto* entry = FindEntry(*s, key))
            value = entry->second;
    if (bufferSize == 0)
        return {};
    QByteArray bytes = value.toLocal8Bit();
    if (static_cast<std::size_t>(bytes.size()) > bufferSize - 1) {
        bytes.truncate(static_cast<qsizetype>(bufferSize - 1));
        value = QString::fromLocal8Bit(bytes);
    }
    return value;
}

bool WriteProfileString(const QString& section, const QString& key, const QString& value) {
    const QString path = ProfileFilePath();
    FileLock lock(path);
    if (!lock.ok())
        return false;
    IniFile ini = Parse(path);
    Section* s = FindSection(ini, section);
    if (!s) {
        ini.push_back({section, {}});
        s = &ini.back();
    }
    if (auto* entry = FindEntry(*s, key))
        entry->second = value;
    else
        s->entries.emplace_back(key, value);
    return Write(path, ini);
}
