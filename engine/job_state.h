#pragma once

// The process-wide state of the one job that runs at a time.

#include <cstddef>
#include <cstdint>

#include "auto_reset_event.h"
#include "wave_format.h"

class WaveOutDevice;

inline constexpr std::size_t kBlockBytes = 44100;       // bytes read per block
inline constexpr std::size_t kHalfBufferBytes = 88200;  // each half of the staging buffer
inline constexpr int kPositionSteps = 110;              // data length / this = one trackbar step
inline constexpr int kPositionGranularity = 32;         // byte positions are multiples of this

extern int g_bPlayJob;           // 1 playback, 0 write
extern WaveFormat g_waveFormat;  // from the most recent "fmt " chunk, kept between jobs
extern int g_nChannels;
extern int g_nBytesPerSample;
extern unsigned char g_blockBuffer[kBlockBytes];

extern WaveOutDevice* g_pWaveOut;
extern unsigned char* g_pStagingBuffer[2];
extern int g_nStagingHalf;
extern int g_nQueuedBlocks;           // blocks handed over without waiting for a completion, 0..2
extern AutoResetEvent* g_hBlockDone;  // set by the completion callback once per block
extern AutoResetEvent* g_hDoneAck;    // set by the driver when it consumed one completion
