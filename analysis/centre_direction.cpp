#include "centre_direction.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "fft_bands.h"

namespace {

constexpr std::size_t kFrameSize = 2048;
constexpr double kRate = 44100.0;
constexpr double kLowestHz = 200.0;
constexpr double kHighestHz = 4000.0;
constexpr double kMaxPhase = 0.15;  // radians between the channels of an "in phase" cell
constexpr double kMaxBalanceDb = 9.0;
constexpr double kStepDb = 0.25;

struct BalanceHistogram {
    std::vector<double> weight =
        std::vector<double>(static_cast<std::size_t>(2 * kMaxBalanceDb / kStepDb) + 1, 0.0);

    void Add(double balanceDb, double energy) {
        const auto index =
            static_cast<std::size_t>(std::lround((balanceDb + kMaxBalanceDb) / kStepDb));
        weight[index] += energy;
    }

    // The centre of the heaviest three neighbouring steps.
    double PeakDb() const {
        double best = 0.0;
        std::size_t bestIndex = weight.size() / 2;
        for (std::size_t i = 1; i + 1 < weight.size(); ++i) {
            const double sum = weight[i - 1] + weight[i] + weight[i + 1];
            if (sum > best) {
                best = sum;
                bestIndex = i;
            }
        }
        return static_cast<double>(bestIndex) * kStepDb - kMaxBalanceDb;
    }
};

// Both channels of a frame in one transform: left real, right imaginary.
void AddFrame(const StereoFrames& frames, std::size_t start, const std::vector<double>& window,
              std::vector<std::complex<double>>& buffer, BalanceHistogram& histogram) {
    for (std::size_t i = 0; i < kFrameSize; ++i) {
        const std::size_t at = 2 * (start + i);
        buffer[i] = std::complex<double>(frames[at], frames[at + 1]) * window[i];
    }
    Fft(buffer);
    const auto first = static_cast<std::size_t>(kLowestHz * kFrameSize / kRate);
    const auto last = static_cast<std::size_t>(kHighestHz * kFrameSize / kRate);
    for (std::size_t bin = first; bin <= last; ++bin) {
        const std::complex<double> z = buffer[bin];
        const std::complex<double> mirror = std::conj(buffer[kFrameSize - bin]);
        const std::complex<double> left = (z + mirror) * 0.5;
        const std::complex<double> right = (z - mirror) * std::complex<double>(0.0, -0.5);
        const double el = std::norm(left);
        const double er = std::norm(right);
        if (el <= 0.0 || er <= 0.0) {
            continue;
        }
        if (std::abs(std::arg(left * std::conj(right))) > kMaxPhase) {
            continue;
        }
        const double balanceDb = 10.0 * std::log10(el / er);
        if (std::abs(balanceDb) <= kMaxBalanceDb) {
            histogram.Add(balanceDb, std::sqrt(el * er));
        }
    }
}

}  // namespace

double CentreBalanceDb(const std::vector<StereoFrames>& excerpts) {
    BalanceHistogram histogram;
    const std::vector<double> window = HannWindow(kFrameSize);
    std::vector<std::complex<double>> buffer(kFrameSize);
    for (const StereoFrames& frames : excerpts) {
        const std::size_t count = frames.size() / 2;
        for (std::size_t start = 0; start + kFrameSize <= count; start += kFrameSize / 2) {
            AddFrame(frames, start, window, buffer, histogram);
        }
    }
    return histogram.PeakDb();
}
