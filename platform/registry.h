// The registry store: keys with backslash-separated names under three roots, each key
// holding named string values. Kept in INI files, one per root:
//   current user:  $XDG_CONFIG_HOME/tonedeck/user.ini
//   local machine: /etc/tonedeck/machine.ini
//   classes root:  /etc/tonedeck/classes.ini
// The system profile file (section/key strings) is profile.ini beside the user's file.
// TONEDECK_REGISTRY_DIR, when set, holds all four files instead.
//
// Key and value names compare without regard to case. A key exists once it has been
// created, and then so do its parents. Every call reads the file afresh, and every change
// is written to a temporary file and renamed over the old one under a lock, so several
// processes may share the store.
#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <optional>

enum class RegRoot { CurrentUser, LocalMachine, ClassesRoot };

// Largest buffer the system's callers use for a value, its terminating NUL included.
inline constexpr std::size_t kRegValueBufferSize = 260;

// The file that holds one root, and the profile file.
QString RegistryFilePath(RegRoot root);
QString ProfileFilePath();

// An open key. Opening a missing key fails; setting a value never creates the key.
class RegKey {
public:
    // The key, when it exists.
    static std::optional<RegKey> Open(RegRoot root, const QString& subKey);
    // The key, created with its parents when missing; nullopt when the store cannot be
    // written.
    static std::optional<RegKey> Create(RegRoot root, const QString& subKey);
    static bool Exists(RegRoot root, const QString& subKey);

    // The string value, when it exists and fits a buffer of bufferSize bytes with its
    // terminating NUL (a value of bufferSize bytes or more is not read).
    std::optional<QString> QueryString(const QString& name,
                                       std::size_t bufferSize = kRegValueBufferSize) const;
    // Sets the value; false when the key has gone, the value does not fit 259 bytes plus
    // its NUL, or the store cannot be written.
    bool SetString(const QString& name, const QString& value);
    bool DeleteValue(const QString& name);
    QStringList ValueNames() const;

    RegRoot root() const { return root_; }
    const QString& subKey() const { return subKey_; }

private:
    RegKey(RegRoot root, QString subKey) : root_(root), subKey_(std::move(subKey)) {}
    RegRoot root_;
    QString subKey_;
};

// GetProfileString: the value of key in section of the profile file, or defaultValue.
// A value that does not fit bufferSize bytes with its NUL is cut to fit, as the system's
// profile reader does.
QString GetProfileString(const QString& section, const QString& key, const QString& defaultValue,
                         std::size_t bufferSize = kRegValueBufferSize);
bool WriteProfileString(const QString& section, const QString& key, const QString& value);
