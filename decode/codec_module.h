#pragma once

// FFmpeg's libraries, with the hundred-odd shared objects they pull in, take longer to load
// than a short render takes to run, and only inputs that are no 16-bit WAV and FLAC outputs
// need them. They live in a module of their own, loaded the first time one of those comes.

#include <cstdio>
#include <filesystem>
#include <memory>

#include "audio_reader.h"
#include "flac_writer.h"

// What the module offers. Built with the program, never on its own: a module of another
// build is refused by its revision.
struct CodecModule {
    int revision;
    std::unique_ptr<AudioReader::Decoder> (*newDecoder)();
    FlacStatus (*writeFlac)(const std::filesystem::path& wave, std::FILE* out,
                            const ProgressFn& progress);
};

inline constexpr int kCodecModuleRevision = 1;
// The one symbol the module exports: a function returning its table.
inline constexpr char kCodecModuleEntry[] = "zerbex_codec_module";

// The module, loaded at the first call; null when it cannot be, the reason printed once.
const CodecModule* Codecs();
