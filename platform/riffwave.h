// The "WAVE" form of a file as players and recorders need it: the form, its format and
// where its sound data stands.
#pragma once

#include "platform/riff.h"
#include "platform/wave.h"

struct RiffWave {
    RiffChunk riff;  // the "RIFF" form of type "WAVE"
    RiffChunk fmt;
    RiffChunk data;
    WAVEFORMATEX format{};  // the first 16 bytes of "fmt " (18 when there), cbSize 0
};

// Why a file's wave form cannot be used.
enum class RiffWaveError {
    None,
    NoForm,     // no "RIFF" form of type "WAVE"
    NoFormat,   // no "fmt " chunk, or one shorter than 16 bytes
    BadFormat,  // no block alignment or no sample rate: it cannot be counted in frames
    NoData,     // no "data" chunk
    Read,       // the file could not be read (or the walk was stopped)
};

// Reads the form from the start of file; on success the file stands at the start of the
// data. "data" may stand before or after "fmt ". Every size is checked against the form
// and the file (see RiffFile::Descend).
RiffWaveError ReadRiffWave(RiffFile& file, RiffWave* wave);
