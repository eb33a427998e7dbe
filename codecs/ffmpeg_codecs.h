#pragma once

// Inside the codec module: reading and writing done with FFmpeg's libraries.

#include <cstddef>
#include <memory>

#include "codecs/codec_module.h"

// The largest single buffer FFmpeg's libraries may take.
inline constexpr std::size_t kMaxFfmpegAllocation = std::size_t{128} << 20;

// Library-wide settings, made once when the module is loaded.
void SetUpFfmpeg();

std::unique_ptr<AudioDecoder> NewFfmpegDecoder();
std::unique_ptr<AudioEncoder> NewFfmpegEncoder(const EncoderSettings& settings);
std::unique_ptr<PacketEncoder> NewFfmpegPacketEncoder(const EncoderSettings& settings);
