// The per-user settings record PROPERTIES (2140 bytes) and its sub-records, kept byte
// for byte in the user's TDPROP.PRP. Little-endian, packed at natural alignment with the
// padding spelled out.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

#pragma pack(push, 1)

// The bar's docking state; the bar keeps a live copy and copies it back before a save.
struct DOCKSTATE {
    DWORD dwSize;   // always 56
    int32_t nEdge;  // 0 left, 1 top, 2 right, 3 bottom (-1 none, -2 floating)
    BOOL bAutoHide;
    BOOL bAlwaysOnTop;
    BOOL bShowHideSound;
    BOOL bDrawerSound;
    int32_t nThickness[4];  // per edge: left, top, right, bottom
    RECT rcFloat;
};

// Voice-activated recording.
struct VOXPROPERTIES {
    BYTE bySilenceSeconds;
    BYTE padding1[3];
    DWORD dwThreshold;
    BYTE byTrimSeconds;
    BYTE padding9[3];
};

// One per recorder drawer type.
struct RECORDPROPERTIES {
    int32_t nMaxMinutes;  // 1, 5 or 10
    BOOL bAutoLevel;
    BOOL bVoiceActivated;
    BOOL bReserved12;
    BOOL bStartOnOpen;
    BOOL bCompress;
    int32_t nQuality;  // 0 Telephone, 1 AM Radio, 2 FM Radio, 3 CD
    BOOL b24Hour;
};

// Belongs to the inbox library; kept here byte for byte.
struct MESSAGEPROPERTIES {
    DWORD dwReserved0[5];
    DWORD dwReserved20[5];
    DWORD dwReserved40;
    char szText44[260];
    char szText304[260];
    char szText564[260];
    char szText824[260];
};

struct SONOSCOUTPROPERTIES {
    BOOL bFindWAV;
    BOOL bFindMIDI;
    BOOL bChanged;
    int32_t nFrequency;  // 0 user initiated, 1 interval, 2 at start-up, 24 daily
    BOOL bDrive[26];     // A to Z
    DWORD dwReserved120;
    DWORD dwNextSearchTime;
    DWORD dwLastSearchTime;
    DWORD dwReserved132;
    DWORD dwIntervalSeconds;
    DWORD dwTimeOfDay;
    WORD wDays;  // bit 0 Sunday ... bit 6 Saturday
    BYTE padding146[2];
};

struct ECHOMEMOSPROPERTIES {
    BOOL b24Hour;
    BOOL bNotify;
    BOOL bConfirmDelete;
    BOOL bHoldAll;
    BOOL bSortAscending[5];
    int32_t nSortColumn;
};

struct MAILPROPERTIES {
    BOOL bMAPI;
    BOOL bAOL;
    BOOL bCompuServe;
    char szAOLScreenName[30];
    char szAOLPassword[30];
    BOOL bRememberPassword;
    int32_t nReserved76;
    int32_t nReserved80;
};

struct PROPERTIES {
    DOCKSTATE DockState;
    BOOL bShowRecorder;
    BOOL bShowSendVoicegram;
    BOOL bShowVoicegramBox;
    BOOL bShowCreateEchoMemo;
    BOOL bShowSonoscout;
    BOOL bShowEchoMemosManager;
    BOOL bReserved80;
    BOOL bShowExtraButton;
    BOOL bReserved88;
    BOOL bShowBass;
    BOOL bShowTreble;
    BOOL bReserved100;
    BOOL bShowSRS;
    BOOL bSRSImage;
    BOOL bSystemFaceColour;
    BOOL bDefaultShowHideSound;
    BOOL bDefaultDrawerSound;
    BOOL bToolTips;
    BOOL bShowEndBitmap;
    BOOL bNoMailWarningOff;
    DWORD dwReserved136;
    int32_t nPollSeconds;
    VOXPROPERTIES VoxProps;
    char szShowHideSound[255];
    char szDrawerSound[255];
    BYTE padding666[2];
    RECORDPROPERTIES RecorderProps;
    RECORDPROPERTIES SendVoicegramProps;
    RECORDPROPERTIES CreateEchoMemoProps;
    MESSAGEPROPERTIES MessageProps;
    SONOSCOUTPROPERTIES SonoscoutProps;
    DWORD dwReserved1996[5];
    ECHOMEMOSPROPERTIES EchoMemosProps;
    MAILPROPERTIES MailProps;
};

#pragma pack(pop)

static_assert(sizeof(DOCKSTATE) == 56);
static_assert(offsetof(DOCKSTATE, nEdge) == 4);
static_assert(offsetof(DOCKSTATE, bAutoHide) == 8);
static_assert(offsetof(DOCKSTATE, bAlwaysOnTop) == 12);
static_assert(offsetof(DOCKSTATE, bShowHideSound) == 16);
static_assert(offsetof(DOCKSTATE, bDrawerSound) == 20);
static_assert(offsetof(DOCKSTATE, nThickness) == 24);
static_assert(offsetof(DOCKSTATE, rcFloat) == 40);

static_assert(sizeof(VOXPROPERTIES) == 12);
static_assert(offsetof(VOXPROPERTIES, dwThreshold) == 4);
static_assert(offsetof(VOXPROPERTIES, byTrimSeconds) == 8);

static_assert(sizeof(RECORDPROPERTIES) == 32);
static_assert(offsetof(RECORDPROPERTIES, bAutoLevel) == 4);
static_assert(offsetof(RECORDPROPERTIES, bVoiceActivated) == 8);
static_assert(offsetof(RECORDPROPERTIES, bStartOnOpen) == 16);
static_assert(offsetof(RECORDPROPERTIES, bCompress) == 20);
static_assert(offsetof(RECORDPROPERTIES, nQuality) == 24);
static_assert(offsetof(RECORDPROPERTIES, b24Hour) == 28);

static_assert(sizeof(MESSAGEPROPERTIES) == 1084);
static_assert(offsetof(MESSAGEPROPERTIES, dwReserved20) == 20);
static_assert(offsetof(MESSAGEPROPERTIES, dwReserved40) == 40);
static_assert(offsetof(MESSAGEPROPERTIES, szText44) == 44);
static_assert(offsetof(MESSAGEPROPERTIES, szText304) == 304);
static_assert(offsetof(MESSAGEPROPERTIES, szText564) == 564);
static_assert(offsetof(MESSAGEPROPERTIES, szText824) == 824);

static_assert(sizeof(SONOSCOUTPROPERTIES) == 148);
static_assert(offsetof(SONOSCOUTPROPERTIES, bChanged) == 8);
static_assert(offsetof(SONOSCOUTPROPERTIES, nFrequency) == 12);
static_assert(offsetof(SONOSCOUTPROPERTIES, bDrive) == 16);
static_assert(offsetof(SONOSCOUTPROPERTIES, dwReserved120) == 120);
static_assert(offsetof(SONOSCOUTPROPERTIES, dwNextSearchTime) == 124);
static_assert(offsetof(SONOSCOUTPROPERTIES, dwLastSearchTime) == 128);
static_assert(offsetof(SONOSCOUTPROPERTIES, dwReserved132) == 132);
static_assert(offsetof(SONOSCOUTPROPERTIES, dwIntervalSeconds) == 136);
static_assert(offsetof(SONOSCOUTPROPERTIES, dwTimeOfDay) == 140);
static_assert(offsetof(SONOSCOUTPROPERTIES, wDays) == 144);

static_assert(sizeof(ECHOMEMOSPROPERTIES) == 40);
static_assert(offsetof(ECHOMEMOSPROPERTIES, bHoldAll) == 12);
static_assert(offsetof(ECHOMEMOSPROPERTIES, bSortAscending) == 16);
static_assert(offsetof(ECHOMEMOSPROPERTIES, nSortColumn) == 36);

static_assert(sizeof(MAILPROPERTIES) == 84);
static_assert(offsetof(MAILPROPERTIES, szAOLScreenName) == 12);
static_assert(offsetof(MAILPROPERTIES, szAOLPassword) == 42);
static_assert(offsetof(MAILPROPERTIES, bRememberPassword) == 72);
static_assert(offsetof(MAILPROPERTIES, nReserved76) == 76);
static_assert(offsetof(MAILPROPERTIES, nReserved80) == 80);

static_assert(sizeof(PROPERTIES) == 2140);
static_assert(offsetof(PROPERTIES, bShowRecorder) == 56);
static_assert(offsetof(PROPERTIES, bShowSendVoicegram) == 60);
static_assert(offsetof(PROPERTIES, bShowVoicegramBox) == 64);
static_assert(offsetof(PROPERTIES, bShowCreateEchoMemo) == 68);
static_assert(offsetof(PROPERTIES, bShowSonoscout) == 72);
static_assert(offsetof(PROPERTIES, bShowEchoMemosManager) == 76);
static_assert(offsetof(PROPERTIES, bReserved80) == 80);
static_assert(offsetof(PROPERTIES, bShowExtraButton) == 84);
static_assert(offsetof(PROPERTIES, bReserved88) == 88);
static_assert(offsetof(PROPERTIES, bShowBass) == 92);
static_assert(offsetof(PROPERTIES, bShowTreble) == 96);
static_assert(offsetof(PROPERTIES, bReserved100) == 100);
static_assert(offsetof(PROPERTIES, bShowSRS) == 104);
static_assert(offsetof(PROPERTIES, bSRSImage) == 108);
static_assert(offsetof(PROPERTIES, bSystemFaceColour) == 112);
static_assert(offsetof(PROPERTIES, bDefaultShowHideSound) == 116);
static_assert(offsetof(PROPERTIES, bDefaultDrawerSound) == 120);
static_assert(offsetof(PROPERTIES, bToolTips) == 124);
static_assert(offsetof(PROPERTIES, bShowEndBitmap) == 128);
static_assert(offsetof(PROPERTIES, bNoMailWarningOff) == 132);
static_assert(offsetof(PROPERTIES, dwReserved136) == 136);
static_assert(offsetof(PROPERTIES, nPollSeconds) == 140);
static_assert(offsetof(PROPERTIES, VoxProps) == 144);
static_assert(offsetof(PROPERTIES, szShowHideSound) == 156);
static_assert(offsetof(PROPERTIES, szDrawerSound) == 411);
static_assert(offsetof(PROPERTIES, RecorderProps) == 668);
static_assert(offsetof(PROPERTIES, SendVoicegramProps) == 700);
static_assert(offsetof(PROPERTIES, CreateEchoMemoProps) == 732);
static_assert(offsetof(PROPERTIES, MessageProps) == 764);
static_assert(offsetof(PROPERTIES, SonoscoutProps) == 1848);
static_assert(offsetof(PROPERTIES, dwReserved1996) == 1996);
static_assert(offsetof(PROPERTIES, EchoMemosProps) == 2016);
static_assert(offsetof(PROPERTIES, MailProps) == 2056);

inline constexpr std::size_t kPropertiesFileSize = sizeof(PROPERTIES);
inline constexpr DWORD kDockStateSize = sizeof(DOCKSTATE);

// Stores every default into the record in place, without clearing it first; rcFloat
// comes from the bar window's rectangle with its width doubled. The mail flags come
// from the mail-system detectors, so this probes the machine.
void SetDefaultProperties(PROPERTIES* record, const RECT& rectangle);

// A zero-filled record with the defaults applied.
PROPERTIES DefaultProperties(const RECT& rectangle);

// Reads a settings file of exactly 2140 bytes; any other size, or a file that cannot be
// read, fails and leaves the record as it was. error, when given, says why in plain words.
bool ReadPropertiesFile(const QString& path, PROPERTIES* record, QString* error = nullptr);

// Writes the record as a settings file: DockState.dwSize stored as 56, the file replaced
// atomically and readable by its owner only (it holds a password).
bool WritePropertiesFile(const QString& path, const PROPERTIES& record, QString* error = nullptr);
