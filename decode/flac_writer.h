#pragma once

#include <cstdio>
#include <filesystem>

#include "decode_to_wave.h"

enum class FlacStatus { Done, ReadError, WriteError, Cancelled };

// Encodes a 16-bit stereo WAV as a 16-bit FLAC file of the same rate into out, its
// RIFF INFO tags as Vorbis comments.
FlacStatus WriteFlac(const std::filesystem::path& wave, std::FILE* out, const ProgressFn& progress);
