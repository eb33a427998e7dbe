#pragma once

#include <cstdint>

#include "wave_out_api.h"

// An output device's open/closed handle with operations that touch no device: an object
// of this class counts as open after Open without any output behind it.
class WaveDevice {
  public:
    WaveDevice() = default;
    WaveDevice(const WaveDevice&) = delete;
    WaveDevice& operator=(const WaveDevice&) = delete;
    virtual ~WaveDevice();

    virtual MMRESULT Open(unsigned deviceId, const WaveFormat* format);
    virtual bool IsOpen() const;
    virtual MMRESULT PrepareHeader(WAVEHDR* header, unsigned size);
    virtual MMRESULT UnprepareHeader(WAVEHDR* header, unsigned size);
    virtual MMRESULT Close();
    virtual MMRESULT GetErrorText(MMRESULT error, char* text, unsigned size);

  protected:
    HWAVEOUT m_hWaveOut = 0;
};

// One open waveform-audio output device. Every queued block is copied into an output
// buffer of its own that lives until the device reports it done; ReleaseBlock frees it.
class WaveOutDevice : public WaveDevice {
  public:
    explicit WaveOutDevice(WaveOutBackend& backend) : m_backend(backend) {}
    ~WaveOutDevice() override;

    using WaveDevice::Open;
    MMRESULT PrepareHeader(WAVEHDR* header, unsigned size) override;
    MMRESULT UnprepareHeader(WAVEHDR* header, unsigned size) override;
    MMRESULT Close() override;
    MMRESULT GetErrorText(MMRESULT error, char* text, unsigned size) override;

    // Opens with a completion callback, which receives instance with every completion.
    virtual MMRESULT Open(unsigned deviceId, const WaveFormat* format, WaveOutProc callback,
                          std::uintptr_t instance);
    virtual MMRESULT Write(std::uint32_t length, const void* data);
    virtual MMRESULT WriteHeader(WAVEHDR* header, unsigned size);
    virtual MMRESULT Reset();

    // Creates one output buffer holding a copy of data (if given) and prepares it.
    MMRESULT AllocBlock(WAVEHDR** header, std::uint32_t length, const void* data);
    // Unprepares and frees one output buffer; finds its device through the buffer.
    static void ReleaseBlock(WAVEHDR* header);

  private:
    WaveOutBackend& m_backend;
};
