#include "tests/test_support/test_audio_out.h"

#include <algorithm>

namespace {
constexpr auto kRoomBelow = static_cast<std::size_t>(AudioOut::kQueuedBlocks);
}

TestAudioOut::~TestAudioOut() {
    StopDevice();
}

bool TestAudioOut::Open(const AudioFormat& format, const std::string& device) {
    StopDevice();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_openedDevices.push_back(device.empty() ? m_chosenDevice : device);
    if (failOpen) {
        m_error = "Device unavailable";
        return false;
    }
    m_open = true;
    m_aborted = false;
    m_quit = false;
    m_inFlight = 0;
    m_format = format;
    ++m_opens;
    m_device = std::thread(&TestAudioOut::DeviceLoop, this);
    return true;
}

bool TestAudioOut::IsOpen() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open;
}

bool TestAudioOut::Interrupted() const {
    return !m_open || m_aborted;
}

void TestAudioOut::WaitForRoom() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [this] { return Interrupted() || m_inFlight < kRoomBelow; });
}

bool TestAudioOut::Write(const unsigned char* data, std::size_t bytes) {
    std::size_t index = 0;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return Interrupted() || m_inFlight < kRoomBelow; });
        if (m_aborted) {
            m_error = "Playback was aborted.";
            return false;
        }
        if (!m_open) {
            m_error = "The sound device is not open.";
            return false;
        }
        if (failWrites) {
            m_error = "The sound device stopped working.";
            return false;
        }
        index = m_blockSizes.size();
        m_played.insert(m_played.end(), data, data + bytes);
        m_blockSizes.push_back(bytes);
        ++m_inFlight;
        m_maxInFlight = std::max(m_maxInFlight, m_inFlight);
    }
    m_cv.notify_all();
    if (onWrite) {
        onWrite(index);
    }
    return true;
}

void TestAudioOut::Drain() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [this] { return Interrupted() || m_inFlight == 0; });
}

void TestAudioOut::Close() {
    if (!m_device.joinable()) {
        return;
    }
    StopDevice();
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_closes;
}

void TestAudioOut::Abort() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_aborted = true;
        m_open = false;
        m_quit = true;
        m_inFlight = 0;
    }
    m_cv.notify_all();
}

// What is still queued is dropped.
void TestAudioOut::StopDevice() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = false;
        m_quit = true;
        m_inFlight = 0;
    }
    m_cv.notify_all();
    if (m_device.joinable()) {
        m_device.join();
    }
}

std::string TestAudioOut::Error() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_error;
}

void TestAudioOut::ReleaseHeld() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        holdCompletions = false;
    }
    m_cv.notify_all();
}

void TestAudioOut::DeviceLoop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_cv.wait(lock, [this] { return m_quit || (m_inFlight > 0 && !holdCompletions); });
        // A block's playing time passes unless the device is stopped meanwhile.
        if (m_quit || m_cv.wait_for(lock, m_perBlock, [this] { return m_quit; })) {
            return;
        }
        --m_inFlight;
        ++m_completions;
        m_cv.notify_all();
    }
}

Bytes TestAudioOut::Played() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_played;
}

std::vector<std::size_t> TestAudioOut::BlockSizes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blockSizes;
}

std::size_t TestAudioOut::Completions() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_completions;
}

std::size_t TestAudioOut::MaxInFlight() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_maxInFlight;
}

int TestAudioOut::Opens() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_opens;
}

int TestAudioOut::Closes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closes;
}

AudioFormat TestAudioOut::OpenedFormat() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_format;
}

void TestAudioOut::SetDevice(std::string device) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_chosenDevice = std::move(device);
}

std::vector<std::string> TestAudioOut::OpenedDevices() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_openedDevices;
}

bool TestAudioDevices::Has(const std::string& device) const {
    return std::any_of(devices.begin(), devices.end(), [&device](const AudioDevice& d) {
        return d.name == device || std::to_string(d.index) == device;
    });
}
