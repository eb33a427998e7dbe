#pragma once

// Figures of one tool or one setting on one song, measured stem by stem: the processing is
// linear but for its 16-bit rounding, and the songs are quiet enough never to saturate.

#include <array>
#include <filesystem>
#include <string>

#include "processing.h"
#include "songs.h"
#include "suggest_settings.h"

inline constexpr std::size_t kBands = 4;  // below 200 Hz, to 3 kHz, to 8 kHz, above
inline constexpr const char* kBandNames[kBands] = {"<200", "200-3k", "3k-8k", ">8k"};

struct Figures {
    std::array<double, kBands> vocalRemoved{};  // dB, per band
    double vocalRemovedTotal = 0;               // dB over every band
    double instrumentKept = 0;                  // dB, every band (0 is unchanged)
    double bassKept = 0;                        // dB of the instruments below 200 Hz
    double vig = 0;  // vocal-to-instrument gain: instruments kept plus vocal removed
};

// The song's processed stems and the level they are compared with.
struct StemOutputs {
    Stereo vocal;
    Stereo instruments;
    double referenceGain = 1.0;  // the tool's level for untouched sound
};

// Runs a stem through the engine's block path exactly as a job would.
Stereo RunEngine(const Stereo& in, PlayMode mode, const Positions& positions);

StemOutputs EngineOutputs(const Song& song, PlayMode mode, const Positions& positions);

Figures Measure(const Song& song, const StemOutputs& outputs);

// The mix as 16-bit frames, interleaved.
std::vector<std::int16_t> MixFrames(const Song& song);

bool WriteWav(const std::filesystem::path& path, const Stereo& s);
