// Records kept in the metadata chunks that follow the RIFF form of a sound file:
// "DESC" (type and description), "NOTE" (an Echo Memo's schedule), "MAIL" (a voicegram's
// mail record) and "AOL " (addressing of a queued America Online voicegram).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

// Type stored at the start of a "DESC" chunk.
enum WAVEFILETYPE : int32_t {
    WAVEFILETYPE_SOUND = 1,      // a plain sound file, and any file without "DESC"
    WAVEFILETYPE_WORKING = 2,    // the recorder drawer's working recording
    WAVEFILETYPE_ECHOMEMO = 5,   // an Echo Memo, or a saved recording
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
    int32_t played;        // 1 once a "Once" memo has played
    int32_t frequency;     // MEMOFREQUENCY
    uint32_t lastPlayed;   // seconds since 1970-01-01 UTC; 0 if never
    int32_t onceTime;      // seconds after local midnight
    uint16_t onceMonth;    // 1-12
    uint16_t onceDay;      // 1-31
    int32_t onceYear;      // four digits
    int32_t hourlyTime;    // minute of the hour x 60
    int32_t dailyTime;     // seconds after local midnight
    uint16_t dailyDays;    // bit 0 Sunday ... bit 6 Saturday
    uint16_t reserved34;
    int32_t weeklyTime;    // seconds after local midnight
    uint16_t weeklyDay;    // 1 Sunday ... 7 Saturday
    uint16_t reserved42;
    int32_t monthlyTime;   // seconds after local midnight
    uint16_t monthlyDay;   // 1-31; above 31 the last day of the month
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
