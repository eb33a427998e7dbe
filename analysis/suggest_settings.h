#pragma once

// Suggested trackbar positions for a song: those that should remove its centre voice
// deepest in mode 2 while keeping the bass and the instruments, found from the mix alone.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/centre_direction.h"
#include "trackbars/parameters.h"

// The analysis reads this many excerpts of this many frames, spread over the song.
inline constexpr std::size_t kSuggestExcerpts = 8;
inline constexpr std::size_t kSuggestExcerptFrames = 16384;
// The stereo mode's aim reads more of the song: a voice sings in phrases, and a few excerpts
// may hold more of its reverberation or of a doubled part than of its notes.
inline constexpr std::size_t kVoiceExcerpts = 64;

// First frame of each excerpt to read from a song of totalFrames frames: evenly spread,
// clear of the first and last few seconds. Fewer (or shorter) when the song is short.
std::vector<std::uint64_t> SuggestExcerptStarts(std::uint64_t totalFrames);
// The same for the stereo mode's aim: kVoiceExcerpts of them, over the whole song.
std::vector<std::uint64_t> VoiceExcerptStarts(std::uint64_t totalFrames);

// Searches the trackbar positions with the real processing on the excerpts (run at unit pan
// and level gains: those only scale the band mode 2 subtracts, so one run for each pair of
// cut-offs tells the score of every pan and level position). The voice is
// taken to be what the mix holds in phase at the centre voice's balance (CentreBalanceDb),
// the instruments the rest; the score is the voice removed between 200 Hz and 5 kHz plus
// the level the instruments keep, less what the mix below 200 Hz loses beyond 1 dB.
Positions SuggestSettings(const std::vector<StereoFrames>& excerpts);

// The stereo mode's positions for a song: the pan aimed at its voice (VoiceAngle), the
// cut-offs that keep the bass and the treble, the focus that keeps the most of the
// instruments; the levels at their start-up positions.
Positions SuggestStereoSettings(const std::vector<StereoFrames>& excerpts);

// The pan position whose aim (AimFor) is nearest to angle, in radians from 0 (left) to pi/2.
int PanForAim(double angle);

// "--pan 0 --low 4 --high 70 --left 17 --right 17": the render options for the positions
// the suggestion sets.
std::string RenderOptionsFor(const Positions& positions);
