#include "playback/portaudio_out.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

// The device's own buffer. The blocks queued ahead of it are the margin against a late
// writer; this only covers a late callback thread, which does nothing but copy. Everything a
// user changes while it plays is heard after it: 15 ms keeps a trackbar in the stereo mode
// under a tenth of a second from the move to the ear.
constexpr double kMinLatencySeconds = 0.015;
// Sound queued before the stream starts and primes the device with it: more than a pipe of
// 64 KB holds at 44.1 kHz (0.37 s), about what a desktop sound server takes at once.
constexpr double kStartSeconds = 0.4;
// And never fewer bytes than that pipe holds: at a low rate it holds more than 0.4 s (1.5 s at
// 11,025 Hz), and the device would swallow the first block and play silence behind it.
constexpr std::uint64_t kStartBytes = 72 * 1024;
// The start fills the device's buffers at once; bursts are measured after it.
constexpr double kSettleSeconds = 0.5;
constexpr double kDrainFaster = 1.001;
constexpr double kAssumedBurstShare = 4.0;
constexpr double kLoneBlockWaitSeconds = 0.1;
constexpr double kMaxPlayOutSeconds = 2.0;
constexpr double kPlayOutMarginSeconds = 0.02;
constexpr const char* kAbortedText = "Playback was aborted.";

void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
void QuietJack(const char*) {}

std::string PortAudioText(PaError error) {
    std::string text = Pa_GetErrorText(error);
    if (error == paUnanticipatedHostError) {
        const PaHostErrorInfo* info = Pa_GetLastHostErrorInfo();
        if (info != nullptr && info->errorText != nullptr && info->errorText[0] != '\0') {
            text += ": ";
            text += info->errorText;
        }
    }
    return text;
}

// Digits name a device by its index, anything else by an exact name or else by the first name
// that holds the text.
PaDeviceIndex FindDevice(const std::vector<AudioDevice>& devices, const std::string& text) {
    const auto first = [&devices](const auto& matches) {
        const auto found = std::find_if(devices.begin(), devices.end(), matches);
        return found != devices.end() ? found->index : paNoDevice;
    };
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        int index = paNoDevice;
        if (std::from_chars(text.data(), text.data() + text.size(), index).ec != std::errc{}) {
            return paNoDevice;
        }
        return first([index](const AudioDevice& d) { return d.index == index; });
    }
    const PaDeviceIndex exact = first([&text](const AudioDevice& d) { return d.name == text; });
    return exact != paNoDevice ? exact : first([&text](const AudioDevice& d) {
        return d.name.find(text) != std::string::npos;
    });
}

}  // namespace

PortAudioSystem::PortAudioSystem() {
    // ALSA and JACK print dozens of lines while PortAudio probes for devices, most of them
    // about devices this machine simply lacks. Failures still reach the user through
    // PortAudio's result codes and texts.
    snd_lib_error_set_handler(&QuietAlsa);
    jack_set_error_function(&QuietJack);
    jack_set_info_function(&QuietJack);
    m_initError = Pa_Initialize();
}

PortAudioSystem::~PortAudioSystem() {
    if (m_initError == paNoError) {
        Pa_Terminate();
    }
}

std::string PortAudioSystem::InitError() const {
    return m_initError == paNoError ? std::string() : PortAudioText(m_initError);
}

std::vector<AudioDevice> PortAudioSystem::Devices() const {
    std::vector<AudioDevice> devices;
    if (m_initError != paNoError) {
        return devices;
    }
    const PaDeviceIndex defaultDevice = Pa_GetDefaultOutputDevice();
    for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info == nullptr || info->maxOutputChannels <= 0) {
            continue;  // it only records, or is gone
        }
        const PaHostApiInfo* host = Pa_GetHostApiInfo(info->hostApi);
        devices.push_back({i, info->name, host != nullptr ? host->name : "", i == defaultDevice});
    }
    return devices;
}

bool PortAudioSystem::Has(const std::string& device) const {
    return FindDevice(Devices(), device) != paNoDevice;
}

PortAudioOut::PortAudioOut(const PortAudioSystem& system) : m_system(system) {}

PortAudioOut::~PortAudioOut() {
    Abort();
    std::lock_guard<std::mutex> lock(m_control);
    CloseStreamLocked();
}

// A device still open is ended at once, as by Abort.
bool PortAudioOut::Open(const AudioFormat& format, const std::string& given) {
    const std::string& device = given.empty() ? m_device : given;
    {
        std::lock_guard<std::mutex> lock(m_control);
        CloseStreamLocked();
        m_aborted.store(false);  // an Abort from here on still ends this device
    }
    const std::string initError = m_system.InitError();
    if (!initError.empty()) {
        return Fail(initError);
    }
    const PaDeviceIndex index =
        device.empty() ? Pa_GetDefaultOutputDevice() : FindDevice(m_system.Devices(), device);
    if (index == paNoDevice) {
        return Fail(device.empty() ? PortAudioText(paDeviceUnavailable)
                                   : "no such sound device: " + device);
    }
    return StartStream(format, index);
}

// Only while no stream runs.
void PortAudioOut::ResetQueues() {
    m_blocks.Clear();
    for (Block& block : m_blocks.Items()) {
        block.bytes.resize(kBlockBytes);
        block.size = 0;
    }
    m_cb = {};
    m_silentFrames.store(0);
    m_queuedBytes.store(0);
    m_largestBurst.store(0);
    m_started = false;
    m_dropQueued.store(false);
    m_stopping.store(false);
    m_streamEnded.store(false);
}

bool PortAudioOut::StartStream(const AudioFormat& format, int device) {
    std::lock_guard<std::mutex> lock(m_control);
    if (m_aborted.load()) {
        return Fail(kAbortedText);
    }
    ResetQueues();
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    PaStreamParameters parameters{};
    parameters.device = device;
    parameters.channelCount = format.channels;
    parameters.sampleFormat = paInt16;
    // As low as the device offers, so that Stop and the trackbars are heard at once.
    parameters.suggestedLatency =
        std::max(info != nullptr ? info->defaultLowOutputLatency : 0.0, kMinLatencySeconds);
    m_frameBytes = static_cast<std::size_t>(std::max(format.channels, 1)) * sizeof(std::int16_t);
    PaStream* stream = nullptr;
    // Primed from the callback, so that the first sound the device plays is the queue's.
    PaError error =
        Pa_OpenStream(&stream, nullptr, &parameters, format.rate, paFramesPerBufferUnspecified,
                      paPrimeOutputBuffersUsingStreamCallback, &OnStreamCallback, this);
    if (!Succeeded(error)) {
        return false;
    }
    error = Pa_SetStreamFinishedCallback(stream, &OnStreamFinished);
    if (error != paNoError) {
        const std::string text = PortAudioText(error);
        Pa_CloseStream(stream);
        return Fail(text);
    }
    const PaStreamInfo* granted = Pa_GetStreamInfo(stream);
    m_latency = granted != nullptr ? granted->outputLatency : 0.0;
    m_rate = granted != nullptr ? granted->sampleRate : format.rate;
    m_startFrames = std::max(static_cast<std::uint64_t>((kStartSeconds + m_latency) * m_rate),
                             kStartBytes / m_frameBytes);
    m_stream = stream;
    m_open.store(true);
    return true;
}

// The stream starts once the queue holds the start's worth, or is full, or (anyQueued: a
// drain) holds anything at all.
void PortAudioOut::StartWhenFilled(bool anyQueued) {
    if (m_started) {
        return;
    }
    const std::uint64_t queued = QueuedFrames();
    const bool filled = queued >= m_startFrames || m_blocks.Size() == kRingBlocks;
    if (!filled && !(anyQueued && m_blocks.Size() > 0)) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_control);
    if (m_stream == nullptr || m_aborted.load()) {
        return;
    }
    m_started = true;
    m_cb.starting = false;  // the callback has not run yet: the queue is all there is to play
    if (!Succeeded(Pa_StartStream(m_stream))) {
        m_streamEnded.store(true);  // Write and the waits report the device lost
        m_wake.release();
    }
}

double PortAudioOut::LargestBurst() const {
    return m_rate > 0 ? static_cast<double>(m_largestBurst.load()) / m_rate : 0.0;
}

int PortAudioOut::OnStreamCallback(const void*, void* output, unsigned long frames,
                                   const PaStreamCallbackTimeInfo* time, unsigned long,
                                   void* self) {
    auto* out = static_cast<PortAudioOut*>(self);
    out->Fill(static_cast<unsigned char*>(output), frames * out->m_frameBytes,
              time != nullptr ? time->currentTime : -1.0);
    return paContinue;
}

void PortAudioOut::OnStreamFinished(void* self) {
    auto* out = static_cast<PortAudioOut*>(self);
    out->m_streamEnded.store(true);
    out->m_wake.release();
}

// After the queue ran dry, a lone block waits a moment for the next one: some devices take
// a whole buffer's worth at once, and would otherwise swallow the first block and play
// silence before the writer has the second one ready.
bool PortAudioOut::KeepWaiting(double now) {
    if (!m_cb.starting || m_cb.current != nullptr) {
        return false;
    }
    const std::size_t queued = m_blocks.Size();
    if (queued == 0) {
        m_cb.loneSince = -1.0;
        return true;
    }
    if (queued == 1 && now >= 0.0) {
        if (m_cb.loneSince < 0.0) {
            m_cb.loneSince = now;
        }
        if (now - m_cb.loneSince < kLoneBlockWaitSeconds) {
            return true;
        }
    }
    m_cb.starting = false;
    m_cb.loneSince = -1.0;
    return false;
}

// Runs on PortAudio's real-time thread: copies and hands on, nothing else.
void PortAudioOut::Fill(unsigned char* out, std::size_t bytes, double now) {
    Measure(bytes / m_frameBytes);
    bool finishedOne = false;
    std::size_t copied = 0;
    while (bytes > 0 && !m_dropQueued.load(std::memory_order_relaxed) && !KeepWaiting(now)) {
        if (m_cb.current == nullptr) {
            m_cb.current = m_blocks.Front();
            m_cb.offset = 0;
            if (m_cb.current == nullptr) {
                m_cb.starting = true;
                break;
            }
        }
        const std::size_t n = std::min(m_cb.current->size - m_cb.offset, bytes);
        std::memcpy(out, m_cb.current->bytes.data() + m_cb.offset, n);
        copied += n;
        out += n;
        bytes -= n;
        m_cb.offset += n;
        if (m_cb.offset == m_cb.current->size) {
            m_blocks.Pop();
            m_cb.current = nullptr;
            finishedOne = true;
        }
    }
    std::memset(out, 0, bytes);
    m_queuedBytes.fetch_sub(copied, std::memory_order_relaxed);
    const std::uint64_t silent = bytes / m_frameBytes;
    m_silentFrames.store(
        copied > 0 ? silent : m_silentFrames.load(std::memory_order_relaxed) + silent,
        std::memory_order_relaxed);
    if (finishedOne) {
        m_wake.release();
    }
}

// A bucket filled by what the device takes and drained at the rate (a little faster, so that
// a device whose clock runs a little fast does not fill it): its level is how much the device
// has taken at once beyond its pace, which the queue must hold when it does. The start fills
// the device's buffers once; the bucket is emptied when that has settled. Until a burst is
// seen, one of a quarter of what the device then holds ahead of its pace is assumed: a device
// that holds much takes much at once, and its own delay dwarfs what the queue adds.
void PortAudioOut::Measure(std::size_t frames) {
    const auto now = std::chrono::steady_clock::now();
    if (!m_cb.called) {
        m_cb.called = true;
        m_cb.settled = false;
        m_cb.lastCall = now;
        m_cb.measureFrom = now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                     std::chrono::duration<double>(kSettleSeconds));
    }
    const double drained =
        std::chrono::duration<double>(now - m_cb.lastCall).count() * m_rate * kDrainFaster;
    m_cb.lastCall = now;
    m_cb.burst = std::max(m_cb.burst - drained, 0.0) + static_cast<double>(frames);
    if (!m_cb.settled && now >= m_cb.measureFrom) {
        m_cb.settled = true;
        m_largestBurst.store(static_cast<std::uint64_t>(m_cb.burst / kAssumedBurstShare),
                             std::memory_order_relaxed);
        m_cb.burst = static_cast<double>(frames);
    }
    const auto burst = static_cast<std::uint64_t>(m_cb.burst);
    if (m_cb.settled && burst > m_largestBurst.load(std::memory_order_relaxed)) {
        m_largestBurst.store(burst, std::memory_order_relaxed);
    }
}

// Room while fewer than kQueuedBlocks blocks wait, or while what waits is less than the
// largest burst the device took: a device that takes much at once finds it queued.
bool PortAudioOut::HasRoom() const {
    const std::size_t blocks = m_blocks.Size();
    if (blocks == kRingBlocks) {
        return false;
    }
    if (!m_started) {
        return QueuedFrames() < m_startFrames;
    }
    return blocks < static_cast<std::size_t>(kQueuedBlocks) ||
           QueuedFrames() < m_largestBurst.load(std::memory_order_relaxed);
}

void PortAudioOut::WaitForRoom() {
    while (!Interrupted() && !HasRoom()) {
        if (!m_started) {
            StartWhenFilled(false);
            if (!m_started) {
                return;  // aborted meanwhile
            }
            continue;
        }
        m_wake.acquire();
    }
}

bool PortAudioOut::Write(const unsigned char* data, std::size_t bytes) {
    if (bytes > kBlockBytes) {
        return Fail("A block of " + std::to_string(bytes) + " bytes is larger than the " +
                    std::to_string(kBlockBytes) + " the sound device takes.");
    }
    WaitForRoom();
    if (m_aborted.load()) {
        return Fail(kAbortedText);
    }
    if (DeviceLost()) {
        return Fail("The sound device stopped working.");
    }
    if (!m_open.load()) {
        return Fail("The sound device is not open.");
    }
    if (bytes == 0) {
        return true;
    }
    Block& block = m_blocks.Back();
    std::memcpy(block.bytes.data(), data, bytes);
    block.size = bytes;
    m_queuedBytes.fetch_add(bytes);
    m_blocks.Push();
    StartWhenFilled(false);
    return true;
}

void PortAudioOut::Drain() {
    StartWhenFilled(true);
    while (!Interrupted() && m_blocks.Size() > 0) {
        m_wake.acquire();
    }
}

// The sound handed over last is first given time to pass through the device's buffer:
// until the callback has followed it with as much silence as the buffer holds, and a little
// more. A drain would wait on the device itself, which a stalled device never ends.
void PortAudioOut::PlayOut() const {
    const double latency = std::clamp(m_latency, 0.0, kMaxPlayOutSeconds);
    const auto silence = static_cast<std::uint64_t>((latency + kPlayOutMarginSeconds) * m_rate);
    const auto giveUp =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(2 * latency + 1.0);
    while (!Interrupted() && m_silentFrames.load(std::memory_order_relaxed) < silence &&
           std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void PortAudioOut::Close() {
    m_dropQueued.store(true);
    if (m_started) {
        PlayOut();
    }
    std::lock_guard<std::mutex> lock(m_control);
    if (m_aborted.load()) {
        m_open.store(false);
        return;
    }
    CloseStreamLocked();
}

bool PortAudioOut::HoldsAbortedStream() const {
    std::lock_guard<std::mutex> lock(m_control);
    return m_stream != nullptr && m_aborted.load();
}

// The stream stays open until Close, or after an Abort until the next Open or the destructor:
// closing waits on the device, and the thread that calls Abort is the one that must not wait.
void PortAudioOut::Abort() {
    m_aborted.store(true);
    m_open.store(false);
    m_wake.release();
    std::lock_guard<std::mutex> lock(m_control);
    StopStreamLocked();
}

// Aborting ends even a callback thread stuck in the device.
void PortAudioOut::StopStreamLocked() {
    if (m_stream == nullptr || m_stopping.load()) {
        return;
    }
    m_stopping.store(true);
    if (Pa_IsStreamStopped(m_stream) != 1) {
        Succeeded(Pa_AbortStream(m_stream));
    }
    m_wake.release();
}

void PortAudioOut::CloseStreamLocked() {
    m_open.store(false);
    if (m_stream == nullptr) {
        return;
    }
    StopStreamLocked();
    Succeeded(Pa_CloseStream(std::exchange(m_stream, nullptr)));
}

bool PortAudioOut::Succeeded(int error) {
    return error == paNoError || Fail(PortAudioText(error));
}

bool PortAudioOut::Fail(std::string text) {
    std::lock_guard<std::mutex> lock(m_errorMutex);
    m_error = std::move(text);
    return false;
}

std::string PortAudioOut::Error() const {
    std::lock_guard<std::mutex> lock(m_errorMutex);
    return m_error;
}
