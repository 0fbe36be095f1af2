#include "platform/levels.h"

#include <atomic>
#include <chrono>
#include <cstdint>

namespace {

constexpr int64_t kNeverRead = INT64_MIN;
// A source not read for this long is not measured.
constexpr int64_t kWatchedForMs = 5000;

struct Slot {
    // Both channels packed into one word so readers never see half an update.
    std::atomic<uint32_t> peaks{0};
    std::atomic<int64_t> whenMs{0};
    std::atomic<int64_t> readMs{kNeverRead};  // when a meter last read the source
};

Slot slots[2];

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::atomic<LevelClock> clockFn{nullptr};

int64_t NowMs() {
    const LevelClock clock = clockFn.load(std::memory_order_acquire);
    return clock ? clock() : SteadyMs();
}

constexpr int64_t kStaleAfterMs = 250;

}  // namespace

void ReportPeak(LevelSource source, uint16_t left, uint16_t right) {
    Slot& slot = slots[static_cast<int>(source)];
    slot.peaks.store(uint32_t(left) << 16 | right, std::memory_order_relaxed);
    slot.whenMs.store(NowMs(), std::memory_order_release);
}

PeakLevel CurrentPeak(LevelSource source) {
    Slot& slot = slots[static_cast<int>(source)];
    const int64_t now = NowMs();
    slot.readMs.store(now, std::memory_order_relaxed);
    if (now - slot.whenMs.load(std::memory_order_acquire) > kStaleAfterMs)
        return {};
    const uint32_t peaks = slot.peaks.load(std::memory_order_relaxed);
    return {static_cast<uint16_t>(peaks >> 16), static_cast<uint16_t>(peaks & 0xFFFF)};
}

bool PeakWanted(LevelSource source) {
    const int64_t read = slots[static_cast<int>(source)].readMs.load(std::memory_order_relaxed);
    if (read == kNeverRead)
        return false;
    return NowMs() - read <= kWatchedForMs;
}

void SetLevelClock(LevelClock clock) {
    clockFn.store(clock, std::memory_order_release);
}
