#include "render/stage.h"

#include <bit>
#include <cstring>

namespace {

// Samples lie in files little-endian: on such a machine a copy is the conversion.
constexpr bool kFileOrder = std::endian::native == std::endian::little;

}  // namespace

void AppendSamples(std::vector<std::int16_t>& samples, const unsigned char* bytes,
                   std::size_t frames) {
    const std::size_t at = samples.size();
    samples.resize(at + 2 * frames);
    if constexpr (kFileOrder) {
        std::memcpy(samples.data() + at, bytes, frames * 4);
        return;
    }
    for (std::size_t i = 0; i < 2 * frames; ++i) {
        samples[at + i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
}

void AppendBytes(StageBytes& bytes, const std::int16_t* samples, std::size_t count) {
    const std::size_t at = bytes.size();
    bytes.resize(at + 2 * count);
    if constexpr (kFileOrder) {
        std::memcpy(bytes.data() + at, samples, 2 * count);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const auto bits = static_cast<std::uint16_t>(samples[i]);
        bytes[at + 2 * i] = static_cast<unsigned char>(bits);
        bytes[at + 2 * i + 1] = static_cast<unsigned char>(bits >> 8);
    }
}
