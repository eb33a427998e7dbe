#pragma once

#include <cstddef>
#include <cstdint>

// The first 16 bytes of a "fmt " chunk, in file order.
struct WaveFormat {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t byteRate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;

    int BytesPerSample() const { return bitsPerSample / 8; }
};

inline constexpr std::size_t kWaveFormatBytes = 16;

// 16-bit stereo PCM at a rate: what a decoder gives and this program's own header declares.
inline WaveFormat StereoPcm16(std::uint32_t rate) {
    return {1, 2, rate, rate * 4, 4, 16};
}

WaveFormat ParseWaveFormat(const unsigned char* body);
