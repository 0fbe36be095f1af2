// The application-bar shell of an X11 desktop (used by appbar.cpp only).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/desktop/appbar.h"

// Null when no X display can be reached.
std::unique_ptr<AppBarShell> CreateX11AppBarShell();

// Reads Gtk/EnableAnimations from the XSETTINGS blob a desktop publishes; true when the
// setting is absent or the blob cannot be read.
bool XSettingsAnimationsEnabled(const uint8_t* data, size_t size);
