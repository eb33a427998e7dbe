#pragma once

// Songs for the quality benchmark, built from stems at run time: espeak-ng voices for the
// vocal, synthetic bass, kick, plucks, pads, hi-hats and wide ambience for the rest. Every
// stem is kept apart, so the processing can be measured on each.

#include <filesystem>
#include <string>
#include <vector>

inline constexpr double kRate = 44100.0;

struct Stereo {
    std::vector<double> left;
    std::vector<double> right;

    std::size_t Frames() const { return left.size(); }
};

struct Song {
    std::string name;
    Stereo vocal;
    Stereo instruments;  // everything but the vocal
    Stereo bass;         // the centred bass and kick, part of the instruments
};

// A 16-bit mono or stereo WAV (any rate, resampled to 44,100 Hz) as samples in -1..1; a mono
// file gives the same samples on both sides. Empty on failure.
Stereo ReadWav(const std::filesystem::path& path);

// The benchmark's arrangements of the voices (each a mono take, at least a few seconds):
// vocal centred, louder on the left, louder on the right, with reverberation, and quieter
// than the instruments.
std::vector<Song> BuildSongs(const std::vector<std::vector<double>>& voices, double seconds);
