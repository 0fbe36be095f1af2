#include "platform/library.h"

#include <QFile>

#include <dlfcn.h>

bool CanLoadLibrary(const QString& name) {
    void* handle = ::dlopen(QFile::encodeName(name).constData(), RTLD_LAZY | RTLD_LOCAL);
    if (!handle) return false;
    ::dlclose(handle);
    return true;
}
