#pragma once

// Short excerpts of a WAV file's sample data, read without walking the whole file: for an
// analysis that looks at a few seconds of a long song.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

enum class ExcerptStatus { Ok, ReadError, NotStereo, Not16Bit };

struct WaveExcerpts {
    ExcerptStatus status = ExcerptStatus::ReadError;
    std::vector<std::vector<std::int16_t>> frames;  // interleaved left, right
};

// Where a song's frames start and how many the file holds.
using ExcerptStartsFor = std::function<std::vector<std::uint64_t>(std::uint64_t totalFrames)>;

// Finds the first RIFF/WAVE form's "fmt " and "data" chunks (also inside "LIST" chunks) and
// reads excerptFrames frames from each start that startsFor gives for the file's number of
// frames; a data chunk that claims more than the file holds counts only what it holds.
// Only 16-bit stereo sample data is read.
WaveExcerpts ReadWaveExcerpts(const char* path, const ExcerptStartsFor& startsFor,
                              std::size_t excerptFrames);

// What the user is told when the excerpts could not be read.
const char* ExcerptMessage(ExcerptStatus status);
