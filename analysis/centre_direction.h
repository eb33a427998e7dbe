#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Interleaved 16-bit stereo frames, left then right.
using StereoFrames = std::span<const std::int16_t>;

// The balance of a mix's centre voice: how much louder it is on the left than on the right,
// in dB. Found as the loudest direction among the time-frequency cells in the voice's range
// whose two channels are in phase (a voice panned by level; reverberation and wide
// instruments are out of phase and drop out). 0 when nothing is in phase.
double CentreBalanceDb(const std::vector<StereoFrames>& excerpts);
