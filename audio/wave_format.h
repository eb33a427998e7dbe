#pragma once

#include <cstdint>

// The first 16 bytes of a "fmt " chunk, in file order (little-endian on disk).
struct WaveFormat {
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
};
static_assert(sizeof(WaveFormat) == 16);

inline constexpr std::uint16_t kWaveFormatPcm = 1;
inline constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;
