// Wave input and output: PCM audio in and out of the sound card, one caller-owned
// buffer at a time. A device is opened with a PCM format; buffers are prepared, queued
// (added for input, written for output) and come back one by one when filled or played.
// Each returned buffer is announced with MM_WIM_DATA or MM_WOM_DONE, posted to the
// window object given at open (so the handler runs on that object's thread), or passed
// to a callback function on the device's own thread.
//
// Behind the interface stands one of two backends (see audiobackend.h): ALSA, with one
// thread per open device doing blocking reads or writes, or the virtual device, whose
// input comes from a WAV file or a generator and whose output is captured, driven by a
// clock that may run faster than real time.
#pragma once

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/mmresult.h"
#include "platform/types.h"

// Results of the device calls: 0 for success, otherwise a code of mmresult.h or one of
// these.
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

// Notifications posted to the window object of an open device.
// wParam: the device handle; lParam: the WAVEHDR* for the DATA and DONE messages.
inline constexpr UINT MM_WOM_OPEN = 0x3BB;
inline constexpr UINT MM_WOM_CLOSE = 0x3BC;
inline constexpr UINT MM_WOM_DONE = 0x3BD;
inline constexpr UINT MM_WIM_OPEN = 0x3BE;
inline constexpr UINT MM_WIM_CLOSE = 0x3BF;
inline constexpr UINT MM_WIM_DATA = 0x3C0;

// The one device of each direction; any other number is refused.
inline constexpr UINT WAVE_MAPPER = 0xFFFFFFFFu;

// How the open call wants to hear about buffers (CALLBACK_NULL, CALLBACK_WINDOW: see
// mmresult.h).
inline constexpr DWORD CALLBACK_FUNCTION = 0x00030000;
inline constexpr DWORD CALLBACK_TYPEMASK = 0x00070000;
// Only check that the format can be opened; no handle is returned.
inline constexpr DWORD WAVE_FORMAT_QUERY = 0x0001;

inline constexpr WORD WAVE_FORMAT_PCM = 1;

#pragma pack(push, 1)
// A sound format as stored in the "fmt " chunk of a WAV file.
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(offsetof(WAVEFORMATEX, nChannels) == 2);
static_assert(offsetof(WAVEFORMATEX, nSamplesPerSec) == 4);
static_assert(offsetof(WAVEFORMATEX, nAvgBytesPerSec) == 8);
static_assert(offsetof(WAVEFORMATEX, nBlockAlign) == 12);
static_assert(offsetof(WAVEFORMATEX, wBitsPerSample) == 14);
static_assert(offsetof(WAVEFORMATEX, cbSize) == 16);

// Buffer flags.
inline constexpr DWORD WHDR_DONE = 0x01;
inline constexpr DWORD WHDR_PREPARED = 0x02;
inline constexpr DWORD WHDR_INQUEUE = 0x10;

// A caller-owned buffer. The device owns it from add/write until it comes back done;
// while it is queued the caller must not touch it.
struct WAVEHDR {
    char* lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;  // input: bytes filled; output: unused
    uintptr_t dwUser;
    DWORD dwFlags;
    DWORD dwLoops;
    WAVEHDR* lpNext;
    uintptr_t reserved;
};

// Position query.
inline constexpr UINT TIME_BYTES = 0x0004;
inline constexpr UINT TIME_SAMPLES = 0x0002;
struct MMTIME {
    UINT wType;
    DWORD value;
};

struct WaveDevice;
using HWAVEIN = WaveDevice*;
using HWAVEOUT = WaveDevice*;

// A callback function for CALLBACK_FUNCTION: called on the device's thread.
using WaveCallback =
    std::function<void(WaveDevice* device, UINT message, uintptr_t instance, WAVEHDR* header)>;

// Where a device reports: a window object (CALLBACK_WINDOW), a function (CALLBACK_FUNCTION)
// or nowhere (CALLBACK_NULL).
struct WaveNotify {
    QObject* window = nullptr;
    WaveCallback function;
    uintptr_t instance = 0;
};

// True for the PCM formats the devices take: 1 or 2 channels of 8- or 16-bit samples at
// 1000 to 192000 samples per second, with consistent block alignment and rate.
bool IsPlayablePcm(const WAVEFORMATEX& format);

// Input.
MMRESULT waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format,
                    const WaveNotify& notify, DWORD flags);
MMRESULT waveInClose(HWAVEIN handle);
MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size);
MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size);
MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size);
MMRESULT waveInStart(HWAVEIN handle);
// Stops capture; a partly filled buffer comes back done, empty ones stay queued.
MMRESULT waveInStop(HWAVEIN handle);
// Stops capture and returns every queued buffer done.
MMRESULT waveInReset(HWAVEIN handle);
MMRESULT waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT size);

// Output.
MMRESULT waveOutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format,
                     const WaveNotify& notify, DWORD flags);
MMRESULT waveOutClose(HWAVEOUT handle);
MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size);
MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size);
MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size);
MMRESULT waveOutPause(HWAVEOUT handle);
MMRESULT waveOutRestart(HWAVEOUT handle);
// Stops output at once and returns every queued buffer done; the position goes to 0.
MMRESULT waveOutReset(HWAVEOUT handle);
MMRESULT waveOutGetPosition(HWAVEOUT handle, MMTIME* time, UINT size);

// Number of wave devices of each direction: 1 (the configured device).
UINT waveInGetNumDevs();
UINT waveOutGetNumDevs();

// Peak of a block of PCM frames on the 16-bit scale (0 to 32768), per channel; mono
// gives the same value twice.
struct PcmPeak {
    uint16_t left = 0;
    uint16_t right = 0;
};
PcmPeak MeasurePeak(const WAVEFORMATEX& format, const void* data, std::size_t bytes);
