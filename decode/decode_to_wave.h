#pragma once

// Decodes an audio file once into a 16-bit stereo WAV at the file's own rate, for the
// engine: "fmt ", a "LIST"/"INFO" chunk with the file's tags, and "data".

#include <filesystem>
#include <functional>

#include "cache_folder.h"

// How far a long step has come, 0 .. 1; returns false to cancel it.
using ProgressFn = std::function<bool(double)>;

enum class DecodeStatus { Done, NotAudio, NotStereo, NoSpace, WriteError, Cancelled };

// Writes the decoded file into a new file of the cache folder. Before anything is
// decoded, the length the file declares must fit in the free space; while decoding, the
// written data may never grow past that space either, whatever the file declared.
DecodeStatus DecodeToWave(const std::filesystem::path& input,
                          const std::filesystem::path& cacheFolder, CacheFile& decoded,
                          const ProgressFn& progress);
