// Starting Tonedeck with the desktop: an entry of the user's own in the freedesktop.org
// autostart folder ($XDG_CONFIG_HOME/autostart/tonedeck.desktop). The installed program
// carries the same entry unused; the user turns it on from the bar's settings page.
#pragma once

#include <QString>

// Where the user's entry lives.
QString AutostartEntryPath();
// Whether the desktop starts Tonedeck: the entry is there and not hidden.
bool IsAutostartEnabled();
// Writes (atomically) or removes the entry; program is what it starts (default: this
// program). false, with error set, when the folder or file cannot be written.
bool SetAutostartEnabled(bool on, QString* error = nullptr, const QString& program = {});
// The text of the entry that starts program.
QString AutostartEntryText(const QString& program);
