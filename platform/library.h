// Shared objects loaded at run time by name.
#pragma once

#include <QString>

// True when the shared object can be loaded; it is unloaded again at once.
bool CanLoadLibrary(const QString& name);

// A shared object held open for as long as the object lives.
class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary() { Unload(); }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool Load(const QString& name);
    void Unload();
    bool IsLoaded() const { return handle_ != nullptr; }
    // The entry point of that name, or null.
    void* Resolve(const char* symbol) const;

private:
    void* handle_ = nullptr;
};
