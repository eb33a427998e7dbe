#pragma once

// A completion callback for device tests: it notes each finished buffer (the number in
// its first four bytes, its sizes and flags) and releases it, as the stream driver's
// callback does.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "wave_device.h"

struct FinishedBuffer {
    std::uint32_t id;  // 0xFFFFFFFF when the buffer had no recorded bytes
    std::uint32_t length;
    std::uint32_t bytesRecorded;
    bool doneFlag;
};

class CompletionLog {
  public:
    static CompletionLog& Instance() {
        static CompletionLog log;
        return log;
    }

    static void Callback(HWAVEOUT, unsigned message, std::uintptr_t, std::uintptr_t param1,
                         std::uintptr_t) {
        if (message == MM_WOM_DONE) {
            Instance().Finish(reinterpret_cast<WAVEHDR*>(param1));
        }
    }

    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished.clear();
    }

    // Waits up to the time-out for count buffers in all; returns what has finished.
    std::vector<FinishedBuffer> WaitFor(std::size_t count,
                                        std::chrono::seconds timeout = std::chrono::seconds(20)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait_for(lock, timeout, [&] { return m_finished.size() >= count; });
        return m_finished;
    }

  private:
    void Finish(WAVEHDR* header) {
        FinishedBuffer f{0xFFFFFFFFu, header->dwBufferLength, header->dwBytesRecorded,
                         (header->dwFlags & WHDR_DONE) != 0};
        if (header->dwBytesRecorded >= sizeof f.id) {
            std::memcpy(&f.id, header->lpData, sizeof f.id);
        }
        WaveOutDevice::ReleaseBlock(header);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_finished.push_back(f);
        }
        m_cv.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<FinishedBuffer> m_finished;
};

// A block of the given size whose first four bytes hold id and whose other bytes are a
// pattern that never looks like silence.
inline std::vector<std::uint8_t> NumberedBlock(std::uint32_t id, std::size_t size) {
    std::vector<std::uint8_t> block(size);
    for (std::size_t i = 0; i < size; ++i) {
        block[i] = static_cast<std::uint8_t>(0x11 + (i + id) % 200);
    }
    std::memcpy(block.data(), &id, sizeof id);
    return block;
}

inline WaveFormat StereoFormat(std::uint32_t rate = 44100) {
    return WaveFormat{kWaveFormatPcm, 2, rate, rate * 4, 4, 16};
}
