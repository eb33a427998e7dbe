#pragma once

// A plain radix-2 FFT and band energies of a signal, enough for measuring a mix.

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

// In-place transform; the size must be a power of two.
void Fft(std::vector<std::complex<double>>& data);

// The periodic Hann window of a transform size.
std::vector<double> HannWindow(std::size_t size);

// Band edges in Hz: the last band runs to half the sample rate.
struct BandEdges {
    std::vector<double> upperHz;  // one edge per band but the last, ascending
};

// Energy of both channels together in each band: one transform of left + i right per frame,
// Hann-windowed frames one after the other.
std::vector<double> StereoBandEnergies(std::span<const double> left, std::span<const double> right,
                                       const BandEdges& edges, std::size_t frameSize = 4096);
