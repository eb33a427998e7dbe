#pragma once

// The state of the one job that runs at a time, process-wide. The design's names of its
// parts are references into it.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "auto_reset_event.h"
#include "wave_format.h"

class WaveOutDevice;

inline constexpr std::size_t kBlockBytes = 44100;       // bytes read per block
inline constexpr std::size_t kHalfBufferBytes = 88200;  // each half of the staging buffer
inline constexpr int kPositionSteps = 110;              // data length / this = one trackbar step
inline constexpr int kPositionGranularity = 32;         // byte positions are multiples of this

struct JobState {
    int playJob = 0;          // 1 playback, 0 write
    WaveFormat waveFormat{};  // from the most recent "fmt " chunk, kept between jobs
    int channels = 0;
    int bytesPerSample = 0;
    unsigned char blockBuffer[kBlockBytes] = {};

    // The sound side of a running playback.
    WaveOutDevice* waveOut = nullptr;
    unsigned char* stagingBuffer[2] = {nullptr, nullptr};
    int stagingHalf = 0;
    int queuedBlocks = 0;  // blocks handed over without waiting for a completion, 0..2
    AutoResetEvent* blockDone = nullptr;  // set by the completion callback once per block
    AutoResetEvent* doneAck = nullptr;    // set by the driver when it consumed one completion

    // Back to the state before the first job: no format read, nothing playing.
    void Reset();
};

extern JobState g_job;

inline int& g_bPlayJob = g_job.playJob;
inline WaveFormat& g_waveFormat = g_job.waveFormat;
inline int& g_nChannels = g_job.channels;
inline int& g_nBytesPerSample = g_job.bytesPerSample;
inline unsigned char (&g_blockBuffer)[kBlockBytes] = g_job.blockBuffer;
inline WaveOutDevice*& g_pWaveOut = g_job.waveOut;
inline unsigned char* (&g_pStagingBuffer)[2] = g_job.stagingBuffer;
inline int& g_nStagingHalf = g_job.stagingHalf;
inline int& g_nQueuedBlocks = g_job.queuedBlocks;
inline AutoResetEvent*& g_hBlockDone = g_job.blockDone;
inline AutoResetEvent*& g_hDoneAck = g_job.doneAck;

// Held by a job for as long as it runs: the job state serves one job at a time, so a job
// that finds another one running is refused before it touches anything.
class JobGuard {
  public:
    JobGuard();
    ~JobGuard();
    JobGuard(const JobGuard&) = delete;
    JobGuard& operator=(const JobGuard&) = delete;

    bool Acquired() const { return m_acquired; }
    // Jobs refused so far because another one was running.
    static std::uint64_t Refusals();

  private:
    bool m_acquired;
};
