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

// The direction of a mix's voice as the stereo mode aims: the level angle atan2(|R|, |L|) in
// radians, 0 (left alone) .. pi/4 (centre) .. pi/2 (right alone), the heaviest among the same
// in-phase cells that are peaks of their spectrum (a note's partials), hard-panned ones
// included. pi/4 when no such cell is in phase.
double VoiceAngle(const std::vector<StereoFrames>& excerpts);
