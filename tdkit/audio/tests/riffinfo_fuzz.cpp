// Fuzz target for the chunk readers and writers: any bytes as a sound file must give a
// clean result, and whatever a writer accepts must read back as written.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "tdkit/audio/riffinfo.h"

namespace {

std::string g_dir;

void RemoveDir() {
    for (const char* name : {"/in", "/in.rmi", "/out.rmi"})
        std::remove((g_dir + name).c_str());
    ::rmdir(g_dir.c_str());
}

const std::string& Dir() {
    if (g_dir.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/riffinfo_fuzz.XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        g_dir = pattern;
        std::atexit(RemoveDir);
    }
    return g_dir;
}

QString WriteInput(const uint8_t* data, size_t size) {
    const std::string path = Dir() + "/in";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
    return QString::fromStdString(path);
}

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void ReadEverything(const QString& path) {
    WAVEFILETYPE type;
    DWORD seconds;
    char small[16];
    char large[512];
    GetInfoFromRIFFFile(path, type, small, sizeof small, seconds, nullptr);
    VOICEGRAMINFOSTRUCT info{};
    if (GetInfoFromRIFFFile(path, type, large, sizeof large, seconds, &info)) {
        // Every string read is terminated within its allocation.
        for (const char* text : {info.text1, info.text3, info.text4, info.text5, info.text6})
            if (text)
                (void)std::strlen(text);
        FreeVoicegramInfo(&info);
    }
    ECHOMEMOSTRUCT note;
    GetNoteInfoFromRIFFFile(path, type, large, sizeof large, seconds, &note, SOUNDFILETYPE_WAV);
    GetNoteInfoFromRIFFFile(path, type, nullptr, 0, seconds, &note, SOUNDFILETYPE_RMI);
    // A description cut to the buffer ends inside it.
    if (GetNoteInfoFromRIFFFile(path, type, small, sizeof small, seconds, &note, SOUNDFILETYPE_WAV,
                                LongDescription::Cut))
        Check(strnlen(small, sizeof small) < sizeof small);
    QString to, cc, subject, text;
    GetAOLSendMailInfoFromRIFFFile(path, to, cc, subject, text);
    SOUNDFILETYPE sound;
    GetSoundFileType(path, sound);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The stored record parser on the raw bytes.
    VOICEGRAMINFOSTRUCT parsed{};
    size_t used = 0;
    if (ParseVoicegramInfo(data, size, parsed, &used)) {
        Check(used >= 36 && used <= size);
        FreeVoicegramInfo(&parsed);
    }

    QString path = WriteInput(data, size);
    ReadEverything(path);

    // Writers: what they accept reads back.
    ECHOMEMOSTRUCT memo{};
    memo.frequency = MEMO_WEEKLY;
    memo.weeklyTime = 1234;
    memo.weeklyDay = 3;
    const SOUNDFILETYPE kind = size % 2 ? SOUNDFILETYPE_RMI : SOUNDFILETYPE_WAV;
    if (AddNoteInfoToRIFFFile(path, WAVEFILETYPE_ECHOMEMO, "fuzz memo", &memo, kind)) {
        WAVEFILETYPE type;
        DWORD seconds;
        char desc[32];
        ECHOMEMOSTRUCT back{};
        Check(GetNoteInfoFromRIFFFile(path, type, desc, sizeof desc, seconds, &back, kind));
        Check(type == WAVEFILETYPE_ECHOMEMO && std::strcmp(desc, "fuzz memo") == 0);
        Check(std::memcmp(&back, &memo, sizeof memo) == 0);
        Check(MarkNoteAsAlreadyPlayed(path, 1, 99));
    }
    path = WriteInput(data, size);
    char text[] = "someone";
    VOICEGRAMINFOSTRUCT info{};
    info.text3 = text;
    info.value2 = 5;
    if (AddInfoToRIFFFile(path, WAVEFILETYPE_SOUND, "fuzz mail", &info)) {
        Check(MarkMailAsHeard(path, 1));
        WAVEFILETYPE type;
        DWORD seconds;
        char desc[32];
        VOICEGRAMINFOSTRUCT back{};
        Check(GetInfoFromRIFFFile(path, type, desc, sizeof desc, seconds, &back));
        Check(std::strcmp(desc, "fuzz mail") == 0 && back.value2 == 5 && back.heard == 1);
        Check(back.text3 && std::strcmp(back.text3, text) == 0 && !back.text1);
        FreeVoicegramInfo(&back);
    }
    path = WriteInput(data, size);
    if (AddAOLSendMailInfoToRIFFFile(path, "to", "cc", "subject", "note")) {
        QString to, cc, subject, note;
        Check(GetAOLSendMailInfoFromRIFFFile(path, to, cc, subject, note));
        Check(to == "to" && cc == "cc" && subject == "subject" && note == "note");
    }
    // Any bytes wrap into an RMI file, which reads as one.
    const QString rmi = QString::fromStdString(Dir() + "/out.rmi");
    if (size < 4096) {
        Check(CreateRMIDFile(path, rmi));
        SOUNDFILETYPE sound;
        Check(GetSoundFileType(rmi, sound) && sound == SOUNDFILETYPE_RMI);
    }
    return 0;
}
