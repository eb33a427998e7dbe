#pragma once

// Inside the codec module: the reading and the FLAC writing done with FFmpeg's libraries.

#include <cstdio>
#include <filesystem>
#include <memory>

#include "audio_reader.h"
#include "flac_writer.h"

std::unique_ptr<AudioReader::Decoder> NewFfmpegDecoder();

FlacStatus EncodeFlac(const std::filesystem::path& wave, std::FILE* out,
                      const ProgressFn& progress);
