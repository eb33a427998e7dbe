#pragma once

// Decodes an audio file once into a 16-bit stereo WAV at the file's own rate, for the
// engine: "fmt ", a "LIST"/"INFO" chunk with the file's tags, and "data".

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "audio_reader.h"
#include "cache_folder.h"

// How far a long step has come, 0 .. 1; returns false to cancel it.
using ProgressFn = std::function<bool(double)>;

enum class DecodeStatus { Done, NotAudio, NotStereo, NoSpace, WriteError, Cancelled };

// Receives the decoded frames in order (interleaved left, right); may take their storage.
// Returns false when they could not be written.
using FramesSink = std::function<bool(std::vector<std::int16_t>& frames)>;

// Sample bytes a decoded file may fill in a folder: its free space less a reserve for
// everything else, and no more than a RIFF size can count.
std::uint64_t DecodeBudget(const std::filesystem::path& folder);
// The budget where the free space does not matter (an output that is a device).
std::uint64_t UnboundedDecodeBudget();

// One decoding as a WAV file: the header (sizes zero), then the frames, then the sizes.
class WaveDecoder {
  public:
    DecodeStatus Open(const std::filesystem::path& input);
    // Refuses a file whose declared length exceeds the budget, and bounds what Write
    // may produce by it, whatever the file declared.
    DecodeStatus Budget(std::uint64_t bytes);
    // Writes the header into out and hands every decoded block to sink.
    DecodeStatus Write(std::FILE* out, const FramesSink& sink, const ProgressFn& progress);
    // Sets the RIFF and data sizes once every frame reached out.
    bool PatchSizes(std::FILE* out) const;
    std::uint64_t DataBytes() const { return m_dataBytes; }

  private:
    AudioReader m_reader;
    std::uint64_t m_budget = 0;
    std::string m_header;
    std::uint64_t m_dataBytes = 0;
};

// Writes the decoded file into a new file of the cache folder. Before anything is
// decoded, the length the file declares must fit in the free space; while decoding, the
// written data may never grow past that space either, whatever the file declared.
DecodeStatus DecodeToWave(const std::filesystem::path& input,
                          const std::filesystem::path& cacheFolder, CacheFile& decoded,
                          const ProgressFn& progress);
