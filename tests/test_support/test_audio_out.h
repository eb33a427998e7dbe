#pragma once

// A sound output for tests: it keeps every byte written and "plays" the blocks on a device
// thread of its own, in order, each taking an optional time. It waits as the real one does:
// for room while kQueuedBlocks blocks are unfinished, for every block in Drain, and Abort
// wakes every wait.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "playback/audio_out.h"
#include "tests/test_support/wav_builder.h"

class TestAudioOut : public AudioOut {
  public:
    explicit TestAudioOut(std::chrono::microseconds perBlock = std::chrono::microseconds(0))
        : m_perBlock(perBlock) {}
    ~TestAudioOut() override;
    TestAudioOut(const TestAudioOut&) = delete;
    TestAudioOut& operator=(const TestAudioOut&) = delete;

    bool Open(const AudioFormat& format, const std::string& device = {}) override;
    void SetDevice(std::string device) override;
    bool IsOpen() const override;
    void WaitForRoom() override;
    bool Write(const unsigned char* data, std::size_t bytes) override;
    void Drain() override;
    void Close() override;
    void Abort() override;
    std::string Error() const override;

    // Setup, before Open.
    bool failOpen = false;         // Open fails: "Device unavailable"
    bool failWrites = false;       // Write fails: "The sound device stopped working."
    bool holdCompletions = false;  // no block finishes until ReleaseHeld()
    std::function<void(std::size_t index)> onWrite;  // on the writer's thread, once queued

    void ReleaseHeld();

    // Observations.
    Bytes Played() const;  // every byte written, in order
    std::vector<std::size_t> BlockSizes() const;
    std::size_t Completions() const;
    std::size_t MaxInFlight() const;  // most blocks queued and not finished at once
    int Opens() const;
    int Closes() const;
    AudioFormat OpenedFormat() const;
    std::vector<std::string> OpenedDevices() const;  // each Open's, empty for the default

  private:
    void DeviceLoop();
    bool Interrupted() const;  // with m_mutex held
    void StopDevice();

    const std::chrono::microseconds m_perBlock;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::thread m_device;
    bool m_open = false;
    bool m_aborted = false;
    bool m_quit = false;
    std::size_t m_inFlight = 0;  // queued and not finished
    std::string m_error;
    Bytes m_played;
    std::vector<std::size_t> m_blockSizes;
    std::size_t m_completions = 0;
    std::size_t m_maxInFlight = 0;
    int m_opens = 0;
    int m_closes = 0;
    AudioFormat m_format;
    std::string m_chosenDevice;
    std::vector<std::string> m_openedDevices;
};

// A sound system's device list for tests: Has matches a name or an index exactly.
class TestAudioDevices : public AudioDevices {
  public:
    std::vector<AudioDevice> Devices() const override {
        ++listings;
        return devices;
    }
    bool Has(const std::string& device) const override;

    std::vector<AudioDevice> devices;
    mutable int listings = 0;  // calls of Devices()
};
