#include "analysis/fft_bands.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

void Fft(std::vector<std::complex<double>>& data) {
    const std::size_t n = data.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(data[i], data[j]);
        }
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(length);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t start = 0; start < n; start += length) {
            std::complex<double> w(1.0, 0.0);
            for (std::size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> even = data[start + k];
                const std::complex<double> odd = data[start + k + length / 2] * w;
                data[start + k] = even + odd;
                data[start + k + length / 2] = even - odd;
                w *= step;
            }
        }
    }
}

std::vector<double> HannWindow(std::size_t size) {
    std::vector<double> window(size);
    for (std::size_t i = 0; i < size; ++i) {
        window[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) /
                                         static_cast<double>(size));
    }
    return window;
}

namespace {

// The band each of the first bins of a frame falls in, at 44.1 kHz.
std::vector<std::size_t> BandOfBins(const BandEdges& edges, std::size_t frameSize,
                                    std::size_t bins) {
    constexpr double kRate = 44100.0;
    std::vector<std::size_t> bandOfBin(bins);
    for (std::size_t bin = 0; bin < bins; ++bin) {
        const double hz = static_cast<double>(bin) * kRate / static_cast<double>(frameSize);
        bandOfBin[bin] = static_cast<std::size_t>(std::ranges::upper_bound(edges.upperHz, hz) -
                                                  edges.upperHz.begin());
    }
    return bandOfBin;
}

}  // namespace

std::vector<double> StereoBandEnergies(std::span<const double> left, std::span<const double> right,
                                       const BandEdges& edges, std::size_t frameSize) {
    std::vector<double> energy(edges.upperHz.size() + 1, 0.0);
    const std::vector<double> window = HannWindow(frameSize);
    const std::vector<std::size_t> bandOfBin = BandOfBins(edges, frameSize, frameSize / 2);
    std::vector<std::complex<double>> buffer(frameSize);
    const std::size_t count = std::min(left.size(), right.size());
    for (std::size_t start = 0; start + frameSize <= count; start += frameSize) {
        for (std::size_t i = 0; i < frameSize; ++i) {
            buffer[i] = std::complex<double>(left[start + i], right[start + i]) * window[i];
        }
        Fft(buffer);
        // |L|^2 + |R|^2 of a bin is half the sum of the packed transform at k and N - k.
        for (std::size_t bin = 1; bin < bandOfBin.size(); ++bin) {
            energy[bandOfBin[bin]] +=
                0.5 * (std::norm(buffer[bin]) + std::norm(buffer[frameSize - bin]));
        }
    }
    return energy;
}
