#pragma once

// An output system for tests: it keeps every byte written and completes each buffer on a
// thread of its own, in order, optionally after a delay per buffer.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "wave_out_api.h"

class TestAudioBackend : public WaveOutBackend {
  public:
    explicit TestAudioBackend(std::chrono::microseconds perBlock = std::chrono::microseconds(0))
        : m_perBlock(perBlock) {}
    ~TestAudioBackend() override;

    MMRESULT Open(HWAVEOUT* device, unsigned deviceId, const WaveFormat* format,
                  std::uintptr_t callback, std::uintptr_t instance, std::uint32_t flags) override;
    MMRESULT PrepareHeader(HWAVEOUT device, WAVEHDR* header, unsigned size) override;
    MMRESULT UnprepareHeader(HWAVEOUT device, WAVEHDR* header, unsigned size) override;
    MMRESULT Write(HWAVEOUT device, WAVEHDR* header, unsigned size) override;
    MMRESULT Reset(HWAVEOUT device) override;
    MMRESULT Close(HWAVEOUT device) override;
    MMRESULT GetErrorText(MMRESULT error, char* text, unsigned size) override;

    // Setup.
    MMRESULT openResult = MMSYSERR_NOERROR;               // nonzero: Open fails with it
    MMRESULT writeResult = MMSYSERR_NOERROR;              // nonzero: Write refuses with it
    bool holdCompletions = false;                         // completions wait until ReleaseHeld()
    std::function<void(std::size_t blockIndex)> onWrite;  // runs on the writer's thread

    void ReleaseHeld();

    // Observations.
    std::vector<std::uint8_t> Played() const;
    std::vector<std::size_t> BlockSizes() const;
    std::size_t Completions() const;
    std::size_t MaxInFlight() const;
    int Opens() const;
    int Closes() const;
    WaveFormat OpenedFormat() const;

  private:
    void CompletionLoop();

    std::chrono::microseconds m_perBlock;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<WAVEHDR*> m_queue;
    std::thread m_thread;
    bool m_stop = false;
    WaveOutProc m_callback = nullptr;
    std::uintptr_t m_instance = 0;
    std::vector<std::uint8_t> m_played;
    std::vector<std::size_t> m_blockSizes;
    std::size_t m_completions = 0;
    std::size_t m_inFlight = 0;
    std::size_t m_maxInFlight = 0;
    int m_opens = 0;
    int m_closes = 0;
    WaveFormat m_format{};
};
