#pragma once

#include <cstddef>

// A 16-bit stereo frame: left then right.
inline constexpr std::size_t kBytesPerFrame = 4;
// Sample bytes read, processed and handed to the sound device at a time, in a write and in a
// playback alike: a quarter of a second of 16-bit stereo at 44.1 kHz.
inline constexpr std::size_t kBlockBytes = 44100;
inline constexpr std::size_t kBlockFrames = kBlockBytes / kBytesPerFrame;
