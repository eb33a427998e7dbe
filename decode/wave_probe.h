#pragma once

#include <cstdint>
#include <filesystem>

// Whether the engine reads the file as it is: a RIFF/WAVE file whose first top-level
// "fmt " chunk holds 16-bit stereo integer PCM (plain or extensible). A RIFF/WAVE file
// without such a chunk at the top level (nested, missing or cut short) is the engine's
// too, as it always was. Everything else is for the decoder.
bool EngineTakesAsIs(const std::filesystem::path& path);

// How long a RIFF/WAVE file's sample data is: the bytes of its first top-level "data" chunk
// (no more than the file holds) and the byte rate of the "fmt " chunk before it. Zeros when
// the file is no such WAV.
struct WaveLength {
    std::uint64_t dataBytes = 0;
    std::uint32_t byteRate = 0;
    bool Known() const { return dataBytes > 0 && byteRate > 0; }
};
WaveLength ProbeWaveLength(const std::filesystem::path& path);
