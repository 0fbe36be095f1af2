#include "platform/drives.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <map>
#include <set>

#include "platform/namedlock.h"
#include "platform/registry.h"

namespace {

// Undoes the octal escapes mountinfo writes for space, tab, newline and backslash.
QString DecodeMountField(const QByteArray& field) {
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && code < 256) {
                out += static_cast<char>(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return QFile::decodeName(out);
}

QString ReadSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(1 << 16));
}

bool Within(const QString& path, const QString& dir) {
    if (dir == QStringLiteral("/"))
        return path.startsWith(u'/');
    return path == dir || path.startsWith(dir + u'/');
}

// A root path contains another when it is the same or one of its parents.
bool RootContains(const QString& outer, const QString& inner) {
    return Within(inner, outer);
}

// udev's record of a block device: its E: lines.
std::map<QString, QString> UdevProperties(const DriveSources& sources, const QString& device) {
    std::map<QString, QString> props;
    if (device.isEmpty())
        return props;
    const QStringList lines =
        ReadSmallFile(sources.udevData + QStringLiteral("/b") + device).split(u'\n');
    for (const QString& line : lines) {
        if (!line.startsWith(QStringLiteral("E:")))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 2)
            props[line.mid(2, eq - 2)] = line.mid(eq + 1);
    }
    return props;
}

QString Property(const std::map<QString, QString>& props, const char* name) {
    const auto it = props.find(QString::fromLatin1(name));
    return it == props.end() ? QString() : it->second;
}

// udev writes unsafe bytes of a label as \xNN.
QString DecodeUdevText(const QString& text) {
    QByteArray out;
    const QByteArray in = text.toUtf8();
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x') {
            bool ok = false;
            const int code = in.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out += static_cast<char>(code);
                i += 3;
                continue;
            }
        }
        out += in[i];
    }
    return QString::fromUtf8(out);
}

// The major:minor of a mount's block device: mountinfo's own unless it is an anonymous
// device (major 0, as btrfs shows), then the device file's, as sysfs knows it.
QString BlockDevice(const DriveSources& sources, const MountEntry& m) {
    if (!m.device.startsWith(QStringLiteral("0:")))
        return m.device;
    if (!m.source.startsWith(QStringLiteral("/dev/")))
        return {};
    const QString name = QFileInfo(m.source).fileName();
    return ReadSmallFile(sources.sysfs + QStringLiteral("/class/block/") + name +
                         QStringLiteral("/dev"))
        .trimmed();
}

// The removable flag of the disk a block device is, or is a partition of.
bool SysfsRemovable(const DriveSources& sources, const QString& device) {
    if (device.isEmpty())
        return false;
    QString dir =
        QFileInfo(sources.sysfs + QStringLiteral("/dev/block/") + device).canonicalFilePath();
    if (dir.isEmpty())
        return false;
    if (QFileInfo::exists(dir + QStringLiteral("/partition")))
        dir = QFileInfo(dir).path();
    return ReadSmallFile(dir + QStringLiteral("/removable")).trimmed() == QStringLiteral("1");
}

// The file system's UUID from the by-uuid links, for machines without udev's database.
QString UuidFromLinks(const DriveSources& sources, const QString& source) {
    if (!source.startsWith(QStringLiteral("/dev/")))
        return {};
    const QString name = QFileInfo(source).fileName();
    const QDir dir(sources.diskByUuid);
    for (const QFileInfo& link :
         dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (link.isSymLink() && QFileInfo(link.symLinkTarget()).fileName() == name)
            return link.fileName();
    }
    return {};
}

// A volume serial number from a file-system UUID: a FAT serial ("1234-ABCD") is one
// already; an NTFS one (sixteen hex digits) keeps its low half as the serial; others give
// their first eight digits.
DWORD SerialFromUuid(const QString& uuid) {
    QString hex = uuid;
    hex.remove(u'-');
    if (hex.size() < 8)
        return 0;
    if (hex.size() == 16)
        hex = hex.right(8);
    bool ok = false;
    const DWORD serial = hex.left(8).toUInt(&ok, 16);
    return ok ? serial : 0;
}

DriveType TypeOf(const MountEntry& m, const std::map<QString, QString>& props, bool removableFlag) {
    if (IsRemoteFileSystem(m.fsType))
        return DriveType::Remote;
    const bool opticalDevice = m.source.startsWith(QStringLiteral("/dev/sr")) ||
                               m.source.startsWith(QStringLiteral("/dev/cdrom"));
    if (Property(props, "ID_CDROM") == QStringLiteral("1") ||
        m.fsType == QStringLiteral("iso9660") ||
        (m.fsType == QStringLiteral("udf") && opticalDevice))
        return DriveType::CdRom;
    const QString bus = Property(props, "ID_BUS");
    bool flash = false;
    for (const auto& [name, value] : props)
        if ((name.startsWith(QStringLiteral("ID_DRIVE_FLASH")) ||
             name == QStringLiteral("ID_DRIVE_FLOPPY")) &&
            value == QStringLiteral("1"))
            flash = true;
    if (removableFlag || flash || bus == QStringLiteral("usb") || bus == QStringLiteral("ieee1394"))
        return DriveType::Removable;
    return DriveType::Fixed;
}

// The mounts that become drives, in mount order: real file systems, each seen once.
std::vector<MountEntry> RealMounts(const std::vector<MountEntry>& all,
                                   const DriveSources& sources) {
    static const QStringList hidden{QStringLiteral("/proc"), QStringLiteral("/sys"),
                                    QStringLiteral("/dev")};
    std::vector<MountEntry> candidates;
    for (const MountEntry& m : all) {
        if (!m.mountPoint.startsWith(u'/'))
            continue;
        const bool root = m.mountPoint == QStringLiteral("/");
        if (!root &&
            (m.fsType == QStringLiteral("overlay") || m.fsType == QStringLiteral("rootfs")))
            continue;
        if (!root && IsPseudoFileSystem(m.fsType))
            continue;
        if (std::any_of(hidden.begin(), hidden.end(),
                        [&](const QString& h) { return Within(m.mountPoint, h); }))
            continue;
        if (sources.checkMountPoints && !QFileInfo(m.mountPoint).isDir())
            continue;
        // A later mount on the same point hides the earlier one.
        std::erase_if(candidates,
                      [&](const MountEntry& c) { return c.mountPoint == m.mountPoint; });
        candidates.push_back(m);
    }
    // A second view of a file system already listed (a bind mount of one of its folders,
    // or the same file system mounted twice) is not another drive. Remote mounts are
    // connections of their own, each a drive with its own network name, even when the
    // server shares one export under another.
    std::vector<MountEntry> real;
    for (const MountEntry& m : candidates) {
        const bool seen =
            !IsRemoteFileSystem(m.fsType) &&
            std::any_of(candidates.begin(), candidates.end(), [&](const MountEntry& c) {
                if (&c == &m || c.device != m.device)
                    return false;
                if (c.root == m.root)
                    return &c < &m;
                return RootContains(c.root, m.root);
            });
        if (!seen)
            real.push_back(m);
    }
    return real;
}

Drive Describe(const MountEntry& m, const DriveSources& sources) {
    Drive d;
    d.mountPoint = m.mountPoint;
    d.fsType = m.fsType;
    d.source = m.source;
    if (IsRemoteFileSystem(m.fsType)) {
        d.type = DriveType::Remote;
        d.universalName = UniversalNameOf(m.source);
        return d;
    }
    const QString device = BlockDevice(sources, m);
    const auto props = UdevProperties(sources, device);
    d.type = TypeOf(m, props, SysfsRemovable(sources, device));
    d.label = DecodeUdevText(Property(props, "ID_FS_LABEL_ENC"));
    if (d.label.isEmpty())
        d.label = Property(props, "ID_FS_LABEL");
    QString uuid = Property(props, "ID_FS_UUID");
    if (uuid.isEmpty())
        uuid = UuidFromLinks(sources, m.source);
    d.serial = SerialFromUuid(uuid);
    return d;
}

bool IsLetter(char c) {
    return c >= 'A' && c <= 'Z';
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The letters bound in the store.
std::map<char, QString> StoredBindings() {
    std::map<char, QString> bindings;
    const auto key = RegKey::Open(RegRoot::CurrentUser, QString::fromLatin1(kDrivesKey));
    if (!key)
        return bindings;
    for (const QString& name : key->ValueNames()) {
        if (name.size() != 1)
            continue;
        const char letter = Upper(name[0].toLatin1());
        const QString mountPoint = key->QueryString(name).value_or(QString());
        if (IsLetter(letter) && mountPoint.startsWith(u'/'))
            bindings[letter] = QDir::cleanPath(mountPoint);
    }
    return bindings;
}

// Holds the drive-letter lock while letters are given and saved, so that two processes
// do not give one letter to two mount points.
class DrivesLock {
public:
    DrivesLock() : mutex_(NamedMutex::Create(QStringLiteral("TONEDECK_DRIVES"))) {
        held_ = mutex_ && mutex_->Wait(5000);
    }
    ~DrivesLock() {
        if (held_)
            mutex_->Release();
    }
    bool held() const { return held_; }

private:
    std::unique_ptr<NamedMutex> mutex_;
    bool held_ = false;
};

}  // namespace

DriveSources DriveSources::FromEnvironment() {
    DriveSources s;
    auto take = [](const char* name, QString& field) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            field = QFile::decodeName(value);
    };
    take("TONEDECK_MOUNTINFO", s.mountinfo);
    take("TONEDECK_UDEV_DATA", s.udevData);
    take("TONEDECK_SYSFS", s.sysfs);
    take("TONEDECK_DISK_BY_UUID", s.diskByUuid);
    s.checkMountPoints = qEnvironmentVariableIsEmpty("TONEDECK_MOUNTINFO");
    return s;
}

std::vector<MountEntry> ParseMountInfo(const QString& text) {
    std::vector<MountEntry> entries;
    for (const QString& line : text.split(u'\n')) {
        const QList<QByteArray> f = QFile::encodeName(line).split(' ');
        // id parent major:minor root mount-point options [optional...] - type source super
        const qsizetype dash = f.indexOf("-");
        if (f.size() < 6 || dash < 6 || dash + 2 >= f.size())
            continue;
        MountEntry m;
        m.device = QString::fromLatin1(f[2]);
        m.root = DecodeMountField(f[3]);
        m.mountPoint = DecodeMountField(f[4]);
        m.fsType = DecodeMountField(f[dash + 1]);
        m.source = DecodeMountField(f[dash + 2]);
        entries.push_back(std::move(m));
    }
    return entries;
}

bool IsPseudoFileSystem(const QString& fsType) {
    static const std::set<QString> pseudo{
        "proc",        "sysfs",      "devtmpfs",      "devpts",
        "tmpfs",       "ramfs",      "cgroup",        "cgroup2",
        "securityfs",  "debugfs",    "tracefs",       "configfs",
        "fusectl",     "pstore",     "bpf",           "mqueue",
        "hugetlbfs",   "autofs",     "binfmt_misc",   "efivarfs",
        "rpc_pipefs",  "nsfs",       "selinuxfs",     "squashfs",
        "nfsd",        "devfs",      "usbfs",         "sockfs",
        "pipefs",      "overlay",    "rootfs",        "fuse.gvfsd-fuse",
        "fuse.portal", "fuse.lxcfs", "fuse.snapfuse", "fuse.xdg-document-portal",
        "binder",      "none"};
    return pseudo.count(fsType) != 0;
}

bool IsRemoteFileSystem(const QString& fsType) {
    static const std::set<QString> remote{
        "nfs",         "nfs4",  "cifs",        "smb3",           "smbfs",         "ncpfs",
        "afs",         "ceph",  "glusterfs",   "fuse.glusterfs", "fuse.sshfs",    "sshfs",
        "fuse.rclone", "davfs", "fuse.davfs2", "fuse.s3fs",      "fuse.curlftpfs"};
    return remote.count(fsType) != 0;
}

QString UniversalNameOf(const QString& source) {
    QString s = source;
    s.replace(u'\\', u'/');
    QString server, path;
    if (s.startsWith(QStringLiteral("//"))) {  // SMB: //server/share
        const qsizetype slash = s.indexOf(u'/', 2);
        server = s.mid(2, slash < 0 ? -1 : slash - 2);
        path = slash < 0 ? QString() : s.mid(slash + 1);
    } else if (s.contains(QStringLiteral("://"))) {  // WebDAV and the like: a URL
        const QUrl url(s);
        server = url.host();
        path = url.path();
    } else {  // NFS and SSH: [user@]server:path, the server possibly in brackets
        qsizetype colon;
        if (s.startsWith(u'[')) {
            const qsizetype close = s.indexOf(u']');
            if (close < 0)
                return {};
            colon = s.indexOf(u':', close);
            server = s.left(close + 1);
        } else {
            colon = s.indexOf(u':');
            server = s.left(colon);
        }
        if (colon < 0)
            return {};
        path = s.mid(colon + 1);
        if (const qsizetype at = server.lastIndexOf(u'@'); at >= 0)
            server = server.mid(at + 1);
    }
    while (path.startsWith(u'/'))
        path.remove(0, 1);
    while (path.endsWith(u'/'))
        path.chop(1);
    if (server.isEmpty() || server.contains(u'/'))
        return {};
    return QStringLiteral("//") + server + (path.isEmpty() ? QString() : u'/' + path);
}

std::vector<Drive> LoadDriveTable(const DriveSources& sources) {
    QFile file(sources.mountinfo);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const std::vector<MountEntry> mounts =
        RealMounts(ParseMountInfo(QString::fromUtf8(file.readAll())), sources);

    DrivesLock lock;
    std::map<char, QString> bindings = StoredBindings();
    // A mount point bound to several letters keeps the first of them.
    std::map<QString, char> letterOf;
    for (const auto& [letter, mountPoint] : bindings)
        letterOf.emplace(mountPoint, letter);

    const bool canSave =
        lock.held() && RegKey::Exists(RegRoot::CurrentUser, QString::fromLatin1(kDrivesParentKey));
    std::optional<RegKey> key;
    auto give = [&](char letter, const QString& mountPoint) {
        bindings[letter] = mountPoint;
        letterOf[mountPoint] = letter;
        if (!canSave)
            return;
        if (!key)
            key = RegKey::Create(RegRoot::CurrentUser, QString::fromLatin1(kDrivesKey));
        if (key)
            key->SetString(QString(QChar(letter)), mountPoint);
    };
    if (!letterOf.count(QStringLiteral("/")) && !bindings.count('C') &&
        std::any_of(mounts.begin(), mounts.end(),
                    [](const MountEntry& m) { return m.mountPoint == u'/'; }))
        give('C', QStringLiteral("/"));
    for (const MountEntry& m : mounts) {
        if (letterOf.count(m.mountPoint))
            continue;
        char letter = 'D';
        while (letter <= 'Z' && bindings.count(letter))
            ++letter;
        if (letter > 'Z')
            break;  // no letters left: the rest go without
        give(letter, m.mountPoint);
    }

    std::vector<Drive> table;
    for (const MountEntry& m : mounts) {
        const auto it = letterOf.find(m.mountPoint);
        if (it == letterOf.end())
            continue;
        Drive d = Describe(m, sources);
        d.letter = it->second;
        table.push_back(std::move(d));
    }
    std::sort(table.begin(), table.end(),
              [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return table;
}

std::optional<Drive> DriveForLetter(char letter, const DriveSources& sources) {
    letter = Upper(letter);
    for (Drive& d : LoadDriveTable(sources))
        if (d.letter == letter)
            return std::move(d);
    return std::nullopt;
}

std::optional<Drive> DriveForPath(const QString& path, const DriveSources& sources) {
    if (!path.startsWith(u'/'))
        return std::nullopt;
    const QString clean = QDir::cleanPath(path);
    std::optional<Drive> best;
    for (Drive& d : LoadDriveTable(sources)) {
        if (!Within(clean, d.mountPoint))
            continue;
        if (!best || d.mountPoint.size() > best->mountPoint.size())
            best = std::move(d);
    }
    return best;
}

bool BindDriveLetter(char letter, const QString& mountPoint) {
    letter = Upper(letter);
    if (!IsLetter(letter))
        return false;
    if (!mountPoint.isEmpty() && !mountPoint.startsWith(u'/'))
        return false;
    if (!RegKey::Exists(RegRoot::CurrentUser, QString::fromLatin1(kDrivesParentKey)))
        return false;
    DrivesLock lock;
    if (!lock.held())
        return false;
    auto key = RegKey::Create(RegRoot::CurrentUser, QString::fromLatin1(kDrivesKey));
    if (!key)
        return false;
    const QString name = QString(QChar(letter));
    if (mountPoint.isEmpty()) {
        key->DeleteValue(name);
        return !key->QueryString(name);
    }
    const QString clean = QDir::cleanPath(mountPoint);
    for (const auto& [other, bound] : StoredBindings())
        if (other != letter && bound == clean && !key->DeleteValue(QString(QChar(other))))
            return false;
    return key->SetString(name, clean);
}

QString DriveTypeName(DriveType type) {
    switch (type) {
        case DriveType::Removable:
            return QStringLiteral("removable");
        case DriveType::Fixed:
            return QStringLiteral("fixed");
        case DriveType::Remote:
            return QStringLiteral("remote");
        case DriveType::CdRom:
            return QStringLiteral("cdrom");
        case DriveType::Unknown:
            break;
    }
    return QStringLiteral("unknown");
}
