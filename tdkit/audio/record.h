// CRecord: records PCM audio from the sound card's input into a WAV file and plays a WAV
// file back, a quarter second at a time. It also appends one WAV file to another, mixes
// one into another, reports the position as texts, feeds a CWaveformDisplay with one value
// per pixel column while recording, and does voice-operated recording (VOX): when the
// input stays quiet for a set time, recording is suspended and the quiet tail cut back; it
// resumes by itself when the input gets loud again.
//
// All calls are made on the thread that owns the recorder. The devices report to a hidden
// object of the recorder on that thread, so notifications are handled by its event loop;
// the owner polls StillRecording, StillPlaying and the position getters, usually from a
// timer. Device and file operations return 0 for success and otherwise a device or file
// error code (or 1 where said).
#pragma once

#include <QPointer>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/riff.h"
#include "platform/types.h"
#include "platform/wave.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/settings/properties.h"

class QObject;
class WaveformSink;
class RecordWindow;

// The recording formats: all PCM, one channel.
enum RECORDFORMAT : int {
    RECORDFORMAT_TELEPHONE = 0,  // 8000 samples/s, 8 bits
    RECORDFORMAT_AMRADIO = 1,    // 11025 samples/s, 8 bits
    RECORDFORMAT_FMRADIO = 2,    // 22050 samples/s, 8 bits
    RECORDFORMAT_CD = 3,         // 44100 samples/s, 16 bits
};

// File error codes returned by the recorder.
inline constexpr UINT MMIOERR_BASE = 256;
inline constexpr UINT MMIOERR_CANNOTOPEN = MMIOERR_BASE + 3;
inline constexpr UINT MMIOERR_CANNOTCLOSE = MMIOERR_BASE + 4;
inline constexpr UINT MMIOERR_CANNOTREAD = MMIOERR_BASE + 5;
inline constexpr UINT MMIOERR_CANNOTWRITE = MMIOERR_BASE + 6;
inline constexpr UINT MMIOERR_CANNOTSEEK = MMIOERR_BASE + 7;
inline constexpr UINT MMIOERR_CANNOTEXPAND = MMIOERR_BASE + 8;
inline constexpr UINT MMIOERR_CHUNKNOTFOUND = MMIOERR_BASE + 9;

// VOX settings used when the caller gives none.
inline constexpr BYTE kDefaultVoxSilenceSeconds = 5;
inline constexpr DWORD kDefaultVoxThreshold = 5000;
inline constexpr BYTE kDefaultVoxTrimSeconds = 4;

class CRecord {
public:
    CRecord();
    // Stops a recording (as StopRecordToFile without a type) or a playback first.
    ~CRecord();
    CRecord(const CRecord&) = delete;
    CRecord& operator=(const CRecord&) = delete;

    // Gets ready: the hidden notification object, the format, the maximum length and the
    // display (may be null) and VOX settings (null: 5 s, 5000, 4 s).
    void Start(QObject* owner, int format, DWORD maxSeconds, WaveformSink* display = nullptr,
               const VOXPROPERTIES* vox = nullptr);
    // Byte position and current sample to 0.
    void ResetCount();
    // 1 if the input device opens with the named format (the current one when the value
    // is not a recording format), else 0.
    int IsRecordAvailable(int format);

    // Creates the WAV file with the current format, its "data" chunk open; 1 if it cannot
    // be created.
    UINT CreateNewWAVFile(const QString& path);
    // Opens an existing WAV file, reads its format into the current format and stands at
    // the start of its data; 1 if it cannot be opened or has no usable format.
    UINT OpenWAVFile(const QString& path);
    // Starts capture into the open file from the given frame; 1 if no file is open.
    UINT RecordToFile(DWORD startSample, BOOL vox);
    // Stops capture, finishes the chunks, with a type appends the description chunk
    // ("WAVE FILE" without a text), and closes the file. The message record is ignored.
    UINT StopRecordToFile(const WAVEFILETYPE* type = nullptr, const char* text = nullptr,
                          const void* message = nullptr);
    // Plays the open file from the given frame; 0 without playing when no file is open.
    UINT PlayFromFile(DWORD startSample);
    // Stops playback, releases the device and buffers, closes the file.
    UINT StopPlayFromFile();
    UINT CloseFile();

    // Appends the source's samples to the destination's data, up to the maximum length of
    // the last Start; 1 on success, 0 on failure.
    int AppendFile(const QString& source, const QString& destination);
    // Mixes the source into the destination, lengthening it when the source is longer;
    // 1 when both files opened, else 0.
    int MixFiles(const QString& source, const QString& destination);
    // The data length of a WAV file in frames; 1 on success, 0 if it is not readable.
    int SamplesInFile(const QString& path, DWORD& frames);
    // Redraws the whole display from the open file.
    void RedrawWaveformDisplay();

    // Stores the pause state and returns the old one. A paused recording drops what it
    // captures; a paused playback holds its device and buffers until the pause ends.
    int SetPauseState(int state);
    int GetPauseState() const { return paused_; }
    int StillRecording() const { return recording_; }
    // Nonzero once a recording stopped because its file could not be written; cleared by
    // RecordToFile. The error reporter has been told.
    int WriteFailed() const { return writeFailed_; }
    static const char kWriteFailedText[];
    int StillPlaying() const { return playing_; }

    // The position: while a file plays, the end of the last buffer the device handed back.
    DWORD GetCurrentSample() const {
        return currentSample_ - std::min(currentSample_, queuedSamples_);
    }
    DWORD GetMaxSamples() const { return maxSamples_; }
    DWORD SamplesRecorded() const { return samplesRecorded_; }
    DWORD FileSamples() const { return samplesInFile_; }
    // Frames the input device delivered since RecordToFile, kept or dropped.
    uint64_t InputSamples() const { return inputSamples_; }
    // Keeps the recording from growing past frames (a frame number in the file); the
    // input goes on and is dropped. Start lifts the limit.
    void LimitSamples(DWORD frames) { sampleLimit_ = frames; }
    // Frames the input device has captured since RecordToFile, delivered or not yet.
    uint64_t CapturedSamples() const;

    // current sample × 1000 ÷ samples per second.
    DWORD GetCurrentMillisecond() const;
    // "MMM:SS:mmm" (minutes, seconds, milliseconds).
    void GetCurrentMillisecond(QString* text) const;
    // "MMM:SS:cc" with hundredths of a second.
    void GetCurrentCentisecond(QString* text) const;
    // "MMM:SS".
    void GetCurrentSecond(QString* text) const;

    void SetRecordFormat(int format);
    const WAVEFORMATEX* GetRecordFormat() const { return &format_; }
    DWORD GetSamplesPerSec() const { return format_.nSamplesPerSec; }
    int IsStandardWaveFormat() const { return IsStandardFormat(&format_); }
    // PCM, 1 or 2 channels, 8000/11025/22050/44100 samples/s, 8 or 16 bits.
    static int IsStandardFormat(const WAVEFORMATEX* format);
    // Same tag, channels, rate and bits (block alignment and average rate are ignored).
    static int IsSameFormat(const WAVEFORMATEX* a, const WAVEFORMATEX* b);

    // Where the recorder's error boxes go (caption, text). By default a message box when
    // the program has a user interface, else a line on stderr.
    using ErrorReporter = std::function<void(const QString& caption, const QString& text)>;
    static void SetErrorReporter(ErrorReporter reporter);

    // The notification handlers, called by the hidden object.
    LRESULT OnWIMData(WPARAM device, LPARAM header);
    LRESULT OnWOMDone(WPARAM device, LPARAM header);

private:
    friend class RecordWindow;
    void EnsureWindow();
    WAVEHDR* AllocBuffer(int bytes);
    // The length of each playback buffer: a quarter second, or more when no waveform shows
    // the position.
    int PlayPieceBytes() const;
    void FreeBuffer(WAVEHDR*& header);
    int QuarterBytes() const;
    int SampleValue(const char* frame) const;
    bool ExceedVOXThreshold(const WAVEHDR* header) const;
    void Feed(const WAVEHDR* header);
    void Suspend();
    void DispatchDeviceMessages();
    void ReportError(const char* text) const;
    UINT StopInput();
    UINT StopRecording(bool keepPending, const WAVEFILETYPE* type, const char* text);
    UINT FinishFile(bool truncateAfterForm);

    std::unique_ptr<RecordWindow> window_;
    QPointer<QObject> owner_;

    int recording_ = 0;
    int playing_ = 0;
    int inputOpen_ = 0;
    int paused_ = 0;
    int voxEnabled_ = 0;
    int voxSuspended_ = 0;
    int writeFailed_ = 0;
    bool stopping_ = false;
    DWORD sampleLimit_ = 0xFFFFFFFFu;  // the device is handing back its last buffers
    HWAVEIN waveIn_ = nullptr;
    HWAVEOUT waveOut_ = nullptr;
    WAVEHDR* buffers_[4] = {};
    // Playback keeps more buffers queued than recording: a device that takes audio faster
    // than it plays it (a deep sound-server queue, ALSA's null device) hands them back in
    // batches of this many, and each batch costs a wake-up of both threads.
    WAVEHDR* playBuffers_[16] = {};
    int playPieceBytes_ = 0;   // the size of each of them, fixed when playback starts
    DWORD queuedSamples_ = 0;  // read from the file and queued, not yet handed back
    WAVEFORMATEX format_{};
    // The waveform view, while its object lives.
    WaveformSink* Display() const { return displayObject_ ? display_ : nullptr; }
    WaveformSink* display_ = nullptr;
    QPointer<QObject> displayObject_;
    int liveBuffers_ = 0;

    std::unique_ptr<RiffFile> file_;
    RiffChunk riff_, fmt_, data_;
    int64_t formEnd_ = 0;  // where the RIFF form ended when the file was opened

    DWORD bytesLeft_ = 0;
    DWORD bytePos_ = 0;
    DWORD currentSample_ = 0;
    DWORD samplesRecorded_ = 0;
    DWORD maxSamples_ = 0;
    DWORD maxSeconds_ = 0;
    DWORD nextPixel_ = 0;
    DWORD resolution_ = 1;
    DWORD nextSampleToDraw_ = 0;
    DWORD samplesInFile_ = 0;
    int32_t silenceCountdown_ = 0;
    BYTE voxSilenceSeconds_ = kDefaultVoxSilenceSeconds;
    BYTE voxTrimSeconds_ = kDefaultVoxTrimSeconds;
    int32_t voxThreshold_ = static_cast<int32_t>(kDefaultVoxThreshold);

    DWORD recordStart_ = 0;  // the frame the current recording began at
    uint64_t inputSamples_ = 0;
    std::vector<WAVEHDR*> heldOutput_;  // played buffers held while playback is paused
};
