// The application-bar shell of an X11 desktop (used by appbar.cpp only).
#pragma once

#include <memory>

#include "platform/appbar.h"

// Null when no X display can be reached.
std::unique_ptr<AppBarShell> CreateX11AppBarShell();
