#include "tdkit/audio/acm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/notice.h"
#include "platform/registry.h"
#include "platform/tempfile.h"
#include "tdkit/settings/paths.h"

namespace {

constexpr FOURCC kWave = RiffFourCC("WAVE");
constexpr FOURCC kFmt = RiffFourCC("fmt ");
constexpr FOURCC kData = RiffFourCC("data");
constexpr std::size_t kBufferSize = 10000;
// A conversion goes through at most two intermediate files (a compressed format to PCM,
// PCM to PCM of the target's shape), so the operation calls itself at most twice.
constexpr int kMaxDepth = 2;

const char kOfferCaption[] = "Format Not Supported";
const char kOfferText[] =
    "Tonedeck does not support the format of this file.\nThe file may be converted by using "
    "the Windows Sound Recorder.\nWould you like to start the Sound Recorder now?";
const char kErrorCaption[] = "CRecord Error";

std::mutex hooksMutex;
CACM::ProgressFactory progressFactory;
CACM::Question offerQuestion;

bool AskOffer(QObject* window) {
    CACM::Question q;
    {
        std::lock_guard lock(hooksMutex);
        q = offerQuestion;
    }
    if (q)
        return q(window, QString::fromLatin1(kOfferCaption), QString::fromLatin1(kOfferText));
    std::fprintf(stderr, "%s: %s\n", kOfferCaption, kOfferText);
    return false;
}

std::unique_ptr<CACMProgress> MakeProgress(QObject* window) {
    if (!window)
        return nullptr;
    std::lock_guard lock(hooksMutex);
    return progressFactory ? progressFactory(window) : nullptr;
}

// The same file: the same path without regard to case, or the same file on disk.
bool SameFile(const QString& a, const QString& b) {
    if (a.compare(b, Qt::CaseInsensitive) == 0)
        return true;
    const QFileInfo fa(a), fb(b);
    if (fa.absoluteFilePath().compare(fb.absoluteFilePath(), Qt::CaseInsensitive) == 0)
        return true;
    const QString ca = fa.canonicalFilePath(), cb = fb.canonicalFilePath();
    return !ca.isEmpty() && ca == cb;
}

bool SameShape(const WAVEFORMATEX* a, const WAVEFORMATEX* b) {
    return a->wFormatTag == b->wFormatTag && a->nChannels == b->nChannels &&
           a->nSamplesPerSec == b->nSamplesPerSec && a->wBitsPerSample == b->wBitsPerSample;
}

std::size_t FormatBytes(const WAVEFORMATEX* f) {
    return sizeof(WAVEFORMATEX) + (f->wFormatTag == WAVE_FORMAT_PCM ? 0 : f->cbSize);
}

WaveFormatBytes Copy(const WAVEFORMATEX* f) {
    const auto* p = reinterpret_cast<const uint8_t*>(f);
    WaveFormatBytes bytes(p, p + FormatBytes(f));
    if (f->wFormatTag == WAVE_FORMAT_PCM)
        reinterpret_cast<WAVEFORMATEX*>(bytes.data())->cbSize = 0;
    return bytes;
}

// A format of the tag suggested from `from` (pairs with it), or empty.
WaveFormatBytes Suggest(const WAVEFORMATEX* from, WORD tag) {
    WaveFormatBytes bytes(acmFormatMaxSize(), 0);
    auto* f = reinterpret_cast<WAVEFORMATEX*>(bytes.data());
    f->wFormatTag = tag;
    if (acmFormatSuggest(from, f, DWORD(bytes.size()), ACM_FORMATSUGGESTF_WFORMATTAG) !=
        MMSYSERR_NOERROR)
        return {};
    bytes.resize(FormatBytes(f));
    return bytes;
}

// Removes a file when destroyed, unless kept.
class FileGuard {
public:
    FileGuard() = default;
    explicit FileGuard(QString path) : path_(std::move(path)) {}
    ~FileGuard() {
        if (!path_.isEmpty())
            QFile::remove(path_);
    }
    FileGuard(const FileGuard&) = delete;
    FileGuard& operator=(const FileGuard&) = delete;
    void Reset(QString path) {
        if (!path_.isEmpty())
            QFile::remove(path_);
        path_ = std::move(path);
    }
    void Keep() { path_.clear(); }
    const QString& path() const { return path_; }

private:
    QString path_;
};

}  // namespace

void CACM::SetProgressFactory(ProgressFactory factory) {
    std::lock_guard lock(hooksMutex);
    progressFactory = std::move(factory);
}

void CACM::SetOfferQuestion(Question question) {
    std::lock_guard lock(hooksMutex);
    offerQuestion = std::move(question);
}

WAVEFORMATEX* CACM::GetCompressFormat(void* buffer) {
    const WaveFormatBytes f = MakeCodecFormat(WAVE_FORMAT_DSPGROUP_TRUESPEECH, 1, 8000);
    static_assert(kCompressFormatSize == sizeof(WAVEFORMATEX) + 32);
    std::memcpy(buffer, f.data(), kCompressFormatSize);
    return static_cast<WAVEFORMATEX*>(buffer);
}

CACMFormatPtr CACM::GetFormatFromFile(const QString& path, DWORD* size) {
    const DWORD max = std::max<DWORD>(acmFormatMaxSize(), sizeof(WAVEFORMATEX));
    WaveFileError error;
    std::FILE* file = OpenRegularFile(path, &error);
    if (!file)
        return nullptr;
    WaveFileInfo info;
    error = ReadWaveFileInfo(file, &info, max);
    std::fclose(file);
    // A format the codec layer does not read is still returned: callers decide on it.
    if (error != WaveFileError::None && error != WaveFileError::Unsupported)
        return nullptr;
    CACMFormatPtr format(static_cast<WAVEFORMATEX*>(::operator new(max)));
    std::memset(format.get(), 0, max);
    std::memcpy(format.get(), info.format.data(), std::min<std::size_t>(info.format.size(), max));
    if (size)
        *size = max;
    return format;
}

bool CACM::Fail(const QString& why) {
    lastError_ = why;
    return false;
}

int CACM::CompressFile(const QString& source, const QString& destination, QObject* window) {
    alignas(WAVEFORMATEX) uint8_t format[kCompressFormatSize];
    return CompressFileProt(GetCompressFormat(format), source, destination, window, 0);
}

int CACM::ConvertFileFormat(const QString& source, const QString& destination,
                            const WAVEFORMATEX* target, QObject* window) {
    return CompressFileProt(target, source, destination, window, 0);
}

bool CACM::CreateOutputFile(RiffFile& file, const WAVEFORMATEX* format, QObject* window) {
    riff_ = RiffChunk{};
    riff_.fccType = kWave;
    if (file.Create(riff_, RiffCreate::Riff) != RiffError::None)
        return Fail(QStringLiteral("the destination cannot be written"));
    fmt_ = RiffChunk{};
    fmt_.ckid = kFmt;
    if (file.Create(fmt_) != RiffError::None)
        return Fail(QStringLiteral("the destination cannot be written"));
    // The whole record: header, extra size and extra bytes.
    WaveFormatBytes bytes = Copy(format);
    if (!file.WriteExact(bytes.data(), int64_t(bytes.size()))) {
        ShowNotice(window, QString::fromLatin1(kErrorCaption),
                   QStringLiteral("mmioWriteError fmt - WAVEFORMAT"));
        return Fail(QStringLiteral("the destination's format cannot be written"));
    }
    if (file.Ascend(fmt_) != RiffError::None) {
        ShowNotice(window, QString::fromLatin1(kErrorCaption), QStringLiteral("mmioAscend - fmt"));
        return Fail(QStringLiteral("the destination's format cannot be written"));
    }
    data_ = RiffChunk{};
    data_.ckid = kData;
    if (file.Create(data_) != RiffError::None)
        return Fail(QStringLiteral("the destination cannot be written"));
    return true;
}

int CACM::CompressFileProt(const WAVEFORMATEX* target, const QString& source,
                           const QString& destination, QObject* window, int depth) {
    lastError_.clear();
    // 1. Never over the source itself.
    if (SameFile(source, destination))
        return Fail(QStringLiteral("the source and the destination are the same file"));
    // 2. The target as a record of its own, and the source's format.
    if (!target || !acmFormatValid(target, FormatBytes(target)))
        return Fail(QStringLiteral("the target is not a format the codec layer writes"));
    const WaveFormatBytes want = Copy(target);
    const WAVEFORMATEX* dst = AsFormat(want);
    WaveFileError error;
    std::FILE* rawInput = OpenRegularFile(source, &error);
    if (!rawInput)
        return Fail(QStringLiteral("%1: %2").arg(source, WaveFileErrorText(error)));
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> input(rawInput, &std::fclose);
    WaveFileInfo info;
    error = ReadWaveFileInfo(input.get(), &info, acmFormatMaxSize());
    // 3. Formats the codec layer does not read get the offer of the sound editor.
    if (error == WaveFileError::Unsupported) {
        const WORD tag = AsFormat(info.format)->wFormatTag;
        if (AskOffer(window))
            StartSoundEditor(source);
        return Fail(QStringLiteral("%1: the format %2 (%3) is not supported")
                        .arg(source, acmFormatTagName(tag))
                        .arg(tag));
    }
    if (error != WaveFileError::None)
        return Fail(QStringLiteral("%1: %2").arg(source, WaveFileErrorText(error)));
    WaveFormatBytes srcFormat = info.format;
    const WAVEFORMATEX* src = AsFormat(srcFormat);

    // 4. A stream straight from the source to the target.
    HACMSTREAM stream = nullptr;
    FileGuard intermediateFile;
    MMRESULT r = acmStreamOpen(&stream, src, dst, ACM_STREAMOPENF_NONREALTIME);
    if (r == ACMERR_NOTPOSSIBLE) {
        // 5. Two steps: the source into an intermediate format that pairs with the target.
        const QString notPossible = acmLastErrorText();
        if (depth >= kMaxDepth)
            return Fail(notPossible);
        std::vector<WaveFormatBytes> choices;
        const WORD srcTag = src->wFormatTag;
        if (srcTag == WAVE_FORMAT_PCM || srcTag == WAVE_FORMAT_DSPGROUP_TRUESPEECH)
            choices.push_back(Suggest(dst, srcTag));
        choices.push_back(Suggest(src, dst->wFormatTag));
        // Between two compressed formats, or with a rate change on the way: through the
        // PCM the target's codec takes.
        if (dst->wFormatTag != WAVE_FORMAT_PCM)
            choices.push_back(Suggest(dst, WAVE_FORMAT_PCM));
        WaveFormatBytes middle;
        for (WaveFormatBytes& c : choices) {
            if (c.empty() || SameShape(AsFormat(c), src) || SameShape(AsFormat(c), dst))
                continue;
            if (acmStreamOpen(nullptr, AsFormat(c), dst, ACM_STREAMOPENF_QUERY) ==
                MMSYSERR_NOERROR) {
                middle = std::move(c);
                break;
            }
        }
        if (middle.empty())
            return Fail(notPossible);
        const auto tempDir = PrivateTempDirectory();
        const auto temp =
            tempDir ? CreateUniqueFile(*tempDir, QStringLiteral("TMP"), QStringLiteral(".tmp"))
                    : std::nullopt;
        if (!temp)
            return Fail(QStringLiteral("no temporary file can be made"));
        intermediateFile.Reset(*temp);
        CACM inner;
        if (!inner.CompressFileProt(AsFormat(middle), source, *temp, nullptr, depth + 1))
            return Fail(inner.LastError());
        input.reset(OpenRegularFile(*temp, &error));
        if (!input ||
            ReadWaveFileInfo(input.get(), &info, acmFormatMaxSize()) != WaveFileError::None)
            return Fail(QStringLiteral("the intermediate file cannot be read"));
        srcFormat = info.format;
        src = AsFormat(srcFormat);
        r = acmStreamOpen(&stream, src, dst, ACM_STREAMOPENF_NONREALTIME);
    }
    if (r != MMSYSERR_NOERROR)
        return Fail(acmLastErrorText());
    std::unique_ptr<AcmStream, void (*)(HACMSTREAM)> streamGuard(
        stream, [](HACMSTREAM s) { acmStreamClose(s, 0); });

    // 6. The input at its data; the destination under a temporary name beside it.
    if (fseeko(input.get(), info.dataOffset, SEEK_SET) != 0)
        return Fail(QStringLiteral("the source cannot be read"));
    const QFileInfo destInfo(destination);
    const auto outPath =
        CreateUniqueFile(destInfo.absolutePath(), QStringLiteral(".") + destInfo.fileName() + u'.',
                         QStringLiteral(".part"));
    if (!outPath)
        return Fail(QStringLiteral("%1: cannot be written").arg(destination));
    FileGuard outGuard(*outPath);
    auto out = RiffFile::Open(*outPath, RiffFile::Mode::Create);
    if (!out || !CreateOutputFile(*out, dst, window)) {
        if (lastError_.isEmpty())
            lastError_ = QStringLiteral("%1: cannot be written").arg(destination);
        return 0;
    }

    // 7. One piece of input (one block of a block-compressed input) and the output buffer.
    const std::size_t piece =
        src->nBlockAlign > 8 ? src->nBlockAlign : kBufferSize - kBufferSize % src->nBlockAlign;
    std::vector<uint8_t> in(piece), outBuffer(kBufferSize);
    ACMSTREAMHEADER header;
    header.pbSrc = in.data();
    header.cbSrcLength = DWORD(piece);
    header.pbDst = outBuffer.data();
    header.cbDstLength = DWORD(outBuffer.size());
    if (acmStreamPrepareHeader(stream, &header, 0) != MMSYSERR_NOERROR)
        return Fail(acmLastErrorText());

    // 8. The progress display, when there is a window to own it.
    std::unique_ptr<CACMProgress> progress = MakeProgress(window);
    if (progress)
        progress->SetPos(0);

    // 9. Piece by piece to the end of the input.
    const int64_t total = info.dataSize;
    int64_t done = 0;
    bool ok = true;
    while (ok) {
        const std::size_t want = std::size_t(std::min<int64_t>(int64_t(piece), total - done));
        const std::size_t got = want ? std::fread(in.data(), 1, want, input.get()) : 0;
        const bool last = done + int64_t(got) >= total || got < want;
        header.cbSrcLength = DWORD(got);
        if (acmStreamConvert(stream, &header,
                             last ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN) !=
            MMSYSERR_NOERROR) {
            ok = Fail(acmLastErrorText());
            break;
        }
        if (header.cbDstLengthUsed &&
            !out->WriteExact(outBuffer.data(), int64_t(header.cbDstLengthUsed))) {
            ok = Fail(QStringLiteral("%1: cannot be written").arg(destination));
            break;
        }
        const DWORD used = header.cbSrcLengthUsed;
        if (used < got && fseeko(input.get(), -int64_t(got - used), SEEK_CUR) != 0) {
            ok = Fail(QStringLiteral("the source cannot be read"));
            break;
        }
        done += used;
        if (progress) {
            progress->SetPos(total ? int(std::min<int64_t>(done * 100 / total, 100)) : 100);
            if (progress->Cancelled()) {
                ok = Fail(QStringLiteral("the conversion was cancelled"));
                break;
            }
        }
        // The end: everything read and used, and nothing more held back.
        if (last && used == got && header.cbDstLengthUsed == 0)
            break;
        if (got > 0 && used == 0 && header.cbDstLengthUsed == 0) {
            ok = Fail(QStringLiteral("the codec does not take the input"));
            break;
        }
        if (last && used == got)
            continue;  // drains what the codec holds back, without input
        if (got < want) {
            ok = Fail(QStringLiteral("the source cannot be read"));
            break;
        }
    }
    progress.reset();
    acmStreamUnprepareHeader(stream, &header, 0);

    // 10. Sizes into the chunks, and the destination into its place.
    if (!ok)
        return 0;
    if (out->Ascend(data_) != RiffError::None || out->Ascend(riff_) != RiffError::None ||
        out->Close() != RiffError::None)
        return Fail(QStringLiteral("%1: cannot be written").arg(destination));
    out.reset();
    if (std::rename(QFile::encodeName(*outPath).constData(),
                    QFile::encodeName(destination).constData()) != 0)
        return Fail(QStringLiteral("%1: cannot be written").arg(destination));
    outGuard.Keep();
    return 1;
}

bool StartSoundEditor(const QString& path) {
    QStringList command;
    if (auto key = RegKey::Open(RegRoot::CurrentUser, QString::fromLatin1(kProductKey))) {
        if (auto value = key->QueryString(QStringLiteral("SoundEditor")))
            command = QProcess::splitCommand(*value);
    }
    if (command.isEmpty()) {
        for (const char* name : {"audacity", "tenacity", "ocenaudio"}) {
            const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
            if (!found.isEmpty()) {
                command << found;
                break;
            }
        }
    }
    if (command.isEmpty())
        command << QStringLiteral("xdg-open");
    const QString program = command.takeFirst();
    command << path;
    return QProcess::startDetached(program, command);
}
