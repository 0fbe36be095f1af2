// How the bar loads, repairs and saves the user's settings record, and the counting done
// by its 100 ms timer. Plain code, so it can be tested without a display.
#pragma once

#include <QRect>
#include <QString>

#include <cstdint>
#include <vector>

#include "tdkit/settings/properties.h"

// The thickest a docked bar may be, in pixels.
inline constexpr int kMaxBarThickness = 56;

// What a settings file was when the bar last read or wrote it: which file and how long,
// last changed when. A file another program replaced or rewrote meanwhile differs.
struct SettingsStamp {
    bool exists = false;
    bool regular = false;  // a plain file (not a folder or anything else)
    uint64_t device = 0, inode = 0;
    int64_t size = -1;
    int64_t changedNs = 0;
    bool operator==(const SettingsStamp&) const = default;
};
SettingsStamp StampSettingsFile(const QString& path);

struct SettingsLoad {
    bool firstStart = false;  // the file was missing or unusable: defaults are in use
    bool written = false;     // the defaults were written to the settings file
    QString path;             // empty when no settings path could be formed
    SettingsStamp stamp;      // the file as this load left it
};

// Loads TDPROP.PRP over a record that already holds the defaults. A missing or unusable
// file (any length but 2140 bytes) leaves the defaults in place, marks a first start and
// writes the defaults to the file at once. Without a settings path the defaults serve
// this run and nothing is written.
SettingsLoad LoadBarSettings(PROPERTIES* record);

// Makes a docking state from a file safe to use: an edge outside 0 to 3 becomes the left
// edge, and a floating rectangle that lies on none of the screens (or is empty or
// absurdly large) becomes defaultFloat. Thicknesses are set by SetBarThickness.
void RepairDockState(DOCKSTATE& dock, const std::vector<QRect>& screens, const RECT& defaultFloat);

// Sets every edge's thickness from the bar window's size: at most kMaxBarThickness, at
// least 1.
void SetBarThickness(DOCKSTATE& dock, int width, int height);

// Writes the record with the live docking state copied into it.
bool SaveBarSettings(const QString& path, PROPERTIES record, const DOCKSTATE& live);

// Whether the bar's record may be written over the file at exit: not when someone else
// put another settings file in place or rewrote it since the bar read it (a user asking
// for a fresh start, a tool): theirs is the newer word, and the bar leaves it. A file
// that is gone is written again.
bool SettingsFileIsOurs(const QString& path, const SettingsStamp& loaded);

// The bar timer's counting: the mail and search poll every nPollSeconds, a check about
// once a second, and the memo player at most once in each whole minute.
class BarTicks {
public:
    struct Actions {
        bool poll = false;         // poll the inbox and decide on a Sonoscout search
        bool secondCheck = false;  // refresh the indicators
        bool playMemos = false;    // start the memo player
    };

    void Reset(int pollSeconds);
    // One 100 ms tick. now is seconds since 1970; the memo player starts on the first
    // second check of each new minute, never twice in one minute and not while the first
    // start is still open.
    Actions Tick(bool panelExists, int pollSeconds, int64_t now, bool firstStart);
    // After the bar slides out: the next second check comes a second later.
    void ReloadSecondCountdown() { secondCountdown_ = 10; }

private:
    int pollCountdown_ = 0;
    int secondCountdown_ = 10;
    int64_t lastMemoMinute_ = -1;
};
