// Records kept in the metadata chunks that follow the RIFF form of a sound file:
// "DESC" (type and description), "NOTE" (an Echo Memo's schedule), "MAIL" (a voicegram's
// mail record) and "AOL " (addressing of a queued America Online voicegram).
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/types.h"

// Type stored at the start of a "DESC" chunk.
enum WAVEFILETYPE : int32_t {
    WAVEFILETYPE_SOUND = 1,     // a plain sound file, and any file without "DESC"
    WAVEFILETYPE_WORKING = 2,   // the recorder drawer's working recording
    WAVEFILETYPE_ECHOMEMO = 5,  // an Echo Memo, or a saved recording
};

// 1 is a WAV file (form "WAVE"); any other value an RMI file (form "RMID").
enum SOUNDFILETYPE : int32_t {
    SOUNDFILETYPE_WAV = 1,
    SOUNDFILETYPE_RMI = 2,
};

// Schedule kinds of an Echo Memo, the index of its frequency list.
enum MEMOFREQUENCY : int32_t {
    MEMO_USER_INITIATED = 0,
    MEMO_ONCE = 1,
    MEMO_HOURLY = 2,
    MEMO_DAILY = 3,
    MEMO_WEEKLY = 4,
    MEMO_MONTHLY = 5,
    MEMO_YEARLY = 6,
};

#pragma pack(push, 1)
// The "NOTE" chunk: every schedule group is stored; frequency selects the one in force.
struct ECHOMEMOSTRUCT {
    int32_t played;       // 1 once a "Once" memo has played
    int32_t frequency;    // MEMOFREQUENCY
    uint32_t lastPlayed;  // seconds since 1970-01-01 UTC; 0 if never
    int32_t onceTime;     // seconds after local midnight
    uint16_t onceMonth;   // 1-12
    uint16_t onceDay;     // 1-31
    int32_t onceYear;     // four digits
    int32_t hourlyTime;   // minute of the hour x 60
    int32_t dailyTime;    // seconds after local midnight
    uint16_t dailyDays;   // bit 0 Sunday ... bit 6 Saturday
    uint16_t reserved34;
    int32_t weeklyTime;  // seconds after local midnight
    uint16_t weeklyDay;  // 1 Sunday ... 7 Saturday
    uint16_t reserved42;
    int32_t monthlyTime;  // seconds after local midnight
    uint16_t monthlyDay;  // 1-31; above 31 the last day of the month
    uint8_t reserved50[6];
    int32_t yearlyTime;    // seconds after local midnight
    uint16_t yearlyMonth;  // 1-12
    uint16_t yearlyDay;    // 1-31
    int32_t notify;        // nonzero: show a notification when it plays
};
#pragma pack(pop)

static_assert(sizeof(ECHOMEMOSTRUCT) == 68);
static_assert(offsetof(ECHOMEMOSTRUCT, played) == 0);
static_assert(offsetof(ECHOMEMOSTRUCT, frequency) == 4);
static_assert(offsetof(ECHOMEMOSTRUCT, lastPlayed) == 8);
static_assert(offsetof(ECHOMEMOSTRUCT, onceTime) == 12);
static_assert(offsetof(ECHOMEMOSTRUCT, onceMonth) == 16);
static_assert(offsetof(ECHOMEMOSTRUCT, onceDay) == 18);
static_assert(offsetof(ECHOMEMOSTRUCT, onceYear) == 20);
static_assert(offsetof(ECHOMEMOSTRUCT, hourlyTime) == 24);
static_assert(offsetof(ECHOMEMOSTRUCT, dailyTime) == 28);
static_assert(offsetof(ECHOMEMOSTRUCT, dailyDays) == 32);
static_assert(offsetof(ECHOMEMOSTRUCT, weeklyTime) == 36);
static_assert(offsetof(ECHOMEMOSTRUCT, weeklyDay) == 40);
static_assert(offsetof(ECHOMEMOSTRUCT, monthlyTime) == 44);
static_assert(offsetof(ECHOMEMOSTRUCT, monthlyDay) == 48);
static_assert(offsetof(ECHOMEMOSTRUCT, yearlyTime) == 56);
static_assert(offsetof(ECHOMEMOSTRUCT, yearlyMonth) == 60);
static_assert(offsetof(ECHOMEMOSTRUCT, yearlyDay) == 62);
static_assert(offsetof(ECHOMEMOSTRUCT, notify) == 64);

// A voicegram's mail record as kept in memory. Texts are zero-terminated strings and
// lists sequences of strings ended by an empty one; any of them may be null. Strings read
// from a file are allocated with new[] and freed with FreeVoicegramInfo.
struct VOICEGRAMINFOSTRUCT {
    char* text1;
    DWORD value2;
    char* text3;
    char* text4;
    char* text5;
    char* text6;
    char* list7;
    char* list8;
    DWORD heard;  // nonzero once the voicegram has been listened to
};

// Longest buffer any reader keeps a description in, its zero included: a description must
// fit it, so a writer refuses a longer one.
inline constexpr std::size_t kDescriptionBufferSize = 256;

// Why the last chunk function on this thread returned 0.
enum class ChunkError {
    None,
    CannotOpen,
    NotRegular,  // a directory, FIFO or device
    Busy,        // another reader or writer has the file open
    ReadOnly,
    Read,
    Write,     // nothing was changed
    NotFound,  // the chunk asked for is missing or its record cannot be read
    NoForm,    // no RIFF form of the type asked for
    Damaged,   // the chunk sizes disagree with the file; a writer leaves it as it is
    TooLong,   // a description longer than kDescriptionBufferSize - 1, or a record > 4 GB
};
ChunkError LastChunkError();
const char* ChunkErrorText(ChunkError error);

// ---------------------------------------------------------------------------------------
// The chunk functions. Each opens and closes the file itself (see platform/riff.h: while
// one of them has a file open, a second open of it fails and that call returns 0) and
// keeps no state. Paths are QStrings, like every path of the system; descriptions are
// single-byte zero-terminated texts (a null description is written as an empty one).
// Results: nonzero success, 0 failure (LastChunkError says why). Readers leave out values
// after the point of failure as they were. Writers that add or resize a chunk write the
// whole file anew beside the old one and rename it over it: on any failure the old file
// stands as it was, and bytes the walk does not understand are carried over unchanged.

// Writes "DESC" (replaced where it stands, or created directly after the "WAVE" form),
// then "MAIL" with the serialised record directly after "DESC" (an existing "MAIL" is
// replaced where it stands).
int AddInfoToRIFFFile(const QString& path, WAVEFILETYPE type, const char* description,
                      const VOICEGRAMINFOSTRUCT* info);
// Reads the length (0 without a "WAVE" form), type and description (type 1 and an empty
// text without "DESC"; failure when the text with its zero needs more than
// descriptionSize bytes) and, when info is given, the "MAIL" record (failure without
// one). Strings of info are new[] allocations: free them with FreeVoicegramInfo.
int GetInfoFromRIFFFile(const QString& path, WAVEFILETYPE& type, char* description,
                        UINT descriptionSize, DWORD& seconds, VOICEGRAMINFOSTRUCT* info);
// Writes "DESC" (replaced where it stands, or created directly after the form "WAVE" for
// soundType 1, "RMID" otherwise) and "NOTE" (replaced where it stands, or created
// directly after "DESC").
int AddNoteInfoToRIFFFile(const QString& path, WAVEFILETYPE type, const char* description,
                          const ECHOMEMOSTRUCT* note, SOUNDFILETYPE soundType);
// What a reader does with a stored description that its buffer cannot hold whole (a file
// from a writer that did not bound it): fail, or keep the start of it.
enum class LongDescription { Refuse, Cut };
// Reads length (WAV files only; 0 for others), type, description and the "NOTE" record;
// failure without "NOTE". A description too long for descriptionSize fails, or with Cut
// comes back shortened to fit it, zero included.
int GetNoteInfoFromRIFFFile(const QString& path, WAVEFILETYPE& type, char* description,
                            UINT descriptionSize, DWORD& seconds, ECHOMEMOSTRUCT* note,
                            SOUNDFILETYPE soundType,
                            LongDescription longDescription = LongDescription::Refuse);
// Sets played (1 when the flag is nonzero, else 0) and lastPlayed of "NOTE" in place.
int MarkNoteAsAlreadyPlayed(const QString& path, BOOL played, DWORD time);
// Sets heard of "MAIL" in place: only the record's last four bytes change.
int MarkMailAsHeard(const QString& path, DWORD heard);
// Writes "AOL " directly after the "WAVE" form (an existing one is replaced where it
// stands) with the four texts of a queued America Online voicegram.
int AddAOLSendMailInfoToRIFFFile(const QString& path, const QString& to, const QString& cc,
                                 const QString& subject, const QString& noteText);
int GetAOLSendMailInfoFromRIFFFile(const QString& path, QString& to, QString& cc, QString& subject,
                                   QString& noteText);
// Wraps a standard MIDI file into a RIFF "RMID" form with one "data" chunk. The file is
// built beside rmiPath and renamed over it only when complete.
int CreateRMIDFile(const QString& midiPath, const QString& rmiPath);

// The sound file type of a file by its first RIFF form: 1 for "WAVE", 2 for "RMID"; 0
// (failure) when it has neither or cannot be read.
int GetSoundFileType(const QString& path, SOUNDFILETYPE& type);

// Frees the strings of a record read from a file and sets them to null.
void FreeVoicegramInfo(VOICEGRAMINFOSTRUCT* info);

// The record in its stored form: each text as a 4-byte length (string length + 1, 0 for
// null) and its bytes with the zero, each list as a 4-byte length (bytes up to and
// including the closing double zero, 0 for null) and its bytes, value2 and heard as 4
// bytes in their places. Empty when the record would not fit 4 GB.
std::vector<uint8_t> SerializeVoicegramInfo(const VOICEGRAMINFOSTRUCT& info);
// Parses a stored record from the first size bytes of data. Every length is checked
// against the bytes left; texts come back zero-terminated and lists double-zero-
// terminated even when the stored bytes were not. On success *used (when given) is the
// record's stored size; on failure info is left as it was.
bool ParseVoicegramInfo(const void* data, std::size_t size, VOICEGRAMINFOSTRUCT& info,
                        std::size_t* used = nullptr);

class RiffFile;
// The recorder's way to end a recording with a description: creates "DESC" at the
// current position (the end of the RIFF form), writes the type and the text, closes the
// chunk and cuts the file there, so nothing older follows it.
bool WriteDescChunk(RiffFile& file, WAVEFILETYPE type, const char* description);
