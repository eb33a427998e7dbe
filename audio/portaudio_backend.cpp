#include "portaudio_backend.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>
#include <semaphore.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "spsc_ring.h"

namespace {

constexpr MMRESULT kBadErrorNumber = 9;
// The device's own buffer. The two blocks the driver keeps queued ahead of it are the
// margin against a late writer; this only covers a late callback thread.
constexpr double kMinLatencySeconds = 0.04;
constexpr double kLoneBufferWaitSeconds = 0.1;
constexpr double kMaxPlayOutSeconds = 2.0;
constexpr double kPlayOutMarginSeconds = 0.02;

// A counting semaphore whose Post is safe in a real-time callback: it neither locks nor
// waits.
class WakeSemaphore {
  public:
    WakeSemaphore() { sem_init(&m_sem, 0, 0); }
    ~WakeSemaphore() { sem_destroy(&m_sem); }
    WakeSemaphore(const WakeSemaphore&) = delete;
    WakeSemaphore& operator=(const WakeSemaphore&) = delete;

    void Post() { sem_post(&m_sem); }
    void Wait() {
        while (sem_wait(&m_sem) != 0 && errno == EINTR) {
        }
    }

  private:
    sem_t m_sem;
};

void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
void QuietJack(const char*) {}

// ALSA and JACK print dozens of lines while PortAudio probes for devices, most of them
// about devices this machine simply lacks. Failures still reach the user through
// PortAudio's result codes and texts.
void QuietHostDiagnostics() {
    snd_lib_error_set_handler(&QuietAlsa);
    jack_set_error_function(&QuietJack);
    jack_set_info_function(&QuietJack);
}

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

MMRESULT ResultFor(PaError error) {
    switch (error) {
        case paNoError:
            return MMSYSERR_NOERROR;
        case paInvalidChannelCount:
        case paInvalidSampleRate:
        case paSampleFormatNotSupported:
        case paBadIODeviceCombination:
            return WAVERR_BADFORMAT;
        case paInvalidDevice:
            return MMSYSERR_BADDEVICEID;
        case paDeviceUnavailable:
            return MMSYSERR_ALLOCATED;
        case paInsufficientMemory:
            return MMSYSERR_NOMEM;
        default:
            return MMSYSERR_ERROR;
    }
}

const char* FixedText(MMRESULT error) {
    switch (error) {
        case MMSYSERR_NOERROR:
            return "No error.";
        case MMSYSERR_ERROR:
            return "Unspecified sound device error.";
        case MMSYSERR_BADDEVICEID:
            return "The sound device identifier is out of range.";
        case MMSYSERR_ALLOCATED:
            return "The sound device is already in use.";
        case MMSYSERR_INVALHANDLE:
            return "The sound device handle is not valid.";
        case MMSYSERR_NODRIVER:
            return "No sound device is available.";
        case MMSYSERR_NOMEM:
            return "Out of memory for sound buffers.";
        case MMSYSERR_INVALFLAG:
            return "Unsupported sound device flag.";
        case MMSYSERR_INVALPARAM:
            return "Invalid sound device parameter.";
        case WAVERR_BADFORMAT:
            return "The sound device cannot play this sample format.";
        case WAVERR_STILLPLAYING:
            return "Sound buffers are still queued.";
        case WAVERR_UNPREPARED:
            return "The sound buffer was not prepared.";
        default:
            return nullptr;
    }
}

// The PortAudio sample format of integer PCM, or 0 when the format is not playable.
PaSampleFormat SampleFormatOf(const WaveFormat& format) {
    if (format.wFormatTag != kWaveFormatPcm && format.wFormatTag != kWaveFormatExtensible) {
        return 0;
    }
    if (format.nChannels == 0 || format.nSamplesPerSec == 0 ||
        format.nBlockAlign != format.nChannels * (format.wBitsPerSample / 8)) {
        return 0;
    }
    switch (format.wBitsPerSample) {
        case 8:
            return paUInt8;
        case 16:
            return paInt16;
        case 24:
            return paInt24;
        case 32:
            return paInt32;
        default:
            return 0;
    }
}

}  // namespace

// One open output device: a PortAudio stream, its buffer queues and its notifier thread.
class PortAudioStream {
  public:
    PortAudioStream(WaveOutProc callback, std::uintptr_t instance, const WaveFormat& format)
        : m_callback(callback),
          m_instance(instance),
          m_silence(format.wBitsPerSample == 8 ? 0x80 : 0x00) {}
    ~PortAudioStream();
    PortAudioStream(const PortAudioStream&) = delete;
    PortAudioStream& operator=(const PortAudioStream&) = delete;

    HWAVEOUT Handle() const { return reinterpret_cast<HWAVEOUT>(this); }
    double OutputLatency() const {
        const PaStreamInfo* info = m_stream != nullptr ? Pa_GetStreamInfo(m_stream) : nullptr;
        return info != nullptr ? info->outputLatency : 0.0;
    }

    PaError Start(const PaStreamParameters& parameters, double rate);
    MMRESULT Write(WAVEHDR* header);
    PaError Reset();
    MMRESULT Close();

  private:
    static int OnStreamCallback(const void* input, void* output, unsigned long frames,
                                const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags status,
                                void* self);
    static void OnStreamFinished(void* self);
    void Fill(unsigned char* out, std::size_t bytes, double now);
    bool KeepWaiting(double now);
    void NotifierLoop();
    void DeliverDone();
    void ReturnQueuedBuffers();
    void StopStream(bool playOut);

    const WaveOutProc m_callback;
    const std::uintptr_t m_instance;
    const unsigned char m_silence;
    std::size_t m_frameBytes = 0;
    PaStream* m_stream = nullptr;

    // Written buffers go writer -> real-time callback -> notifier. While the stream is
    // stopped, whoever stopped it may act for the callback.
    SpscRing<WAVEHDR, PortAudioBackend::kMaxQueuedBuffers> m_pending;
    SpscRing<WAVEHDR, PortAudioBackend::kMaxQueuedBuffers> m_done;
    WAVEHDR* m_current = nullptr;            // the buffer the callback is copying from
    bool m_starting = true;                  // the queue ran dry and has not restarted since
    double m_loneSince = -1.0;               // stream time since which a lone buffer has waited
    std::uint32_t m_offset = 0;              // bytes of m_current already copied
    std::atomic<unsigned> m_outstanding{0};  // written, completion not yet begun
    std::atomic<bool> m_streamEnded{false};
    std::atomic<std::uint64_t> m_silentFrames{0};  // played since the last sound
    WakeSemaphore m_wake;

    std::mutex m_control;       // Write, Reset, Close and the notifier's look at the stream
    bool m_stopping = false;    // we stopped the stream ourselves
    bool m_deviceLost = false;  // the stream ended on its own; nothing more plays
    bool m_quit = false;
    std::thread m_notifier;
};

PortAudioStream::~PortAudioStream() {
    // Only reached with a stream that was not closed: completions still owed are dropped,
    // since their owners may be gone.
    {
        std::lock_guard<std::mutex> lock(m_control);
        StopStream(false);
        m_quit = true;
    }
    if (m_notifier.joinable()) {
        m_wake.Post();
        m_notifier.join();
    }
    if (m_stream != nullptr) {
        Pa_CloseStream(m_stream);
    }
}

PaError PortAudioStream::Start(const PaStreamParameters& parameters, double rate) {
    m_frameBytes = static_cast<std::size_t>(parameters.channelCount) *
                   static_cast<std::size_t>(Pa_GetSampleSize(parameters.sampleFormat));
    PaError error = Pa_OpenStream(&m_stream, nullptr, &parameters, rate,
                                  paFramesPerBufferUnspecified, paNoFlag, &OnStreamCallback, this);
    if (error != paNoError) {
        m_stream = nullptr;
        return error;
    }
    error = Pa_SetStreamFinishedCallback(m_stream, &OnStreamFinished);
    if (error == paNoError) {
        m_notifier = std::thread(&PortAudioStream::NotifierLoop, this);
        error = Pa_StartStream(m_stream);
    }
    return error;
}

int PortAudioStream::OnStreamCallback(const void*, void* output, unsigned long frames,
                                      const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags,
                                      void* self) {
    auto* stream = static_cast<PortAudioStream*>(self);
    stream->Fill(static_cast<unsigned char*>(output), frames * stream->m_frameBytes,
                 time != nullptr ? time->currentTime : -1.0);
    return paContinue;
}

void PortAudioStream::OnStreamFinished(void* self) {
    auto* stream = static_cast<PortAudioStream*>(self);
    stream->m_streamEnded.store(true, std::memory_order_release);
    stream->m_wake.Post();
}

// After the queue ran dry, a lone buffer waits a moment for the next one: some devices
// take a whole buffer's worth at once, and would otherwise swallow the first block and
// play silence before the writer has the second one ready.
bool PortAudioStream::KeepWaiting(double now) {
    if (!m_starting || m_current != nullptr) {
        return false;
    }
    const std::size_t queued = m_pending.Size();
    if (queued == 0) {
        m_loneSince = -1.0;
        return true;
    }
    if (queued == 1 && now >= 0.0) {
        if (m_loneSince < 0.0) {
            m_loneSince = now;
        }
        if (now - m_loneSince < kLoneBufferWaitSeconds) {
            return true;
        }
    }
    m_starting = false;
    m_loneSince = -1.0;
    return false;
}

// Runs on PortAudio's real-time thread: copies and hands on, nothing else.
void PortAudioStream::Fill(unsigned char* out, std::size_t bytes, double now) {
    bool finishedOne = false;
    bool copiedAny = false;
    while (bytes > 0 && !KeepWaiting(now)) {
        if (m_current == nullptr) {
            m_current = m_pending.Pop();
            m_offset = 0;
            if (m_current == nullptr) {
                m_starting = true;
                break;
            }
        }
        const std::size_t n = std::min<std::size_t>(m_current->dwBufferLength - m_offset, bytes);
        std::memcpy(out, m_current->lpData + m_offset, n);
        copiedAny = copiedAny || n > 0;
        out += n;
        bytes -= n;
        m_offset += static_cast<std::uint32_t>(n);
        if (m_offset == m_current->dwBufferLength) {
            m_done.Push(m_current);  // never full: both rings hold every outstanding buffer
            m_current = nullptr;
            finishedOne = true;
        }
    }
    std::memset(out, m_silence, bytes);
    const std::uint64_t silent = bytes / m_frameBytes;
    m_silentFrames.store(
        copiedAny ? silent : m_silentFrames.load(std::memory_order_relaxed) + silent,
        std::memory_order_relaxed);
    if (finishedOne) {
        m_wake.Post();
    }
}

void PortAudioStream::NotifierLoop() {
    for (;;) {
        m_wake.Wait();
        DeliverDone();
        bool quit = false;
        {
            std::lock_guard<std::mutex> lock(m_control);
            if (m_streamEnded.load(std::memory_order_acquire) && !m_stopping && !m_deviceLost) {
                // The device went away under us: nothing will play the queued buffers,
                // so they are returned now rather than leave their owner waiting.
                m_deviceLost = true;
                ReturnQueuedBuffers();
            }
            quit = m_quit;
        }
        if (quit) {
            return;
        }
        DeliverDone();
    }
}

// The completion callback may block, so it is called with no lock held.
void PortAudioStream::DeliverDone() {
    while (WAVEHDR* header = m_done.Pop()) {
        header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        m_outstanding.fetch_sub(1, std::memory_order_acq_rel);
        if (m_callback != nullptr) {
            m_callback(Handle(), MM_WOM_DONE, m_instance, reinterpret_cast<std::uintptr_t>(header),
                       0);
        }
    }
}

// Only while the real-time callback cannot run.
void PortAudioStream::ReturnQueuedBuffers() {
    if (m_current != nullptr) {
        m_done.Push(m_current);
        m_current = nullptr;
    }
    m_starting = true;
    m_loneSince = -1.0;
    while (WAVEHDR* header = m_pending.Pop()) {
        m_done.Push(header);
    }
}

// With playOut, the sound handed over last is first given time to pass through the
// device's buffer: until the callback has followed it with as much silence as the buffer
// holds, and a little more. A drain would wait on the device itself, which a stalled device
// never ends; aborting ends even a callback thread stuck in the device.
void PortAudioStream::StopStream(bool playOut) {
    if (m_stream == nullptr || Pa_IsStreamStopped(m_stream) == 1) {
        return;
    }
    m_stopping = true;
    if (playOut && Pa_IsStreamActive(m_stream) == 1) {
        const PaStreamInfo* info = Pa_GetStreamInfo(m_stream);
        const double latency =
            std::clamp(info != nullptr ? info->outputLatency : 0.0, 0.0, kMaxPlayOutSeconds);
        const double rate = info != nullptr ? info->sampleRate : 0.0;
        const auto silence = static_cast<std::uint64_t>((latency + kPlayOutMarginSeconds) * rate);
        const auto giveUp =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(2 * latency + 1.0);
        while (m_silentFrames.load(std::memory_order_relaxed) < silence &&
               std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    Pa_AbortStream(m_stream);
}

MMRESULT PortAudioStream::Write(WAVEHDR* header) {
    std::lock_guard<std::mutex> lock(m_control);
    if ((header->dwFlags & WHDR_PREPARED) == 0) {
        return WAVERR_UNPREPARED;
    }
    if ((header->dwFlags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    if (m_deviceLost) {
        return MMSYSERR_NODRIVER;
    }
    if (m_outstanding.load(std::memory_order_acquire) >= PortAudioBackend::kMaxQueuedBuffers) {
        return MMSYSERR_NOMEM;
    }
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    header->lpNext = nullptr;
    m_outstanding.fetch_add(1, std::memory_order_acq_rel);
    m_pending.Push(header);
    return MMSYSERR_NOERROR;
}

PaError PortAudioStream::Reset() {
    PaError error = paNoError;
    {
        std::lock_guard<std::mutex> lock(m_control);
        StopStream(false);
        ReturnQueuedBuffers();
        m_streamEnded.store(false, std::memory_order_release);
        if (!m_deviceLost) {
            error = Pa_StartStream(m_stream);
            m_deviceLost = error != paNoError;
        }
        m_stopping = false;
    }
    m_wake.Post();
    return error;
}

MMRESULT PortAudioStream::Close() {
    {
        std::lock_guard<std::mutex> lock(m_control);
        if (m_outstanding.load(std::memory_order_acquire) != 0) {
            return WAVERR_STILLPLAYING;
        }
        StopStream(true);
        m_quit = true;
    }
    m_wake.Post();
    m_notifier.join();
    Pa_CloseStream(m_stream);
    m_stream = nullptr;
    if (m_callback != nullptr) {
        m_callback(Handle(), MM_WOM_CLOSE, m_instance, 0, 0);
    }
    return MMSYSERR_NOERROR;
}

PortAudioBackend::PortAudioBackend() {
    QuietHostDiagnostics();
    m_initError = Pa_Initialize();
}

PortAudioBackend::~PortAudioBackend() {
    std::vector<std::shared_ptr<PortAudioStream>> streams;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        streams.swap(m_streams);
    }
    streams.clear();
    if (m_initError == paNoError) {
        Pa_Terminate();
    }
}

MMRESULT PortAudioBackend::Fail(MMRESULT code, std::string text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastFailure = code;
    m_lastFailureText = std::move(text);
    return code;
}

std::shared_ptr<PortAudioStream> PortAudioBackend::Find(HWAVEOUT device) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& stream : m_streams) {
        if (stream->Handle() == device) {
            return stream;
        }
    }
    return nullptr;
}

MMRESULT PortAudioBackend::Open(HWAVEOUT* device, unsigned deviceId, const WaveFormat* format,
                                std::uintptr_t callback, std::uintptr_t instance,
                                std::uint32_t flags) {
    if (device == nullptr || format == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if (flags != CALLBACK_NULL && flags != CALLBACK_FUNCTION) {
        return MMSYSERR_INVALFLAG;
    }
    if (deviceId != WAVE_MAPPER) {
        return MMSYSERR_BADDEVICEID;
    }
    if (m_initError != paNoError) {
        return Fail(MMSYSERR_NODRIVER, PortAudioText(m_initError));
    }
    const PaSampleFormat sampleFormat = SampleFormatOf(*format);
    if (sampleFormat == 0) {
        return Fail(WAVERR_BADFORMAT, PortAudioText(paSampleFormatNotSupported));
    }
    PaStreamParameters parameters{};
    parameters.device = Pa_GetDefaultOutputDevice();
    if (parameters.device == paNoDevice) {
        return Fail(MMSYSERR_NODRIVER, PortAudioText(paDeviceUnavailable));
    }
    const PaDeviceInfo* info = Pa_GetDeviceInfo(parameters.device);
    parameters.channelCount = format->nChannels;
    parameters.sampleFormat = sampleFormat;
    // As low as the device offers, so that Stop is heard at once; a few hundredths of a
    // second at least, which a busy machine's callback thread still keeps filled.
    parameters.suggestedLatency =
        std::max(info != nullptr ? info->defaultLowOutputLatency : 0.0, kMinLatencySeconds);
    const double rate = format->nSamplesPerSec;
    const auto proc =
        flags == CALLBACK_FUNCTION ? reinterpret_cast<WaveOutProc>(callback) : nullptr;
    auto stream = std::make_shared<PortAudioStream>(proc, instance, *format);
    const PaError error = stream->Start(parameters, rate);
    if (error != paNoError) {
        return Fail(ResultFor(error), PortAudioText(error));
    }
    *device = stream->Handle();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_grantedLatency = stream->OutputLatency();
        m_streams.push_back(std::move(stream));
    }
    if (proc != nullptr) {
        proc(*device, MM_WOM_OPEN, instance, 0, 0);
    }
    return MMSYSERR_NOERROR;
}

// Whether a header may be prepared or unprepared on the device now.
MMRESULT PortAudioBackend::CheckIdleHeader(HWAVEOUT device, const WAVEHDR* header, unsigned size) {
    if (Find(device) == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || size < kWaveHdrSize) {
        return MMSYSERR_INVALPARAM;
    }
    if ((header->dwFlags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT PortAudioBackend::PrepareHeader(HWAVEOUT device, WAVEHDR* header, unsigned size) {
    const MMRESULT result = CheckIdleHeader(device, header, size);
    if (result == MMSYSERR_NOERROR) {
        header->dwFlags |= WHDR_PREPARED;
    }
    return result;
}

MMRESULT PortAudioBackend::UnprepareHeader(HWAVEOUT device, WAVEHDR* header, unsigned size) {
    const MMRESULT result = CheckIdleHeader(device, header, size);
    if (result == MMSYSERR_NOERROR) {
        header->dwFlags &= ~WHDR_PREPARED;
    }
    return result;
}

MMRESULT PortAudioBackend::Write(HWAVEOUT device, WAVEHDR* header, unsigned size) {
    const std::shared_ptr<PortAudioStream> stream = Find(device);
    if (stream == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || size < kWaveHdrSize ||
        (header->lpData == nullptr && header->dwBufferLength != 0)) {
        return MMSYSERR_INVALPARAM;
    }
    const MMRESULT result = stream->Write(header);
    if (result == MMSYSERR_NODRIVER) {
        return Fail(result, "The sound device stopped working.");
    }
    return result;
}

MMRESULT PortAudioBackend::Reset(HWAVEOUT device) {
    const std::shared_ptr<PortAudioStream> stream = Find(device);
    if (stream == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    const PaError error = stream->Reset();
    return error == paNoError ? MMSYSERR_NOERROR : Fail(ResultFor(error), PortAudioText(error));
}

MMRESULT PortAudioBackend::Close(HWAVEOUT device) {
    const std::shared_ptr<PortAudioStream> stream = Find(device);
    if (stream == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    const MMRESULT result = stream->Close();
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_streams.erase(std::remove(m_streams.begin(), m_streams.end(), stream), m_streams.end());
    return MMSYSERR_NOERROR;
}

double PortAudioBackend::GrantedLatency() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_grantedLatency;
}

MMRESULT PortAudioBackend::GetErrorText(MMRESULT error, char* text, unsigned size) {
    if (text == nullptr || size == 0) {
        return MMSYSERR_INVALPARAM;
    }
    std::string message;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (error == m_lastFailure && !m_lastFailureText.empty()) {
            message = m_lastFailureText;
        }
    }
    if (message.empty()) {
        const char* fixed = FixedText(error);
        if (fixed == nullptr) {
            std::snprintf(text, size, "Unknown sound device error %u.",
                          static_cast<unsigned>(error));
            return kBadErrorNumber;
        }
        message = fixed;
    }
    std::snprintf(text, size, "%s", message.c_str());
    return MMSYSERR_NOERROR;
}
