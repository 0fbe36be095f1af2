// Shared objects loaded at run time by name.
#pragma once

#include <QString>

// True when the shared object can be loaded; it is unloaded again at once.
bool CanLoadLibrary(const QString& name);
