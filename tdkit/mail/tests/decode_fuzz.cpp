// Fuzz target for both decoders: any message text gives a clean result, a decoded sound
// is written only inside the output folder under a plain name, and what EncodeUU writes
// decodes back to the same bytes.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "tdkit/mail/decode.h"

namespace {

std::string g_dir;

void RemoveDir() {
    QDir(QString::fromStdString(g_dir)).removeRecursively();
}

const std::string& Dir() {
    if (g_dir.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/decode_fuzz.XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        g_dir = pattern;
        std::atexit(RemoveDir);
    }
    return g_dir;
}

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

// The written file lies directly in the output folder; it is removed again.
void CheckOutput(const char* path, const QString& out) {
    const QString written = QString::fromLocal8Bit(path);
    Check(written.startsWith(out + u'/'));
    const QString name = written.mid(out.size() + 1);
    Check(!name.isEmpty() && !name.contains(u'/') && !name.startsWith(u'.'));
    Check(static_cast<std::size_t>(name.toLocal8Bit().size()) <= kMaxDecodedNameBytes + 8);
    for (QChar c : name)
        Check(c.unicode() >= 0x20);
    Check(QFile::remove(written));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const QString out = QString::fromStdString(Dir()) + QStringLiteral("/out");
    QDir().mkpath(out);
    char path[kDecodePathSize];
    if (CDecode::DecodeUU(text, size, out, path, sizeof path))
        CheckOutput(path, out);
    if (CDecode::DecodeMIMEToWAV(text, size, out, path, sizeof path))
        CheckOutput(path, out);
    Check(QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::System).isEmpty());

    // Any bytes encode and decode back unchanged.
    const QString in = QString::fromStdString(Dir()) + QStringLiteral("/in.wav");
    FILE* f = std::fopen(in.toLocal8Bit().constData(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
    const auto encoded = CDecode::EncodeUUText(in, QStringLiteral("F.WAV"));
    Check(encoded.has_value());
    const auto back = CDecode::ParseUU(encoded->data(), encoded->size());
    if (size == 0) {
        Check(!back);
    } else {
        Check(back && back->bytes == QByteArray(text, static_cast<qsizetype>(size)));
        Check(back->name == "F.WAV");
    }
    return 0;
}
