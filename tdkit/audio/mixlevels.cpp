#include "tdkit/audio/mixlevels.h"

#include <algorithm>
#include <cstdint>

namespace {

DWORD Clamp(int64_t level) {
    return static_cast<DWORD>(std::clamp<int64_t>(level, 0, kMixLevelMax));
}

}  // namespace

DWORD StepLevel(DWORD level, int delta) {
    return Clamp(int64_t(level) + delta);
}

ChannelLevels ChannelsFromVolumeBalance(DWORD volume, DWORD balance) {
    volume = std::min(volume, kMixLevelMax);
    balance = std::min(balance, kMixLevelMax);
    const DWORD l = balance < 0x8000 ? 0x7FFF : kMixLevelMax - balance;
    const DWORD r = balance < 0x7FFF ? balance : 0x7FFF;
    return {volume * l / 0x7FFF, volume * r / 0x7FFF};
}

DWORD VolumeFromChannels(ChannelLevels levels) {
    return std::max(levels.left, levels.right);
}

DWORD BalanceFromChannels(ChannelLevels levels) {
    const DWORD l = std::min(levels.left, kMixLevelMax);
    const DWORD r = std::min(levels.right, kMixLevelMax);
    if (r < l)
        return r == 0 ? 0 : 0x7FFF - (l - r) * 0x7FFF / l;
    if (r > l)
        return l == 0 ? kMixLevelMax : 0x7FFF + (r - l) * 0x7FFF / r;
    return kMixBalanceCentre;
}

DWORD MeanLevel(ChannelLevels levels) {
    return static_cast<DWORD>((uint64_t(levels.left) + levels.right) / 2);
}

ChannelLevels MoveChannelsToMean(ChannelLevels levels, DWORD target) {
    const int64_t delta = int64_t(std::min(target, kMixLevelMax)) - MeanLevel(levels);
    return {Clamp(int64_t(levels.left) + delta), Clamp(int64_t(levels.right) + delta)};
}
