#include "tdkit/audio/record.h"

#include <QCoreApplication>
#include <QFile>
#include <QObject>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>

#include <unistd.h>

#include "platform/codec.h"
#include "platform/message.h"
#include "platform/notice.h"
#include "platform/riffwave.h"
#include "tdkit/audio/waveformsink.h"

// The recorder's hidden notification object: the devices post their messages to it.
class RecordWindow : public QObject, public MessageReceiver {
public:
    explicit RecordWindow(CRecord* record) : MessageReceiver(this) {
        OnMessage(MM_WIM_DATA, [record](WPARAM w, LPARAM l) { return record->OnWIMData(w, l); });
        OnMessage(MM_WOM_DONE, [record](WPARAM w, LPARAM l) { return record->OnWOMDone(w, l); });
        for (UINT m : {MM_WIM_OPEN, MM_WIM_CLOSE, MM_WOM_OPEN, MM_WOM_CLOSE})
            OnMessage(m, [](WPARAM, LPARAM) { return LRESULT(0); });
    }
};

namespace {

constexpr FOURCC kWave = RiffFourCC("WAVE");
constexpr FOURCC kFmt = RiffFourCC("fmt ");
constexpr FOURCC kData = RiffFourCC("data");
constexpr int kBuffers = 4;
// Playback with no waveform to move reads the file a second at a time: the position is
// then nobody's to see, and pieces four times as large wake both threads a quarter as often.
constexpr int kHeadlessPlayQuarters = 4;
constexpr int kCopyBlock = 1000;
const char kErrorCaption[] = "CRecord Error";

std::mutex reporterMutex;
CRecord::ErrorReporter reporter;

UINT Code(RiffError e) {
    switch (e) {
        case RiffError::None:
            return 0;
        case RiffError::NotFound:
            return MMIOERR_CHUNKNOTFOUND;
        case RiffError::CannotOpen:
        case RiffError::Busy:
        case RiffError::Exists:
        case RiffError::NotRegular:
            return MMIOERR_CANNOTOPEN;
        case RiffError::Read:
        case RiffError::Stopped:
            return MMIOERR_CANNOTREAD;
        case RiffError::Write:
            return MMIOERR_CANNOTWRITE;
        case RiffError::Seek:
            return MMIOERR_CANNOTSEEK;
        case RiffError::TooLarge:
            return MMIOERR_CANNOTEXPAND;
    }
    return MMIOERR_CANNOTREAD;
}

// A WAV file opened on its own: its format, its chunks and the frames of its data. A
// compressed file is read through the codec layer's decoder, as 16-bit PCM of its rate and
// channels, decoded as it is read.
struct WaveSource {
    std::unique_ptr<RiffFile> file;
    std::unique_ptr<WaveDecoder> decoder;
    RiffChunk riff, data;
    WAVEFORMATEX format{};
    DWORD frames = 0;

    // Up to size bytes of PCM (whole frames for compressed data); 0 at the end, -1 on error.
    int64_t Read(char* buffer, int64_t size) {
        return decoder ? decoder->Read(buffer, size) : file->Read(buffer, size);
    }
};

// Finds the "WAVE" form, reads up to 18 bytes of "fmt " (extra size forced to 0) and
// finds "data"; the file is left at the start of the data.
UINT ReadWaveHeader(RiffFile& file, RiffChunk& riff, RiffChunk& fmt, RiffChunk& data,
                    WAVEFORMATEX& format) {
    RiffWave wave;
    switch (ReadRiffWave(file, &wave)) {
        case RiffWaveError::None:
            break;
        case RiffWaveError::NoFormat:
        case RiffWaveError::BadFormat:
            return 1;
        case RiffWaveError::NoForm:
        case RiffWaveError::NoData:
            return MMIOERR_CHUNKNOTFOUND;
        case RiffWaveError::Read:
            return MMIOERR_CANNOTREAD;
    }
    riff = wave.riff;
    fmt = wave.fmt;
    data = wave.data;
    format = wave.format;
    return 0;
}

bool OpenSource(const QString& path, WaveSource& source) {
    source.file = RiffFile::Open(path, RiffFile::Mode::Read);
    if (!source.file)
        return false;
    RiffChunk fmt;
    if (ReadWaveHeader(*source.file, source.riff, fmt, source.data, source.format) != 0) {
        source.file.reset();
        return false;
    }
    if (source.format.wFormatTag != WAVE_FORMAT_PCM) {
        source.file.reset();
        WaveFileError error;
        source.decoder = WaveDecoder::Open(path, &error);
        if (!source.decoder)
            return false;
        source.format = source.decoder->PcmFormat();
        source.frames = static_cast<DWORD>(
            std::min<int64_t>(source.decoder->Frames(), std::numeric_limits<DWORD>::max()));
        return true;
    }
    source.frames = source.data.cksize / source.format.nBlockAlign;
    return true;
}

WAVEFORMATEX RecordFormatOf(int format) {
    static const DWORD rates[] = {8000, 11025, 22050, 44100};
    const DWORD rate = rates[format];
    const WORD bits = format == RECORDFORMAT_CD ? 16 : 8;
    const WORD align = bits / 8;
    return {WAVE_FORMAT_PCM, 1, rate, rate * align, align, bits, 0};
}

bool IsRecordFormat(int format) {
    return format >= 0 && format <= 3;
}

}  // namespace

CRecord::CRecord() {
    format_ = RecordFormatOf(RECORDFORMAT_AMRADIO);
}

CRecord::~CRecord() {
    if (recording_ || inputOpen_)
        StopRecordToFile();
    if (playing_ || waveOut_)
        StopPlayFromFile();
    CloseFile();
}

const char CRecord::kWriteFailedText[] =
    "The recording could not be written to its file (the disk may be full), so it has "
    "stopped. What was recorded before that is kept.";

void CRecord::SetErrorReporter(ErrorReporter r) {
    std::lock_guard lock(reporterMutex);
    reporter = std::move(r);
}

void CRecord::ReportError(const char* text) const {
    ErrorReporter r;
    {
        std::lock_guard lock(reporterMutex);
        r = reporter;
    }
    const QString caption = QString::fromLatin1(kErrorCaption);
    const QString message = QString::fromLatin1(text);
    if (r) {
        r(caption, message);
    } else {
        ShowNotice(owner_.data(), caption, message);
    }
}

void CRecord::EnsureWindow() {
    if (!window_)
        window_ = std::make_unique<RecordWindow>(this);
}

void CRecord::Start(QObject* owner, int format, DWORD maxSeconds, WaveformSink* display,
                    const VOXPROPERTIES* vox) {
    owner_ = owner;
    EnsureWindow();
    SetRecordFormat(format);
    maxSeconds_ = maxSeconds;
    const uint64_t max = uint64_t(maxSeconds) * format_.nSamplesPerSec;
    maxSamples_ = static_cast<DWORD>(std::min<uint64_t>(max, std::numeric_limits<DWORD>::max()));
    display_ = display;
    displayObject_ = display ? display->SinkObject() : nullptr;
    sampleLimit_ = std::numeric_limits<DWORD>::max();
    voxSilenceSeconds_ = vox ? vox->bySilenceSeconds : kDefaultVoxSilenceSeconds;
    voxThreshold_ = static_cast<int32_t>(vox ? vox->dwThreshold : kDefaultVoxThreshold);
    voxTrimSeconds_ = vox ? vox->byTrimSeconds : kDefaultVoxTrimSeconds;
}

void CRecord::ResetCount() {
    bytePos_ = 0;
    currentSample_ = 0;
}

void CRecord::SetRecordFormat(int format) {
    if (IsRecordFormat(format))
        format_ = RecordFormatOf(format);
}

int CRecord::IsRecordAvailable(int format) {
    const WAVEFORMATEX f = IsRecordFormat(format) ? RecordFormatOf(format) : format_;
    return waveInOpen(nullptr, WAVE_MAPPER, &f, {}, WAVE_FORMAT_QUERY) == 0 ? 1 : 0;
}

int CRecord::QuarterBytes() const {
    return static_cast<int>(uint64_t(format_.nBlockAlign) * format_.nSamplesPerSec / 4);
}

int CRecord::PlayPieceBytes() const {
    return Display() ? QuarterBytes() : kHeadlessPlayQuarters * QuarterBytes();
}

WAVEHDR* CRecord::AllocBuffer(int bytes) {
    if (bytes <= 0)
        return nullptr;
    auto* h = new (std::nothrow) WAVEHDR{};
    if (!h)
        return nullptr;
    h->lpData = new (std::nothrow) char[static_cast<std::size_t>(bytes)];
    if (!h->lpData) {
        delete h;
        return nullptr;
    }
    h->dwBufferLength = static_cast<DWORD>(bytes);
    h->dwUser = reinterpret_cast<uintptr_t>(this);
    return h;
}

void CRecord::FreeBuffer(WAVEHDR*& header) {
    if (!header)
        return;
    delete[] header->lpData;
    delete header;
    header = nullptr;
}

void CRecord::DispatchDeviceMessages() {
    if (window_)
        QCoreApplication::sendPostedEvents(window_.get(), 0);
}

UINT CRecord::CreateNewWAVFile(const QString& path) {
    CloseFile();
    file_ = RiffFile::Open(path, RiffFile::Mode::Create);
    if (!file_)
        return 1;
    riff_ = RiffChunk{};
    riff_.fccType = kWave;
    UINT r = Code(file_->Create(riff_, RiffCreate::Riff));
    if (!r) {
        fmt_ = RiffChunk{};
        fmt_.ckid = kFmt;
        r = Code(file_->Create(fmt_));
    }
    if (!r) {
        // The first 14 bytes of the format, then the bits per sample.
        if (!file_->WriteExact(&format_, 14) || !file_->WriteExact(&format_.wBitsPerSample, 2))
            r = MMIOERR_CANNOTWRITE;
    }
    if (!r)
        r = Code(file_->Ascend(fmt_));
    if (!r) {
        data_ = RiffChunk{};
        data_.ckid = kData;
        r = Code(file_->Create(data_));
    }
    if (r) {
        CloseFile();
        return r;
    }
    formEnd_ = data_.dataOffset;
    samplesInFile_ = samplesRecorded_ = 0;
    return 0;
}

UINT CRecord::OpenWAVFile(const QString& path) {
    CloseFile();
    RiffError error = RiffError::None;
    file_ = RiffFile::Open(path, RiffFile::Mode::ReadWrite, &error);
    // A file the user may not change still plays; recording into it is refused.
    if (!file_ && error == RiffError::CannotOpen &&
        ::access(QFile::encodeName(path).constData(), R_OK) == 0 &&
        ::access(QFile::encodeName(path).constData(), W_OK) != 0)
        file_ = RiffFile::Open(path, RiffFile::Mode::Read, &error);
    if (!file_)
        return 1;
    WAVEFORMATEX f{};
    const UINT r = ReadWaveHeader(*file_, riff_, fmt_, data_, f);
    if (r) {
        CloseFile();
        return r;
    }
    format_ = f;
    formEnd_ = riff_.paddedEnd();
    samplesInFile_ = samplesRecorded_ = data_.cksize / format_.nBlockAlign;
    return 0;
}

UINT CRecord::CloseFile() {
    if (!file_)
        return 0;
    const RiffError e = file_->Close();
    file_.reset();
    return e == RiffError::None ? 0 : MMIOERR_CANNOTCLOSE;
}

UINT CRecord::RecordToFile(DWORD startSample, BOOL vox) {
    if (!file_)
        return 1;
    if (!file_->IsWritable())
        return MMIOERR_CANNOTWRITE;
    if (recording_ || inputOpen_ || playing_ || waveOut_)
        return MMSYSERR_ALLOCATED;
    EnsureWindow();
    voxSuspended_ = 0;
    writeFailed_ = 0;
    voxEnabled_ = vox ? 1 : 0;
    silenceCountdown_ = int32_t(voxSilenceSeconds_) * int32_t(format_.nSamplesPerSec);
    const int64_t at = data_.dataOffset + int64_t(startSample) * format_.nBlockAlign;
    if (file_->Seek(at) < 0)
        return MMIOERR_CANNOTSEEK;

    WaveNotify notify;
    notify.window = window_.get();
    notify.instance = reinterpret_cast<uintptr_t>(this);
    if (UINT r = waveInOpen(&waveIn_, WAVE_MAPPER, &format_, notify, CALLBACK_WINDOW)) {
        waveIn_ = nullptr;
        return r;
    }
    inputOpen_ = 1;
    if (Display()) {
        resolution_ = std::max<DWORD>(1, Display()->GetResolution());
        nextSampleToDraw_ = startSample;
        nextPixel_ = startSample / resolution_;
        Display()->SetPos(startSample);
    }
    currentSample_ = startSample;
    bytePos_ = startSample * format_.nBlockAlign;
    recordStart_ = startSample;
    inputSamples_ = 0;
    liveBuffers_ = 0;
    for (auto& b : buffers_) {
        b = AllocBuffer(QuarterBytes());
        UINT r = b ? waveInPrepareHeader(waveIn_, b, sizeof(WAVEHDR)) : 1;
        if (!r)
            r = waveInAddBuffer(waveIn_, b, sizeof(WAVEHDR));
        if (r) {
            StopInput();
            return r;
        }
        liveBuffers_++;
    }
    data_.dirty = fmt_.dirty = riff_.dirty = true;
    if (UINT r = waveInStart(waveIn_)) {
        StopInput();
        return r;
    }
    recording_ = 1;
    return 0;
}

// Stops and closes the input device and frees its buffers; queued notifications are
// handled (and ignored) before the buffers go.
UINT CRecord::StopInput() {
    if (!inputOpen_)
        return 0;
    UINT r = waveInStop(waveIn_);
    if (!r)
        r = waveInReset(waveIn_);
    if (r)
        return r;
    DispatchDeviceMessages();
    waveInClose(waveIn_);
    waveIn_ = nullptr;
    inputOpen_ = 0;
    for (auto& b : buffers_)
        FreeBuffer(b);
    liveBuffers_ = 0;
    return 0;
}

int CRecord::SampleValue(const char* frame) const {
    if (format_.wBitsPerSample == 8)
        return (128 - int(uint8_t(frame[0]))) * 256;
    return int(int16_t(uint8_t(frame[0]) | uint8_t(frame[1]) << 8));
}

bool CRecord::ExceedVOXThreshold(const WAVEHDR* header) const {
    const DWORD align = format_.nBlockAlign;
    const DWORD frames = header->dwBytesRecorded / align;
    const DWORD step = std::max<DWORD>(1, format_.nSamplesPerSec / 1000);
    for (DWORD i = 0; i < frames; i += step) {
        if (std::abs(SampleValue(header->lpData + std::size_t(i) * align)) > voxThreshold_)
            return true;
    }
    return false;
}

// Gives the display one value per resolution frames of the buffer just written.
void CRecord::Feed(const WAVEHDR* header) {
    if (!Display())
        return;
    const uint64_t frames = header->dwBytesRecorded / format_.nBlockAlign;
    while (uint64_t(currentSample_) + frames > nextSampleToDraw_) {
        if (nextSampleToDraw_ >= currentSample_) {
            const DWORD offset = nextSampleToDraw_ - currentSample_;
            Display()->SetPixelValue(static_cast<int>(nextPixel_),
                                     SampleValue(header->lpData + offset * format_.nBlockAlign));
            nextPixel_++;
        }
        nextSampleToDraw_ += resolution_;
    }
}

// Suspends for silence: the quiet tail is cut back by the trim time, never before the
// frame this recording started at.
void CRecord::Suspend() {
    voxSuspended_ = 1;
    const DWORD trim = std::min<DWORD>(DWORD(voxTrimSeconds_) * format_.nSamplesPerSec,
                                       currentSample_ - std::min(currentSample_, recordStart_));
    currentSample_ -= trim;
    samplesRecorded_ = currentSample_;
    bytePos_ = currentSample_ * format_.nBlockAlign;
    file_->Seek(data_.dataOffset + int64_t(bytePos_));
    if (Display()) {
        Display()->SetPos(Display()->GetPos() - std::min<unsigned long>(trim, Display()->GetPos()));
        Display()->ErasePastCurrentLocation();
        nextPixel_ = currentSample_ / resolution_;
        nextSampleToDraw_ = currentSample_;
    }
}

LRESULT CRecord::OnWIMData(WPARAM, LPARAM lParam) {
    auto* header = reinterpret_cast<WAVEHDR*>(lParam);
    if (!recording_ || !header || header->dwBytesRecorded == 0)
        return 0;
    const DWORD align = format_.nBlockAlign;
    DWORD bytes = header->dwBytesRecorded - header->dwBytesRecorded % align;
    inputSamples_ += bytes / align;
    const DWORD frames = bytes / align;
    const int32_t silence = int32_t(voxSilenceSeconds_) * int32_t(format_.nSamplesPerSec);

    bool write = false;
    if (paused_) {
        // A loud buffer ends a suspension, but a paused recording keeps nothing.
        if (voxSuspended_ && ExceedVOXThreshold(header)) {
            voxSuspended_ = 0;
            silenceCountdown_ = silence;
        }
    } else if (voxSuspended_) {
        if (ExceedVOXThreshold(header)) {
            voxSuspended_ = 0;
            silenceCountdown_ = silence;
            write = true;
        }
    } else {
        write = true;
    }

    // An owner that asked for an exact length gets no frame past it.
    const DWORD room = sampleLimit_ > currentSample_ ? sampleLimit_ - currentSample_ : 0;
    const DWORD keptFrames = std::min(frames, room);
    const DWORD keptBytes = keptFrames * align;
    if (keptFrames == 0)
        write = false;

    if (write) {
        if (!file_->WriteExact(header->lpData, keptBytes)) {
            // A recording that cannot be stored ends, and says so, rather than losing
            // audio unseen.
            writeFailed_ = 1;
            // What reached the disk is kept: the data ends where the stored file does.
            const int64_t stored = file_->StoredSize() - data_.dataOffset;
            DWORD stayed = DWORD(std::clamp<int64_t>(stored, 0, bytePos_));
            stayed -= stayed % align;
            bytePos_ = stayed;
            currentSample_ = samplesRecorded_ = stayed / align;
            file_->Seek(data_.dataOffset + stayed);
            if (!stopping_)
                StopRecording(false, nullptr, nullptr);
            else
                recording_ = 0;
            ReportError(kWriteFailedText);
            return 0;
        }
        // Written through at once, so a crash loses no more than this buffer.
        file_->Flush();
        WAVEHDR kept = *header;
        kept.dwBytesRecorded = keptBytes;
        Feed(&kept);
        bytePos_ += keptBytes;
        currentSample_ = samplesRecorded_ = bytePos_ / align;
        if (Display())
            Display()->SetPos(Display()->GetPos() + keptFrames);
        if (voxEnabled_) {
            if (ExceedVOXThreshold(header)) {
                silenceCountdown_ = silence;
            } else {
                silenceCountdown_ -= static_cast<int32_t>(frames);
                if (silenceCountdown_ <= 0)
                    Suspend();
            }
        }
        if (!stopping_ && !voxSuspended_ && uint64_t(frames) * 4 + currentSample_ >= maxSamples_) {
            StopRecording(false, nullptr, nullptr);
            return 0;
        }
    }

    header->dwFlags &= ~WHDR_DONE;
    if (recording_ && !stopping_)
        waveInAddBuffer(waveIn_, header, sizeof(WAVEHDR));
    return 0;
}

UINT CRecord::FinishFile(bool truncateAfterForm) {
    UINT result = 0;
    if (RiffError e = file_->Ascend(data_); e != RiffError::None) {
        ReportError("mmioAscend - data");
        result = Code(e);
    }
    const bool grown = riff_.dirty;
    if (RiffError e = file_->Ascend(riff_); e != RiffError::None) {
        ReportError("mmioAscend - wave");
        result = Code(e);
    }
    // What followed an older, longer form is stale once the form has been rewritten.
    if (truncateAfterForm && grown && result == 0)
        result = Code(file_->Truncate());
    return result;
}

UINT CRecord::StopRecordToFile(const WAVEFILETYPE* type, const char* text, const void*) {
    return StopRecording(true, type, text);
}

uint64_t CRecord::CapturedSamples() const {
    if (!inputOpen_ || !waveIn_)
        return 0;
    MMTIME time{};
    time.wType = TIME_SAMPLES;
    if (waveInGetPosition(waveIn_, &time, sizeof time) != MMSYSERR_NOERROR ||
        time.wType != TIME_SAMPLES)
        return 0;
    return time.value;
}

UINT CRecord::StopRecording(bool keepPending, const WAVEFILETYPE* type, const char* text) {
    // A stop asked for by the owner keeps what the device has captured so far: the
    // buffers it has filled and the one it hands back partly filled. A stop at the
    // maximum length keeps nothing more.
    stopping_ = keepPending && recording_;
    if (!stopping_)
        recording_ = 0;
    UINT result = StopInput();
    recording_ = 0;
    stopping_ = false;
    if (!file_)
        return result;
    if (UINT r = FinishFile(type == nullptr))
        result = r;
    if (type) {
        if (!WriteDescChunk(*file_, *type, text ? text : "WAVE FILE")) {
            ReportError("mmioWriteError - desc");
            result = MMIOERR_CANNOTWRITE;
        }
    }
    if (UINT r = CloseFile())
        result = r;
    return result;
}

UINT CRecord::PlayFromFile(DWORD startSample) {
    if (!file_)
        return 0;
    if (recording_ || inputOpen_ || playing_ || waveOut_)
        return MMSYSERR_ALLOCATED;
    EnsureWindow();
    WAVEFORMATEX f{};
    const UINT header = ReadWaveHeader(*file_, riff_, fmt_, data_, f);
    if (header == 1)
        return 0;
    if (header)
        return header;
    const uint64_t skip = uint64_t(startSample) * f.nBlockAlign;
    bytesLeft_ = skip < data_.cksize ? static_cast<DWORD>(data_.cksize - skip) : 0;
    if (file_->Seek(data_.dataOffset +
                    static_cast<int64_t>(std::min<uint64_t>(skip, data_.cksize))) < 0)
        return MMIOERR_CANNOTSEEK;
    WaveNotify notify;
    notify.window = window_.get();
    notify.instance = reinterpret_cast<uintptr_t>(this);
    if (UINT r = waveOutOpen(&waveOut_, WAVE_MAPPER, &f, notify, CALLBACK_WINDOW)) {
        waveOut_ = nullptr;
        return r;
    }
    format_ = f;
    liveBuffers_ = 0;
    queuedSamples_ = 0;
    currentSample_ = startSample;
    playing_ = 1;
    heldOutput_.clear();
    playPieceBytes_ = PlayPieceBytes();
    if (paused_)
        waveOutPause(waveOut_);
    for (auto& b : playBuffers_) {
        if (bytesLeft_ == 0)
            break;
        b = AllocBuffer(playPieceBytes_);
        if (!b)
            return 1;
        const int64_t want = std::min<int64_t>(playPieceBytes_, bytesLeft_);
        const int64_t got = file_->Read(b->lpData, want);
        if (got <= 0) {
            FreeBuffer(b);
            bytesLeft_ = 0;
            break;
        }
        b->dwBufferLength = static_cast<DWORD>(got);
        currentSample_ += static_cast<DWORD>(got / f.nBlockAlign);
        queuedSamples_ += static_cast<DWORD>(got / f.nBlockAlign);
        UINT r = waveOutPrepareHeader(waveOut_, b, sizeof(WAVEHDR));
        if (!r)
            r = waveOutWrite(waveOut_, b, sizeof(WAVEHDR));
        if (r) {
            FreeBuffer(b);
            return r;
        }
        liveBuffers_++;
        bytesLeft_ -= static_cast<DWORD>(got);
    }
    // Nothing to play (a start at or past the end): playback is over at once.
    if (liveBuffers_ == 0)
        playing_ = 0;
    return 0;
}

LRESULT CRecord::OnWOMDone(WPARAM, LPARAM lParam) {
    auto* header = reinterpret_cast<WAVEHDR*>(lParam);
    if (!playing_ || !header)
        return 0;
    header->dwFlags &= ~WHDR_DONE;
    if (paused_) {
        // Held until the pause ends (SetPauseState plays the held buffers on).
        heldOutput_.push_back(header);
        return 0;
    }
    const DWORD align = format_.nBlockAlign;
    queuedSamples_ -= std::min(queuedSamples_, header->dwBufferLength / align);
    if (Display())
        Display()->SetPos(Display()->GetPos() + header->dwBufferLength / align);
    // Every playback buffer was made to hold playPieceBytes_.
    const int64_t want = std::min<int64_t>(playPieceBytes_, bytesLeft_);
    const int64_t got = want > 0 && file_ ? file_->Read(header->lpData, want) : 0;
    if (got <= 0) {
        for (auto& b : playBuffers_) {
            if (b == header)
                FreeBuffer(b);
        }
        if (--liveBuffers_ <= 0) {
            liveBuffers_ = 0;
            playing_ = 0;
        }
        return 0;
    }
    header->dwBufferLength = static_cast<DWORD>(got);
    header->dwBytesRecorded = static_cast<DWORD>(got);
    currentSample_ += static_cast<DWORD>(got / align);
    queuedSamples_ += static_cast<DWORD>(got / align);
    waveOutWrite(waveOut_, header, sizeof(WAVEHDR));
    bytesLeft_ -= static_cast<DWORD>(got);
    return 0;
}

UINT CRecord::StopPlayFromFile() {
    playing_ = 0;
    if (waveOut_) {
        UINT r = waveOutPause(waveOut_);
        if (!r)
            r = waveOutReset(waveOut_);
        if (!r) {
            DispatchDeviceMessages();
            waveOutClose(waveOut_);
            waveOut_ = nullptr;
            for (auto& b : playBuffers_)
                FreeBuffer(b);
            liveBuffers_ = 0;
            queuedSamples_ = 0;
            heldOutput_.clear();
        }
    }
    return CloseFile();
}

int CRecord::SetPauseState(int state) {
    const int old = paused_;
    paused_ = state;
    if (playing_ && waveOut_ && bool(old) != bool(state)) {
        if (state) {
            waveOutPause(waveOut_);
        } else {
            waveOutRestart(waveOut_);
            std::vector<WAVEHDR*> held;
            held.swap(heldOutput_);
            for (WAVEHDR* h : held)
                OnWOMDone(reinterpret_cast<WPARAM>(waveOut_), reinterpret_cast<LPARAM>(h));
        }
    }
    return old;
}

int CRecord::AppendFile(const QString& source, const QString& destination) {
    if (recording_ || inputOpen_ || playing_ || waveOut_)
        return 0;
    WaveSource src;
    if (!OpenSource(source, src))
        return 0;
    if (OpenWAVFile(destination) != 0)
        return 0;
    data_.dirty = riff_.dirty = true;
    bool ok = file_->Seek(data_.dataOffset + int64_t(samplesRecorded_) * format_.nBlockAlign) >= 0;
    uint64_t frames = src.frames;
    if (uint64_t(samplesRecorded_) + src.frames > maxSamples_)
        frames = maxSamples_ > samplesRecorded_ ? maxSamples_ - samplesRecorded_ : 0;
    uint64_t left = frames * src.format.nBlockAlign;
    char block[kCopyBlock];
    while (ok && left > 0) {
        const int64_t got = src.Read(block, std::min<uint64_t>(left, kCopyBlock));
        if (got <= 0)
            break;  // the source ran out
        ok = file_->WriteExact(block, got);
        left -= static_cast<uint64_t>(got);
    }
    UINT r = ok ? 0 : MMIOERR_CANNOTWRITE;
    const int64_t dataEnd = file_->Tell();
    if (!r)
        r = FinishFile(false);
    if (!r && riff_.paddedEnd() > formEnd_)
        r = Code(file_->Truncate());
    if (!r) {
        samplesInFile_ = samplesRecorded_ =
            static_cast<DWORD>((dataEnd - data_.dataOffset) / format_.nBlockAlign);
    }
    if (UINT c = CloseFile(); !r)
        r = c;
    return r == 0 ? 1 : 0;
}

int CRecord::MixFiles(const QString& source, const QString& destination) {
    if (recording_ || inputOpen_ || playing_ || waveOut_)
        return 0;
    WaveSource src;
    if (!OpenSource(source, src))
        return 0;
    if (OpenWAVFile(destination) != 0)
        return 0;
    const bool eightBit = format_.wBitsPerSample == 8;
    const char silence = eightBit ? char(128) : 0;
    uint64_t srcLeft = uint64_t(src.frames) * src.format.nBlockAlign;
    uint64_t dstLeft = uint64_t(samplesRecorded_) * format_.nBlockAlign;
    int64_t mixAt = data_.dataOffset;
    char S[kCopyBlock], D[kCopyBlock];
    bool ok = true;
    while (ok && (srcLeft > 0 || dstLeft > 0)) {
        int64_t s = srcLeft ? src.Read(S, std::min<uint64_t>(srcLeft, kCopyBlock)) : 0;
        if (s <= 0) {
            s = 0;
            srcLeft = 0;  // a source shorter than its header says ends here
        }
        std::fill(S + s, S + kCopyBlock, silence);
        int64_t d = 0;
        if (file_->Seek(mixAt) < 0)
            break;
        if (dstLeft)
            d = file_->Read(D, std::min<uint64_t>(dstLeft, kCopyBlock));
        if (d <= 0) {
            d = 0;
            dstLeft = 0;
        }
        std::fill(D + d, D + kCopyBlock, silence);
        if (s == 0 && d == 0)
            break;
        if (eightBit) {
            for (int64_t i = 0; i < s; ++i) {
                const int t = int(uint8_t(D[i])) + int(uint8_t(S[i]));
                D[i] = char(t < 128 ? 0 : std::min(t - 128, 255));
            }
        } else {
            for (int64_t i = 0; i + 1 < s; i += 2) {
                const int a = int16_t(uint8_t(D[i]) | uint8_t(D[i + 1]) << 8);
                const int b = int16_t(uint8_t(S[i]) | uint8_t(S[i + 1]) << 8);
                const int t = std::clamp(a + b, -32767, 32767);
                D[i] = char(t & 0xFF);
                D[i + 1] = char((t >> 8) & 0xFF);
            }
        }
        const int64_t n = std::max(d, s);
        if (file_->Seek(mixAt) < 0 || !file_->WriteExact(D, n))
            ok = false;
        srcLeft -= std::min<uint64_t>(srcLeft, s);
        dstLeft -= std::min<uint64_t>(dstLeft, d);
        mixAt += n;
    }
    // The data now ends at the later of the two ends.
    const int64_t oldEnd = data_.dataOffset + int64_t(data_.cksize);
    file_->Seek(std::max(mixAt, oldEnd));
    data_.dirty = fmt_.dirty = riff_.dirty = true;
    UINT r = FinishFile(false);
    if (!r && riff_.paddedEnd() > formEnd_)
        file_->Truncate();
    // A copy of the packed field: std::max must not take a reference to it.
    const WORD blockAlign = format_.nBlockAlign;
    samplesInFile_ = samplesRecorded_ =
        static_cast<DWORD>(data_.cksize / std::max<WORD>(1, blockAlign));
    CloseFile();
    return 1;
}

int CRecord::SamplesInFile(const QString& path, DWORD& frames) {
    // Read on its own handle, so an open recording or playback is not disturbed.
    WaveSource src;
    if (!OpenSource(path, src))
        return 0;
    frames = src.frames;
    return 1;
}

void CRecord::RedrawWaveformDisplay() {
    if (!Display() || !file_)
        return;
    const unsigned long resolution = std::max(1ul, Display()->GetResolution());
    Display()->SetPos(0);
    Display()->ErasePastCurrentLocation();
    const DWORD align = format_.nBlockAlign;
    char frame[2] = {0, 0};
    for (uint64_t i = 0; i * resolution < samplesRecorded_; ++i) {
        const int64_t at = data_.dataOffset + int64_t(i * resolution * align);
        if (file_->Seek(at) < 0 || !file_->ReadExact(frame, format_.wBitsPerSample == 8 ? 1 : 2))
            break;
        Display()->SetPixelValue(static_cast<int>(i), SampleValue(frame));
    }
    file_->Seek(data_.dataOffset);
}

DWORD CRecord::GetCurrentMillisecond() const {
    if (format_.nSamplesPerSec == 0)
        return 0;
    return static_cast<DWORD>(uint64_t(GetCurrentSample()) * 1000 / format_.nSamplesPerSec);
}

void CRecord::GetCurrentMillisecond(QString* text) const {
    const DWORD m = GetCurrentMillisecond();
    *text = QString::asprintf("%03u:%02u:%03u", m / 60000, (m % 60000) / 1000, m % 1000);
}

void CRecord::GetCurrentCentisecond(QString* text) const {
    const DWORD m = GetCurrentMillisecond();
    *text = QString::asprintf("%03u:%02u:%02u", m / 60000, (m % 60000) / 1000, (m % 1000) / 10);
}

void CRecord::GetCurrentSecond(QString* text) const {
    const DWORD m = GetCurrentMillisecond();
    *text = QString::asprintf("%03u:%02u", m / 60000, (m % 60000) / 1000);
}

int CRecord::IsStandardFormat(const WAVEFORMATEX* f) {
    if (!f)
        return 0;
    const bool rate = f->nSamplesPerSec == 8000 || f->nSamplesPerSec == 11025 ||
                      f->nSamplesPerSec == 22050 || f->nSamplesPerSec == 44100;
    return f->wFormatTag == WAVE_FORMAT_PCM && (f->nChannels == 1 || f->nChannels == 2) && rate &&
                   (f->wBitsPerSample == 8 || f->wBitsPerSample == 16)
               ? 1
               : 0;
}

int CRecord::IsSameFormat(const WAVEFORMATEX* a, const WAVEFORMATEX* b) {
    if (!a || !b)
        return 0;
    return a->wFormatTag == b->wFormatTag && a->nChannels == b->nChannels &&
                   a->nSamplesPerSec == b->nSamplesPerSec && a->wBitsPerSample == b->wBitsPerSample
               ? 1
               : 0;
}
