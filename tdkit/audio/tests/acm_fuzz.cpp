// Fuzz target for the readers of sound formats: any bytes as a WAV file must give a clean
// answer from GetFormatFromFile and the decoder, and a clean conversion or refusal.
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/codec.h"
#include "tdkit/audio/acm.h"

namespace {

std::string g_dir;

void RemoveDir() {
    for (const char* name : {"/in.wav", "/out.wav"})
        std::remove((g_dir + name).c_str());
    ::rmdir(g_dir.c_str());
}

const std::string& Dir() {
    if (g_dir.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/acm_fuzz.XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        g_dir = pattern;
        std::atexit(RemoveDir);
        // The offer of the sound editor is answered No without a word.
        CACM::SetOfferQuestion([](QObject*, const QString&, const QString&) { return false; });
    }
    return g_dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = Dir() + "/in.wav";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    const QString in = QString::fromStdString(path);

    DWORD formatSize = 0;
    const CACMFormatPtr format = CACM::GetFormatFromFile(in, &formatSize);
    if (format && formatSize < sizeof(WAVEFORMATEX))
        std::abort();

    WaveFileError error;
    if (auto decoder = WaveDecoder::Open(in, &error)) {
        const WAVEFORMATEX& pcm = decoder->PcmFormat();
        if (pcm.wFormatTag != WAVE_FORMAT_PCM || pcm.nBlockAlign == 0)
            std::abort();
        std::vector<char> buffer(4099);
        int64_t total = 0;
        for (int64_t n; (n = decoder->Read(buffer.data(), int64_t(buffer.size()))) > 0;) {
            if (n % pcm.nBlockAlign != 0 || n > int64_t(buffer.size()))
                std::abort();
            total += n;
        }
        if (total > decoder->Frames() * pcm.nBlockAlign)
            std::abort();  // never more sound than the header promised
    }

    // A conversion either writes the destination or leaves nothing.
    const std::string out = Dir() + "/out.wav";
    std::remove(out.c_str());
    CACM acm;
    const WaveFormatBytes target = MakePcmFormat(1, 11025, 8);
    const int ok = acm.ConvertFileFormat(in, QString::fromStdString(out), AsFormat(target));
    if (!ok && ::access(out.c_str(), F_OK) == 0)
        std::abort();
    return 0;
}
