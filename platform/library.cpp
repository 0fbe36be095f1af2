#include "platform/library.h"

#include <QFile>

#include <dlfcn.h>

namespace {

// A bare name is looked for beside this library first (where the system's own modules,
// such as its mail provider, are installed), then where the dynamic linker looks.
void* Open(const QString& name, int mode) {
    if (!name.contains(u'/')) {
        Dl_info info{};
        if (::dladdr(reinterpret_cast<void*>(&CanLoadLibrary), &info) && info.dli_fname) {
            QByteArray own(info.dli_fname);
            const qsizetype slash = own.lastIndexOf('/');
            if (slash >= 0) {
                const QByteArray beside = own.left(slash + 1) + QFile::encodeName(name);
                if (void* handle = ::dlopen(beside.constData(), mode))
                    return handle;
            }
        }
    }
    return ::dlopen(QFile::encodeName(name).constData(), mode);
}

}  // namespace

bool CanLoadLibrary(const QString& name) {
    void* handle = Open(name, RTLD_LAZY | RTLD_LOCAL);
    if (!handle)
        return false;
    ::dlclose(handle);
    return true;
}

bool SharedLibrary::Load(const QString& name) {
    Unload();
    handle_ = Open(name, RTLD_NOW | RTLD_LOCAL);
    return handle_ != nullptr;
}

void SharedLibrary::Unload() {
    if (handle_)
        ::dlclose(handle_);
    handle_ = nullptr;
}

void* SharedLibrary::Resolve(const char* symbol) const {
    return handle_ ? ::dlsym(handle_, symbol) : nullptr;
}
