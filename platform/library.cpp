#include "platform/library.h"

#include <QFile>

#include <dlfcn.h>

bool CanLoadLibrary(const QString& name) {
    void* handle = ::dlopen(QFile::encodeName(name).constData(), RTLD_LAZY | RTLD_LOCAL);
    if (!handle)
        return false;
    ::dlclose(handle);
    return true;
}

bool SharedLibrary::Load(const QString& name) {
    Unload();
    handle_ = ::dlopen(QFile::encodeName(name).constData(), RTLD_NOW | RTLD_LOCAL);
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
