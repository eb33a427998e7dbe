#pragma once

// Medians of small sets of values, the broadband test of the stereo mode's remover: no branch
// that the values decide, in vector registers.

#include <array>
#include <cstddef>

// Sets of up to this many values are counted or sorted in vector registers.
inline constexpr std::size_t kMedianWidth = 16;

// The value at count / 2 in sorted order of the count values (which it may reorder).
float MedianOf(float* values, std::size_t count);

// MedianOf of four sets at once: count values each (1 .. kMedianWidth), every other one of
// values from from[i] on for set i.
std::array<float, 4> MediansOf4(const float* values, const std::array<std::size_t, 4>& from,
                                std::size_t count);
