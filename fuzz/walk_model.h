#pragma once

// An independent account of what a write job does with a file: whether the engine reads it as
// it is or hands it to the decoder, which byte ranges are sample data (and may change) and
// whether the sample data is refused. Everything outside those ranges must reach the output
// unchanged.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

struct WalkPrediction {
    bool refused = false;  // a "data" chunk met a format that is not 16-bit stereo
    std::vector<std::pair<std::size_t, std::size_t>> dataRanges;  // [begin, end)
};

// channels and bytesPerSample are the format left behind by the previous job.
WalkPrediction PredictWriteJob(const std::uint8_t* data, std::size_t size, int channels,
                               int bytesPerSample);

// Whether the engine reads the file as it is: a RIFF/WAVE file whose first top-level "fmt "
// or "data" chunk is not a whole "fmt " of another format than 16-bit stereo integer PCM.
// The rest is decoded first.
bool PredictEngineReads(const std::uint8_t* data, std::size_t size);
