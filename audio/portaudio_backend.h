#pragma once

// Waveform output over PortAudio on the default output device.
//
// Each open device is one PortAudio stream at the format's own rate and channel count.
// The stream's real-time callback copies the queued buffers into the device and plays
// silence while none is queued; a buffer is done once its last byte went to the device.
// A thread of our own then calls the completion callback with MM_WOM_DONE, once per
// buffer and in the order they were written. That callback may block, but it must not
// wait for the thread that closes the device while that thread is in Close.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "wave_out_api.h"

class PortAudioStream;

class PortAudioBackend : public WaveOutBackend {
  public:
    // Initialises PortAudio for the lifetime of the object, with ALSA's and JACK's
    // diagnostics on stderr turned off.
    PortAudioBackend();
    ~PortAudioBackend() override;
    PortAudioBackend(const PortAudioBackend&) = delete;
    PortAudioBackend& operator=(const PortAudioBackend&) = delete;

    MMRESULT Open(HWAVEOUT* device, unsigned deviceId, const WaveFormat* format,
                  std::uintptr_t callback, std::uintptr_t instance, std::uint32_t flags) override;
    MMRESULT PrepareHeader(HWAVEOUT device, WAVEHDR* header, unsigned size) override;
    MMRESULT UnprepareHeader(HWAVEOUT device, WAVEHDR* header, unsigned size) override;
    MMRESULT Write(HWAVEOUT device, WAVEHDR* header, unsigned size) override;
    // Stops playback and returns every queued buffer as done; the device stays open.
    MMRESULT Reset(HWAVEOUT device) override;
    // Refused with WAVERR_STILLPLAYING while buffers are queued or not yet reported done.
    MMRESULT Close(HWAVEOUT device) override;
    // PortAudio's own text for the most recent failure with this code, else a fixed text.
    MMRESULT GetErrorText(MMRESULT error, char* text, unsigned size) override;

    // The output latency PortAudio granted the most recently opened device, in seconds.
    double GrantedLatency();

    // Buffers that may be queued on one device at a time.
    static constexpr unsigned kMaxQueuedBuffers = 64;

  private:
    MMRESULT Fail(MMRESULT code, std::string text);
    // The open stream with this handle, kept alive for as long as the caller holds it.
    std::shared_ptr<PortAudioStream> Find(HWAVEOUT device);
    MMRESULT CheckIdleHeader(HWAVEOUT device, const WAVEHDR* header, unsigned size);

    int m_initError = 0;  // PortAudio's result of its initialisation
    std::mutex m_mutex;   // guards the members below
    std::vector<std::shared_ptr<PortAudioStream>> m_streams;
    MMRESULT m_lastFailure = MMSYSERR_NOERROR;
    std::string m_lastFailureText;
    double m_grantedLatency = 0.0;
};
