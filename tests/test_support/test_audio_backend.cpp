#include "test_audio_backend.h"

#include <cstdio>

namespace {
constexpr HWAVEOUT kHandle = 0x7e57;
}

TestAudioBackend::~TestAudioBackend() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        holdCompletions = false;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

MMRESULT TestAudioBackend::Open(HWAVEOUT* device, unsigned, const WaveFormat* format,
                                std::uintptr_t callback, std::uintptr_t instance,
                                std::uint32_t flags) {
    if (openResult != MMSYSERR_NOERROR) {
        return openResult;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_opens;
    m_format = *format;
    m_callback = flags == CALLBACK_FUNCTION ? reinterpret_cast<WaveOutProc>(callback) : nullptr;
    m_instance = instance;
    m_stop = false;
    m_thread = std::thread(&TestAudioBackend::CompletionLoop, this);
    *device = kHandle;
    return MMSYSERR_NOERROR;
}

MMRESULT TestAudioBackend::PrepareHeader(HWAVEOUT, WAVEHDR* header, unsigned) {
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT TestAudioBackend::UnprepareHeader(HWAVEOUT, WAVEHDR* header, unsigned) {
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT TestAudioBackend::Write(HWAVEOUT, WAVEHDR* header, unsigned) {
    std::size_t index = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (writeResult != MMSYSERR_NOERROR) {
            return writeResult;
        }
        index = m_blockSizes.size();
        m_played.insert(m_played.end(), header->lpData, header->lpData + header->dwBufferLength);
        m_blockSizes.push_back(header->dwBufferLength);
        header->dwFlags |= WHDR_INQUEUE;
        m_queue.push_back(header);
        ++m_inFlight;
        if (m_inFlight > m_maxInFlight) {
            m_maxInFlight = m_inFlight;
        }
    }
    m_cv.notify_all();
    if (onWrite) {
        onWrite(index);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT TestAudioBackend::Reset(HWAVEOUT) {
    std::unique_lock<std::mutex> lock(m_mutex);
    holdCompletions = false;
    m_cv.notify_all();
    m_cv.wait(lock, [this] { return m_queue.empty(); });
    return MMSYSERR_NOERROR;
}

MMRESULT TestAudioBackend::Close(HWAVEOUT) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_queue.empty()) {
            return WAVERR_STILLPLAYING;
        }
        m_stop = true;
        ++m_closes;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return MMSYSERR_NOERROR;
}

MMRESULT TestAudioBackend::GetErrorText(MMRESULT error, char* text, unsigned size) {
    std::snprintf(text, size, "test device error %u", static_cast<unsigned>(error));
    return MMSYSERR_NOERROR;
}

void TestAudioBackend::ReleaseHeld() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        holdCompletions = false;
    }
    m_cv.notify_all();
}

void TestAudioBackend::CompletionLoop() {
    for (;;) {
        WAVEHDR* header = nullptr;
        WaveOutProc callback = nullptr;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_cv.wait(lock, [this] { return m_stop || (!m_queue.empty() && !holdCompletions); });
            if (m_queue.empty()) {
                return;
            }
            header = m_queue.front();
            callback = m_callback;
        }
        if (m_perBlock.count() > 0) {
            std::this_thread::sleep_for(m_perBlock);
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.pop_front();
            --m_inFlight;
            ++m_completions;
            header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        }
        m_cv.notify_all();
        if (callback != nullptr) {
            callback(kHandle, MM_WOM_DONE, m_instance, reinterpret_cast<std::uintptr_t>(header), 0);
        }
    }
}

std::vector<std::uint8_t> TestAudioBackend::Played() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_played;
}

std::vector<std::size_t> TestAudioBackend::BlockSizes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blockSizes;
}

std::size_t TestAudioBackend::Completions() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_completions;
}

std::size_t TestAudioBackend::MaxInFlight() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_maxInFlight;
}

int TestAudioBackend::Opens() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_opens;
}

int TestAudioBackend::Closes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closes;
}

WaveFormat TestAudioBackend::OpenedFormat() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_format;
}
