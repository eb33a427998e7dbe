#pragma once

// Where things are in a RIFF/WAVE file, found without reading its sample data: for choosing
// how an input is read, for the length the position tooltips need, and for analyses that look
// at a few seconds of a long song.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

#include "container/wave_format.h"

struct WaveLayout {
    bool riffWave = false;    // the file begins with a RIFF/WAVE header
    bool engineReads = true;  // see EngineReadsAsIs
    bool formatFound = false;
    WaveFormat format;  // the last "fmt " chunk before the first "data" chunk
    bool dataFound = false;
    std::uint64_t dataOffset = 0;         // of the first "data" chunk's body
    std::uint64_t dataBytes = 0;          // its length, no more than the file holds
    std::uint32_t declaredDataBytes = 0;  // the length its header gives
};

// Walks the first RIFF/WAVE form of the file with the container walk's rules, skipping bodies.
WaveLayout LocateWave(const std::filesystem::path& path);

// Whether the engine reads the file as it is: a RIFF/WAVE file whose first top-level "fmt "
// chunk holds 16-bit stereo integer PCM (plain or extensible). A RIFF/WAVE file without such
// a chunk at the top level (nested, missing or cut short) is the engine's too, as it always
// was. Everything else is for the decoder; a file that cannot be opened is the engine's to
// report.
bool EngineReadsAsIs(const std::filesystem::path& path);

// The sample data's length in bytes and the byte rate of its format; zeros when unknown.
struct WaveLength {
    std::uint64_t dataBytes = 0;
    std::uint32_t byteRate = 0;
    bool Known() const { return dataBytes > 0 && byteRate > 0; }
};
WaveLength ProbeWaveLength(const std::filesystem::path& path);

// Short excerpts of the sample data, interleaved left and right.
enum class ExcerptStatus { Ok, ReadError, NotStereo, Not16Bit };
struct WaveExcerpts {
    ExcerptStatus status = ExcerptStatus::ReadError;
    std::vector<std::vector<std::int16_t>> frames;
};
// Reads up to excerptFrames frames from each start frame that startsFor gives for the
// number of frames the data holds; only 16-bit stereo sample data.
using ExcerptStarts = std::function<std::vector<std::uint64_t>(std::uint64_t totalFrames)>;
WaveExcerpts ReadWaveExcerpts(const std::filesystem::path& path, const ExcerptStarts& startsFor,
                              std::size_t excerptFrames);
