#include "platform/riffwave.h"

#include <algorithm>

namespace {

RiffWaveError Missing(RiffError e, RiffWaveError missing) {
    return e == RiffError::NotFound ? missing : RiffWaveError::Read;
}

}  // namespace

RiffWaveError ReadRiffWave(RiffFile& file, RiffWave* wave) {
    RiffWave w;
    if (file.Seek(0) != 0)
        return RiffWaveError::Read;
    w.riff.fccType = RiffFourCC("WAVE");
    if (RiffError e = file.Descend(w.riff, nullptr, RiffFind::Riff); e != RiffError::None)
        return Missing(e, RiffWaveError::NoForm);
    w.fmt.ckid = RiffFourCC("fmt ");
    if (RiffError e = file.Descend(w.fmt, &w.riff, RiffFind::Chunk); e != RiffError::None)
        return Missing(e, RiffWaveError::NoFormat);
    const int64_t want = std::min<int64_t>(w.fmt.cksize, sizeof w.format);
    if (want < 16)
        return RiffWaveError::NoFormat;
    if (!file.ReadExact(&w.format, want))
        return RiffWaveError::Read;
    w.format.cbSize = 0;
    if (w.format.nBlockAlign == 0 || w.format.nSamplesPerSec == 0)
        return RiffWaveError::BadFormat;
    if (file.Seek(w.riff.dataOffset + 4) < 0)
        return RiffWaveError::Read;
    w.data.ckid = RiffFourCC("data");
    if (RiffError e = file.Descend(w.data, &w.riff, RiffFind::Chunk); e != RiffError::None)
        return Missing(e, RiffWaveError::NoData);
    *wave = w;
    return RiffWaveError::None;
}
