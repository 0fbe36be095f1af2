#include "tonedeck/barsettings.h"

#include <QFile>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "tdkit/settings/paths.h"

SettingsStamp StampSettingsFile(const QString& path) {
    SettingsStamp stamp;
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.regular = S_ISREG(st.st_mode);
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.changedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

bool SettingsFileIsOurs(const QString& path, const SettingsStamp& loaded) {
    const SettingsStamp now = StampSettingsFile(path);
    return !now.regular || now == loaded;
}

SettingsLoad LoadBarSettings(PROPERTIES* record) {
    SettingsLoad load;
    if (!GetTonedeckPropertiesFilePath(load.path)) {
        load.path.clear();
        load.firstStart = true;
        return load;
    }
    if (ReadPropertiesFile(load.path, record)) {
        load.stamp = StampSettingsFile(load.path);
        return load;
    }
    load.firstStart = true;
    load.written = WritePropertiesFile(load.path, *record);
    load.stamp = StampSettingsFile(load.path);
    return load;
}

void RepairDockState(DOCKSTATE& dock, const std::vector<QRect>& screens, const RECT& defaultFloat) {
    dock.dwSize = kDockStateSize;
    if (dock.nEdge < 0 || dock.nEdge > 3)
        dock.nEdge = 0;
    const RECT f = dock.rcFloat;  // a copy: a reference into the packed record may be misaligned
    const int64_t width = int64_t(f.right) - f.left, height = int64_t(f.bottom) - f.top;
    bool usable = width > 0 && height > 0 && width <= 100000 && height <= 100000;
    if (usable) {
        const QRect rect(f.left, f.top, int(width), int(height));
        usable = std::any_of(screens.begin(), screens.end(),
                             [&](const QRect& s) { return s.intersects(rect); });
    }
    if (!usable)
        dock.rcFloat = defaultFloat;
}

void SetBarThickness(DOCKSTATE& dock, int width, int height) {
    const int across = std::clamp(width, 1, kMaxBarThickness);
    const int down = std::clamp(height, 1, kMaxBarThickness);
    dock.nThickness[0] = across;
    dock.nThickness[1] = down;
    dock.nThickness[2] = across;
    dock.nThickness[3] = down;
}

bool SaveBarSettings(const QString& path, PROPERTIES record, const DOCKSTATE& live) {
    record.DockState = live;
    record.DockState.dwSize = kDockStateSize;
    return WritePropertiesFile(path, record);
}

void BarTicks::Reset(int pollSeconds) {
    pollCountdown_ = pollSeconds * 10;
}

BarTicks::Actions BarTicks::Tick(bool panelExists, int pollSeconds, int64_t now, bool firstStart) {
    Actions actions;
    if (panelExists && --pollCountdown_ <= 0) {
        pollCountdown_ = pollSeconds * 10;
        actions.poll = true;
    }
    if (--secondCountdown_ <= 0) {
        secondCountdown_ = 10;
        actions.secondCheck = true;
        const int64_t minute = now / 60;
        if (!firstStart && minute != lastMemoMinute_) {
            // The first check only notes the minute it falls in; from then on the first
            // check of every new minute starts the player, so no minute is skipped however
            // the checks drift against the clock.
            actions.playMemos = lastMemoMinute_ >= 0 || now % 60 == 0;
            lastMemoMinute_ = minute;
        }
    }
    return actions;
}
