#pragma once

// The waveform-output operations the program needs: open an output device for a PCM
// format with a completion notification per buffer; prepare, queue, unprepare, reset,
// close; the text of a result code. Result codes and messages keep their classic values.

#include <cstdint>

#include "wave_format.h"

using MMRESULT = std::uint32_t;
using HWAVEOUT = std::uintptr_t;  // 0 means closed

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

inline constexpr unsigned MM_WOM_OPEN = 0x3BB;
inline constexpr unsigned MM_WOM_CLOSE = 0x3BC;
inline constexpr unsigned MM_WOM_DONE = 0x3BD;

inline constexpr unsigned WAVE_MAPPER = 0xFFFFFFFFu;  // the default output device

inline constexpr std::uint32_t CALLBACK_NULL = 0x00000;
inline constexpr std::uint32_t CALLBACK_WINDOW = 0x10000;
inline constexpr std::uint32_t CALLBACK_FUNCTION = 0x30000;

inline constexpr std::uint32_t WHDR_DONE = 0x01;
inline constexpr std::uint32_t WHDR_PREPARED = 0x02;
inline constexpr std::uint32_t WHDR_INQUEUE = 0x10;

struct WAVEHDR {
    char* lpData;
    std::uint32_t dwBufferLength;
    std::uint32_t dwBytesRecorded;
    std::uintptr_t dwUser;
    std::uint32_t dwFlags;
    std::uint32_t dwLoops;
    WAVEHDR* lpNext;
    std::uintptr_t reserved;
};
inline constexpr unsigned kWaveHdrSize = 32;  // the header size passed to every call

// Completion callback: (device, message, instance, parameter 1, parameter 2). For
// MM_WOM_DONE parameter 1 is the finished buffer's WAVEHDR*.
using WaveOutProc = void (*)(HWAVEOUT, unsigned, std::uintptr_t, std::uintptr_t, std::uintptr_t);

// One implementation per output system; tests provide their own.
class WaveOutBackend {
  public:
    virtual ~WaveOutBackend() = default;

    virtual MMRESULT Open(HWAVEOUT* device, unsigned deviceId, const WaveFormat* format,
                          std::uintptr_t callback, std::uintptr_t instance,
                          std::uint32_t flags) = 0;
    virtual MMRESULT PrepareHeader(HWAVEOUT device, WAVEHDR* header, unsigned size) = 0;
    virtual MMRESULT UnprepareHeader(HWAVEOUT device, WAVEHDR* header, unsigned size) = 0;
    virtual MMRESULT Write(HWAVEOUT device, WAVEHDR* header, unsigned size) = 0;
    virtual MMRESULT Reset(HWAVEOUT device) = 0;
    virtual MMRESULT Close(HWAVEOUT device) = 0;
    virtual MMRESULT GetErrorText(MMRESULT error, char* text, unsigned size) = 0;
};
