#pragma once

#include <cstdint>

#include "wave_job.h"
#include "wave_out_api.h"

// Plays or writes one "data" chunk body of the given length, which starts at the input's
// position. Returns 1 when the job was refused (not 16-bit stereo, no sound device).
int ProcessDataChunk(Job& job, std::uint64_t length);

// The device's completion callback: releases the finished block and hands the
// completion to the driver, one at a time.
void OnWaveOutDone(HWAVEOUT device, unsigned message, std::uintptr_t instance,
                   std::uintptr_t param1, std::uintptr_t param2);

// Byte offset of trackbar value v for a position step of u bytes.
std::int64_t TrackbarBytePos(int v, std::uint64_t u);

// Shows the meter image for a sample value.
void UpdateLevelMeter(WindowLink& window, int sample);
