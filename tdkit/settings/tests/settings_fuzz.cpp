// Fuzz target for the settings readers: any bytes as TDPROP.PRP and as the registry
// store's file give a clean answer; a settings record that is read writes back byte for
// byte, and a user name that is read is a plain name.
#include <QByteArray>
#include <QDir>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "platform/registry.h"
#include "tdkit/settings/paths.h"
#include "tdkit/settings/properties.h"

namespace {

std::string g_dir;

void Remove() {
    for (const char* name : {"/TDPROP.PRP", "/OUT.PRP", "/user.ini", "/user.ini.lock"})
        std::remove((g_dir + name).c_str());
    ::rmdir(g_dir.c_str());
}

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (g_dir.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/settings_fuzz.XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        g_dir = pattern;
        std::atexit(Remove);
        setenv("TONEDECK_REGISTRY_DIR", g_dir.c_str(), 1);
    }
    // The settings record.
    const std::string prop = g_dir + "/TDPROP.PRP";
    WriteFile(prop, data, size);
    PROPERTIES record;
    std::memset(&record, 0x5A, sizeof record);
    const bool read = ReadPropertiesFile(QString::fromStdString(prop), &record);
    Check(read == (size == kPropertiesFileSize));
    if (read) {
        const QString out = QString::fromStdString(g_dir + "/OUT.PRP");
        Check(WritePropertiesFile(out, record));
        PROPERTIES back;
        Check(ReadPropertiesFile(out, &back));
        record.DockState.dwSize = kDockStateSize;
        Check(std::memcmp(&back, &record, sizeof record) == 0);
    }

    // The same bytes as the registry store.
    WriteFile(g_dir + "/user.ini", data, size);
    for (const char* key : {"SOFTWARE\\Tonedeck", "SOFTWARE", "A"}) {
        if (auto k = RegKey::Open(RegRoot::CurrentUser, QString::fromLatin1(key))) {
            for (const QString& name : k->ValueNames()) {
                if (auto value = k->QueryString(name))
                    Check(static_cast<std::size_t>(value->toLocal8Bit().size()) <
                          kRegValueBufferSize);
            }
        }
    }
    QString user;
    if (GetCurrentUser(user))
        Check(IsPlainUserName(user));
    QString dir;
    if (GetCurrentUserDirectory(dir))
        Check(!dir.contains(QStringLiteral("/../")) && !dir.endsWith(QStringLiteral("/..")));
    return 0;
}
