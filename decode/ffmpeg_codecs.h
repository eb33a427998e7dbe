#pragma once

// Inside the codec module: the reading and the FLAC writing done with FFmpeg's libraries.

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "audio_reader.h"
#include "flac_writer.h"

// The largest single buffer FFmpeg's libraries may take.
inline constexpr std::size_t kMaxFfmpegAllocation = std::size_t{128} << 20;

// Library-wide settings, made once when the module is loaded.
void SetUpFfmpeg();

std::unique_ptr<AudioReader::Decoder> NewFfmpegDecoder();

FlacStatus EncodeFlac(const std::filesystem::path& wave, std::FILE* out,
                      const ProgressFn& progress);
