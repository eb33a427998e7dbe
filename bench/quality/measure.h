#pragma once

// Figures of one tool or one setting on one song, measured stem by stem: the processing is
// linear but for its 16-bit rounding, and the songs are quiet enough never to saturate.

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/suggest_settings.h"
#include "bench/quality/songs.h"
#include "processing/processing.h"

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

// What a listener of a setting gets, with the vocal stem it writes beside it: the stems'
// outputs (each processed as it is within the mix) and the vocal file's.
struct SongOutputs {
    StemOutputs stems;
    Stereo vocalStem;
};

// The frame modes: each stem through the engine; the vocal file is the mix less the output,
// at the output's level.
SongOutputs FrameModeOutputs(const Song& song, PlayMode mode, const Positions& positions);
// The stereo mode: the remover's estimate made on the mix and applied to each stem, its
// vocal output on the mix; the remover's delay taken out.
SongOutputs StereoOutputs(const Song& song, const Positions& positions);

// The stereo mode's estimate made on mix (the remover's guide) applied to each of parts, each
// output with the remover's delay taken out; vocal, when not null, receives the removed part of
// the mix, and played, when not null, the output of the mix itself. Every part has the mix's
// length.
std::vector<Stereo> GuidedOutputs(const Stereo& mix, const std::vector<const Stereo*>& parts,
                                  const Positions& positions, Stereo* vocal,
                                  Stereo* played = nullptr);

// How close the output comes to the true instruments, and the vocal file to the true vocal.
struct StemFigures {
    double bassDb = 0;         // output against the instruments below 150 Hz
    double trebleDb = 0;       // and above 8 kHz
    double instrumentSdr = 0;  // instruments against the output's difference from them, dB
    double midKeptDb = 0;      // the instruments' centre (L + R) between the cut-offs
    double vocalSdr = 0;       // the vocal file against the true vocal, dB
};
StemFigures MeasureStems(const Song& song, const SongOutputs& outputs, const Positions& positions);

// The mix as 16-bit frames, interleaved.
std::vector<std::int16_t> MixFrames(const Song& song);

bool WriteWav(const std::filesystem::path& path, const Stereo& s);
