#pragma once

// Sound output through PortAudio, one stream per open device.
//
// The stream starts once enough sound is queued to fill what the device takes at once, and the
// device's buffers are primed from the queue: a play begins with its sound, not with silence.
// The stream's real-time callback copies the queued blocks into the device and plays silence
// while none is queued. Blocks go from the writer to the callback through a lock-free ring
// over memory set aside at Open, so the callback never locks, waits or allocates; it only
// releases a semaphore when a block is finished, to wake a waiting writer.
//
// Open, WaitForRoom, Write, Drain and Close belong to one thread, the writer; Abort may come
// from any thread at any time.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <semaphore>
#include <string>
#include <utility>
#include <vector>

#include "playback/audio_out.h"
#include "playback/spsc_ring.h"

struct PaStreamCallbackTimeInfo;

// PortAudio for the lifetime of the object, with ALSA's and JACK's diagnostics on stderr
// turned off. Every PortAudioOut must be gone before it.
class PortAudioSystem : public AudioDevices {
  public:
    PortAudioSystem();
    ~PortAudioSystem() override;
    PortAudioSystem(const PortAudioSystem&) = delete;
    PortAudioSystem& operator=(const PortAudioSystem&) = delete;

    // Empty when PortAudio started, else its text for why it did not.
    std::string InitError() const;
    // In PortAudio's order, as it found them when it started.
    std::vector<AudioDevice> Devices() const override;
    bool Has(const std::string& device) const override;

  private:
    int m_initError = 0;  // PortAudio's result of its initialisation
};

class PortAudioOut : public AudioOut {
  public:
    explicit PortAudioOut(const PortAudioSystem& system);
    ~PortAudioOut() override;
    PortAudioOut(const PortAudioOut&) = delete;
    PortAudioOut& operator=(const PortAudioOut&) = delete;

    bool Open(const AudioFormat& format, const std::string& device = {}) override;
    void SetDevice(std::string device) override { m_device = std::move(device); }
    bool IsOpen() const override { return m_open.load(); }
    void WaitForRoom() override;
    bool Write(const unsigned char* data, std::size_t bytes) override;
    void Drain() override;
    // After an Abort the stream is left for the next Open or the destructor to close:
    // closing it may wait until the device has let go of the sound it already took (a pipe's
    // reader takes that at the device's pace), and a window that closes waits for the
    // writer's thread.
    void Close() override;
    void Abort() override;
    std::string Error() const override;

    // Whether an aborted stream still waits to be closed. A process that ends then may
    // leave it to the system, which releases the device with the process at once.
    bool HoldsAbortedStream() const;

    // The output latency PortAudio granted the open device, in seconds.
    double Latency() const { return m_latency; }
    // The most sound, in seconds, the device has taken at once beyond its pace since the
    // stream's start settled: what the queue keeps ahead of it.
    double LargestBurst() const;

  private:
    struct Block {
        std::vector<unsigned char> bytes;  // kBlockBytes, allocated at the first Open
        std::size_t size = 0;
    };

    static int OnStreamCallback(const void* input, void* output, unsigned long frames,
                                const PaStreamCallbackTimeInfo* time, unsigned long status,
                                void* self);
    static void OnStreamFinished(void* self);
    void Fill(unsigned char* out, std::size_t bytes, double now);
    bool KeepWaiting(double now);
    void Measure(std::size_t frames);
    bool HasRoom() const;
    std::uint64_t QueuedFrames() const { return m_queuedBytes.load() / m_frameBytes; }
    void StartWhenFilled(bool anyQueued);

    bool StartStream(const AudioFormat& format, int device);
    void ResetQueues();
    // The stream ended, and not because we stopped it.
    bool DeviceLost() const { return m_streamEnded.load() && !m_stopping.load(); }
    bool Interrupted() const { return !m_open.load() || m_aborted.load() || DeviceLost(); }
    bool Fail(std::string text);
    // True for PortAudio's paNoError; else its text for the error is the last error, and false.
    bool Succeeded(int error);
    void PlayOut() const;
    void StopStreamLocked();
    void CloseStreamLocked();

    const PortAudioSystem& m_system;
    // Enough blocks of the smallest size a playback writes (a fortieth of a second) for the
    // sound queued before the stream starts.
    static constexpr std::size_t kRingBlocks = 32;
    SpscRing<Block, kRingBlocks> m_blocks;  // writer -> callback, each until it has played

    // The callback's own; the writer resets them at Open, before the stream starts.
    struct CallbackState {
        Block* current = nullptr;  // the block the callback is copying from, the ring's front
        std::size_t offset = 0;    // bytes of current already copied
        bool starting = true;      // the queue ran dry and has not restarted since
        double loneSince = -1.0;   // stream time since which a lone block has waited
        // The largest burst: frames the device took beyond what real time drained since, as a
        // bucket that leaks at the rate; measured once the start's fill has settled.
        double burst = 0.0;
        std::chrono::steady_clock::time_point lastCall{};
        std::chrono::steady_clock::time_point measureFrom{};
        bool called = false;
        bool settled = false;
    };
    CallbackState m_cb;
    std::size_t m_frameBytes = 0;

    std::atomic<std::uint64_t> m_silentFrames{0};  // played since the last sound
    std::atomic<std::uint64_t> m_queuedBytes{0};   // written and not yet copied to the device
    std::atomic<std::uint64_t> m_largestBurst{0};  // frames, from the callback to the writer
    std::atomic<bool> m_dropQueued{false};         // Close: take no more sound from the queue
    std::atomic<bool> m_open{false};               // opened, and neither closed nor aborted since
    std::atomic<bool> m_aborted{false};
    std::atomic<bool> m_stopping{false};  // we are stopping the stream ourselves
    std::atomic<bool> m_streamEnded{false};
    // Wakes the writer. libstdc++'s release is an atomic add and, from zero, a futex wake: it
    // neither locks nor waits, so the callback may call it.
    std::counting_semaphore<> m_wake{0};

    double m_latency = 0.0;
    double m_rate = 0.0;
    std::uint64_t m_startFrames = 0;  // queued before the stream starts
    bool m_started = false;           // the writer's: the stream was started

    mutable std::mutex m_control;  // the stream's opening and closing, by the writer or Abort
    void* m_stream = nullptr;      // PortAudio's stream; guarded by m_control

    mutable std::mutex m_errorMutex;
    std::string m_error;
    std::string m_device;  // an Open without a device uses this one
};
