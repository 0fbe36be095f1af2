// CACM: converts a WAV file into a new WAV file of another format through the codec layer,
// chiefly to compress a voicegram to DSP Group TrueSpeech before it is mailed, and to bring
// an imported sound into the recorder's PCM format. Where no one codec converts directly,
// the file goes through an intermediate format in a temporary file. A file in a format
// the codec layer does not read gets an offer to open it in the sound editor.
//
// The destination is written under a temporary name beside it and renamed over it only
// when the conversion succeeded; a failed or cancelled conversion leaves nothing behind.
//
// The user-interface parts are installed from outside (the desktop library installs them
// when it is loaded): a progress display with a Cancel button, shown when the caller gives
// a window, and the question of the offer. Without them the conversion runs silently and
// the offer is a line on stderr, answered No. Write errors of the format chunk are notices.
#pragma once

#include <QString>

#include <functional>
#include <memory>

#include "platform/codec.h"
#include "platform/riff.h"

class QObject;

// What a running conversion reports to the person watching it.
class CACMProgress {
public:
    virtual ~CACMProgress() = default;
    // Percent done, 0 to 100. Called between pieces; the display handles its events here.
    virtual void SetPos(int percent) = 0;
    // True once the person asked to stop.
    virtual bool Cancelled() = 0;
};

// Frees a format returned by GetFormatFromFile.
struct CACMFormatFree {
    void operator()(WAVEFORMATEX* format) const { ::operator delete(format); }
};
using CACMFormatPtr = std::unique_ptr<WAVEFORMATEX, CACMFormatFree>;

class CACM {
public:
    // Size of the compression format record.
    static constexpr DWORD kCompressFormatSize = 50;

    // Writes destination in the compression format (TrueSpeech, 8000 Hz mono); 1 on
    // success, else 0.
    int CompressFile(const QString& source, const QString& destination, QObject* window = nullptr);
    // Writes destination in the target format (a record followed by cbSize extra bytes);
    // 1 on success, else 0.
    int ConvertFileFormat(const QString& source, const QString& destination,
                          const WAVEFORMATEX* target, QObject* window = nullptr);
    // The format of a WAV file as a new record of *size bytes (the largest format size of
    // the codec layer), PCM with no extra bytes and other formats with at most what fits;
    // null when the file is not a regular file holding a readable WAV form.
    static CACMFormatPtr GetFormatFromFile(const QString& path, DWORD* size = nullptr);
    // Fills buffer (at least 50 bytes) with the compression format and returns it.
    static WAVEFORMATEX* GetCompressFormat(void* buffer);
    static DWORD GetCompressFormatSize() { return kCompressFormatSize; }

    // Why the last conversion of this object failed, in words for people.
    const QString& LastError() const { return lastError_; }

    // The progress display for a conversion given a window (null: none is shown).
    using ProgressFactory = std::function<std::unique_ptr<CACMProgress>(QObject* window)>;
    static void SetProgressFactory(ProgressFactory factory);
    // Asks the Yes/No question of the unsupported-format offer; true for Yes.
    using Question =
        std::function<bool(QObject* window, const QString& caption, const QString& text)>;
    static void SetOfferQuestion(Question question);

private:
    int CompressFileProt(const WAVEFORMATEX* target, const QString& source,
                         const QString& destination, QObject* window, int depth);
    bool CreateOutputFile(RiffFile& file, const WAVEFORMATEX* format, QObject* window);
    bool Fail(const QString& why);

    RiffChunk riff_, fmt_, data_;
    QString lastError_;
};

// Starts the sound editor with a file: the store's SoundEditor command, else the first of
// audacity, tenacity and ocenaudio on PATH, else the desktop's handler (xdg-open). Started
// with an argument list, never through a shell. False when nothing could be started.
bool StartSoundEditor(const QString& path);
