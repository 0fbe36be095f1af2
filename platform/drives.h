// The drive table: drive letters bound to mount points. C: is the root file system and
// the other real file systems get further letters in mount order; a letter once given
// stays with its mount point, kept in the registry store under the current user (key
// "SOFTWARE\\Tonedeck\\Drives", one value per letter, such as "D" = "/home"), so that
// settings which name drives by letter keep their meaning from one boot to the next.
// The user may bind a letter to a mount point there. Pseudo file systems (proc, sysfs,
// tmpfs, cgroup and the like) and second views of a mounted file system get no letter.
//
// The table is read from /proc/self/mountinfo, with the kind, label and serial of each
// device from udev's database (/run/udev/data), sysfs (/sys) and /dev/disk/by-uuid.
// TONEDECK_MOUNTINFO, TONEDECK_UDEV_DATA, TONEDECK_SYSFS and TONEDECK_DISK_BY_UUID name
// other places to read, for tests and for looking at another machine's table.
#pragma once

#include <QString>

#include <optional>
#include <vector>

#include "platform/types.h"

// The store's key of letter bindings, and the product key it must lie under: letters are
// saved only once the product is installed (its key exists), so reading the drive table
// never creates the product's key. Before that the letters are given afresh each time.
inline constexpr char kDrivesKey[] = "SOFTWARE\\Tonedeck\\Drives";
inline constexpr char kDrivesParentKey[] = "SOFTWARE\\Tonedeck";

enum class DriveType { Unknown, Removable, Fixed, Remote, CdRom };

struct Drive {
    char letter = 0;     // 'A' to 'Z'
    QString mountPoint;  // "/", "/home", "/media/ann/STICK"
    QString fsType;      // "ext4", "nfs4", "cifs", "iso9660", "fuse.sshfs"
    QString source;      // "/dev/sda2", "server:/export", "//server/share"
    DriveType type = DriveType::Unknown;
    QString label;          // volume label, when the file system has one
    DWORD serial = 0;       // volume serial number, 0 when unknown
    QString universalName;  // "//server/share" of a remote drive, else empty
};

// Where the table is read from.
struct DriveSources {
    QString mountinfo = QStringLiteral("/proc/self/mountinfo");
    QString udevData = QStringLiteral("/run/udev/data");
    QString sysfs = QStringLiteral("/sys");
    QString diskByUuid = QStringLiteral("/dev/disk/by-uuid");
    // Mount points that are not directories (files bound into a container) are left out;
    // fixture tables have no such mount points to look at.
    bool checkMountPoints = true;

    // The system's places, or those the environment names instead.
    static DriveSources FromEnvironment();
};

// One line of a mount table, its fields decoded.
struct MountEntry {
    QString device;  // "major:minor"
    QString root;    // the part of the file system seen at the mount point
    QString mountPoint;
    QString fsType;
    QString source;
};

// The entries of a mountinfo text, in order; malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(const QString& text);

// True for file systems that hold no user files (proc, sysfs, tmpfs, cgroup, ...).
bool IsPseudoFileSystem(const QString& fsType);
bool IsRemoteFileSystem(const QString& fsType);

// The "//server/share" form of a remote mount's source: "server:/export/music" (NFS),
// "//server/share" (SMB), "user@server:path" (SSH), "https://server/path" (WebDAV).
// Empty when the source names no server.
QString UniversalNameOf(const QString& source);

// The drive table, sorted by letter. New mounts are given letters, which are saved.
std::vector<Drive> LoadDriveTable(const DriveSources& sources = DriveSources::FromEnvironment());

// The drive of a letter (either case), or of the mount point under which a path lies.
std::optional<Drive> DriveForLetter(char letter,
                                    const DriveSources& sources = DriveSources::FromEnvironment());
std::optional<Drive> DriveForPath(const QString& path,
                                  const DriveSources& sources = DriveSources::FromEnvironment());

// Binds a letter to a mount point in the store, or frees it (empty mount point). A mount
// point is bound to one letter at most: binding it again moves it. False when the
// letter is no letter, the mount point no absolute path, or the store cannot be written.
bool BindDriveLetter(char letter, const QString& mountPoint);

// "fixed", "remote", "cdrom", "removable", "unknown".
QString DriveTypeName(DriveType type);
