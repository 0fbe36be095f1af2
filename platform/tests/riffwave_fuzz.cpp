// Fuzz target for the "fmt " and chunk walk of WAV files: any bytes as a file give a clean
// answer, and a form that is accepted lies inside the file with its data inside the form.
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "platform/riffwave.h"

namespace {

std::string g_path;

void Remove() {
    std::remove(g_path.c_str());
}

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (g_path.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        g_path = std::string(tmp && *tmp ? tmp : "/tmp") + "/riffwave_fuzz." +
                 std::to_string(::getpid()) + ".wav";
        std::atexit(Remove);
    }
    FILE* f = std::fopen(g_path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);

    auto file = RiffFile::Open(QString::fromStdString(g_path), RiffFile::Mode::Read);
    Check(file != nullptr);
    RiffWave wave;
    if (ReadRiffWave(*file, &wave) == RiffWaveError::None) {
        Check(wave.format.nBlockAlign != 0 && wave.format.nSamplesPerSec != 0);
        Check(wave.format.cbSize == 0);
        Check(wave.riff.dataOffset >= 8 && wave.riff.end() <= file->Size());
        Check(wave.fmt.dataOffset > wave.riff.dataOffset && wave.fmt.end() <= wave.riff.end());
        Check(wave.data.dataOffset > wave.riff.dataOffset && wave.data.end() <= wave.riff.end());
        Check(file->Tell() == wave.data.dataOffset);
    }
    // The plain walk of every top-level chunk ends inside the file.
    file->Seek(0);
    for (int i = 0; i < 100000; ++i) {
        RiffChunk c;
        if (file->Descend(c, nullptr, RiffFind::Next) != RiffError::None)
            break;
        Check(c.end() <= file->Size());
        Check(RiffFile::IsPlausibleId(c.ckid));
        if (file->Ascend(c) != RiffError::None)
            break;
    }
    return 0;
}
